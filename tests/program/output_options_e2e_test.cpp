// End-to-end runs of the built program with the opt-in output options:
// the sheet selection with a name the workbook lacks, strings in UTF-8 with
// a byte-order mark (on Windows, where "as is" is the ANSI code page), and
// error cells as their texts.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "program_run.h"
#include "tests/support/reader_pending.h"

using testing_support::FileExists;
using testing_support::FixturePath;
using testing_support::ReadFile;

namespace fs = std::filesystem;

namespace {

std::string StatusFailures(const std::string& statusFile) {
  const std::string text = ReadFile(statusFile);
  size_t at = text.find("Failures=");
  if (at == std::string::npos) return "<none>";
  at += 9;
  return text.substr(at, text.find_first_of("\r\n", at) - at);
}

TEST(OutputOptionsRun, SheetSelectionWithAMissingName) {
  ProgramCopy program;
  fs::create_directories(program.File("out"));
  const std::string status = program.File("status.ini");
  const std::string book = FixturePath("engine/data_totals.xls");
  ProgramRun run =
      program.Run({book, program.File("out"), "/SILENT", "/SHEETS=totals;Summary", "/STATUS=" + status});
  EXPECT_EQ(run.exitCode, 3);
  EXPECT_EQ(ReadFile(program.File("out/TOTALS.csv")), "\"Total\",  4.500,\r\n,,\r\n\"Count\",   42,\r\n");
  EXPECT_FALSE(FileExists(program.File("out/DATA.csv")));
  EXPECT_EQ(StatusFailures(status), "1");
#ifndef _WIN32
  EXPECT_EQ(run.errors, "tabrevo: No sheet named SUMMARY: " + book + ": not in the workbook\n");
#endif
  // Every name found: a clean run.
  run = program.Run({book, program.File("out"), "/SILENT", "-sheets=DATA", "/STATUS=" + status});
  EXPECT_EQ(run.exitCode, 0) << run.errors;
  EXPECT_TRUE(FileExists(program.File("out/DATA.csv")));
  EXPECT_EQ(StatusFailures(status), "0");
}

// Cyrillic, Greek, Chinese and Japanese in one row: on Windows "as is"
// writes the ANSI code page, which holds none of them; UTF8 keeps them all,
// BOM marks the new file, and a run appending to it adds no second mark.
TEST(OutputOptionsRun, Utf8WithByteOrderMark) {
  const std::string book = FixturePath("options/scripts.xlsx");
  SKIP_UNLESS_READABLE(book);
  const std::string row =
      "\"Привет, мир\",\"Καλημέρα κόσμε\",\"你好世界\",\"日本語のテキスト\",\"Café\",\r\n";
  ProgramCopy program;
  const std::string out = program.File("text.csv");
  ProgramRun run = program.Run({book, out, "/SILENT", "/UTF8", "/BOM", "/SHEETS=Text"});
  EXPECT_EQ(run.exitCode, 0) << run.errors;
  EXPECT_EQ(ReadFile(out), "\xEF\xBB\xBF" + row);
  run = program.Run({book, out, "/SILENT", "/UTF8", "/BOM", "/SHEETS=Text", "/OVERWRITE=NO"});
  EXPECT_EQ(run.exitCode, 0) << run.errors;
  EXPECT_EQ(ReadFile(out), "\xEF\xBB\xBF" + row + row);

  // Without the keywords the output is as before: on Linux the same UTF-8
  // without a mark; on Windows the ANSI code page, which loses letters.
  run = program.Run({book, out, "/SILENT", "/SHEETS=Text"});
  EXPECT_EQ(run.exitCode, 0) << run.errors;
#ifdef _WIN32
  EXPECT_NE(ReadFile(out), row);
  EXPECT_NE(ReadFile(out).find('?'), std::string::npos);
#else
  EXPECT_EQ(ReadFile(out), row);
#endif
}

TEST(OutputOptionsRun, ErrorTextsFromAnXlsbWorkbook) {
  const std::string book = FixturePath("options/errors.xlsb");
  SKIP_UNLESS_READABLE(book);
  ProgramCopy program;
  const std::string out = program.File("errors.txt");
  ProgramRun run = program.Run({book, out, "/SILENT", "/ERRORS=TEXT", "/QUOTES=0", "/FIELDS=TAB"});
  EXPECT_EQ(run.exitCode, 0) << run.errors;
  const std::string text = ReadFile(out);
  EXPECT_EQ(text.substr(0, text.find("e3")), "e1\t#NULL!\t1.000000\t\r\ne2\t#DIV/0!\t2.000000\t\r\n");
  EXPECT_NE(text.find("e8\t#GETTING_DATA\t8.000000\t\r\n"), std::string::npos) << text;
}

}  // namespace
