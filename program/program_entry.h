// The program's entry logic, shared by the Windows and the Linux program:
// the record of the run is built from the defaults, the settings file and
// the command line, then one of two roads is taken over it.
#pragma once

#include <string>
#include <string_view>

#include "engine/settings.h"

enum class Road {
  kUnattended,  // convert without any window, driven by the parameters alone
  kWizard,      // the interactive wizard (Windows only)
};

// True when the text holds * or ?.
bool HasWildcard(std::string_view text);

// SILENT always converts unattended, BATCH only with a source pattern;
// everything else opens the wizard (BATCH with one named workbook runs the
// wizard, whose pages then advance by themselves).
Road ChooseRoad(const ConverterSettings& settings);

// Fills a value-initialised record: defaults, then the settings file at
// `iniPath` (Log, OverWrite, Open), then the parameters arguments[1..count-1],
// each step overriding the one before.
void BuildSettings(ConverterSettings& settings, const std::string& iniPath, int count,
                   const char* const* arguments);

// The unattended road: turns the delimiter words into their texts, converts
// every workbook the source names or matches and records "Successful" as
// the last status word (also when a file on the way failed). Returns the
// batch runner's result (0, or 3 when a workbook could not be read).
int RunUnattended(ConverterSettings& settings);
