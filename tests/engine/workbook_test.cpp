// Opening a workbook without a window, and exporting the selected sheets.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#endif

#include "engine/activity_log.h"
#include "engine/workbook.h"
#include "reader/core/book.h"
#include "tests/support/reader_pending.h"
#include "tests/support/test_support.h"

using testing_support::FileExists;
using testing_support::FixturePath;
using testing_support::MemoryBook;
using testing_support::ReadFile;
using testing_support::ScratchDir;
using testing_support::WriteFile;

namespace {

// Default settings writing into a scratch folder, delimiters turned into text.
struct BookRun {
  ScratchDir dir;
  ConverterSettings s{};
  BookRun() {
    SetDefaultSettings(s);
    ParseFieldDelimiter(s, s.fieldDelimiter);
    ParseRecordDelimiter(s, s.recordDelimiter);
    s.outputFolder = dir.path();
    s.statusFile = dir.File("status.ini");
  }
  std::string Out(const std::string& name) { return ReadFile(dir.File(name)); }
};

// What a test appends to the activity log.
struct LogWatch {
  std::string path = ActivityLogPath();
  size_t before = ReadFile(path).size();
  std::string Added() const {
    std::string now = ReadFile(path);
    return now.size() >= before ? now.substr(before) : now;
  }
};

TEST(ConvertSelectedSheets, ExportsTheSelectedSheetsInWorkbookOrder) {
  BookRun run;
  MemoryBook mb;
  XlSheet* other = mb.Sheet("Other");
  mb.String(other, 0, 0, "o");
  XlSheet* data = mb.Sheet("Data");
  mb.String(data, 0, 0, "d");
  XlSheet* totals = mb.Sheet("Totals");
  mb.Number(totals, 0, 0, 2);
  run.s.book = mb.Release();
  // The selection's order is not the workbook's.
  run.s.selectedSheets = {"TOTALS", "DATA"};
  ConvertSelectedSheets(nullptr, run.s);
  EXPECT_EQ(run.Out("DATA.csv"), "\"d\",\r\n");
  EXPECT_EQ(run.Out("TOTALS.csv"), "2.000000,\r\n");
  EXPECT_FALSE(FileExists(run.dir.File("OTHER.csv")));
  // The first sheet exported is the one named in outputFile.
  EXPECT_EQ(run.s.outputFile, run.dir.File("DATA.csv"));
  EXPECT_EQ(run.s.recordCount, 2);
}

TEST(ConvertSelectedSheets, SelectionIsByExactUpperCasedName) {
  BookRun run;
  MemoryBook mb;
  for (const char* name : {"A", "A;B", "B", "b c",
                           "Gr\xC3\xB6\xC3\x9F"
                           "e"}) {
    XlSheet* sh = mb.Sheet(name);
    mb.String(sh, 0, 0, name);
  }
  run.s.book = mb.Release();
  // A sheet named A;B selects only itself, not A and B.
  const std::string nonAscii = UpperAscii(xlSheetNameA(xlBookGetSheetA(run.s.book, 4)));
  run.s.selectedSheets = {"A;B", "B C", nonAscii};
  ConvertSelectedSheets(nullptr, run.s);
  EXPECT_TRUE(FileExists(run.dir.File("A;B.csv")));
  EXPECT_TRUE(FileExists(run.dir.File("B C.csv")));
  EXPECT_FALSE(FileExists(run.dir.File("A.csv")));
  EXPECT_FALSE(FileExists(run.dir.File("B.csv")));
  // Only a to z change case: the file keeps the other letters as they are.
#ifdef _WIN32
  const std::string expected =
      "GR\xF6\xDF"
      "E";  // the ANSI code page
#else
  const std::string expected =
      "GR\xC3\xB6\xC3\x9F"
      "E";
#endif
  EXPECT_EQ(nonAscii, expected);
  // (Joined by hand: std::filesystem would read the name as UTF-8 on Windows.)
  EXPECT_TRUE(platform::PathExists(run.dir.path() + platform::kPathSeparator + expected + ".csv"));
  // Selected names are whole names: a part or a longer name selects nothing.
  BookRun partial;
  MemoryBook mb2;
  XlSheet* sh = mb2.Sheet("Data");
  mb2.String(sh, 0, 0, "d");
  partial.s.book = mb2.Release();
  partial.s.selectedSheets = {"DAT", "DATA2", ";DATA;", "data"};
  ConvertSelectedSheets(nullptr, partial.s);
  EXPECT_FALSE(FileExists(partial.dir.File("DATA.csv")));
}

TEST(ConvertSelectedSheets, ACancelledRunLeavesTheLaterFilesAlone) {
  BookRun run;
  MemoryBook mb;
  XlSheet* a = mb.Sheet("A");
  mb.String(a, 0, 0, "a");
  run.s.book = mb.Release();
  run.s.selectedSheets = {"A"};
  WriteFile(run.dir.File("A.csv"), "kept");
  run.s.cancelled = 1;
  ConvertSelectedSheets(nullptr, run.s);
  EXPECT_EQ(run.Out("A.csv"), "kept");
  EXPECT_EQ(run.s.recordCount, 0);
}

TEST(ConvertSelectedSheets, WithoutABookOrSelectionNothingHappens) {
  BookRun run;
  ConvertSelectedSheets(nullptr, run.s);
  MemoryBook mb;
  mb.Sheet("A");
  run.s.book = mb.Release();
  ConvertSelectedSheets(nullptr, run.s);
  EXPECT_FALSE(FileExists(run.dir.File("A.csv")));
  EXPECT_EQ(run.s.outputFile, "");
}

TEST(OpenWorkbook, AnUnreadableFileIsReportedAndCounted) {
  BookRun run;
  run.s.logEnabled = 1;
  run.s.selectedSheets = {"OLD"};
  const std::string file = run.dir.File("broken.xlsx");
  WriteFile(file, "PK\x03\x04 this is no zip");
  LogWatch log;
  EXPECT_EQ(OpenWorkbook(nullptr, run.s, file.c_str()), 1);  // a book was made
  EXPECT_NE(run.s.book, nullptr);
  EXPECT_EQ(xlBookSheetCountA(run.s.book), 0);
  EXPECT_TRUE(run.s.selectedSheets.empty());  // the old list is replaced
  EXPECT_EQ(run.s.sourceFile, file);
  EXPECT_EQ(run.s.readFailures, 1);
  std::string added = log.Added();
  size_t line = added.find("TABREVO    Cannot read workbook " + file + ": ");
  ASSERT_NE(line, std::string::npos) << added;
  size_t end = added.find('\n', line);
  EXPECT_EQ(added[(end == std::string::npos ? added.size() : end) - 1], '.') << added;
  EXPECT_NE(ReadFile(run.s.statusFile).find("Result=Failed"), std::string::npos);

  // A missing file takes the same road.
  const std::string missing = run.dir.File("missing.xls");
  EXPECT_EQ(OpenWorkbook(nullptr, run.s, missing.c_str()), 1);
  EXPECT_EQ(run.s.readFailures, 2);
  EXPECT_EQ(run.s.book->kind, reader::BookKind::Xls);
  EXPECT_NE(log.Added().find("Cannot read workbook " + missing + ": "), std::string::npos);
  EXPECT_NE(WorkbookFailure(run.s), nullptr);
}

// Without the log nothing waits for anyone: no message box (an unattended
// run would block on it); POSIX writes one line on stderr.
TEST(OpenWorkbook, AnUnreadableFileWithoutTheLogShowsNoBox) {
  BookRun run;
  const std::string file = run.dir.File("broken.xls");
  WriteFile(file, "not a workbook at all");
#ifndef _WIN32
  testing_support::CapturedStderr err(run.dir.File("stderr.txt"));
#endif
  EXPECT_EQ(OpenWorkbook(nullptr, run.s, file.c_str()), 1);
  EXPECT_EQ(run.s.readFailures, 1);
  EXPECT_NE(ReadFile(run.s.statusFile).find("Result=Failed"), std::string::npos);
  const char* why = WorkbookFailure(run.s);
  ASSERT_NE(why, nullptr);
#ifndef _WIN32
  std::string text = err.Restore();
  EXPECT_EQ(text, "tabrevo: Unable to read the workbook: " + file + ": " + why + "\n");
#endif

  // A readable workbook has no failure.
  const std::string good = FixturePath("engine/data_totals.xlsx");
  SKIP_UNLESS_READABLE(good);
  ASSERT_EQ(OpenWorkbook(nullptr, run.s, good.c_str()), 1);
  EXPECT_EQ(WorkbookFailure(run.s), nullptr);
  EXPECT_EQ(run.s.readFailures, 1);
}

TEST(OpenWorkbook, TheSourceAlreadyOpenIsNotOpenedAgain) {
  BookRun run;
  run.s.logEnabled = 1;
  const std::string file = run.dir.File("Book.xlsx");
  ASSERT_EQ(OpenWorkbook(nullptr, run.s, file.c_str()), 1);
  BookHandle first = run.s.book;
  run.s.selectedSheets = {"KEPT"};
  EXPECT_EQ(OpenWorkbook(nullptr, run.s, file.c_str()), 1);
#ifdef _WIN32
  // Windows file names ignore case.
  std::string other = run.dir.File("BOOK.XLSX");
  EXPECT_EQ(OpenWorkbook(nullptr, run.s, other.c_str()), 1);
#endif
  EXPECT_EQ(run.s.book, first);
  EXPECT_EQ(run.s.selectedSheets, std::vector<std::string>{"KEPT"});
  EXPECT_EQ(run.s.readFailures, 1);
#ifndef _WIN32
  // POSIX file names do not: that is another file.
  std::string other = run.dir.File("BOOK.XLSX");
  EXPECT_EQ(OpenWorkbook(nullptr, run.s, other.c_str()), 1);
  EXPECT_EQ(run.s.sourceFile, other);
  EXPECT_EQ(run.s.readFailures, 2);
#endif
  // An empty name with an empty source has nothing to do.
  BookRun empty;
  EXPECT_EQ(OpenWorkbook(nullptr, empty.s, ""), 1);
  EXPECT_EQ(OpenWorkbook(nullptr, empty.s, nullptr), 1);
  EXPECT_EQ(empty.s.book, nullptr);
  EXPECT_EQ(empty.s.readFailures, 0);
}

TEST(OpenWorkbook, TheNameChoosesTheBookKind) {
  struct Case {
    const char* name;
    reader::BookKind kind;
  };
  for (Case c : {Case{"a.XLS", reader::BookKind::Xls}, Case{"report.xlsx", reader::BookKind::Xml},
                 Case{"noextension", reader::BookKind::Xml}, Case{"b.xlsb", reader::BookKind::Xml},
                 Case{"xls", reader::BookKind::Xml}}) {
    BookRun run;
    run.s.logEnabled = 1;
    std::string file = run.dir.File(c.name);
    ASSERT_EQ(OpenWorkbook(nullptr, run.s, file.c_str()), 1);
    EXPECT_EQ(run.s.book->kind, c.kind) << c.name;
  }
}

TEST(OpenWorkbook, WithoutANameTheSourceIsOpened) {
  BookRun run;
  run.s.logEnabled = 1;
  run.s.sourceFile = run.dir.File("source.xlsx");
  ASSERT_EQ(OpenWorkbook(nullptr, run.s, ""), 1);
  EXPECT_NE(run.s.book, nullptr);
  EXPECT_EQ(run.s.sourceFile, run.dir.File("source.xlsx"));
  EXPECT_EQ(run.s.readFailures, 1);
}

#ifdef _WIN32
// The source page's sheet list box (control 1049) on a window of its own.
struct SheetListWindow {
  HWND parent = nullptr, list = nullptr;
  SheetListWindow() {
    parent = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 200, 200, nullptr, nullptr,
                             GetModuleHandleA(nullptr), nullptr);
    if (parent)
      list = CreateWindowExA(0, "LISTBOX", "", WS_CHILD | LBS_MULTIPLESEL | LBS_HASSTRINGS, 0, 0, 100, 100,
                             parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(1049)),
                             GetModuleHandleA(nullptr), nullptr);
  }
  ~SheetListWindow() {
    if (parent) DestroyWindow(parent);
  }
  std::vector<std::string> Items() const {
    std::vector<std::string> items;
    LRESULT n = SendMessageA(list, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < n; ++i) {
      char text[300] = {};
      SendMessageA(list, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
      items.emplace_back(text);
    }
    return items;
  }
  int Selected() const { return static_cast<int>(SendMessageA(list, LB_GETSELCOUNT, 0, 0)); }
};

TEST(OpenWorkbook, WithAWindowTheSheetsGoToItsListBox) {
  SheetListWindow w;
  if (!w.list) GTEST_SKIP() << "no windows can be made here";
  SendMessageA(w.list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>("old"));
  BookRun run;
  run.s.logEnabled = 1;  // no message box
  run.s.selectedSheets = {"KEPT"};
  const std::string broken = run.dir.File("broken.xlsx");
  WriteFile(broken, "not a workbook");
  ASSERT_EQ(OpenWorkbook(w.parent, run.s, broken.c_str()), 1);
  EXPECT_TRUE(w.Items().empty());                                     // emptied first
  EXPECT_EQ(run.s.selectedSheets, std::vector<std::string>{"KEPT"});  // the wizard's list
  EXPECT_EQ(run.s.sourceFile, broken);
  // The page tells its user and lets them pick another workbook: no failure
  // of the run, no status word.
  EXPECT_NE(WorkbookFailure(run.s), nullptr);
  EXPECT_EQ(run.s.readFailures, 0);
  EXPECT_FALSE(FileExists(run.s.statusFile));
  // Nor a message box without the log (the test would wait for it).
  run.s.logEnabled = 0;
  const std::string other = run.dir.File("other.xlsx");
  WriteFile(other, "not a workbook either");
  ASSERT_EQ(OpenWorkbook(w.parent, run.s, other.c_str()), 1);
  EXPECT_EQ(run.s.readFailures, 0);

  const std::string file = FixturePath("engine/data_totals.xlsx");
  SKIP_UNLESS_READABLE(file);
  ASSERT_EQ(OpenWorkbook(w.parent, run.s, file.c_str()), 1);
  // The names as the workbook stores them, every one selected.
  EXPECT_EQ(w.Items(), (std::vector<std::string>{"Data", "Totals"}));
  EXPECT_EQ(w.Selected(), 2);
  // Opening the same source again keeps the list and its selection.
  SendMessageA(w.list, LB_SETSEL, FALSE, 0);
  ASSERT_EQ(OpenWorkbook(w.parent, run.s, file.c_str()), 1);
  EXPECT_EQ(w.Selected(), 1);
}
#endif

// Real workbooks, through the readers.

// Both formats of the same workbook give the same lists and the same text.
void ListAndConvertDataTotals(const std::string& file) {
  BookRun run;
  ASSERT_EQ(OpenWorkbook(nullptr, run.s, file.c_str()), 1);
  EXPECT_EQ(run.s.selectedSheets, (std::vector<std::string>{"DATA", "TOTALS"}));
  EXPECT_EQ(run.s.sheet, xlBookGetSheetA(run.s.book, 1));  // the last sheet
  EXPECT_EQ(run.s.readFailures, 0);
  ConvertSelectedSheets(nullptr, run.s);
  EXPECT_EQ(run.Out("DATA.csv"),
            "\"Name\",\"Amount\",\"When\",\r\n"
            "\"He said \"\"hi\"\"\",1.500000,2024.03.05,\r\n"
            "\"a;b\",3.000000,2024.03.05 13:07:09,\r\n"
            "\"a,b\",1,,\r\n");
  EXPECT_EQ(run.Out("TOTALS.csv"), "\"Total\",  4.500,\r\n,,\r\n\"Count\",   42,\r\n");
  EXPECT_EQ(run.s.recordCount, 7);
}

TEST(OpenWorkbook, ListsAndConvertsEverySheetOfAnXlsxWorkbook) {
  const std::string file = FixturePath("engine/data_totals.xlsx");
  SKIP_UNLESS_READABLE(file);
  ListAndConvertDataTotals(file);
}

TEST(OpenWorkbook, ListsAndConvertsEverySheetOfAnXlsWorkbook) {
  const std::string file = FixturePath("engine/data_totals.xls");
  SKIP_UNLESS_READABLE(file);
  ListAndConvertDataTotals(file);
}

TEST(OpenWorkbook, TheContentDecidesHowAWorkbookIsRead) {
  // An xlsx package under an .xls name.
  const std::string file = FixturePath("engine/xlsx_content_named.xls");
  SKIP_UNLESS_READABLE(file);
  BookRun run;
  ASSERT_EQ(OpenWorkbook(nullptr, run.s, file.c_str()), 1);
  EXPECT_EQ(run.s.book->kind, reader::BookKind::Xls);
  EXPECT_EQ(run.s.selectedSheets, (std::vector<std::string>{"DATA", "TOTALS"}));
  EXPECT_EQ(run.s.readFailures, 0);
}

}  // namespace
