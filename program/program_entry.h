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
// every workbook the source names or matches and records Failures=<count>
// and "Successful" as the last status word (also when a file on the way
// failed). Returns the batch runner's result (0, or 3 when a workbook could
// not be read).
int RunUnattended(ConverterSettings& settings);

// Exit codes of the unattended road (the wizard road ends with 0).
inline constexpr int kExitConverted = 0;     // every workbook and output file was fine
inline constexpr int kExitNoSource = 1;      // no source workbook given
inline constexpr int kExitNoOutput = 2;      // neither output file nor output folder given
inline constexpr int kExitReadFailure = 3;   // a workbook or a sheet could not be read
inline constexpr int kExitWriteFailure = 4;  // an output file could not be created or written

// kExitNoSource or kExitNoOutput when the parameters lack that name, else
// kExitConverted. Asked before the run, which changes the names.
int MissingNameExitCode(const ConverterSettings& settings);

// The exit code of a finished run: write failures outrank read failures.
int ExitCodeFor(const ConverterSettings& settings, int batchResult);
