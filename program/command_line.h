// The Linux program: always unattended, failures on stderr, the outcome in
// the exit code.
#pragma once

#include <string>

#include "engine/settings.h"

// Exit codes.
inline constexpr int kExitConverted = 0;     // every workbook and output file was fine
inline constexpr int kExitNoSource = 1;      // no source workbook given (usage on stderr)
inline constexpr int kExitNoOutput = 2;      // neither output file nor output folder given
inline constexpr int kExitReadFailure = 3;   // a workbook or a sheet could not be read
inline constexpr int kExitWriteFailure = 4;  // an output file could not be created or written

// The short usage text printed for a run without a source.
std::string UsageText();

// The exit code of a finished run: write failures outrank read failures.
int ExitCodeFor(const ConverterSettings& settings, int batchResult);

// The whole run of the program over its arguments (arguments[0] is the
// program itself); returns the exit code.
int RunCommandLine(int count, const char* const* arguments);
