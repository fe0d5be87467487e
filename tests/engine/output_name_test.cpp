// Output file names built from sheet names, and which paths a run has
// written: the rules of both platforms, then the real file system.
#include "engine/output_name.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "engine/batch.h"
#include "engine/export.h"
#include "tests/support/test_support.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

using testing_support::FixturePath;
using testing_support::MemoryBook;
using testing_support::ReadFile;
using testing_support::ScratchDir;
using testing_support::WriteFile;

namespace {

constexpr char kSep = platform::kPathSeparator;

std::string In(const ScratchDir& dir, const std::string& name) { return dir.path() + kSep + name; }

// The names in a folder, sorted.
std::vector<std::string> Listing(const ScratchDir& dir) {
  std::vector<std::string> names;
  platform::FindFiles(In(dir, "*"), &names);
  names.erase(
      std::remove_if(names.begin(), names.end(), [](const std::string& n) { return n == "." || n == ".."; }),
      names.end());
  std::sort(names.begin(), names.end());
  return names;
}

std::vector<std::string> Sorted(std::vector<std::string> names) {
  std::sort(names.begin(), names.end());
  return names;
}

// The A-form text of a UTF-8 name, as the reader hands sheet names over.
std::string A(const char* utf8) { return platform::Utf8ToAnsi(utf8); }

#ifdef _WIN32
// Wine's and western Windows' ANSI code page, where superscript one is 0xB9.
bool AnsiIs1252() { return GetACP() == 1252; }
#endif

TEST(OutputName, WindowsRulesKeepSafeNamesAndMendTheOthers) {
  // Names that were safe keep every character.
  for (const char16_t* safe : {u"DATA", u"\u00c4rger", u"Q1 2024.final", u"COM10", u"LPT0", u"CONSOLE",
                               u"NULL.X", u"A.NUL", u"COM\u00b4", u"Total.", u"x ", u"\u8868"})
    EXPECT_EQ(WindowsFileName(safe), safe);
  // Device names, with or without more behind a dot: "_" after the part
  // before the first dot.
  EXPECT_EQ(WindowsFileName(u"NUL.X"), u"NUL_.X");
  EXPECT_EQ(WindowsFileName(u"CON."), u"CON_.");
  EXPECT_EQ(WindowsFileName(u"AUX.2024"), u"AUX_.2024");
  EXPECT_EQ(WindowsFileName(u"prn.a.b"), u"prn_.a.b");
  EXPECT_EQ(WindowsFileName(u"nul"), u"nul_");
  EXPECT_EQ(WindowsFileName(u"LPT9"), u"LPT9_");
  EXPECT_EQ(WindowsFileName(u"Com1.txt"), u"Com1_.txt");
  EXPECT_EQ(WindowsFileName(u"CON .txt"), u"CON _.txt");
  EXPECT_EQ(WindowsFileName(u"COM\u00b9"), u"COM\u00b9_");
  EXPECT_EQ(WindowsFileName(u"com\u00b2.x"), u"com\u00b2_.x");
  EXPECT_EQ(WindowsFileName(u"LPT\u00b3"), u"LPT\u00b3_");
  // Characters a file name cannot hold.
  EXPECT_EQ(WindowsFileName(u"A:B"), u"A_B");
  EXPECT_EQ(WindowsFileName(u"<>:\"/\\|?*"), u"_________");
  EXPECT_EQ(WindowsFileName(u"\x01tab\t\x1f"), u"_tab__");
  EXPECT_EQ(WindowsFileName(u"..\\..\\x"), u".._.._x");
  // A colon after a device name ends the device name no more.
  EXPECT_EQ(WindowsFileName(u"NUL:x"), u"NUL_x");
}

TEST(OutputName, PosixRulesChangeOnlySeparators) {
  EXPECT_EQ(PosixFileName("../../etc/x"), ".._.._etc_x");
  EXPECT_EQ(PosixFileName("a\\b"), "a_b");
  for (const char* kept : {"A:B", "NUL.X", "CON", "x|y?", "COM\xc2\xb9", "\xc3\x84rger", "tab\t"})
    EXPECT_EQ(PosixFileName(kept), kept);
}

TEST(OutputName, PathsFromTheFolderOnThisPlatform) {
#ifdef _WIN32
  EXPECT_EQ(SheetOutputPath("C:\\out", "DATA"), "C:\\out\\DATA.csv");
  EXPECT_EQ(SheetOutputPath("C:\\out\\", "DATA"), "C:\\out\\DATA.csv");
  EXPECT_EQ(SheetOutputPath("C:/out/", "DATA"), "C:/out/DATA.csv");
  EXPECT_EQ(SheetOutputPath("", "DATA"), "\\DATA.csv");
  EXPECT_EQ(SheetOutputPath("C:\\out", "con"), "C:\\out\\con_.csv");
  EXPECT_EQ(SheetOutputPath("C:\\out", "NUL.X"), "C:\\out\\NUL_.X.csv");
  EXPECT_EQ(SheetOutputPath("C:\\out", "A:B"), "C:\\out\\A_B.csv");
  EXPECT_EQ(SheetOutputPath("C:\\out", "COM10"), "C:\\out\\COM10.csv");
  // Non-ASCII names arrive in the ANSI code page and keep their bytes.
  EXPECT_EQ(SheetOutputPath("C:\\out", A("\xc3\x84RGER")), "C:\\out\\" + A("\xc3\x84RGER") + ".csv");
  if (AnsiIs1252()) {
    EXPECT_EQ(SheetOutputPath("C:\\out", "COM\xb9"), "C:\\out\\COM\xb9_.csv");
    EXPECT_EQ(SheetOutputPath("C:\\out", "LPT\xb3.A"), "C:\\out\\LPT\xb3_.A.csv");
    EXPECT_EQ(SheetOutputPath("C:\\out", "\xe4:\x81"), "C:\\out\\\xe4_\x81.csv");
  }
#else
  EXPECT_EQ(SheetOutputPath("/out", "DATA"), "/out/DATA.csv");
  EXPECT_EQ(SheetOutputPath("/out/", "DATA"), "/out/DATA.csv");
  EXPECT_EQ(SheetOutputPath("", "DATA"), "DATA.csv");
  EXPECT_EQ(SheetOutputPath("/out", "../../etc/x"), "/out/.._.._etc_x.csv");
  EXPECT_EQ(SheetOutputPath("/out", "CON"), "/out/CON.csv");
  EXPECT_EQ(SheetOutputPath("/out", "NUL.X"), "/out/NUL.X.csv");
  EXPECT_EQ(SheetOutputPath("/out", "A:B"), "/out/A:B.csv");
#endif
}

TEST(OutputName, WrittenPathsAreTheFilesThePlatformTakesAsOne) {
  WrittenPaths written;
#ifdef _WIN32
  written.Add("C:\\out\\" + A("\xc3\xa4RGER") + ".csv");
  EXPECT_TRUE(written.Contains("c:/OUT/" + A("\xc3\x84RGER") + ".CSV"));
  EXPECT_FALSE(written.Contains("C:\\out\\ARGER.csv"));
  written.Add("C:\\out\\" + A("\xc3\xa9t\xc3\xa9") + ".csv");
  EXPECT_TRUE(written.Contains("C:\\out\\" + A("\xc3\x89T\xc3\x89") + ".csv"));
#else
  ScratchDir dir;
  const std::string lower = In(dir, "\xc3\xa4rger.csv"), upper = In(dir, "\xc3\x84rger.csv");
  WriteFile(lower, "a");
  WriteFile(upper, "b");
  written.Add(lower);
  EXPECT_TRUE(written.Contains(lower));
  // Most POSIX file systems keep both names apart; where one takes them as
  // one file, so does the set.
  EXPECT_EQ(written.Contains(upper), ReadFile(lower) == ReadFile(upper));
  // A second name of a written file is that file.
  const std::string link = In(dir, "link.csv");
  ASSERT_EQ(::link(lower.c_str(), link.c_str()), 0);
  EXPECT_TRUE(written.Contains(link));
  // A symbolic link is a name of its own: deleting it leaves the file.
  const std::string symbolic = In(dir, "symbolic.csv");
  ASSERT_EQ(::symlink(lower.c_str(), symbolic.c_str()), 0);
  EXPECT_FALSE(written.Contains(symbolic));
  EXPECT_FALSE(written.Contains(In(dir, "missing.csv")));
#endif
  written.clear();
  EXPECT_TRUE(written.empty());
}

// Exports one single-row sheet per name into a scratch folder, with
// overwrite on, as an unattended run does.
struct NamedSheetsRun {
  ScratchDir dir;
  ConverterSettings s{};
  MemoryBook mb;
  std::vector<XlSheet*> sheets;
  explicit NamedSheetsRun(const std::vector<std::string>& names) {
    SetDefaultSettings(s);
    ParseFieldDelimiter(s, s.fieldDelimiter);
    ParseRecordDelimiter(s, s.recordDelimiter);
    s.outputFolder = dir.path();
    s.logEnabled = 1;
    for (size_t i = 0; i < names.size(); ++i) {
      XlSheet* sheet = mb.Sheet("S" + std::to_string(i));
      mb.Number(sheet, 0, 0, static_cast<double>(i));
      sheets.push_back(sheet);
    }
    s.book = mb.Release();
    for (size_t i = 0; i < names.size(); ++i) {
      s.sheet = sheets[i];
      ExportSheet(nullptr, s, names[i].c_str());
    }
  }
  std::string Out(const std::string& name) { return ReadFile(In(dir, name)); }
};

TEST(OutputName, DeviceNamesAndForbiddenCharactersOnTheFileSystem) {
  const std::string com1 = A("COM\xc2\xb9"), lpt3 = A("LPT\xc2\xb3");
  NamedSheetsRun run(
      {"NUL.X", "CON.", "AUX.2024", "PRN.A", com1, lpt3 + ".A", "A:B", "X<Y>|Z", "PLAIN", "TOTAL.", "X "});
  EXPECT_EQ(run.s.writeFailures, 0);
  EXPECT_EQ(run.s.recordCount, 11);
#ifdef _WIN32
  std::vector<std::string> files = {"NUL_.X.csv",   "CON_..csv",      "AUX_.2024.csv", "PRN_.A.csv",
                                    com1 + "_.csv", lpt3 + "_.A.csv", "A_B.csv",       "X_Y__Z.csv",
                                    "PLAIN.csv",    "TOTAL..csv",     "X .csv"};
#else
  std::vector<std::string> files = {"NUL.X.csv",   "CON..csv",      "AUX.2024.csv", "PRN.A.csv",
                                    com1 + ".csv", lpt3 + ".A.csv", "A:B.csv",      "X<Y>|Z.csv",
                                    "PLAIN.csv",   "TOTAL..csv",    "X .csv"};
#endif
  // Dots and blanks at the end of a sheet name stay: ".csv" follows them,
  // so Windows drops nothing of the name.
  EXPECT_EQ(Listing(run.dir), Sorted(files));
  // Each sheet's row is in its own file.
  for (size_t i = 0; i < files.size(); ++i)
    EXPECT_EQ(run.Out(files[i]), std::to_string(i) + ".000000,\r\n") << files[i];
}

TEST(OutputName, NamesDifferingInTheCaseOfAnyLetter) {
  const std::string upper = A("\xc3\x84RGER"), lower = A("\xc3\xa4RGER");
  NamedSheetsRun run({upper, lower});
#ifdef _WIN32
  // One file: the second sheet appends instead of deleting the first's row.
  EXPECT_EQ(Listing(run.dir), std::vector<std::string>{upper + ".csv"});
  EXPECT_EQ(run.Out(upper + ".csv"), "0.000000,\r\n1.000000,\r\n");
#else
  // Two files on a case-sensitive file system, one (both rows) on another.
  std::vector<std::string> listing = Listing(run.dir);
  if (listing.size() == 2) {
    EXPECT_EQ(run.Out(upper + ".csv"), "0.000000,\r\n");
    EXPECT_EQ(run.Out(lower + ".csv"), "1.000000,\r\n");
  } else {
    EXPECT_EQ(run.Out(upper + ".csv"), "0.000000,\r\n1.000000,\r\n");
  }
#endif
}

// Windows builds in the code page 932 (the test engine_output_names_cp932);
// skipped in the other code pages.
#ifdef _WIN32
TEST(OutputName, DoubleByteCodePageKeepsEveryCharacter) {
  if (GetACP() != 932) GTEST_SKIP() << "ANSI code page " << GetACP();
  // Shift JIS: U+8868 is 95 5C and U+30BD is 83 5C; their second byte is "\".
  const std::string table = "\x95\x5C", so = "\x83\x5C";
  EXPECT_EQ(A("\xe8\xa1\xa8"), table);
  EXPECT_EQ(SheetFileName(table + so), table + so);
  EXPECT_EQ(SheetFileName(table + ":" + so + "\\"), table + "_" + so + "_");
  NamedSheetsRun run({table, so + "|"});
  EXPECT_EQ(run.s.writeFailures, 0) << run.s.outputFile << " in " << run.dir.path();
  EXPECT_EQ(Listing(run.dir), Sorted({table + ".csv", so + "_.csv"}));
  EXPECT_EQ(run.Out(table + ".csv"), "0.000000,\r\n");
}
#endif

TEST(OutputName, NamesMadeEqualShareOneFileAndLoseNoRow) {
  NamedSheetsRun run({"A:B", "A|B", "A/B"});
#ifdef _WIN32
  EXPECT_EQ(Listing(run.dir), std::vector<std::string>{"A_B.csv"});
  EXPECT_EQ(run.Out("A_B.csv"), "0.000000,\r\n1.000000,\r\n2.000000,\r\n");
#else
  EXPECT_EQ(Listing(run.dir), Sorted({"A:B.csv", "A|B.csv", "A_B.csv"}));
  EXPECT_EQ(run.Out("A_B.csv"), "2.000000,\r\n");
#endif
}

TEST(OutputName, AWorkbookWithHazardousSheetNames) {
  ScratchDir out;
  ConverterSettings s{};
  SetDefaultSettings(s);
  ParseFieldDelimiter(s, s.fieldDelimiter);
  ParseRecordDelimiter(s, s.recordDelimiter);
  s.logEnabled = 1;
  s.sourceFile = FixturePath("engine/hazardous_sheet_names.xlsx");
  s.outputFolder = out.path();
  ASSERT_EQ(RunBatch(s), 0);
  EXPECT_EQ(s.writeFailures, 0);
  EXPECT_EQ(s.recordCount, 11);
  // Sheet names arrive upper-cased in ASCII only; each row holds its
  // sheet's name and position.
  auto row = [](const char* utf8, int n) {
    return "\"" + A(utf8) + "\"," + std::to_string(n) + ".000000,\r\n";
  };
#ifdef _WIN32
  const std::string com1 = A("COM\xc2\xb9_.csv"), lpt3 = A("LPT\xc2\xb3_.csv"), arger = A("\xc3\x84RGER.csv");
  EXPECT_EQ(Listing(out), Sorted({"NUL_.X.csv", "CON_..csv", "AUX_.2024.csv", "PRN_.A.csv", com1, lpt3,
                                  "A_B.csv", arger, "X_Y_.csv", "PLAIN.csv"}));
  EXPECT_EQ(ReadFile(In(out, "NUL_.X.csv")), row("NUL.X", 1));
  EXPECT_EQ(ReadFile(In(out, com1)), row("COM\xc2\xb9", 5));
  EXPECT_EQ(ReadFile(In(out, "A_B.csv")), row("A:B", 7));
  EXPECT_EQ(ReadFile(In(out, arger)), row("\xc3\x84rger", 8) + row("\xc3\xa4rger", 9));
  EXPECT_EQ(ReadFile(In(out, "X_Y_.csv")), row("x|y?", 10));
#else
  EXPECT_EQ(Listing(out), Sorted({"NUL.X.csv", "CON..csv", "AUX.2024.csv", "PRN.A.csv", "COM\xc2\xb9.csv",
                                  "LPT\xc2\xb3.csv", "A:B.csv", "\xc3\x84RGER.csv", "\xc3\xa4RGER.csv",
                                  "X|Y?.csv", "PLAIN.csv"}));
  EXPECT_EQ(ReadFile(In(out, "NUL.X.csv")), row("NUL.X", 1));
  EXPECT_EQ(ReadFile(In(out, "\xc3\xa4RGER.csv")), row("\xc3\xa4rger", 9));
#endif
}

}  // namespace
