// Sheet export: paths, overwrite rules, rendering, quoting, failures.
#include "engine/export.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <unistd.h>
#endif

#include "engine/activity_log.h"
#include "progress_recorder.h"
#include "tests/support/test_support.h"

using testing_support::FileExists;
using testing_support::MemoryBook;
using testing_support::ReadFile;
using testing_support::ScratchDir;
using testing_support::WriteFile;

namespace {

// A run with default settings over one memory book, writing into a scratch folder.
struct ExportRun {
  ScratchDir dir;
  ConverterSettings s{};
  MemoryBook mb;
  ExportRun() {
    SetDefaultSettings(s);
    ParseFieldDelimiter(s, s.fieldDelimiter);
    ParseRecordDelimiter(s, s.recordDelimiter);
    s.outputFolder = dir.path();
    s.statusFile = dir.File("status.ini");
  }
  std::string Export(XlSheet* sheet, const char* name = "OUT") {
    if (mb.book()) s.book = mb.Release();
    s.sheet = sheet;
    ExportSheet(nullptr, s, name);
    return ReadFile(dir.File(std::string(name) + ".csv"));
  }
  std::string Status() { return ReadFile(s.statusFile); }
  // A sheet that holds one string, in A1.
  XlSheet* OneString(const char* name, const std::string& text) {
    XlSheet* sheet = mb.Sheet(name);
    mb.String(sheet, 0, 0, text);
    return sheet;
  }
};

TEST(Export, DefaultRowFromTheEdgeCases) {
  ExportRun run;
  XlSheet* sh = run.mb.Sheet("Data");
  run.mb.String(sh, 0, 0, "x");
  run.mb.Number(sh, 0, 2, 1.5);
  EXPECT_EQ(run.Export(sh), "\"x\",,1.500000,\r\n");
  EXPECT_EQ(run.s.recordCount, 1);
  EXPECT_EQ(run.s.outputFile, run.dir.File("OUT.csv"));
}

TEST(Export, EveryRowFromZeroAndEveryColumnOfTheSheet) {
  ExportRun run;
  XlSheet* sh = run.mb.Sheet("Data");
  run.mb.String(sh, 1, 2, "z");
  run.mb.Boolean(sh, 2, 0, true);
  run.mb.Error(sh, 2, 1);
  EXPECT_EQ(run.Export(sh), ",,,\r\n,,\"z\",\r\n1,,,\r\n");
  EXPECT_EQ(run.s.recordCount, 3);
}

TEST(Export, EmptySheetCreatesAnEmptyFile) {
  ExportRun run;
  XlSheet* sh = run.mb.Sheet("Empty");
  EXPECT_EQ(run.Export(sh), "");
  EXPECT_TRUE(FileExists(run.dir.File("OUT.csv")));
  EXPECT_EQ(run.s.recordCount, 0);
}

TEST(Export, NumbersByTheirCustomFormat) {
  ExportRun run;
  uint32_t twoPlaces = run.mb.Style(164), grouped = run.mb.Style(165), whole = run.mb.Style(166),
           groupedWhole = run.mb.Style(167), builtin = run.mb.Style(4), wide = run.mb.Style(168);
  run.mb.Format(164, "0.00");
  run.mb.Format(165, "#,##0.00");
  run.mb.Format(166, "0");
  run.mb.Format(167, "#,##0");
  XlSheet* sh = run.mb.Sheet("N");
  run.mb.Number(sh, 0, 0, 3.14159, twoPlaces);
  run.mb.Number(sh, 0, 1, 5, grouped);
  run.mb.Number(sh, 0, 2, 7.9, whole);
  run.mb.Number(sh, 0, 3, -1234.5, groupedWhole);
  run.mb.Number(sh, 0, 4, 2.5, builtin);
  run.mb.Number(sh, 0, 5, 1e10, groupedWhole);  // beyond 32 bits: written in full
  // Wider than the rendering's fast road pads.
  run.mb.Format(168, std::string(36, '#') + ".00");
  run.mb.Number(sh, 0, 6, -5, wide);
  EXPECT_EQ(run.Export(sh), "3.14,    5.00,7,-1234,2.500000,10000000000," + std::string(34, ' ') + "-5.00,\r\n");
  // Blanks in front inside the quotes.
  run.s.quoteAll = 1;
  run.s.pathsWritten.clear();
  EXPECT_EQ(run.Export(sh), "\"3.14\",\"    5.00\",\"7\",\"-1234\",\"2.500000\",\"10000000000\",\"" +
                                std::string(34, ' ') + "-5.00\",\r\n");
}

TEST(Export, DatesAndBooleansAndQuoteAll) {
  ExportRun run;
  uint32_t date = run.mb.Style(14), custom = run.mb.Style(170);
  run.mb.Format(170, "yyyy-mm-dd hh:mm:ss");
  XlSheet* sh = run.mb.Sheet("D");
  run.mb.Number(sh, 0, 0, 45356, date);
  run.mb.Number(sh, 0, 1, 45356 + (13 * 3600 + 7 * 60 + 9) / 86400.0, custom);
  run.mb.Number(sh, 0, 2, 45356 + 0.4 / 86400.0, date);  // milliseconds only: the date alone
  run.mb.Number(sh, 0, 3, -5, date);                     // no date: written as a number
  run.mb.Boolean(sh, 0, 4, true);
  run.mb.Boolean(sh, 0, 5, false);
  EXPECT_EQ(run.Export(sh), "2024.03.05,2024.03.05 13:07:09,2024.03.05,-5.000000,1,0,\r\n");
  run.s.quoteAll = 1;
  run.s.pathsWritten.clear();
  EXPECT_EQ(run.Export(sh),
            "\"2024.03.05\",\"2024.03.05 13:07:09\",\"2024.03.05\",\"-5.000000\",\"1\",\"0\",\r\n");
}

// A date repeated down a column or across a row, among numbers of the same
// value, dates the calendar cannot show and dates with a time of day.
TEST(Export, RepeatedDatesAmongOtherCells) {
  ExportRun run;
  uint32_t date = run.mb.Style(14);
  XlSheet* sh = run.mb.Sheet("D");
  const double row0[] = {45356, 45356, 45356, -5, 45356, 45357};
  const double row1[] = {45357, 45356.5, 45356, 45356.5, 1, 45357};
  for (int c = 0; c < 6; ++c) {
    run.mb.Number(sh, 0, c, row0[c], c == 2 ? 0 : date);
    run.mb.Number(sh, 1, c, row1[c], c == 4 ? 0 : date);
  }
  EXPECT_EQ(run.Export(sh),
            "2024.03.05,2024.03.05,45356.000000,-5.000000,2024.03.05,2024.03.06,\r\n"
            "2024.03.06,2024.03.05 12:00:00,2024.03.05,2024.03.05 12:00:00,1.000000,2024.03.06,\r\n");
}

TEST(Export, DatesInThe1904System) {
  ExportRun run;
  run.mb.Date1904(true);
  uint32_t date = run.mb.Style(14);
  XlSheet* sh = run.mb.Sheet("D");
  run.mb.Number(sh, 0, 0, 0, date);
  EXPECT_EQ(run.Export(sh), "1904.01.01,\r\n");
}

TEST(Export, QuotingAndEscaping) {
  ExportRun run;
  XlSheet* sh = run.mb.Sheet("Q");
  run.mb.String(sh, 0, 0, "He said \"hi\"");
  run.mb.String(sh, 0, 1, "a;b");
  run.mb.String(sh, 0, 2, "a,b");
  run.mb.String(sh, 0, 3, "");
  run.s.quoteStrings = 0;
  run.s.fieldDelimiter = ";";
  EXPECT_EQ(run.Export(sh), "\"He said \"\"hi\"\"\";\"a;b\";a,b;;\r\n");
  run.s.escapeChar = "\\";
  run.s.pathsWritten.clear();
  EXPECT_EQ(run.Export(sh), "\"He said \\\"hi\\\"\";\"a;b\";a,b;;\r\n");
  run.s.quoteStrings = 1;
  run.s.pathsWritten.clear();
  EXPECT_EQ(run.Export(sh), "\"He said \\\"hi\\\"\";\"a;b\";\"a,b\";\"\";\r\n");
}

// A quote or a delimiter decides the field's quoting wherever it stands in a
// string of any length: strings are looked at in blocks of several bytes.
TEST(Export, QuotesAndDelimitersAnywhereInStringsOfAnyLength) {
  ExportRun run;
  XlSheet* sh = run.mb.Sheet("P");
  std::string expected;
  int row = 0;
  for (size_t length = 1; length <= 37; ++length) {
    const std::string base = std::string("abcdefghijklmnopqrstuvwxyz0123456789!").substr(0, length);
    for (size_t at = 0; at < length; ++at, ++row) {
      std::string quoted = base, delimited = base;
      quoted[at] = '"';
      delimited[at] = ';';
      run.mb.String(sh, row, 0, quoted);
      run.mb.String(sh, row, 1, delimited);
      run.mb.String(sh, row, 2, base);
      std::string doubled = base.substr(0, at) + "\"\"" + base.substr(at + 1);
      expected += "\"" + doubled + "\";\"" + delimited + "\";" + base + ";\r\n";
    }
  }
  run.s.quoteStrings = 0;
  run.s.fieldDelimiter = ";";
  EXPECT_EQ(run.Export(sh), expected);
}

// Replacing line breaks with \r and \n can bring the delimiter into a text
// that had none: the field is then quoted.
TEST(Export, ReplacedLineBreaksThatMakeADelimiterAreQuoted) {
  ExportRun run;
  XlSheet* sh = run.mb.Sheet("B");
  run.mb.String(sh, 0, 0, "one\ntwo");
  run.mb.String(sh, 0, 1, "three");
  run.s.quoteStrings = 0;
  run.s.fieldDelimiter = "\\";
  run.s.crlfMode = kCrlfReplace;
  EXPECT_EQ(run.Export(sh), "\"one\\ntwo\"\\three\\\r\n");
  run.s.crlfMode = kCrlfRemove;
  run.s.pathsWritten.clear();
  EXPECT_EQ(run.Export(sh), "onetwo\\three\\\r\n");
}

TEST(Export, EmptyDelimitersAndLongOnes) {
  ExportRun run;
  XlSheet* sh = run.mb.Sheet("E");
  run.mb.String(sh, 0, 0, "a");
  run.mb.String(sh, 0, 1, "");
  run.mb.Number(sh, 1, 0, 1);
  run.s.quoteStrings = 0;
  run.s.fieldDelimiter = "";
  run.s.recordDelimiter = "";
  // An empty field delimiter forces no quotes, not even around empty text.
  EXPECT_EQ(run.Export(sh), "a1.000000");
  run.s.fieldDelimiter = "<->";
  run.s.recordDelimiter = "|\n";
  run.s.pathsWritten.clear();
  EXPECT_EQ(run.Export(sh), "a<-><->|\n1.000000<-><->|\n");
}

TEST(Export, LineBreaksInStringsByCrlfMode) {
  ExportRun run;
  XlSheet* sh = run.mb.Sheet("L");
  run.mb.String(sh, 0, 0, "one\r\ntwo\nthree");
  EXPECT_EQ(run.Export(sh), "\"one\r\ntwo\nthree\",\r\n");
  run.s.crlfMode = kCrlfRemove;
  run.s.pathsWritten.clear();
  EXPECT_EQ(run.Export(sh), "\"onetwothree\",\r\n");
  run.s.crlfMode = kCrlfReplace;
  run.s.pathsWritten.clear();
  EXPECT_EQ(run.Export(sh), "\"one\\r\\ntwo\\nthree\",\r\n");
}

TEST(Export, OemCodePageChangesOnlyStrings) {
  ExportRun run;
  XlSheet* sh = run.mb.Sheet("O");
#ifdef _WIN32
  run.mb.String(sh, 0, 0, "\xC3\xA4");  // stored as UTF-8, read in the ANSI code page
#else
  run.mb.String(sh, 0, 0, "\xC3\xA4");
#endif
  run.mb.Number(sh, 0, 1, 2);
  run.s.codePage = kCodePageOem;
  EXPECT_EQ(run.Export(sh), "\"\x84\",2.000000,\r\n");
}

TEST(Export, NoRecordsAndCancelled) {
  ExportRun run;
  XlSheet* sh = run.mb.Sheet("R");
  run.mb.Number(sh, 0, 0, 1);
  run.mb.Number(sh, 1, 0, 1);
  run.s.exportRecords = 0;
  EXPECT_EQ(run.Export(sh), "");
  EXPECT_TRUE(FileExists(run.dir.File("OUT.csv")));
  run.s.exportRecords = 1;
  run.s.cancelled = 1;
  run.s.pathsWritten.clear();
  EXPECT_EQ(run.Export(sh), "");
  EXPECT_EQ(run.s.recordCount, 0);
}

TEST(Export, OverwriteRulesAcrossARun) {
  ExportRun run;
  XlSheet* a = run.OneString("A", "a");
  XlSheet* b = run.OneString("B", "b");
  run.s.outputFile = run.dir.File("one.csv");
  WriteFile(run.s.outputFile, "old\r\n");
  // Overwrite deletes the old file once; the run's next sheet appends.
  run.Export(a, "A");
  run.Export(b, "B");
  EXPECT_EQ(ReadFile(run.dir.File("one.csv")), "\"a\",\r\n\"b\",\r\n");
  // overwrite off: appended behind what the file held.
  run.s.pathsWritten.clear();
  run.s.overwrite = kOverwriteNo;
  run.Export(a, "A");
  EXPECT_EQ(ReadFile(run.dir.File("one.csv")), "\"a\",\r\n\"b\",\r\n\"a\",\r\n");
  // SKIP: a file that existed before the run stays as it is.
  run.s.pathsWritten.clear();
  run.s.overwrite = kOverwriteSkip;
  run.Export(b, "B");
  EXPECT_EQ(ReadFile(run.dir.File("one.csv")), "\"a\",\r\n\"b\",\r\n\"a\",\r\n");
  EXPECT_EQ(run.s.recordCount, 3);
}

#ifndef _WIN32
// Overwriting deletes the old file rather than writing into it: another
// link to it keeps the old rows, whether the new file is written in one
// buffer or by the writing thread across many.
TEST(Export, OverwriteLeavesOtherLinksToTheOldFileAlone) {
  for (int rows : {1, 40000}) {
    ExportRun run;
    XlSheet* a = run.mb.Sheet("A");
    for (int r = 0; r < rows; ++r) run.mb.String(a, static_cast<uint32_t>(r), 0, "row " + std::to_string(r));
    run.s.outputFile = run.dir.File("one.csv");
    WriteFile(run.s.outputFile, "old\r\n");
    ASSERT_EQ(::link(run.s.outputFile.c_str(), run.dir.File("kept.csv").c_str()), 0);
    std::string want;
    for (int r = 0; r < rows; ++r) want += "\"row " + std::to_string(r) + "\",\r\n";
    EXPECT_TRUE(run.Export(a, "one") == want) << rows;
    EXPECT_EQ(ReadFile(run.dir.File("kept.csv")), "old\r\n");
    EXPECT_EQ(run.s.writeFailures, 0);
  }
}
#endif

TEST(Export, SkipAppendsToAFileMadeInTheSameRun) {
  ExportRun run;
  XlSheet* a = run.mb.Sheet("A");
  run.mb.String(a, 0, 0, "a");
  run.s.overwrite = kOverwriteSkip;
  run.s.outputFile = run.dir.File("one.csv");
  run.Export(a, "A");
  run.Export(a, "A");
  EXPECT_EQ(ReadFile(run.dir.File("one.csv")), "\"a\",\r\n\"a\",\r\n");
}

TEST(Export, SheetsOfARunWithoutOutputFileGetFilesOfTheirOwn) {
  ExportRun run;
  XlSheet* a = run.mb.Sheet("Data");
  run.mb.String(a, 0, 0, "a");
  XlSheet* b = run.mb.Sheet("Totals");
  run.mb.String(b, 0, 0, "b");
  EXPECT_EQ(run.Export(a, "DATA"), "\"a\",\r\n");
  EXPECT_EQ(run.Export(b, "TOTALS"), "\"b\",\r\n");
  // The first path stays for the completion page.
  EXPECT_EQ(run.s.outputFile, run.dir.File("DATA.csv"));
}

TEST(Export, AnOutputFileThatCannotBeOpenedIsLoggedAndCounted) {
  ExportRun run;
  XlSheet* a = run.mb.Sheet("A");
  run.mb.String(a, 0, 0, "a");
  run.s.outputFile = run.dir.File("missing/one.csv");
  run.s.logEnabled = 1;
  std::string logPath = ActivityLogPath();
  size_t before = ReadFile(logPath).size();
  run.Export(a, "A");
  EXPECT_EQ(run.s.writeFailures, 1);
  EXPECT_EQ(run.s.recordCount, 0);
  EXPECT_NE(run.Status().find("Result=Failed"), std::string::npos);
  std::string added = ReadFile(logPath).substr(before);
  EXPECT_NE(added.find("TABREVO    Cannot create output file."), std::string::npos) << added;
}

// Without the log, an unattended export (no window) reports an output it
// cannot create and goes on: nothing waits for a click.
TEST(Export, AnUnattendedOutputFailureWaitsForNoOne) {
  ExportRun run;
  XlSheet* a = run.OneString("A", "a");
  XlSheet* b = run.OneString("B", "b");
  run.s.outputFile = run.dir.File("missing/one.csv");
  testing::internal::CaptureStderr();
  run.Export(a, "A");
  std::string said = testing::internal::GetCapturedStderr();
  EXPECT_EQ(run.s.writeFailures, 1);
  EXPECT_NE(run.Status().find("Result=Failed"), std::string::npos);
#ifndef _WIN32
  EXPECT_EQ(said, "tabrevo: Unable to open the output file: " + run.s.outputFile + ": No such file or directory\n");
#endif
  run.s.outputFile = run.dir.File("two.csv");
  EXPECT_EQ(run.Export(b, "two"), "\"b\",\r\n");
}

TEST(Export, ProgramStatusAndProgressDisplay) {
  ExportRun run;
  XlSheet* a = run.mb.Sheet("A");
  run.mb.Number(a, 2, 0, 1);
  Progress() = ProgressLog{};
  run.Export(a, "A");
  EXPECT_NE(run.Status().find("Result=Conversion In Progress"), std::string::npos);
  EXPECT_EQ(Progress().range, 3);
  EXPECT_EQ(Progress().steps, 3);
  EXPECT_EQ(Progress().lastRow, 2);
}

TEST(Export, ADamagedSheetIsWrittenAsFarAsReadAndReported) {
  ExportRun run;
  reader::BookBuilder builder(*run.mb.book());
  XlSheet& damaged = builder.AddSheet("Broken", reader::SheetKind::Worksheet, reader::Visibility::Visible,
                                      [](reader::SheetBuilder& cells, reader::StringPool&) {
                                        cells.AddNumber(0, 0, 0, 1);
                                        return reader::Status::Error("sheet1.xml: unexpected end of data");
                                      });
  run.s.logEnabled = 1;
  run.s.sourceFile = "book.xlsx";
  std::string logPath = ActivityLogPath();
  size_t before = ReadFile(logPath).size();
  EXPECT_EQ(run.Export(&damaged, "BROKEN"), "1.000000,\r\n");
  EXPECT_EQ(run.s.readFailures, 1);
  EXPECT_NE(run.Status().find("Result=Failed"), std::string::npos);
  EXPECT_NE(
      ReadFile(logPath).substr(before).find(
          "TABREVO    Cannot read all of sheet Broken of book.xlsx: sheet1.xml: unexpected end of data"),
      std::string::npos);

  // Without the log: no message box (the export would wait for a click);
  // POSIX writes one line on stderr.
  run.s.logEnabled = 0;
  run.s.pathsWritten.clear();  // as a new run: the file is written afresh
#ifndef _WIN32
  testing_support::CapturedStderr err(run.dir.File("stderr.txt"));
#endif
  EXPECT_EQ(run.Export(&damaged, "BROKEN"), "1.000000,\r\n");
  EXPECT_EQ(run.s.readFailures, 2);
#ifndef _WIN32
  EXPECT_EQ(
      err.Restore(),
      "tabrevo: Unable to read all of the sheet Broken: book.xlsx: sheet1.xml: unexpected end of data\n");
#endif
}

#ifndef _WIN32
// A damaged sheet whose file cannot be written either is one failure of the
// run, reported both ways.
TEST(Export, ASheetCountsOnceAmongTheRunsFailures) {
  ExportRun run;
  reader::BookBuilder builder(*run.mb.book());
  XlSheet& damaged = builder.AddSheet("Broken", reader::SheetKind::Worksheet, reader::Visibility::Visible,
                                      [](reader::SheetBuilder& cells, reader::StringPool&) {
                                        cells.AddNumber(0, 0, 0, 1);
                                        return reader::Status::Error("sheet1.xml: unexpected end of data");
                                      });
  if (!FileExists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  run.s.outputFile = "/dev/full";  // opens, but every write fails
  run.s.overwrite = kOverwriteNo;  // never delete it
  run.s.sheet = &damaged;
  testing_support::CapturedStderr err(run.dir.File("stderr.txt"));
  ExportSheet(nullptr, run.s, "BROKEN");
  std::string text = err.Restore();
  EXPECT_EQ(run.s.writeFailures, 1);
  EXPECT_EQ(run.s.readFailures, 0);
  EXPECT_EQ(RunFailures(run.s), 1);
  EXPECT_NE(text.find("Unable to write all of the output file: /dev/full"), std::string::npos) << text;
  EXPECT_NE(text.find("Unable to read all of the sheet Broken"), std::string::npos) << text;
}
#endif

}  // namespace
