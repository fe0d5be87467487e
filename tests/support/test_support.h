// Helpers shared by the test suites: scratch folders, files, fixtures, the
// corpus, and books made cell by cell.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "reader/core/book.h"

namespace testing_support {

// A fresh, empty folder for one test, removed with the object.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  const std::string& path() const { return path_; }
  // path() + separator + name
  std::string File(std::string_view name) const;

 private:
  std::string path_;
};

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, std::string_view bytes);
bool FileExists(const std::string& path);

// tests/fixtures/<name>
std::string FixturePath(std::string_view name);
// The shared corpus folder ($TABREVO_CORPUS or ../shared/corpus beside the
// project), or empty when it is absent.
std::string CorpusDir();

// The messages of the activity log lines in `text`: what follows the date,
// the time and the padded source name of "\n2024.03.05 14:07:09 TABREVO    msg".
std::vector<std::string> LogMessages(const std::string& text);

#ifndef _WIN32
// Sends stderr to a file for the life of the object; Restore ends that early
// and returns what was written.
class CapturedStderr {
 public:
  explicit CapturedStderr(const std::string& path);
  ~CapturedStderr() { Restore(); }
  CapturedStderr(const CapturedStderr&) = delete;
  CapturedStderr& operator=(const CapturedStderr&) = delete;
  std::string Restore();

 private:
  std::string path_;
  int saved_ = -1;
};
#endif

// A book without a file: add sheets, styles and formats, fill cells.
class MemoryBook {
 public:
  explicit MemoryBook(reader::BookKind kind = reader::BookKind::Xml);
  ~MemoryBook();
  XlBook* book() const { return book_; }
  // Hands the book over (to settings.book, which releases it).
  XlBook* Release();

  // Styles: index 0 is the default style (General).
  uint32_t Style(int numFormatId);
  void Format(int id, std::string text);
  void Date1904(bool on);

  // A new sheet, filled through the returned builder's calls below.
  XlSheet* Sheet(std::string name);
  void Number(XlSheet* sheet, uint32_t row, uint32_t col, double value, uint32_t style = 0);
  void String(XlSheet* sheet, uint32_t row, uint32_t col, std::string_view text, uint32_t style = 0);
  void Boolean(XlSheet* sheet, uint32_t row, uint32_t col, bool value, uint32_t style = 0);
  void Error(XlSheet* sheet, uint32_t row, uint32_t col, uint8_t code = 0x2A);
  // Ends the filling of every sheet and resolves the styles' date flags.
  void Finish();

 private:
  struct Pending;
  XlBook* book_;
  std::vector<Pending*> pending_;
  Pending* For(XlSheet* sheet);
};

}  // namespace testing_support
