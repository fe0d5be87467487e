// Entry of the Linux program.
#include <csignal>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "command_line.h"

int main(int argc, char** argv) {
  // An output file that reaches the file-size limit (ulimit -f) then fails
  // its write like a full disk, and the run reports it, instead of the
  // process being killed with the status file still saying it is converting.
  std::signal(SIGXFSZ, SIG_IGN);
#if defined(__GLIBC__)
  // Each sheet takes and gives back the same few buffers of under a
  // megabyte (the part's read-ahead blocks, the XML window). Kept on the heap
  // and not handed back to the system between sheets, they are reused
  // instead of being mapped and zeroed again for every sheet. Blocks of a
  // megabyte and more still get a mapping of their own, so that growing
  // buffers leave no holes in the heap; the large string pools map their
  // own memory anyway.
  mallopt(M_MMAP_THRESHOLD, 1 << 20);
  mallopt(M_TRIM_THRESHOLD, 64 << 20);
#endif
  return RunCommandLine(argc, argv);
}
