// The Windows program's run, between WinMain and the exit code.
#pragma once

#include <windows.h>

// Builds the record from the defaults, the settings file and the command
// line, creates the title font, takes the unattended or the wizard road and
// deletes the font. The program is a windowed one: it prints nothing and its
// exit code is always 0; callers learn the outcome from the status file and
// the activity log.
int RunWindowsProgram(HINSTANCE instance, int count, const char* const* arguments);
