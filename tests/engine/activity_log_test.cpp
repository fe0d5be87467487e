// The activity log's line layout and the status report.
#include "engine/activity_log.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <regex>

#include "tests/support/test_support.h"

using testing_support::FileExists;
using testing_support::ReadFile;
using testing_support::ScratchDir;

namespace {

#ifndef _WIN32
// Points the application-data folder at a scratch folder for one test.
struct AppDataHere {
  std::string old;
  bool had;
  explicit AppDataHere(const std::string& dir) {
    const char* v = std::getenv("XDG_DATA_HOME");
    had = v != nullptr;
    if (v) old = v;
    setenv("XDG_DATA_HOME", dir.c_str(), 1);
  }
  ~AppDataHere() {
    if (had)
      setenv("XDG_DATA_HOME", old.c_str(), 1);
    else
      unsetenv("XDG_DATA_HOME");
  }
};
#endif

TEST(ActivityLog, MessagesOfEachKind) {
  ConverterSettings s{};
  s.sourceFile = "C:\\data\\book.xls";
  s.recordCount = 120;
  EXPECT_EQ(LogMessage(s, kLogStart, ""), "Start. C:\\data\\book.xls -> ");
  s.outputFile = "C:\\out\\A.csv";
  EXPECT_EQ(LogMessage(s, kLogStart, ""), "Start. C:\\data\\book.xls -> C:\\out\\A.csv");
  EXPECT_EQ(LogMessage(s, kLogStop, ""), "Stop. 120 records have been imported.");
  s.recordCount = 0;
  EXPECT_EQ(LogMessage(s, kLogStop, ""), "Stop. 0 records have been imported.");
  EXPECT_EQ(LogMessage(s, kLogCannotCreate, "ignored"), "Cannot create output file.");
  EXPECT_EQ(LogMessage(s, 7, "free text"), "free text");
  // A long message is never cut.
  s.sourceFile.assign(200000, 'x');
  EXPECT_EQ(LogMessage(s, kLogStart, "").size(), 200000u + 11 + s.outputFile.size());
}

TEST(ActivityLog, LineLayoutOnDisk) {
  ConverterSettings s{};
  s.recordCount = 3;
#ifndef _WIN32
  ScratchDir dir;
  AppDataHere here(dir.path());
  EXPECT_EQ(ActivityLogPath(), dir.path() + "/wizards.log");
  EXPECT_FALSE(FileExists(ActivityLogPath()));
#endif
  std::string before = ReadFile(ActivityLogPath());
  WriteLogLine(kLogSource, s, kLogStop, "");
  WriteLogLine(kLogSource, s, kLogCannotCreate, "");
  std::string added = ReadFile(ActivityLogPath()).substr(before.size());
#ifdef _WIN32
  const std::string nl = "\r\n";  // text mode stores the line break as CR LF
#else
  const std::string nl = "\n";
#endif
  std::regex layout(
      nl +
      "\\d{4}\\.\\d{2}\\.\\d{2} \\d{2}:\\d{2}:\\d{2} TABREVO    Stop\\. 3 records have been imported\\." +
      nl + "\\d{4}\\.\\d{2}\\.\\d{2} \\d{2}:\\d{2}:\\d{2} TABREVO    Cannot create output file\\.");
  EXPECT_TRUE(std::regex_match(added, layout)) << added;
  // The message starts at column 32 of its line.
  size_t lineStart = added.find(nl) + nl.size();
  EXPECT_EQ(added.substr(lineStart + 31, 5), "Stop.");
}

TEST(ActivityLog, LongSourceNamesAreWrittenWhole) {
  ConverterSettings s{};
#ifndef _WIN32
  ScratchDir dir;
  AppDataHere here(dir.path());
#endif
  std::string before = ReadFile(ActivityLogPath());
  WriteLogLine("A_LONGER_SOURCE", s, 9, "x");
  std::string added = ReadFile(ActivityLogPath()).substr(before.size());
  EXPECT_NE(added.find(" A_LONGER_SOURCE x"), std::string::npos) << added;
}

#ifndef _WIN32
TEST(ActivityLog, MissingFolderDropsTheLine) {
  ScratchDir dir;
  std::string file = dir.File("file");
  testing_support::WriteFile(file, "");
  AppDataHere here(file);  // a file where the folder should be
  ConverterSettings s{};
  WriteLogLine(kLogSource, s, kLogStop, "");  // must not fail or throw
  EXPECT_EQ(ReadFile(file), "");
}
#endif

TEST(StatusReport, WordsReplaceEachOtherAndNoFileWithoutAName) {
  ScratchDir dir;
  ConverterSettings s{};
  WriteStatus(kStatusWelcome, s);  // empty statusFile: nothing anywhere
  s.statusFile = dir.File("status.log");
  EXPECT_FALSE(FileExists(s.statusFile));
  WriteStatus(kStatusInProgress, s);
  WriteStatus(kStatusSuccessful, s);
  std::string text = ReadFile(s.statusFile);
  EXPECT_NE(text.find("[TABREVO]"), std::string::npos);
  EXPECT_NE(text.find("Result=Successful"), std::string::npos);
  EXPECT_EQ(text.find("Conversion In Progress"), std::string::npos);
  s.statusFile = dir.File("missing/status.log");
  WriteStatus(kStatusFailed, s);  // silently dropped
  EXPECT_FALSE(FileExists(s.statusFile));
}

TEST(StatusReport, TheRunEndsWithItsFailureCountAndSuccessful) {
  ScratchDir dir;
  ConverterSettings s{};
  WriteRunEndStatus(s);  // no status file named: nothing
  s.statusFile = dir.File("status.ini");
  WriteStatus(kStatusFailed, s);
  s.readFailures = 2;
  s.writeFailures = 1;
  WriteRunEndStatus(s);
  std::string text = ReadFile(s.statusFile);
  EXPECT_NE(text.find("Failures=3"), std::string::npos) << text;
  EXPECT_NE(text.find("Result=Successful"), std::string::npos) << text;
  EXPECT_EQ(text.find("Failed"), std::string::npos) << text;
  // A later run replaces the count.
  s.readFailures = s.writeFailures = 0;
  WriteRunEndStatus(s);
  text = ReadFile(s.statusFile);
  EXPECT_NE(text.find("Failures=0"), std::string::npos) << text;
  EXPECT_EQ(text.find("Failures=3"), std::string::npos) << text;
}

}  // namespace
