// Entry of the Linux program.
#include "command_line.h"

int main(int argc, char** argv) { return RunCommandLine(argc, argv); }
