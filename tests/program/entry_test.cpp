// The program's entry logic: which road a command line takes, and the order
// defaults < settings file < parameters.
#include <gtest/gtest.h>

#include "program/ini_settings.h"
#include "program/program_entry.h"
#include "tests/support/test_support.h"

using testing_support::ReadFile;
using testing_support::ScratchDir;
using testing_support::WriteFile;

namespace {

struct RoadCase {
  int silent;
  int batch;
  const char* source;
  Road expected;
};

TEST(Road, SilentBatchAndWildcards) {
  const RoadCase cases[] = {
      {0, 0, "", Road::kWizard},                          // no arguments at all
      {1, 0, "", Road::kUnattended},                      // SILENT alone
      {1, 0, "C:\\data\\book.xls", Road::kUnattended},    // SILENT with one workbook
      {0, 1, "C:\\data\\*.xls", Road::kUnattended},       // BATCH with a pattern
      {0, 1, "C:\\data\\book?.xlsx", Road::kUnattended},  // ... ? counts too
      {0, 1, "C:\\data\\book.xls", Road::kWizard},        // BATCH, one named workbook
      {0, 1, "", Road::kWizard},                          // BATCH without a source
      {0, 0, "C:\\data\\*.xls", Road::kWizard},           // pattern without either keyword
      {1, 1, "C:\\data\\book.xls", Road::kUnattended},    // SILENT and BATCH together
      {1, 1, "C:\\data\\*.xls", Road::kUnattended},
  };
  for (const RoadCase& c : cases) {
    ConverterSettings s{};
    SetDefaultSettings(s);
    s.silent = c.silent;
    s.batch = c.batch;
    s.sourceFile = c.source;
    EXPECT_EQ(ChooseRoad(s), c.expected)
        << "silent " << c.silent << " batch " << c.batch << " source " << c.source;
  }
}

TEST(Road, ChosenFromParsedCommandLines) {
  ScratchDir dir;
  std::string ini = dir.File("tabrevo.ini");
  auto road = [&](std::vector<const char*> args) {
    args.insert(args.begin(), "tabrevo");
    ConverterSettings s{};
    BuildSettings(s, ini, static_cast<int>(args.size()), args.data());
    return ChooseRoad(s);
  };
  EXPECT_EQ(road({}), Road::kWizard);
  EXPECT_EQ(road({"/SILENT"}), Road::kUnattended);
  EXPECT_EQ(road({"data/*.xls", "./out", "-batch"}), Road::kUnattended);
  EXPECT_EQ(road({"data/book.xls", "./out", "/BATCH"}), Road::kWizard);
  EXPECT_EQ(road({"data/*.xlsx", "./out"}), Road::kWizard);
}

TEST(IniSettings, PathBesideTheProgram) {
  EXPECT_EQ(IniPathFor("C:\\Tools\\tabrevo.exe"), "C:\\Tools\\tabrevo.ini");
  EXPECT_EQ(IniPathFor("C:\\Tools\\tabrevo.v2.exe"), "C:\\Tools\\tabrevo.v2.ini");
  // A program file without an extension: only a full stop of the file name
  // counts, not one of a folder.
#ifdef _WIN32
  EXPECT_EQ(IniPathFor("C:\\my.tools\\tabrevo"), "C:\\my.tools\\tabrevo.ini");
#else
  EXPECT_EQ(IniPathFor("/home/u/.local/bin/tabrevo"), "/home/u/.local/bin/tabrevo.ini");
  EXPECT_EQ(IniPathFor("/opt/tabrevo"), "/opt/tabrevo.ini");
#endif
  std::string own = IniSettingsPath();
  ASSERT_GT(own.size(), 4u);
  EXPECT_EQ(own.substr(own.size() - 4), ".ini");
}

TEST(IniSettings, MissingFileGivesTheDefaults) {
  ScratchDir dir;
  ConverterSettings s{};
  s.logEnabled = 7;
  s.overwrite = 7;
  s.openResult = 7;
  LoadIniSettingsFrom(dir.File("none.ini"), s);
  EXPECT_EQ(s.logEnabled, 0);
  EXPECT_EQ(s.overwrite, 1);
  EXPECT_EQ(s.openResult, 1);
}

TEST(IniSettings, SaveWritesAllThreeKeysAndKeepsTheRest) {
  ScratchDir dir;
  std::string ini = dir.File("tabrevo.ini");
  WriteFile(ini, "[Other]\r\nx=1\r\n[Common]\r\nOverWrite=2\r\nColour=blue\r\n");
  ConverterSettings s{};
  SetDefaultSettings(s);
  LoadIniSettingsFrom(ini, s);
  EXPECT_EQ(s.overwrite, 2);  // survives a run that does not change it
  SaveIniSettingsTo(ini, s);
  ConverterSettings back{};
  LoadIniSettingsFrom(ini, back);
  EXPECT_EQ(back.logEnabled, 0);
  EXPECT_EQ(back.overwrite, 2);
  EXPECT_EQ(back.openResult, 1);
  std::string text = ReadFile(ini);
  EXPECT_NE(text.find("Log=0"), std::string::npos) << text;
  EXPECT_NE(text.find("OverWrite=2"), std::string::npos) << text;
  EXPECT_NE(text.find("Open=1"), std::string::npos) << text;
  EXPECT_NE(text.find("Colour=blue"), std::string::npos) << text;
  EXPECT_NE(text.find("[Other]"), std::string::npos) << text;

  // A save into a folder that does not exist is dropped without a trace.
  SaveIniSettingsTo(dir.File("missing/tabrevo.ini"), s);
  EXPECT_FALSE(testing_support::FileExists(dir.File("missing/tabrevo.ini")));
}

TEST(IniSettings, DefaultsThenIniThenParameters) {
  ScratchDir dir;
  std::string ini = dir.File("tabrevo.ini");
  WriteFile(ini, "[Common]\nLog=1\nOverWrite=0\nOpen=0\n");
  {
    const char* args[] = {"tabrevo"};
    ConverterSettings s{};
    BuildSettings(s, ini, 1, args);
    EXPECT_EQ(s.logEnabled, 1);
    EXPECT_EQ(s.overwrite, 0);
    EXPECT_EQ(s.openResult, 0);
    EXPECT_EQ(s.fieldDelimiter, ",");  // fields the file does not hold keep their defaults
    EXPECT_EQ(s.quoteStrings, 1);
  }
  {
    const char* args[] = {"tabrevo", "/OVERWRITE=SKIP", "-OPEN=1", "/FIELDS=TAB"};
    ConverterSettings s{};
    BuildSettings(s, ini, 4, args);
    EXPECT_EQ(s.logEnabled, 1);  // no keyword switches the log off
    EXPECT_EQ(s.overwrite, 2);
    EXPECT_EQ(s.openResult, 1);
    EXPECT_EQ(s.fieldDelimiter, "TAB");  // the word is turned into a tab on the unattended road
  }
}

TEST(Unattended, DelimiterWordsBecomeTextsAndStatusEndsSuccessful) {
  ScratchDir dir;
  std::string status = dir.File("status.ini");
  std::string statusArg = "/STATUS=" + status;
  const char* args[] = {"tabrevo", "/SILENT", "/FIELDS=TAB", "/RECORDS=LF", statusArg.c_str()};
  ConverterSettings s{};
  BuildSettings(s, dir.File("tabrevo.ini"), 5, args);
  ASSERT_EQ(ChooseRoad(s), Road::kUnattended);
  // No source: nothing to convert, and the run still ends "Successful".
  EXPECT_EQ(RunUnattended(s), 0);
  EXPECT_EQ(s.fieldDelimiter, "\t");
  EXPECT_EQ(s.recordDelimiter, "\n");
  std::string text = ReadFile(status);
  EXPECT_NE(text.find("[TABREVO]"), std::string::npos) << text;
  EXPECT_NE(text.find("Result=Successful"), std::string::npos) << text;
  EXPECT_NE(text.find("Failures=0"), std::string::npos) << text;
}

TEST(ExitCode, MissingNamesFirstThenWriteFailuresOutrankReadFailures) {
  ConverterSettings s{};
  EXPECT_EQ(MissingNameExitCode(s), kExitNoSource);
  s.outputFolder = "./out";
  EXPECT_EQ(MissingNameExitCode(s), kExitNoSource);
  s.sourceFile = "book.xlsm";
  s.outputFolder.clear();
  EXPECT_EQ(MissingNameExitCode(s), kExitNoOutput);
  s.outputFile = "all.csv";
  EXPECT_EQ(MissingNameExitCode(s), kExitConverted);

  EXPECT_EQ(ExitCodeFor(s, 0), kExitConverted);
  EXPECT_EQ(ExitCodeFor(s, 3), kExitReadFailure);  // a book could not be created
  s.readFailures = 1;
  EXPECT_EQ(ExitCodeFor(s, 0), kExitReadFailure);
  s.writeFailures = 2;
  EXPECT_EQ(ExitCodeFor(s, 3), kExitWriteFailure);
  s.readFailures = 0;
  EXPECT_EQ(ExitCodeFor(s, 0), kExitWriteFailure);
}

}  // namespace
