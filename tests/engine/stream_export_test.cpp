// The streamed export against the export from loaded sheets: the same
// bytes and record counts for made workbooks whose stated extent is too
// small, too large, absent or whose rows come out of order, and for every
// workbook of the fixtures and the corpus under several option mixes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "engine/export.h"
#include "engine/workbook.h"
#include "progress_recorder.h"
#include "reader/core/book.h"
#include "tests/reader/container/zip_builder.h"
#include "tests/support/corpus_check.h"
#include "tests/support/test_support.h"

using testing_support::ReadFile;
using testing_support::ScratchDir;
using testing_support::WriteFile;

namespace fs = std::filesystem;

namespace {

struct Mix {
  const char* name;
  void (*apply)(ConverterSettings& s);
  bool oneFile = false;  // every sheet into one file that already holds a line
  int cancelAtRow = -1;  // cancel while writing this row of the first sheet that reaches it
};

const Mix kMixes[] = {
    {"defaults", [](ConverterSettings&) {}},
    {"appending to one file, quote-all, error texts",
     [](ConverterSettings& s) {
       s.overwrite = kOverwriteNo;
       s.quoteAll = 1;
       s.errorsAsText = 1;
     },
     true},
    {"no field delimiter, LF records, no quotes, UTF-8 with a byte-order mark",
     [](ConverterSettings& s) {
       s.fieldDelimiter.clear();
       s.recordDelimiter = "\n";
       s.quoteStrings = 0;
       s.codePage = kCodePageUtf8;
       s.writeBom = 1;
     }},
    {"two-character delimiter, no record delimiter, OEM strings, line breaks replaced",
     [](ConverterSettings& s) {
       s.fieldDelimiter = "||";
       s.recordDelimiter.clear();
       s.escapeChar = "\\";
       s.codePage = kCodePageOem;
       s.crlfMode = kCrlfReplace;
     }},
    {"cancelled after three rows", [](ConverterSettings&) {}, false, 2},
};

struct Result {
  std::map<std::string, std::string> files;  // name -> bytes
  int64_t records = 0;
  std::vector<int> loadedSheets;  // worksheets that went through the loaded road
  int progressRange = -1;         // the last sheet's row count for the progress display
};

// Why the worksheet `index` of `workbook` cannot be streamed.
std::string ReasonNotStreamed(const std::string& workbook, int index) {
  struct Sink : reader::RowSink {
    bool extent = false;
    uint32_t width = 0, maxCol = 0;
    bool StatedExtent(uint32_t, uint32_t cols) override {
      extent = true;
      width = cols;
      return true;
    }
    bool Row(uint32_t, const reader::StoredCell* cells, size_t count, const reader::StringPool&) override {
      maxCol = std::max<uint32_t>(maxCol, cells[count - 1].col + 1u);
      return true;
    }
  } sink;
  std::unique_ptr<XlBook> book(reader::NewMemoryBook());
  if (!reader::LoadBookFile(*book, workbook).ok()) return "not readable";
  switch (book->sheets.at(static_cast<size_t>(index))->StreamRows(sink)) {
    case XlSheet::StreamResult::Disordered: return "cells out of order or repeated";
    case XlSheet::StreamResult::Damaged: return "damaged";
    case XlSheet::StreamResult::NotAvailable: return "no cells to read";
    default: break;
  }
  if (!sink.extent) return "no extent stated";
  if (sink.maxCol > sink.width) return "values beyond the stated width";
  return "stated width far beyond the values";
}

// Converts every sheet of `workbook`; `loaded` loads each sheet first, which
// makes the export take its cells from the loaded sheet.
Result Convert(const std::string& workbook, const Mix& mix, bool loaded) {
  ScratchDir dir;
  ConverterSettings s{};
  SetDefaultSettings(s);
  ParseFieldDelimiter(s, s.fieldDelimiter);
  ParseRecordDelimiter(s, s.recordDelimiter);
  s.silent = 1;
  mix.apply(s);
  s.sourceFile = workbook;
  std::string single = dir.File("ALL.csv");
  if (mix.oneFile) {
    WriteFile(single, "what was there before\r\n");
    s.outputFile = single;
  } else {
    s.outputFolder = dir.path();
  }
  Progress() = ProgressLog{};
  Progress().cancelAtRow = mix.cancelAtRow;
  Progress().cancel = &s.cancelled;
  Result r;
  if (OpenWorkbook(nullptr, s, "") == 1 && s.book) {
    int n = xlBookSheetCountA(s.book);
    if (loaded)
      for (int i = 0; i < n; ++i) xlSheetLastRowA(xlBookGetSheetA(s.book, i));
    ConvertSelectedSheets(nullptr, s);
    for (int i = 0; i < n; ++i) {
      XlSheet* sheet = xlBookGetSheetA(s.book, i);
      if (sheet->loaded && sheet->kind == reader::SheetKind::Worksheet) r.loadedSheets.push_back(i);
    }
  }
  r.progressRange = Progress().range;
  Progress() = ProgressLog{};
  r.records = s.recordCount;
  for (const auto& e : fs::directory_iterator(dir.path()))
    r.files[e.path().filename().string()] = ReadFile(e.path().string());
  xlBookReleaseA(s.book);
  s.book = nullptr;
  return r;
}

// Both ways under every mix, or only under mix `only`; returns the
// worksheets the streamed road had to load (in the first mix run).
std::vector<int> ExpectSameBothWays(const std::string& workbook, const std::string& label, int only = -1) {
  std::vector<int> loaded;
  bool first = true;
  for (const Mix& mix : kMixes) {
    if (only >= 0 && &mix != &kMixes[only]) continue;
    SCOPED_TRACE(label + " / " + mix.name);
    Result streamed = Convert(workbook, mix, false);
    Result reference = Convert(workbook, mix, true);
    EXPECT_EQ(streamed.records, reference.records);
    EXPECT_EQ(streamed.files.size(), reference.files.size());
    for (const auto& [name, bytes] : reference.files) {
      auto it = streamed.files.find(name);
      if (it == streamed.files.end()) {
        ADD_FAILURE() << name << " was not written";
        continue;
      }
      if (it->second != bytes) {
        size_t at = 0;
        while (at < bytes.size() && at < it->second.size() && bytes[at] == it->second[at]) ++at;
        ADD_FAILURE() << name << " differs from byte " << at << " (" << it->second.size()
                      << " bytes streamed, " << bytes.size() << " from the loaded sheet)";
      }
    }
    if (first) loaded = streamed.loadedSheets;
    first = false;
  }
  return loaded;
}

const char* const kMain = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";

// An .xlsx of one sheet with the given <dimension> (or none) and rows.
std::string MadeWorkbook(const ScratchDir& dir, const std::string& name, const std::string& dimension,
                         const std::string& rows) {
  std::string sheet = std::string("<worksheet xmlns=\"") + kMain + "\">" + dimension + "<sheetData>" + rows +
                      "</sheetData></worksheet>";
  std::string shared = std::string("<sst xmlns=\"") + kMain +
                       "\"><si><t>shared, with a comma</t></si><si><t>say \"hi\"</t></si></sst>";
  std::string path = dir.File(name);
  WriteFile(path, testing_support::XlsxPackageOf(
                      {{"xl/worksheets/sheet1.xml", sheet}, {"xl/sharedStrings.xml", shared}}));
  return path;
}

// Rows 2 to 6 with values up to column C, a styled empty cell in E, and a
// row holding only styled cells at the end.
const char* const kRows =
    "<row r=\"2\"><c r=\"A2\" t=\"s\"><v>0</v></c><c r=\"C2\"><v>1.5</v></c><c r=\"E2\" s=\"1\"/></row>"
    "<row r=\"4\"><c r=\"B4\" t=\"inlineStr\"><is><t>line\nbreak</t></is></c></row>"
    "<row r=\"5\"><c r=\"A5\" t=\"b\"><v>1</v></c><c r=\"B5\" t=\"e\"><v>#N/A</v></c></row>"
    "<row r=\"6\"><c r=\"A6\" t=\"inlineStr\"><is><t>caf\xC3\xA9</t></is></c><c r=\"C6\" "
    "t=\"s\"><v>1</v></c></row>"
    "<row r=\"9\"><c r=\"A9\" s=\"1\"/><c r=\"F9\" s=\"1\"/></row>";

TEST(StreamExport, MadeWorkbooksWithWrongOrMissingExtentsGiveTheSameBytes) {
  ScratchDir dir;
  struct Case {
    const char* what;
    std::string dimension;
    std::string rows;
    bool streams;  // written without loading the sheet
  };
  const Case cases[] = {
      {"the stated extent is right", "<dimension ref=\"A2:C6\"/>", kRows, true},
      {"wider and longer than the values (styled cells)", "<dimension ref=\"A1:F9\"/>", kRows, true},
      {"far wider than the values", "<dimension ref=\"A1:XFD9\"/>", kRows, true},
      {"narrower than the values", "<dimension ref=\"A1:B6\"/>", kRows, false},
      {"shorter than the values", "<dimension ref=\"A1:C3\"/>", kRows, true},
      {"no extent stated", "", kRows, false},
      {"a single cell for an empty sheet", "<dimension ref=\"A1\"/>", "", true},
      {"rows out of order", "<dimension ref=\"A1:C6\"/>",
       "<row r=\"5\"><c r=\"A5\"><v>5</v></c></row><row r=\"2\"><c r=\"B2\"><v>2</v></c></row>", false},
      {"the same cell twice", "<dimension ref=\"A1:C6\"/>",
       "<row r=\"2\"><c r=\"B2\"><v>1</v></c><c r=\"B2\"><v>2</v></c></row>", false},
      {"a damaged cell", "<dimension ref=\"A1:C6\"/>",
       "<row r=\"2\"><c r=\"B2\"><v>1</v></c></row><row r=\"3\"><c r=\"A3\"><v>x</v></c><c "
       "r=\"C3\"><v>3</v></c></row>",
       false},
  };
  int n = 0;
  for (const Case& k : cases) {
    SCOPED_TRACE(k.what);
    std::string path = MadeWorkbook(dir, "made" + std::to_string(n++) + ".xlsx", k.dimension, k.rows);
    EXPECT_EQ(ExpectSameBothWays(path, k.what).size(), k.streams ? 0u : 1u);
  }

  // The cut of surplus fields, spelled out: stated six columns, values in three.
  std::string path = MadeWorkbook(dir, "wide.xlsx", "<dimension ref=\"A1:F9\"/>", kRows);
  Result r = Convert(path, kMixes[0], false);
  EXPECT_TRUE(r.loadedSheets.empty());
  // Strings come in the A form: the ANSI code page on Windows.
  EXPECT_EQ(r.files["SHEET1.csv"],
            ",,,\r\n\"shared, with a comma\",,1.500000,\r\n,,,\r\n,\"line\nbreak\",,\r\n1,,,\r\n\"" +
                platform::Utf8ToAnsi("caf\xC3\xA9") + "\",,\"say \"\"hi\"\"\",\r\n");
  EXPECT_EQ(r.records, 6);
  // The progress display counts the rows the file states.
  EXPECT_EQ(r.progressRange, 9);
}

TEST(StreamExport, AStartOverKeepsWhatTheFileHeldAndEarlierSheets) {
  // Two sheets into one file that already holds a line: the second is read
  // out of order and starts over from its loaded cells.
  ScratchDir dir;
  std::string sheet1 = std::string("<worksheet xmlns=\"") + kMain +
                       "\"><dimension ref=\"A1:B2\"/><sheetData><row r=\"1\"><c r=\"A1\"><v>1</v></c></row>"
                       "<row r=\"2\"><c r=\"B2\"><v>2</v></c></row></sheetData></worksheet>";
  std::string sheet2 = std::string("<worksheet xmlns=\"") + kMain +
                       "\"><dimension ref=\"A1:A3\"/><sheetData><row r=\"3\"><c r=\"A3\"><v>3</v></c></row>"
                       "<row r=\"1\"><c r=\"A1\"><v>4</v></c></row></sheetData></worksheet>";
  std::map<std::string, std::string> parts = {
      {"xl/worksheets/sheet1.xml", sheet1},
      {"xl/worksheets/sheet2.xml", sheet2},
      {"xl/workbook.xml",
       std::string("<workbook xmlns=\"") + kMain +
           "\" xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\">"
           "<sheets><sheet name=\"One\" sheetId=\"1\" r:id=\"rId1\"/><sheet name=\"Two\" "
           "sheetId=\"2\" r:id=\"rId4\"/></sheets></workbook>"},
      {"xl/_rels/workbook.xml.rels",
       "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
       "<Relationship Id=\"rId1\" "
       "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet\" "
       "Target=\"worksheets/sheet1.xml\"/><Relationship Id=\"rId4\" "
       "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet\" "
       "Target=\"worksheets/sheet2.xml\"/></Relationships>"}};
  std::string path = dir.File("two.xlsx");
  WriteFile(path, testing_support::XlsxPackageOf(parts));
  Result r = Convert(path, kMixes[1], false);
  EXPECT_EQ(r.loadedSheets, std::vector<int>{1});
  EXPECT_EQ(
      r.files["ALL.csv"],
      "what was there before\r\n\"1.000000\",,\r\n,\"2.000000\",\r\n\"4.000000\",\r\n,\r\n\"3.000000\",\r\n");
  EXPECT_EQ(r.records, 5);
  ExpectSameBothWays(path, "two sheets");
}

#ifndef _WIN32
TEST(StreamExport, AnOutputThatCannotBeCutBackIsWrittenFromTheLoadedSheet) {
  ScratchDir dir;
  std::string path = MadeWorkbook(dir, "wide.xlsx", "<dimension ref=\"A1:F9\"/>", kRows);
  ConverterSettings s{};
  SetDefaultSettings(s);
  ParseFieldDelimiter(s, s.fieldDelimiter);
  ParseRecordDelimiter(s, s.recordDelimiter);
  s.silent = 1;
  s.sourceFile = path;
  s.outputFile = "/dev/null";  // a device: no cut and no start over possible
  s.overwrite = kOverwriteNo;
  ASSERT_EQ(OpenWorkbook(nullptr, s, ""), 1);
  ConvertSelectedSheets(nullptr, s);
  EXPECT_TRUE(xlBookGetSheetA(s.book, 0)->loaded);
  EXPECT_EQ(s.recordCount, 6);
  EXPECT_EQ(s.writeFailures, 0);
  xlBookReleaseA(s.book);
  s.book = nullptr;
}
#endif

TEST(StreamExport, EveryFixtureAndCorpusWorkbookGivesTheSameBytesBothWays) {
  std::vector<std::string> workbooks;
  for (const char* folder : {"engine", "sample", "xls", "xlsx"})
    for (const auto& e : fs::directory_iterator(testing_support::FixturePath(folder))) {
      std::string ext = e.path().extension().string();
      // Its sheet "Far" holds one value in the last cell of the largest
      // sheet: 16 GiB of field delimiters either way.
      if (e.path().filename() == "cell_types_xlsxwriter.xlsx") continue;
      if (ext == ".xls" || ext == ".xlsx") workbooks.push_back(e.path().string());
    }
  std::sort(workbooks.begin(), workbooks.end());
  size_t fixtures = workbooks.size();
  if (!testing_support::CorpusDir().empty())
    for (const char* folder : {"xlsx", "xlsm", "xlsb", "xls", "other"})
      for (const testing_support::CorpusFile& f : testing_support::CorpusFiles(folder))
        workbooks.push_back(f.path);
  // The fixtures under every mix; the corpus workbooks each under one, in
  // turn, which keeps the test short (TABREVO_ALL_MIXES=1: every mix).
  const bool allMixes = std::getenv("TABREVO_ALL_MIXES") != nullptr;
  const int mixCount = static_cast<int>(sizeof kMixes / sizeof kMixes[0]);
  // What could not be streamed, and why (the list in bench/README.md).
  std::map<std::string, std::vector<std::string>> reasons;
  size_t loadedSheets = 0;
  for (size_t i = 0; i < workbooks.size(); ++i) {
    const std::string& path = workbooks[i];
    std::string label = fs::path(path).filename().string();
    int only = i < fixtures || allMixes ? -1 : static_cast<int>(i % static_cast<size_t>(mixCount));
    for (int index : ExpectSameBothWays(path, label, only)) {
      reasons[ReasonNotStreamed(path, index)].push_back(label);
      ++loadedSheets;
    }
  }
  std::printf("%zu workbooks (%zu fixtures) converted both ways; worksheets written from loaded cells: %zu\n",
              workbooks.size(), fixtures, loadedSheets);
  for (const auto& [why, where] : reasons) {
    std::printf("  %s: %zu\n   ", why.c_str(), where.size());
    for (const std::string& w : where) std::printf(" %s", w.c_str());
    std::printf("\n");
  }
  if (testing_support::CorpusDir().empty()) GTEST_SKIP() << "the shared corpus is absent; fixtures only";
}

}  // namespace
