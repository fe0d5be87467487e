// The batch runner over wildcard source names.
#include "engine/batch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/activity_log.h"
#include "tests/support/reader_pending.h"
#include "tests/support/test_support.h"

using testing_support::FileExists;
using testing_support::FixturePath;
using testing_support::ReadFile;
using testing_support::ScratchDir;
using testing_support::WriteFile;

namespace fs = std::filesystem;

namespace {

constexpr char kSep = platform::kPathSeparator;

// A source folder and an output folder, default settings.
struct Batch {
  ScratchDir in, out;
  ConverterSettings s{};
  Batch() {
    SetDefaultSettings(s);
    ParseFieldDelimiter(s, s.fieldDelimiter);
    ParseRecordDelimiter(s, s.recordDelimiter);
    s.outputFolder = out.path();
    s.logEnabled = 1;  // failures go to the log, never to a message box
  }
  void Copy(const char* fixture, const char* name) { fs::copy_file(FixturePath(fixture), in.File(name)); }
  std::string Out(const std::string& name) { return ReadFile(out.File(name)); }
};

// The workbooks a run could not read, from the lines added to the log.
// Other test programs may write to the same log at the same time: only the
// names holding `mine` (a test's own folder or file name) count.
struct LogWatch {
  std::string path = ActivityLogPath();
  size_t before = ReadFile(path).size();
  std::vector<std::string> Unreadable(const std::string& mine) const {
    std::string added = ReadFile(path).substr(before);
    std::vector<std::string> files;
    const std::string mark = "Cannot read workbook ";
    for (size_t at = added.find(mark); at != std::string::npos; at = added.find(mark, at)) {
      at += mark.size();
      std::string file = added.substr(at, added.find(": ", at) - at);
      if (file.find(mine) != std::string::npos) files.push_back(file);
    }
    return files;
  }
};

const char kDataCsv[] =
    "\"Name\",\"Amount\",\"When\",\r\n"
    "\"He said \"\"hi\"\"\",1.500000,2024.03.05,\r\n"
    "\"a;b\",3.000000,2024.03.05 13:07:09,\r\n"
    "\"a,b\",1,,\r\n";
const char kTotalsCsv[] = "\"Total\",  4.500,\r\n,,\r\n\"Count\",   42,\r\n";

TEST(RunBatch, WildcardsSkipDotFilesAndHandFoldersOn) {
  Batch b;
  for (const char* name : {"b.xlsx", "a.xlsx", ".hidden.xlsx", "c.txt", "A.XLSX.bak"})
    WriteFile(b.in.File(name), "not a workbook");
  fs::create_directory(b.in.File("d.xlsx"));  // a folder that matches
  b.s.sourceFile = b.in.File("*.xlsx");
  LogWatch log;
  EXPECT_EQ(RunBatch(b.s), 3);
  std::vector<std::string> tried = log.Unreadable(b.in.path());
#ifdef _WIN32
  std::sort(tried.begin(), tried.end());  // the platform's order
#endif
  EXPECT_EQ(tried, (std::vector<std::string>{b.in.File("a.xlsx"), b.in.File("b.xlsx"), b.in.File("d.xlsx")}));
  EXPECT_EQ(b.s.readFailures, 3);
  EXPECT_EQ(b.s.recordCount, 0);
  EXPECT_TRUE(fs::is_empty(b.out.path()));
}

TEST(RunBatch, NothingMatchedIsNoFailure) {
  Batch b;
  b.s.outputFile = "given.csv";
  for (std::string pattern : {b.in.File("*.xls"), b.in.File("missing") + kSep + "*.xls", std::string()}) {
    b.s.sourceFile = pattern;
    EXPECT_EQ(RunBatch(b.s), 0) << pattern;
  }
  // The output folder clears the output file before the search.
  EXPECT_EQ(b.s.outputFile, "");
  EXPECT_EQ(b.s.readFailures, 0);
  // A workbook named without wildcards that does not exist is a mistyped
  // name: the program counts it as a workbook not read.
  b.s.sourceFile = b.in.File("none.xlsx");
  EXPECT_EQ(RunBatch(b.s), 3);
  EXPECT_EQ(b.s.readFailures, 1);
}

TEST(RunBatch, ABarePatternNamesFilesOfTheCurrentFolder) {
  Batch b;
  // A name of this test's own, since the log shows only the bare name.
  const std::string name = fs::path(b.in.path()).filename().string() + ".xlsx";
  WriteFile(b.in.File(name), "not a workbook");
  const fs::path was = fs::current_path();
  fs::current_path(b.in.path());
  b.s.sourceFile = "*.xlsx";
  LogWatch log;
  int result = RunBatch(b.s);
  fs::current_path(was);
  EXPECT_EQ(result, 3);
  EXPECT_EQ(log.Unreadable(name), std::vector<std::string>{name});
  EXPECT_EQ(b.s.sourceFile, name);
}

#ifdef _WIN32
TEST(RunBatch, TheFolderPartEndsAtEitherSeparator) {
  Batch b;
  WriteFile(b.in.File("x.xlsx"), "not a workbook");
  std::string folder = b.in.path();
  std::replace(folder.begin(), folder.end(), '\\', '/');
  b.s.sourceFile = folder + "/*.xlsx";
  LogWatch log;
  EXPECT_EQ(RunBatch(b.s), 3);
  EXPECT_EQ(log.Unreadable(folder), std::vector<std::string>{folder + "/x.xlsx"});
}
#endif

// Real workbooks, through the readers.

TEST(RunBatch, EveryMatchIsConvertedAndAnUnreadableOneGivesThree) {
  SKIP_UNLESS_READABLE(FixturePath("engine/data_totals.xlsx"));
  Batch b;
  b.Copy("engine/data_totals.xlsx", "one.xlsx");
  b.Copy("engine/data_totals.xlsx", "two.xlsx");
  WriteFile(b.in.File("broken.xlsx"), "PK\x03\x04 truncated");
  b.s.sourceFile = b.in.File("*.XLSX");  // matched without regard to case
  b.s.outputFile = "ignored.csv";        // a folder is given too
  LogWatch log;
  EXPECT_EQ(RunBatch(b.s), 3);
  EXPECT_EQ(log.Unreadable(b.in.path()), std::vector<std::string>{b.in.File("broken.xlsx")});
  // Both readable books were converted; the second appends to the files the
  // first made in this run.
  EXPECT_EQ(b.Out("DATA.csv"), std::string(kDataCsv) + kDataCsv);
  EXPECT_EQ(b.Out("TOTALS.csv"), std::string(kTotalsCsv) + kTotalsCsv);
  EXPECT_EQ(b.s.outputFile, b.out.File("DATA.csv"));
  EXPECT_FALSE(FileExists(b.out.File("ignored.csv")));
  EXPECT_EQ(b.s.recordCount, 14);
  EXPECT_EQ(b.s.sourceFile, b.in.File("two.xlsx"));  // the last one tried
}

TEST(RunBatch, OneNamedSourceAndOneOutputFile) {
  SKIP_UNLESS_READABLE(FixturePath("engine/data_totals.xlsx"));
  Batch b;
  b.Copy("engine/data_totals.xlsx", "one.xlsx");
  b.Copy("engine/data_totals.xlsx", "other.xlsx");
  WriteFile(b.out.File("all.csv"), "old content");
  b.s.sourceFile = b.in.File("one.xlsx");
  b.s.outputFolder.clear();
  b.s.outputFile = b.out.File("all.csv");
  EXPECT_EQ(RunBatch(b.s), 0);
  // Every sheet goes to the one file: overwritten once, then appended.
  EXPECT_EQ(b.Out("all.csv"), std::string(kDataCsv) + kTotalsCsv);
  EXPECT_EQ(b.s.outputFile, b.out.File("all.csv"));
  EXPECT_EQ(b.s.recordCount, 7);
}

TEST(RunBatch, EachRunStartsAfreshInItsFolder) {
  SKIP_UNLESS_READABLE(FixturePath("engine/data_totals.xlsx"));
  Batch b;
  b.Copy("engine/data_totals.xlsx", "one.xlsx");
  b.s.sourceFile = b.in.File("one.xlsx");
  ASSERT_EQ(RunBatch(b.s), 0);
  // A second run of the same record overwrites instead of appending to the
  // first run's files.
  b.s.sourceFile = b.in.File("one.xlsx");
  ASSERT_EQ(RunBatch(b.s), 0);
  EXPECT_EQ(b.Out("DATA.csv"), kDataCsv);
  EXPECT_EQ(b.Out("TOTALS.csv"), kTotalsCsv);
  EXPECT_EQ(b.s.recordCount, 14);  // never reset
}

}  // namespace
