// Entry of the Linux program.
#include <csignal>

#include "command_line.h"

int main(int argc, char** argv) {
  // An output file that reaches the file-size limit (ulimit -f) then fails
  // its write like a full disk, and the run reports it, instead of the
  // process being killed with the status file still saying it is converting.
  std::signal(SIGXFSZ, SIG_IGN);
  return RunCommandLine(argc, argv);
}
