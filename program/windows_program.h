// The Windows program's run, between WinMain and the exit code.
#pragma once

#include <windows.h>

// Builds the record from the defaults, the settings file and the command
// line, creates the title font, takes the unattended or the wizard road and
// deletes the font. The program is a windowed one: it prints nothing. On the
// unattended road the exit code is the Linux program's (0 converted, 1 no
// source, 2 no output, 3 a workbook or sheet not read, 4 an output file not
// written); the wizard road ends with 0. Callers also learn the outcome from
// the status file (Failures= and Result=) and the activity log.
int RunWindowsProgram(HINSTANCE instance, int count, const char* const* arguments);
