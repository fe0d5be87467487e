// Entry of the Windows program (GUI subsystem).
#include <windows.h>

#include <cstdlib>

#include "windows_program.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  // The arguments as the C runtime split the command line (double quotes
  // group a path with blanks), in the ANSI code page.
  return RunWindowsProgram(instance, __argc, __argv);
}
