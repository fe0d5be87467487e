// End-to-end: the built tabrevo_d called through its two exports.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/mman.h>
#include <unistd.h>
#endif

#include "engine/activity_log.h"
#include "engine/settings.h"
#include "loaded_library.h"
#include "tests/support/reader_pending.h"
#include "tests/support/test_support.h"

using library_test::Convert;
using library_test::Loaded;
using testing_support::FileExists;
using testing_support::FixturePath;
using testing_support::ReadFile;
using testing_support::ScratchDir;
using testing_support::WriteFile;

namespace fs = std::filesystem;

namespace {

// A source folder and an output folder.
struct Dirs {
  ScratchDir in, out;
  // (Joined by hand: std::filesystem would read a name in the ANSI code page
  // as UTF-8 on Windows.)
  std::string Out(const std::string& name) const {
    return ReadFile(out.path() + platform::kPathSeparator + name);
  }
  void Copy(const char* fixture, const char* name) const {
    fs::copy_file(FixturePath(fixture), in.File(name));
  }
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

// A text in memory that cannot be written: the library must not split the
// caller's text in place.
class ReadOnlyText {
 public:
  explicit ReadOnlyText(const std::string& text) : size_(text.size() + 1) {
#ifdef _WIN32
    data_ = static_cast<char*>(VirtualAlloc(nullptr, size_, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    std::memcpy(data_, text.c_str(), size_);
    DWORD old;
    VirtualProtect(data_, size_, PAGE_READONLY, &old);
#else
    void* p = mmap(nullptr, size_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    data_ = static_cast<char*>(p);
    std::memcpy(data_, text.c_str(), size_);
    mprotect(data_, size_, PROT_READ);
#endif
  }
  ~ReadOnlyText() {
#ifdef _WIN32
    VirtualFree(data_, 0, MEM_RELEASE);
#else
    munmap(data_, size_);
#endif
  }
  const char* c_str() const { return data_; }

 private:
  size_t size_;
  char* data_;
};

const char kDataCsv[] =
    "\"Name\",\"Amount\",\"When\",\r\n"
    "\"He said \"\"hi\"\"\",1.500000,2024.03.05,\r\n"
    "\"a;b\",3.000000,2024.03.05 13:07:09,\r\n"
    "\"a,b\",1,,\r\n";
const char kTotalsCsv[] = "\"Total\",  4.500,\r\n,,\r\n\"Count\",   42,\r\n";

TEST(Library, BothExportsAreFound) {
  ASSERT_EQ(Loaded().error, "");
  EXPECT_NE(Loaded().converter, nullptr);
  EXPECT_NE(Loaded().converterStr, nullptr);
}

TEST(Library, MissingSourceOrOutputTouchesNothing) {
  ASSERT_EQ(Loaded().error, "");
  Dirs d;
  const std::string book = d.in.File("book.xlsx");
  const std::string out = d.out.path();
  EXPECT_EQ(Convert({}), 1);
  EXPECT_EQ(Convert({out}), 1);
  EXPECT_EQ(Convert({out + "/out.csv", "/LOG"}), 1);
  EXPECT_EQ(Convert({book}), 2);
  EXPECT_EQ(Convert({book, "/FIELDS=;", "/LOG"}), 2);
  // Element 0 is never read, even when it names a workbook.
  const char* noPlaceholder[] = {book.c_str(), out.c_str()};
  EXPECT_EQ(Loaded().converter(0, 2, noPlaceholder), 1);
  EXPECT_EQ(Loaded().converter(0, 0, nullptr), 1);
  EXPECT_EQ(Loaded().converterStr(0, (book + "#" + out + "/out.csv").c_str()), 1);
  EXPECT_EQ(Loaded().converterStr(0, ("app#" + book).c_str()), 2);
  EXPECT_EQ(Loaded().converterStr(0, ""), 1);
  EXPECT_EQ(Loaded().converterStr(0, "####"), 1);
  EXPECT_EQ(Loaded().converterStr(0, nullptr), 1);
  EXPECT_TRUE(fs::is_empty(d.out.path()));
}

TEST(Library, NoMatchingFileGivesZero) {
  ASSERT_EQ(Loaded().error, "");
  Dirs d;
  EXPECT_EQ(Convert({d.in.File("*.xlsx"), d.out.path()}), 0);
  EXPECT_EQ(Convert({d.in.File("missing.xls"), d.out.path()}), 0);
  EXPECT_EQ(Convert({d.in.File("nofolder") + "/*.xls", d.out.path()}), 0);
  EXPECT_TRUE(fs::is_empty(d.out.path()));
}

TEST(Library, AWorkbookThatCannotBeReadGivesThree) {
  ASSERT_EQ(Loaded().error, "");
  Dirs d;
  const std::string broken = d.in.File("broken.xlsx");
  WriteFile(broken, "PK\x03\x04 truncated");
  LogWatch log;
  // The library writes no status file.
  const std::string status = d.in.File("status.ini");
  EXPECT_EQ(Convert({broken, d.out.path(), "/LOG", "/STATUS=" + status}), 3);
  EXPECT_FALSE(FileExists(status));
  std::string added = log.Added();
  EXPECT_NE(added.find("TABREVO    Cannot read workbook " + broken + ": "), std::string::npos) << added;
  // The same through the text form, with runs of "#".
  LogWatch again;
  EXPECT_EQ(Loaded().converterStr(0, ("app##" + broken + "###" + d.out.path() + "#/LOG#").c_str()), 3);
  EXPECT_NE(again.Added().find("Cannot read workbook " + broken + ": "), std::string::npos);
  EXPECT_TRUE(fs::is_empty(d.out.path()));
}

TEST(Library, TheTextIsOnlyReadAndHasNoParameterLimit) {
  ASSERT_EQ(Loaded().error, "");
  Dirs d;
  const std::string broken = d.in.File("late.xlsx");
  WriteFile(broken, "not a workbook");
  // The parameters that matter come after 3000 others.
  std::string text = "app";
  for (int i = 0; i < 3000; ++i) text += "#/QUOTES=0";
  text += "#" + broken + "#" + d.out.path() + "#/LOG";
  ReadOnlyText readOnly(text);
  LogWatch log;
  EXPECT_EQ(Loaded().converterStr(7, readOnly.c_str()), 3);
  EXPECT_EQ(std::string(readOnly.c_str()), text);
  EXPECT_NE(log.Added().find("Cannot read workbook " + broken + ": "), std::string::npos);
}

#ifndef _WIN32
TEST(Library, WithoutTheLogAFailureIsOneLineOnStderr) {
  ASSERT_EQ(Loaded().error, "");
  Dirs d;
  const std::string broken = d.in.File("broken.xls");
  WriteFile(broken, "not a workbook");
  testing::internal::CaptureStderr();
  int32_t result = Convert({broken, d.out.path()});
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(result, 3);
  EXPECT_EQ(err.rfind("tabrevo: Unable to read the workbook: " + broken + ": ", 0), 0u) << err;
  EXPECT_EQ(err.find('\n'), err.size() - 1) << err;
}
#endif

// Real workbooks, through the readers.

TEST(Library, ConvertsEverySheetIntoTheFolder) {
  ASSERT_EQ(Loaded().error, "");
  SKIP_UNLESS_READABLE(FixturePath("engine/data_totals.xlsx"));
  Dirs d;
  EXPECT_EQ(Convert({FixturePath("engine/data_totals.xlsx"), d.out.path()}), 0);
  EXPECT_EQ(d.Out("DATA.csv"), kDataCsv);
  EXPECT_EQ(d.Out("TOTALS.csv"), kTotalsCsv);
}

TEST(Library, TextFormWithTabsIntoOneFile) {
  ASSERT_EQ(Loaded().error, "");
  SKIP_UNLESS_READABLE(FixturePath("engine/data_totals.xlsx"));
  Dirs d;
  const std::string out = d.out.File("out.csv");
  EXPECT_EQ(Loaded().converterStr(
                0, ("app#" + FixturePath("engine/data_totals.xlsx") + "#" + out + "#/FIELDS=TAB").c_str()),
            0);
  EXPECT_EQ(ReadFile(out),
            "\"Name\"\t\"Amount\"\t\"When\"\t\r\n"
            "\"He said \"\"hi\"\"\"\t1.500000\t2024.03.05\t\r\n"
            "\"a;b\"\t3.000000\t2024.03.05 13:07:09\t\r\n"
            "\"a,b\"\t1\t\t\r\n"
            "\"Total\"\t  4.500\t\r\n\t\t\r\n\"Count\"\t   42\t\r\n");
}

TEST(Library, KeywordOptionsShapeTheText) {
  ASSERT_EQ(Loaded().error, "");
  SKIP_UNLESS_READABLE(FixturePath("engine/data_totals.xlsx"));
  Dirs d;
  EXPECT_EQ(Convert({FixturePath("engine/data_totals.xlsx"), d.out.path(), "/QUOTES=0", "-fields=;",
                     "/RECORDS=LF", "/ESCAPE=\\"}),
            0);
  // Unquoted strings are still enclosed when they hold a quote or the delimiter.
  EXPECT_EQ(d.Out("DATA.csv"),
            "Name;Amount;When;\n"
            "\"He said \\\"hi\\\"\";1.500000;2024.03.05;\n"
            "\"a;b\";3.000000;2024.03.05 13:07:09;\n"
            "a,b;1;;\n");
  Dirs q;
  EXPECT_EQ(Convert({FixturePath("engine/data_totals.xlsx"), q.out.path(), "/QUOTEALL=1", "/FIELDS=PIPE",
                     "/RECORDS=NONE"}),
            0);
  EXPECT_EQ(q.Out("TOTALS.csv"), "\"Total\"|\"  4.500\"|||\"Count\"|\"   42\"|");
  // No records: the files are made and stay empty.
  Dirs none;
  EXPECT_EQ(Convert({FixturePath("engine/data_totals.xlsx"), none.out.path(), "/RECORDS=0"}), 0);
  EXPECT_TRUE(FileExists(none.out.File("DATA.csv")));
  EXPECT_EQ(none.Out("DATA.csv"), "");
}

TEST(Library, AnXlsWorkbook) {
  ASSERT_EQ(Loaded().error, "");
  SKIP_UNLESS_READABLE(FixturePath("engine/data_totals.xls"));
  Dirs d;
  EXPECT_EQ(Convert({FixturePath("engine/data_totals.xls"), d.out.path()}), 0);
  EXPECT_EQ(d.Out("DATA.csv"), kDataCsv);
  EXPECT_EQ(d.Out("TOTALS.csv"), kTotalsCsv);
}

TEST(Library, AWorkbookIsReadByItsContentWhateverItsName) {
  ASSERT_EQ(Loaded().error, "");
  SKIP_UNLESS_READABLE(FixturePath("engine/xlsx_content_named.xls"));
  Dirs d;
  EXPECT_EQ(Convert({FixturePath("engine/xlsx_content_named.xls"), d.out.path()}), 0);
  EXPECT_EQ(d.Out("DATA.csv"), kDataCsv);
  EXPECT_EQ(d.Out("TOTALS.csv"), kTotalsCsv);
}

// Every workbook ending the readers take names the source, in the text
// form as well, patterns included.
TEST(Library, EveryWorkbookEndingNamesTheSource) {
  ASSERT_EQ(Loaded().error, "");
  SKIP_UNLESS_READABLE(FixturePath("engine/data_totals.xlsx"));
  for (const char* name : {"book.xlsm", "book.XLTX", "book.xltm", "book.xlsb", "book.xlt"}) {
    SCOPED_TRACE(name);
    Dirs d;
    const std::string book = d.in.File(name);
    fs::copy_file(FixturePath("engine/data_totals.xlsx"), book);
    EXPECT_EQ(Loaded().converterStr(0, ("app#" + book + "#" + d.out.path()).c_str()), 0);
    EXPECT_EQ(d.Out("DATA.csv"), kDataCsv);
    EXPECT_EQ(d.Out("TOTALS.csv"), kTotalsCsv);
  }
  Dirs d;
  fs::copy_file(FixturePath("engine/data_totals.xlsx"), d.in.File("a.xlsm"));
  EXPECT_EQ(Convert({d.in.File("*.xlsm"), d.out.path()}), 0);
  EXPECT_EQ(d.Out("TOTALS.csv"), kTotalsCsv);
}

// A sheet whose part is cut short: its rows up to the damage are written,
// the other sheets whole, and the result says that not all was read.
TEST(Library, APartlyDamagedSheetGivesThree) {
  ASSERT_EQ(Loaded().error, "");
  SKIP_UNLESS_READABLE(FixturePath("engine/data_totals.xlsx"));
  Dirs d;
  LogWatch log;
  EXPECT_EQ(Convert({FixturePath("engine/damaged_sheet.xlsx"), d.out.path(), "/LOG"}), 3);
  EXPECT_EQ(d.Out("DATA.csv"), kDataCsv);
  EXPECT_EQ(d.Out("TOTALS.csv"), "\"Total\",  4.500,\r\n");
  EXPECT_NE(
      log.Added().find("Cannot read all of sheet Totals of " + FixturePath("engine/damaged_sheet.xlsx")),
      std::string::npos);
}

TEST(Library, OneUnreadableBookAmongOthersGivesThreeAndTheOthersAreConverted) {
  ASSERT_EQ(Loaded().error, "");
  SKIP_UNLESS_READABLE(FixturePath("engine/data_totals.xlsx"));
  Dirs d;
  d.Copy("engine/data_totals.xlsx", "a.xlsx");
  WriteFile(d.in.File("b.xlsx"), "PK\x05\x06");
  d.Copy("engine/non_ascii_sheet_name.xlsx", "c.xlsx");
  LogWatch log;
  EXPECT_EQ(Convert({d.in.File("*.xlsx"), d.out.path(), "/LOG"}), 3);
  EXPECT_EQ(d.Out("DATA.csv"), kDataCsv);
  EXPECT_EQ(d.Out("TOTALS.csv"), kTotalsCsv);
  // Upper case changes only a to z.
#ifdef _WIN32
  EXPECT_EQ(d.Out("GR\xF6\xDF"
                  "E.csv"),
            "\"x\",\r\n");
#else
  EXPECT_EQ(d.Out("GR\xC3\xB6\xC3\x9F"
                  "E.csv"),
            "\"x\",\r\n");
#endif
  EXPECT_NE(log.Added().find("Cannot read workbook " + d.in.File("b.xlsx") + ": "), std::string::npos);
}

// The failure is told in the result as well (4, before an unreadable
// workbook's 3): without the log nothing else shows it on Windows.
TEST(Library, AnOutputFileThatCannotBeCreatedIsLoggedAndTheRunGoesOn) {
  ASSERT_EQ(Loaded().error, "");
  SKIP_UNLESS_READABLE(FixturePath("engine/data_totals.xlsx"));
  Dirs d;
  LogWatch log;
  const std::string out = d.out.File("missing") + "/out.csv";
  EXPECT_EQ(Convert({FixturePath("engine/data_totals.xlsx"), out, "/LOG"}), 4);
  WriteFile(d.in.File("broken.xlsx"), "not a workbook");
  EXPECT_EQ(Convert({d.in.File("*.xlsx"), out, "/LOG"}), 3);  // nothing to write, one unreadable
  WriteFile(d.in.File("data.xlsx"), ReadFile(FixturePath("engine/data_totals.xlsx")));
  EXPECT_EQ(Convert({d.in.File("*.xlsx"), out, "/LOG"}), 4);
  EXPECT_EQ(Convert({d.in.File("data.xlsx"), d.out.path(), "/LOG"}), 0);
  std::string added = log.Added();
  // One line for each sheet.
  size_t first = added.find("TABREVO    Cannot create output file.");
  ASSERT_NE(first, std::string::npos) << added;
  EXPECT_NE(added.find("Cannot create output file.", first + 1), std::string::npos) << added;
}

}  // namespace

// Real-world workbooks of the shared corpus.

// The date workbooks exist in every format with the same cells: two dates,
// an elapsed time (a date under the date rules) and whole numbers under
// General.
void ConvertCorpusDates(const char* folder, const char* ending) {
  const std::string corpus = testing_support::CorpusDir();
  if (corpus.empty()) GTEST_SKIP() << "no corpus";
  struct Case {
    const char* name;
    const char* sheet1;
  };
  for (Case c :
       {Case{"calamine__date", "1900.01.10 15:10:10"}, Case{"calamine__date_1904", "1904.01.11 15:10:10"}}) {
    const std::string book = corpus + "/" + folder + "/" + c.name + ending;
    SCOPED_TRACE(book);
    SKIP_UNLESS_READABLE(book);
    Dirs d;
    ASSERT_EQ(Loaded().converterStr(0, ("app#" + book + "#" + d.out.path()).c_str()), 0);
    EXPECT_EQ(d.Out("SHEET1.csv"), std::string("2021.01.01,15.000000,\r\n2021.01.02,16.000000,\r\n") +
                                       c.sheet1 + ",17.000000,\r\n");
  }
}

TEST(LibraryCorpus, DatesOfAnXlsWorkbook) { ConvertCorpusDates("xls", ".xls"); }
TEST(LibraryCorpus, DatesOfAnXlsxWorkbook) { ConvertCorpusDates("xlsx", ".xlsx"); }
TEST(LibraryCorpus, DatesOfAnXlsbWorkbook) { ConvertCorpusDates("xlsb", ".xlsb"); }

// Every corpus file, hostile and broken ones included, gives 0 when it and
// all its sheets can be read and 3 when not, and the call returns.
TEST(LibraryCorpus, EveryFileGivesZeroOrThree) {
  const std::string corpus = testing_support::CorpusDir();
  if (corpus.empty()) GTEST_SKIP() << "no corpus";
  int converted = 0, unreadable = 0, pending = 0;
  for (const char* folder : {"xls", "xlsx", "xlsm", "xlsb", "other"}) {
    for (const auto& entry : fs::directory_iterator(corpus + "/" + folder)) {
      const std::string book = entry.path().string();
      // What the reader says of the file and of each of its sheets.
      BookHandle b = xlCreateXMLBookCA();
      bool readable = xlBookLoadA(b, book.c_str()) != 0;
      std::string why = readable ? "" : xlBookErrorMessageA(b);
      for (int i = 0; readable && i < xlBookSheetCountA(b); ++i)
        if (xlSheetErrorMessageA(xlBookGetSheetA(b, i))) readable = false;
      xlBookReleaseA(b);
      if (testing_support::IsPendingReader(why)) {
        ++pending;
        continue;
      }
      Dirs d;
      // Names without a workbook ending (.biff5) are no sources; they go
      // under an .xlsx name, since the content decides how a book is read.
      std::string source = book;
      if (EndsWithNoCase(book, ".biff5") || EndsWithNoCase(book, ".xls5")) {
        source = d.in.File("copy.xlsx");
        fs::copy_file(book, source);
      }
      EXPECT_EQ(Convert({source, d.out.path(), "/LOG"}), readable ? 0 : 3) << book << ": " << why;
      ++(readable ? converted : unreadable);
    }
  }
  std::cout << converted << " converted, " << unreadable << " unreadable, " << pending
            << " wait for their reader\n";
}
