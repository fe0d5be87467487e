// The opt-in output options: the sheet selection (SHEETS=), strings in
// UTF-8 (UTF8), the byte-order mark (BOM) and error cells as their texts
// (ERRORS=TEXT). Without them the output is what the other suites pin.
#include <gtest/gtest.h>

#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "engine/activity_log.h"
#include "engine/batch.h"
#include "engine/cell_text.h"
#include "engine/export.h"
#include "engine/parameters.h"
#include "tests/support/json.h"
#include "tests/support/reader_pending.h"
#include "tests/support/test_support.h"

using testing_support::FileExists;
using testing_support::FixturePath;
using testing_support::LogMessages;
using testing_support::MemoryBook;
using testing_support::ReadFile;
using testing_support::ScratchDir;
using testing_support::WriteFile;

namespace fs = std::filesystem;

namespace {

constexpr char kBom[] = "\xEF\xBB\xBF";

void Parse(ConverterSettings& s, std::vector<const char*> arguments) {
  arguments.insert(arguments.begin(), "app");
  ParseParameters(s, static_cast<int>(arguments.size()), arguments.data());
}

// Default settings with the given parameters, the delimiter words turned
// into texts, writing into a scratch folder; failures go to the log.
struct OptionRun {
  ScratchDir dir;
  ConverterSettings s{};
  explicit OptionRun(std::vector<const char*> arguments = {}) {
    SetDefaultSettings(s);
    Parse(s, arguments);
    ParseFieldDelimiter(s, s.fieldDelimiter);
    ParseRecordDelimiter(s, s.recordDelimiter);
    s.outputFolder = dir.path();
    s.logEnabled = 1;
  }
  int Convert(const std::string& source) {
    s.sourceFile = source;
    return RunBatch(s);
  }
  std::string Out(const std::string& name) { return ReadFile(dir.File(name)); }
};

TEST(OutputOptions, KeywordsAndTheirDefaults) {
  ConverterSettings s{};
  SetDefaultSettings(s);
  EXPECT_TRUE(s.sheetFilter.empty());
  EXPECT_EQ(s.writeBom, 0);
  EXPECT_EQ(s.errorsAsText, 0);
  EXPECT_EQ(s.codePage, kCodePageAsIs);

  Parse(s, {"/utf8", "-BOM", "/Errors=Text", "/SHEETS=Data;totals;;DATA;Grüße"});
  EXPECT_EQ(s.codePage, kCodePageUtf8);
  EXPECT_EQ(s.writeBom, 1);
  EXPECT_EQ(s.errorsAsText, 1);
  // Upper case by ASCII rules, each name once, empty names skipped.
  EXPECT_EQ(s.sheetFilter, (std::vector<std::string>{"DATA", "TOTALS", "GRüßE"}));

  // The code page keywords are one setting: the last one given counts.
  Parse(s, {"/OEM"});
  EXPECT_EQ(s.codePage, kCodePageOem);
  Parse(s, {"/UTF8", "/ASIS"});
  EXPECT_EQ(s.codePage, kCodePageAsIs);
  // ERRORS= takes TEXT and EMPTY only; SHEETS= with nothing selects all again.
  Parse(s, {"/ERRORS=NUMBER"});
  EXPECT_EQ(s.errorsAsText, 1);
  Parse(s, {"/ERRORS=EMPTY", "/SHEETS="});
  EXPECT_EQ(s.errorsAsText, 0);
  EXPECT_TRUE(s.sheetFilter.empty());
}

TEST(OutputOptions, ErrorTextsByCode) {
  EXPECT_EQ(ErrorCellText(0x00), "#NULL!");
  EXPECT_EQ(ErrorCellText(0x07), "#DIV/0!");
  EXPECT_EQ(ErrorCellText(0x0F), "#VALUE!");
  EXPECT_EQ(ErrorCellText(0x17), "#REF!");
  EXPECT_EQ(ErrorCellText(0x1D), "#NAME?");
  EXPECT_EQ(ErrorCellText(0x24), "#NUM!");
  EXPECT_EQ(ErrorCellText(0x2A), "#N/A");
  EXPECT_EQ(ErrorCellText(0x2B), "#GETTING_DATA");
  EXPECT_EQ(ErrorCellText(0x63), "#N/A");  // a code no error has
}

// Error cells as texts follow the quoting rules of strings.
TEST(OutputOptions, ErrorTextsAreEnclosedLikeStrings) {
  struct Case {
    std::vector<const char*> arguments;
    const char* expected;
  } cases[] = {
      {{}, ",1.000000,\r\n"},  // the default: no content
      {{"/ERRORS=TEXT"}, "\"#DIV/0!\",1.000000,\r\n"},
      {{"/ERRORS=TEXT", "/QUOTES=0"}, "#DIV/0!,1.000000,\r\n"},
      // The field delimiter inside the text forces the quotes, as in a string.
      {{"/ERRORS=TEXT", "/QUOTES=0", "/FIELDS=/"}, "\"#DIV/0!\"/1.000000/\r\n"},
      {{"/ERRORS=TEXT", "/QUOTES=0", "/QUOTEALL=1"}, "\"#DIV/0!\",\"1.000000\",\r\n"},
  };
  for (const Case& c : cases) {
    OptionRun run(c.arguments);
    MemoryBook mb;
    XlSheet* sheet = mb.Sheet("E");
    mb.Error(sheet, 0, 0, 0x07);
    mb.Number(sheet, 0, 1, 1);
    run.s.book = mb.Release();
    run.s.sheet = sheet;
    ExportSheet(nullptr, run.s, "E");
    EXPECT_EQ(run.Out("E.csv"), c.expected) << c.arguments.size();
  }
}

// Every reader keeps the error code: the same sheet in .xls (BOOLERR
// records), .xlsx (t="e" cells) and .xlsb (BrtCellError records, saved by
// another program) gives the same text.
TEST(OutputOptions, ErrorTextsFromEveryFormat) {
  std::string expected;
  const char* texts[] = {"#NULL!", "#DIV/0!", "#VALUE!", "#REF!", "#NAME?", "#NUM!", "#N/A", "#GETTING_DATA"};
  for (int i = 0; i < 8; ++i)
    expected +=
        "\"e" + std::to_string(i + 1) + "\",\"" + texts[i] + "\"," + std::to_string(i + 1) + ".000000,\r\n";
  for (const char* ending : {"xls", "xlsx", "xlsb"}) {
    SCOPED_TRACE(ending);
    const std::string book = FixturePath(std::string("options/errors.") + ending);
    SKIP_UNLESS_READABLE(book);
    OptionRun withTexts({"/ERRORS=TEXT"});
    EXPECT_EQ(withTexts.Convert(book), 0);
    EXPECT_EQ(withTexts.Out("ERRORS.csv"), expected);
    OptionRun plain;
    EXPECT_EQ(plain.Convert(book), 0);
    EXPECT_EQ(plain.Out("ERRORS.csv").find('#'), std::string::npos);
  }
}

// "B12" as 0-based row and column.
bool CellAddress(const std::string& a, int* row, int* col) {
  size_t i = 0;
  *col = 0;
  for (; i < a.size() && a[i] >= 'A' && a[i] <= 'Z'; ++i) *col = *col * 26 + (a[i] - 'A' + 1);
  if (i == 0 || i == a.size()) return false;
  *row = std::stoi(a.substr(i)) - 1;
  *col -= 1;
  return true;
}

// Real workbooks with error cells, written by other programs: every error
// cell the independent reference reader reports has the text that reader
// shows for it.
TEST(OutputOptions, ErrorTextsOfTheCorpusAgreeWithItsReference) {
  const std::string corpus = testing_support::CorpusDir();
  if (corpus.empty()) GTEST_SKIP() << "no corpus";
  int compared = 0;
  for (const char* name :
       {"xls/readxl__types.xls", "xls/sheetjs__formula_stress_test.xls", "xls/gnumeric__address.xls",
        "xlsx/calamine__errors.xlsx", "xlsx/sheetjs__ErrorTypes.xlsx", "xlsx/tealeg__testcelltypes.xlsx",
        "xlsx/sheetjs__formula_stress_test.xlsx", "xlsb/sheetjs__ErrorTypes.xlsb",
        "xlsb/poi__testVarious.xlsb", "xlsb/sheetjs__formula_stress_test.xlsb"}) {
    SCOPED_TRACE(name);
    const std::string book = corpus + "/" + name, reference = corpus + "/reference/" + name + ".json";
    if (!FileExists(book) || !FileExists(reference)) continue;
    testing_support::Json dump;
    std::string why;
    ASSERT_TRUE(testing_support::ParseJson(ReadFile(reference), &dump, &why)) << why;
    BookHandle b = xlCreateXMLBookCA();
    ASSERT_EQ(xlBookLoadA(b, book.c_str()), 1) << xlBookErrorMessageA(b);
    const testing_support::Json* sheets = dump.Find("sheets");
    ASSERT_NE(sheets, nullptr);
    for (size_t i = 0; i < sheets->items.size(); ++i) {
      const testing_support::Json* cells = sheets->items[i].Find("cells");
      if (!cells) continue;
      SheetHandle sheet = xlBookGetSheetA(b, static_cast<int>(i));
      ASSERT_NE(sheet, nullptr);
      for (const testing_support::Json& cell : cells->items) {
        const testing_support::Json *t = cell.Find("t"), *w = cell.Find("w"), *a = cell.Find("a");
        int row, col;
        if (!t || t->text != "e" || !w || !a || !CellAddress(a->text, &row, &col)) continue;
        XlCellInfo info;
        xlSheetReadCellA(sheet, row, col, &info);
        ASSERT_EQ(info.type, CELLTYPE_ERROR) << a->text;
        EXPECT_EQ(ErrorCellText(info.errorCode), w->text) << a->text;
        ++compared;
      }
    }
    xlBookReleaseA(b);
  }
  std::cout << compared << " error cells compared\n";
}

TEST(OutputOptions, ByteOrderMarkOnlyAtTheStartOfNewFiles) {
  const std::string book = FixturePath("engine/data_totals.xlsx");
  OptionRun run({"/UTF8", "/BOM", "/OVERWRITE=0"});
  const std::string out = run.dir.File("all.csv");
  run.s.outputFolder.clear();
  run.s.outputFile = out;
  ASSERT_EQ(run.Convert(book), 0);
  // Both sheets into one new file: one mark, in front of the first sheet.
  const std::string first = ReadFile(out);
  ASSERT_EQ(first.rfind(kBom, 0), 0u);
  EXPECT_EQ(first.find(kBom, 1), std::string::npos);
  // A second run appends to the file without overwrite: no mark in front of
  // the appended rows.
  ASSERT_EQ(run.Convert(book), 0);
  EXPECT_EQ(ReadFile(out), first + first.substr(3));

  // An existing file written anew under overwrite is new again.
  OptionRun again({"/UTF8", "/BOM", "/OVERWRITE=1"});
  again.s.outputFolder.clear();
  again.s.outputFile = out;
  ASSERT_EQ(again.Convert(book), 0);
  EXPECT_EQ(ReadFile(out), first);

  // An existing empty file is appended to: no mark either.
  OptionRun empty({"/UTF8", "/BOM", "/OVERWRITE=0"});
  WriteFile(empty.dir.File("DATA.csv"), "");
  ASSERT_EQ(empty.Convert(book), 0);
  EXPECT_EQ(empty.Out("DATA.csv").find(kBom), std::string::npos);
  EXPECT_EQ(empty.Out("TOTALS.csv").rfind(kBom, 0), 0u);
}

// The mark tells that the file is UTF-8: never in front of OEM text, and on
// Windows only with UTF8 (as is and ANSI write the ANSI code page there).
TEST(OutputOptions, ByteOrderMarkOnlyInFrontOfUtf8) {
  const std::string book = FixturePath("engine/data_totals.xlsx");
  OptionRun oem({"/BOM", "/OEM"});
  ASSERT_EQ(oem.Convert(book), 0);
  EXPECT_EQ(oem.Out("TOTALS.csv").rfind("\"Total\"", 0), 0u);
  OptionRun utf8({"/BOM", "/UTF8"});
  ASSERT_EQ(utf8.Convert(book), 0);
  EXPECT_EQ(utf8.Out("TOTALS.csv").rfind(std::string(kBom) + "\"Total\"", 0), 0u);
  OptionRun asIs({"/BOM"});
  ASSERT_EQ(asIs.Convert(book), 0);
#ifdef _WIN32
  EXPECT_EQ(asIs.Out("TOTALS.csv").rfind("\"Total\"", 0), 0u);
#else
  EXPECT_EQ(asIs.Out("TOTALS.csv").rfind(std::string(kBom) + "\"Total\"", 0), 0u);
#endif
}

// UTF8 writes the texts of every script as UTF-8 on every platform; on
// Windows the code page of as is (ANSI) cannot hold them all.
TEST(OutputOptions, Utf8WritesEveryScript) {
  const std::string book = FixturePath("options/scripts.xlsx");
  SKIP_UNLESS_READABLE(book);
  const std::string utf8Text =
      "\"Привет, мир\",\"Καλημέρα κόσμε\",\"你好世界\",\"日本語のテキスト\",\"Café\",\r\n";
  OptionRun utf8({"/UTF8"});
  ASSERT_EQ(utf8.Convert(book), 0);
  EXPECT_EQ(utf8.Out("TEXT.csv"), utf8Text);
  OptionRun asIs;
  ASSERT_EQ(asIs.Convert(book), 0);
#ifdef _WIN32
  EXPECT_NE(asIs.Out("TEXT.csv"), utf8Text);
#else
  EXPECT_EQ(asIs.Out("TEXT.csv"), utf8Text);  // Linux texts are UTF-8 already
#endif
  // OEM still converts; UTF8 given after it wins.
  OptionRun oemThenUtf8({"/OEM", "/UTF8"});
  ASSERT_EQ(oemThenUtf8.Convert(book), 0);
  EXPECT_EQ(oemThenUtf8.Out("TEXT.csv"), utf8Text);
}

TEST(OutputOptions, SheetSelectionByName) {
  const std::string book = FixturePath("engine/data_totals.xlsx");
  OptionRun run({"/SHEETS=totals"});
  EXPECT_EQ(run.Convert(book), 0);
  EXPECT_FALSE(FileExists(run.dir.File("DATA.csv")));
  EXPECT_EQ(run.Out("TOTALS.csv"), "\"Total\",  4.500,\r\n,,\r\n\"Count\",   42,\r\n");
  EXPECT_EQ(RunFailures(run.s), 0);
  // Workbook order, whatever the order of the names.
  OptionRun both({"/SHEETS=Totals;Data"});
  both.s.outputFolder.clear();
  both.s.outputFile = both.dir.File("all.csv");
  EXPECT_EQ(both.Convert(book), 0);
  EXPECT_EQ(ReadFile(both.s.outputFile).rfind("\"Name\"", 0), 0u);
}

// A name no sheet has fails the workbook (log line, failure count, result
// 3); the sheets that are there are still converted.
TEST(OutputOptions, SheetSelectionWithAMissingName) {
  const std::string book = FixturePath("engine/data_totals.xlsx");
  OptionRun run({"/SHEETS=Totals;Summary"});
  const std::string log = ActivityLogPath();
  const size_t before = ReadFile(log).size();
  EXPECT_EQ(run.Convert(book), 3);
  EXPECT_EQ(run.Out("TOTALS.csv"), "\"Total\",  4.500,\r\n,,\r\n\"Count\",   42,\r\n");
  EXPECT_FALSE(FileExists(run.dir.File("DATA.csv")));
  EXPECT_EQ(run.s.readFailures, 1);
  bool logged = false;
  for (const std::string& line : LogMessages(ReadFile(log).substr(before)))
    if (line == "Cannot find sheet SUMMARY in workbook " + book + ".") logged = true;
  EXPECT_TRUE(logged);

#ifndef _WIN32
  // Without the log: one line on stderr naming the sheet and the workbook.
  OptionRun quiet({"/SHEETS=Summary;data"});
  quiet.s.logEnabled = 0;
  testing_support::CapturedStderr err(quiet.dir.File("stderr.txt"));
  EXPECT_EQ(quiet.Convert(book), 3);
  EXPECT_EQ(err.Restore(), "tabrevo: No sheet named SUMMARY: " + book + ": not in the workbook\n");
  EXPECT_TRUE(FileExists(quiet.dir.File("DATA.csv")));
#endif
}

// Each workbook of a pattern is checked for the names on its own; one that
// cannot be read at all is reported once, not once per name.
TEST(OutputOptions, SheetSelectionOverABatch) {
  OptionRun run({"/SHEETS=Totals"});
  ScratchDir in;
  fs::copy_file(FixturePath("engine/data_totals.xlsx"), in.File("a.xlsx"));
  fs::copy_file(FixturePath("options/scripts.xlsx"), in.File("b.xlsx"));
  WriteFile(in.File("c.xlsx"), "not a workbook");
  EXPECT_EQ(run.Convert(in.File("*.xlsx")), 3);
  EXPECT_EQ(run.s.readFailures, 2);  // b.xlsx has no sheet Totals; c.xlsx cannot be read
  EXPECT_TRUE(FileExists(run.dir.File("TOTALS.csv")));
  EXPECT_FALSE(FileExists(run.dir.File("TEXT.csv")));
}

}  // namespace
