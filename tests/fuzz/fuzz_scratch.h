// A private scratch folder for the fuzz targets that write files: the
// export's output files and the activity log go there, and it is emptied
// after every input, so that a long run neither writes elsewhere nor grows
// its disk use.
#pragma once

#include <dirent.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

class FuzzScratch {
 public:
  // Makes <tmp>/tabrevo-fuzz-XXXXXX with an output folder "out" and points
  // the activity log (the XDG data folder) into it. <tmp> is $TMPDIR when
  // set (run_short.sh points it into its own work folder), else a memory
  // file system: the targets write a file for nearly every input. The
  // folder goes when the fuzzer exits normally; libFuzzer ends some runs
  // without running exit handlers, hence the $TMPDIR of run_short.sh.
  FuzzScratch() {
    const char* tmp = getenv("TMPDIR");
    const char* base = tmp && *tmp ? tmp : (access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp");
    std::string pattern = std::string(base) + "/tabrevo-fuzz-XXXXXX";
    if (!mkdtemp(pattern.data())) {
      std::perror("mkdtemp");
      std::abort();
    }
    root_ = pattern;
    out_ = root_ + "/out";
    mkdir(out_.c_str(), 0700);
    setenv("XDG_DATA_HOME", (root_ + "/appdata").c_str(), 1);
    static FuzzScratch* self = this;
    std::atexit([] { self->Remove(); });
  }
  ~FuzzScratch() { Remove(); }
  void Remove() {
    Empty(root_);
    rmdir(root_.c_str());
  }

  const std::string& root() const { return root_; }
  const std::string& out() const { return out_; }

  // Removes everything below the scratch folder but the output folder itself.
  void Clear() {
    Empty(root_ + "/appdata");
    Empty(out_);
  }

 private:
  static void Empty(const std::string& folder) {
    DIR* dir = opendir(folder.c_str());
    if (!dir) return;
    while (dirent* entry = readdir(dir)) {
      std::string name = entry->d_name;
      if (name == "." || name == "..") continue;
      std::string path = folder + "/" + name;
      struct stat st;
      if (lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        Empty(path);
        rmdir(path.c_str());
      } else {
        unlink(path.c_str());
      }
    }
    closedir(dir);
  }

  std::string root_;
  std::string out_;
};
