// The Linux program: always unattended, failures on stderr, the outcome in
// the exit code.
#pragma once

#include <string>

#include "engine/settings.h"

// The short usage text printed for a run without a source.
std::string UsageText();

// The whole run of the program over its arguments (arguments[0] is the
// program itself); returns the exit code.
int RunCommandLine(int count, const char* const* arguments);
