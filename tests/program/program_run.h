// Runs a copy of the built program in a scratch folder of its own, so that
// each run reads its own settings file beside the program.
#pragma once

#include <string>
#include <vector>

#include "tests/support/test_support.h"

struct ProgramRun {
  int exitCode = -1;
  std::string errors;  // what the program wrote to stderr (Linux)
  std::string output;  // what the program wrote to stdout (Linux)
};

class ProgramCopy {
 public:
  ProgramCopy();
  const testing_support::ScratchDir& dir() const { return dir_; }
  std::string File(const std::string& name) const { return dir_.File(name); }
  // The settings file beside the copy.
  std::string IniPath() const;
  // The activity log the copy writes (Linux: inside the scratch folder).
  std::string LogPath() const;

  // Runs the copy with the arguments, in the scratch folder, and waits for
  // it. With `terminal` set (Linux), stderr is a pseudo-terminal. Linux:
  // stdout goes to the file `standardOutput` when one is named (such as
  // /dev/full), else it is kept in the result.
  ProgramRun Run(const std::vector<std::string>& arguments, bool terminal = false,
                 const std::string& standardOutput = "") const;

 private:
  testing_support::ScratchDir dir_;
  std::string program_;
};

// The new part of a file since `offset`.
std::string TailFrom(const std::string& path, size_t offset);
