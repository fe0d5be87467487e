// Entry of the Windows program (GUI subsystem).
#include <windows.h>

#include <cstdlib>

#include "windows_program.h"

// The C runtime must not expand * and ? in the arguments: a source pattern
// reaches the parameters whole, and the batch runner expands it.
extern "C" {
int _dowildcard = 0;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  // The arguments as the C runtime split the command line (double quotes
  // group a path with blanks), in the ANSI code page.
  return RunWindowsProgram(instance, __argc, __argv);
}
