// What the GUI tests share: a copy of the built program in a scratch folder
// of its own (so each run has its own settings file), a clean set of the
// wizard's registry values for each test, the status file and the activity
// log as the tests read them, and workbooks made at test time.
#pragma once

#ifdef _WIN32
#include <windows.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "tests/support/test_support.h"
#include "wizard_driver.h"

namespace gui_test {

// The registry key of the wizard's recent items.
inline constexpr const char* kWizardKey = "Software\\Brackenfield\\Wizards";

// Saves every value of the wizard's key and removes them, so that the test
// starts with nothing remembered; puts the saved values back at the end.
class CleanRegistry {
 public:
  CleanRegistry();
  ~CleanRegistry();
  // A value as text, or "<missing>".
  static std::string Value(const std::string& name);
  static void Set(const std::string& name, const std::string& text);

 private:
  static void RemoveAll();
  struct Saved {
    DWORD type;
    std::string data;
  };
  std::map<std::string, Saved> saved_;
};

// A scratch folder with a copy of the program; paths in Windows form.
class ProgramFolder {
 public:
  ProgramFolder();
  std::string File(const std::string& name) const;
  const std::string& program() const { return program_; }
  std::string IniPath() const { return File("tabrevo.ini"); }
  // Makes a subfolder and answers its path.
  std::string Folder(const std::string& name) const;

 private:
  testing_support::ScratchDir dir_;
  std::string program_;
};

// The status word of a status file ("<none>" when there is none).
std::string StatusWord(const std::string& statusFile);

using testing_support::LogMessages;
std::string ActivityLog();

// Watches a status file while the wizard runs and keeps each new word.
class StatusWatch {
 public:
  explicit StatusWatch(std::string path) : path_(std::move(path)) {}
  // Polls until the program ends or the time is up; false on time-out.
  bool RunUntilExit(wizard_driver::Wizard& wizard, int timeoutMs);
  const std::vector<std::string>& words() const { return words_; }

 private:
  std::string path_;
  std::vector<std::string> words_;
};

// The files of a folder, by name, with their bytes.
std::map<std::string, std::string> FolderFiles(const std::string& folder);

// An .xlsx workbook made at test time: sheets of rows of cells, a cell
// being a number or a string.
struct Cell {
  bool isNumber;
  double number;
  std::string text;
};
inline Cell Num(double v) { return {true, v, ""}; }
inline Cell Str(std::string s) { return {false, 0, std::move(s)}; }
using Rows = std::vector<std::vector<Cell>>;
void WriteWorkbook(const std::string& path, const std::vector<std::pair<std::string, Rows>>& sheets);
// One sheet of `rows` rows: a string "row N" and the number N.
void WriteLargeWorkbook(const std::string& path, const std::string& sheet, uint32_t rows);
// The text of row N of that sheet with the default options.
std::string LargeWorkbookRow(uint32_t n);

}  // namespace gui_test

#endif
