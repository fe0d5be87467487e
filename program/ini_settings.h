// The three settings kept beside the program: section Common of the INI
// file named after the executable (tabrevo.ini), keys Log, OverWrite, Open.
#pragma once

#include <string>

#include "engine/settings.h"

// The settings file of a program file: `programPath` with its extension
// replaced by ".ini" (".ini" appended when the file name has none).
std::string IniPathFor(const std::string& programPath);

// The settings file of the running program.
std::string IniSettingsPath();

// Reads logEnabled, overwrite and openResult from the settings file; a
// missing file or key leaves the built-in defaults 0, 1 and 1.
void LoadIniSettings(ConverterSettings& settings);

// Writes the three values back. Best effort: a failed write is ignored.
void SaveIniSettings(const ConverterSettings& settings);

// The same on a named file (the tests use these).
void LoadIniSettingsFrom(const std::string& iniPath, ConverterSettings& settings);
void SaveIniSettingsTo(const std::string& iniPath, const ConverterSettings& settings);
