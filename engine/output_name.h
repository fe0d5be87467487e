// Output file names: the file a sheet is written to when the run names an
// output folder, and the set of files a run has written.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <utility>

// The output path of a sheet exported into `folder`: the folder, a path
// separator unless it ends in one, SheetFileName(sheetName) and ".csv".
std::string SheetOutputPath(std::string_view folder, std::string_view sheetName);

// A sheet name (A-form text: the ANSI code page on Windows, UTF-8 on POSIX)
// made into a file name that names a file of its own inside the output
// folder, under the running platform's rules (WindowsFileName or
// PosixFileName). A name that needs no change keeps every byte.
std::string SheetFileName(std::string_view sheetName);

// The Windows rules, on UTF-16 text. Every character a Windows file name
// cannot hold (< > : " / \ | ? * and the control characters) becomes "_":
// a colon would write into a hidden stream of another file, the others fail
// the open or lead out of the folder. A name whose part before its first dot
// is a device name (CON, PRN, AUX, NUL, COM1 to COM9, LPT1 to LPT9, COM and
// LPT with a superscript 1, 2 or 3; any case, blanks before the dot ignored)
// gets "_" after that part: Windows opens "NUL.X.csv" as the device NUL and
// the rows would vanish, while "NUL_.X.csv" is a file.
std::u16string WindowsFileName(std::u16string name);

// The POSIX rules: "/" (which would lead out of the folder) and "\" (which
// does on Windows, so that a name gives the same file on both) become "_".
std::string PosixFileName(std::string name);

// The output files written in one run. The first export to a file in a run
// applies the overwrite setting; later exports to the same file append, so
// that no sheet of the run deletes the rows of another. Two paths are one
// file as the platform's file system takes them:
// - Windows: names compare without regard to case, by the system's case
//   table (Ärger and ärger are one file), and "/" equals "\".
// - POSIX: file systems differ (most are case-sensitive; FAT, exFAT, SMB
//   shares and case-folding folders are not), so besides the path as given,
//   the identity of the file found at the path decides (device and inode, of
//   the path itself, not of a file a symbolic link names).
class WrittenPaths {
 public:
  // True when `path` names a file recorded by Add since the last clear.
  bool Contains(const std::string& path) const;
  // Records the file at `path`, which the run has just opened for writing.
  void Add(const std::string& path);
  void clear();
  bool empty() const { return names_.empty(); }

 private:
#ifdef _WIN32
  static std::u16string Key(const std::string& path);
  std::set<std::u16string> names_;
#else
  std::set<std::string> names_;
  std::set<std::pair<uint64_t, uint64_t> > files_;  // device, inode
#endif
};
