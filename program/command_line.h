// The Linux program: always unattended, failures on stderr, the outcome in
// the exit code.
#pragma once

#include <string>

#include "engine/settings.h"

// The usage text: printed on standard output for --help and -h, on
// standard error for a run without a source.
std::string UsageText();

// "tabrevo <version>" and a line break, printed for --version.
std::string VersionText();

// The whole run of the program over its arguments (arguments[0] is the
// program itself); returns the exit code.
int RunCommandLine(int count, const char* const* arguments);
