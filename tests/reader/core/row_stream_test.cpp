// Reading a sheet row by row: the streaming mode of the sheet builder, the
// extent each format states, and every workbook of the fixtures and the
// corpus streamed and compared with its loaded cells.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "engine/reader.h"
#include "reader/core/book.h"
#include "reader/core/string_pool.h"
#include "tests/reader/container/zip_builder.h"
#include "tests/support/corpus_check.h"
#include "tests/support/test_support.h"

namespace {

struct Collected {
  struct Cell {
    uint32_t row, col;
    reader::CellKind kind;
    uint64_t value;  // for a string of the sheet's own pool, its number there (which may differ)
    std::string text;
    bool sheetString = false;
  };
  std::vector<std::pair<uint32_t, uint32_t>> extents;
  std::vector<uint32_t> rows;
  std::vector<Cell> cells;
  size_t largestPool = 0;
  size_t stopAfterRows = SIZE_MAX;
};

class CollectingSink : public reader::RowSink {
 public:
  explicit CollectingSink(Collected& c) : c_(c) {}
  bool StatedExtent(uint32_t rows, uint32_t cols) override {
    c_.extents.emplace_back(rows, cols);
    return true;
  }
  bool Row(uint32_t row, const reader::StoredCell* cells, size_t count,
           const reader::StringPool& sheetStrings) override {
    c_.rows.push_back(row);
    c_.largestPool = std::max(c_.largestPool, sheetStrings.size());
    for (size_t i = 0; i < count; ++i) {
      std::string text;
      if (cells[i].kind == reader::CellKind::String && cells[i].pool == reader::StringPoolId::Sheet)
        text = std::string(sheetStrings.Get(static_cast<uint32_t>(cells[i].value)));
      const bool sheetString =
          cells[i].kind == reader::CellKind::String && cells[i].pool == reader::StringPoolId::Sheet;
      c_.cells.push_back({row, cells[i].col, cells[i].kind, cells[i].value, text, sheetString});
    }
    return c_.rows.size() < c_.stopAfterRows;
  }

 private:
  Collected& c_;
};

TEST(RowStream, RowsGoOutOneAtATimeWithTheirOwnStrings) {
  Collected c;
  CollectingSink sink(c);
  reader::CellStore store;
  reader::StringPool strings;
  {
    reader::SheetBuilder b(store, sink, strings);
    b.StateExtent(9, 4);
    b.AddNumber(0, 0, 0, 1.5);
    b.AddSheetString(0, 2, 0, strings.Add("first"));
    b.AddBlank(1, 0, 3);  // a styled empty cell: no row of its own
    // The first cell of a row is an inline string added to the pool before
    // the builder learns that the row changed: its text must survive.
    b.AddSheetString(4, 1, 0, strings.Add("second"));
    b.AddSheetString(4, 3, 0, strings.Add("third"));
    b.AddError(6, 3, 0, 7);
    b.AddBoolean(8, 0, 0, true);
    b.Finish();
    EXPECT_FALSE(b.stopped());
    EXPECT_FALSE(b.disordered());
  }
  EXPECT_EQ(c.extents, (std::vector<std::pair<uint32_t, uint32_t>>{{9, 4}}));
  EXPECT_EQ(c.rows, (std::vector<uint32_t>{0, 4, 6, 8}));
  ASSERT_EQ(c.cells.size(), 6u);
  EXPECT_EQ(c.cells[1].text, "first");
  EXPECT_EQ(c.cells[2].text, "second");
  EXPECT_EQ(c.cells[3].text, "third");
  EXPECT_EQ(c.cells[4].kind, reader::CellKind::Error);
  // The pool never held more than one row's strings.
  EXPECT_EQ(c.largestPool, 2u);
  EXPECT_EQ(store.cellCount(), 0u);
}

TEST(RowStream, CellsOutOfOrderOrRepeatedAndASinkThatStopsEndTheReading) {
  struct Case {
    const char* what;
    std::vector<std::pair<uint32_t, uint32_t>> cells;
    bool disordered;
    std::vector<uint32_t> rowsGiven;
  };
  const Case cases[] = {
      {"an earlier row after a later one", {{0, 0}, {2, 0}, {1, 0}, {3, 0}}, true, {0}},
      {"columns backwards in a row", {{0, 0}, {1, 3}, {1, 2}}, true, {0}},
      {"the same cell twice", {{0, 0}, {1, 1}, {1, 1}}, true, {0}},
      {"in order", {{0, 0}, {1, 1}, {1, 5}, {7, 0}}, false, {0, 1, 7}},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.what);
    Collected c;
    CollectingSink sink(c);
    reader::CellStore store;
    reader::StringPool strings;
    reader::SheetBuilder b(store, sink, strings);
    for (auto [row, col] : k.cells) b.AddNumber(row, col, 0, 1);
    b.Finish();
    EXPECT_EQ(b.disordered(), k.disordered);
    EXPECT_EQ(b.stopped(), k.disordered);
    EXPECT_EQ(c.rows, k.rowsGiven);
  }

  Collected c;
  c.stopAfterRows = 2;
  CollectingSink sink(c);
  reader::CellStore store;
  reader::StringPool strings;
  reader::SheetBuilder b(store, sink, strings);
  for (uint32_t row = 0; row < 5; ++row) b.AddNumber(row, 0, 0, row);
  EXPECT_TRUE(b.stopped());
  EXPECT_FALSE(b.disordered());
  EXPECT_FALSE(b.AddNumber(9, 0, 0, 1));
  b.Finish();
  EXPECT_EQ(c.rows, (std::vector<uint32_t>{0, 1}));
}

// The engine's side of the reader interface: the rows as XlRowCell.
struct EngineRows {
  std::vector<std::pair<int, int>> extents;
  std::vector<int> rows;
  std::vector<XlRowCell> cells;
  std::vector<std::string> texts;
  int stopAtExtent = 0;
  size_t stopAfterRows = SIZE_MAX;

  static int Extent(void* context, int rows, int cols) {
    auto* self = static_cast<EngineRows*>(context);
    self->extents.emplace_back(rows, cols);
    return self->stopAtExtent ? 0 : 1;
  }
  static int Row(void* context, int row, const XlRowCell* cells, int count) {
    auto* self = static_cast<EngineRows*>(context);
    self->rows.push_back(row);
    for (int i = 0; i < count; ++i) {
      self->cells.push_back(cells[i]);
      self->texts.push_back(cells[i].type == CELLTYPE_STRING && cells[i].text
                                ? std::string(cells[i].text, cells[i].textLength)
                                : "");
    }
    return self->rows.size() < self->stopAfterRows ? 1 : 0;
  }
  int Read(XlSheet* sheet) {
    XlRowReader reader;
    reader.context = this;
    reader.extent = &Extent;
    reader.row = &Row;
    return xlSheetReadRowsA(sheet, &reader);
  }
};

std::unique_ptr<XlBook> LoadBytes(const std::string& bytes) {
  std::unique_ptr<XlBook> book(reader::NewMemoryBook());
  reader::Status status = reader::LoadBookSource(*book, testing_support::SourceOf(bytes));
  EXPECT_TRUE(status.ok()) << status.message();
  return book;
}

std::string SheetWithDimension(const std::string& dimension, const std::string& rows) {
  return "<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">" + dimension +
         "<sheetData>" + rows + "</sheetData></worksheet>";
}

TEST(RowStream, XlsxStatesItsDimensionAndStreamsWithoutLoading) {
  const std::string rows =
      "<row r=\"2\"><c r=\"B2\"><v>2.5</v></c><c r=\"D2\" t=\"inlineStr\"><is><t>x</t></is></c></row>"
      "<row r=\"5\"><c r=\"A5\" t=\"b\"><v>1</v></c><c r=\"C5\" s=\"0\"/></row>";
  struct Case {
    const char* dimension;
    std::vector<std::pair<int, int>> extents;
  };
  const Case cases[] = {{"<dimension ref=\"A1:F9\"/>", {{9, 6}}},
                        {"<dimension ref=\"C3\"/>", {{3, 3}}},
                        {"<dimension ref=\"bad\"/>", {}},
                        {"", {}}};
  for (const Case& k : cases) {
    SCOPED_TRACE(k.dimension);
    auto book = LoadBytes(testing_support::XlsxPackageOf(
        {{"xl/worksheets/sheet1.xml", SheetWithDimension(k.dimension, rows)}}));
    XlSheet* sheet = xlBookGetSheetA(book.get(), 0);
    EngineRows got;
    EXPECT_EQ(got.Read(sheet), ROWREAD_DONE);
    EXPECT_EQ(got.extents, k.extents);
    EXPECT_EQ(got.rows, (std::vector<int>{1, 4}));
    ASSERT_EQ(got.cells.size(), 3u);
    EXPECT_EQ(got.cells[0].col, 1);
    EXPECT_EQ(got.cells[0].type, CELLTYPE_NUMBER);
    EXPECT_EQ(got.cells[0].number, 2.5);
    EXPECT_EQ(got.cells[1].col, 3);
    EXPECT_EQ(got.texts[1], "x");
    EXPECT_EQ(got.cells[2].type, CELLTYPE_BOOLEAN);
    EXPECT_EQ(got.cells[2].boolean, 1);
    // Nothing was kept: the sheet loads as if never read.
    EXPECT_FALSE(sheet->loaded);
    EXPECT_EQ(xlSheetLastRowA(sheet), 5);
    EXPECT_EQ(xlSheetLastColA(sheet), 4);
    // A loaded sheet is read cell by cell.
    EngineRows again;
    EXPECT_EQ(again.Read(sheet), ROWREAD_USE_CELLS);
    EXPECT_TRUE(again.rows.empty());
  }
}

TEST(RowStream, DisorderDamageAndAStopAtTheExtentAreReported) {
  auto disordered = LoadBytes(testing_support::XlsxPackageOf(
      {{"xl/worksheets/sheet1.xml",
        SheetWithDimension(
            "<dimension ref=\"A1:B3\"/>",
            "<row r=\"3\"><c r=\"A3\"><v>1</v></c></row><row r=\"1\"><c r=\"A1\"><v>2</v></c></row>")}}));
  EngineRows a;
  EXPECT_EQ(a.Read(xlBookGetSheetA(disordered.get(), 0)), ROWREAD_USE_CELLS);

  auto damaged = LoadBytes(testing_support::XlsxPackageOf(
      {{"xl/worksheets/sheet1.xml",
        SheetWithDimension("",
                           "<row r=\"1\"><c r=\"A1\"><v>1</v></c></row><row r=\"2\"><c r=\"A2\"><v>x</v></c>"
                           "</row><row r=\"3\"><c r=\"A3\"><v>3</v></c></row>")}}));
  EngineRows b;
  EXPECT_EQ(b.Read(xlBookGetSheetA(damaged.get(), 0)), ROWREAD_USE_CELLS);
  EXPECT_EQ(b.rows, (std::vector<int>{0, 2}));  // the damaged cell is skipped, as when loading

  auto plain = LoadBytes(testing_support::XlsxPackageOf(
      {{"xl/worksheets/sheet1.xml",
        SheetWithDimension("<dimension ref=\"A1:A1\"/>", "<row r=\"1\"><c r=\"A1\"><v>1</v></c></row>")}}));
  EngineRows c;
  c.stopAtExtent = 1;
  EXPECT_EQ(c.Read(xlBookGetSheetA(plain.get(), 0)), ROWREAD_STOPPED);
  EXPECT_TRUE(c.rows.empty());
}

// A sink out of memory ends the stream as damage. The builder, unwound,
// does not call it again: a second throw, out of its destructor, would end
// the process.
TEST(RowStream, ASinkOutOfMemoryIsDamage) {
  struct Throwing : reader::RowSink {
    int calls = 0;
    bool StatedExtent(uint32_t, uint32_t) override { return true; }
    bool Row(uint32_t, const reader::StoredCell*, size_t, const reader::StringPool&) override {
      ++calls;
      throw std::bad_alloc();
    }
  };
  XlBook book;
  book.formats.assign(1, XlFormat{});
  reader::BookBuilder builder(book);
  XlSheet& sheet = builder.AddSheet("S", reader::SheetKind::Worksheet, reader::Visibility::Visible,
                                    [](reader::SheetBuilder& cells, reader::StringPool&) {
                                      cells.AddNumber(0, 0, 0, 1);
                                      cells.AddNumber(1, 0, 0, 2);  // row 0 goes out here
                                      return reader::Status::Ok();
                                    });
  Throwing sink;
  EXPECT_EQ(sheet.StreamRows(sink), XlSheet::StreamResult::Damaged);
  EXPECT_EQ(sink.calls, 1);
}

// Rows reach the engine a little after they are read (their strings are
// fetched ahead meanwhile): still in order, with the texts of the shared
// table and of the sheet's own strings, every row by the end, and none after
// the one at which the engine says stop, also when that is one of the last.
TEST(RowStream, RowsHandedOnLateKeepTheirOrderTextsAndStops) {
  const std::string sst =
      "<sst xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"><si><t>a</t></si>"
      "<si><t>b</t></si><si><t>c</t></si></sst>";
  const std::string rows =
      "<row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c></row>"
      "<row r=\"2\"><c r=\"A2\" t=\"inlineStr\"><is><t>own2</t></is></c><c r=\"B2\" t=\"s\"><v>1</v></c></row>"
      "<row r=\"3\"><c r=\"A3\" t=\"s\"><v>2</v></c></row>"
      "<row r=\"5\"><c r=\"A5\"><v>4</v></c></row>"
      "<row r=\"6\"><c r=\"A6\" t=\"s\"><v>0</v></c><c r=\"B6\" t=\"inlineStr\"><is><t>own6</t></is></c></row>"
      "<row r=\"7\"><c r=\"A7\" t=\"s\"><v>1</v></c></row>"
      "<row r=\"9\"><c r=\"C9\" t=\"s\"><v>2</v></c></row>"
      "<row r=\"10\"><c r=\"A10\" t=\"s\"><v>1</v></c></row>"
      "<row r=\"11\"><c r=\"A11\" t=\"s\"><v>0</v></c></row>";
  const std::string package = testing_support::XlsxPackageOf(
      {{"xl/sharedStrings.xml", sst}, {"xl/worksheets/sheet1.xml", SheetWithDimension("", rows)}});
  const std::vector<int> allRows = {0, 1, 2, 4, 5, 6, 8, 9, 10};
  const std::vector<std::string> allTexts = {"a", "own2", "b", "c", "", "a", "own6", "b", "c", "b", "a"};
  for (size_t stop = 1; stop <= allRows.size() + 1; ++stop) {
    SCOPED_TRACE(stop);
    auto book = LoadBytes(package);
    EngineRows got;
    got.stopAfterRows = stop;
    const bool whole = stop > allRows.size();
    EXPECT_EQ(got.Read(xlBookGetSheetA(book.get(), 0)), whole ? ROWREAD_DONE : ROWREAD_STOPPED);
    const size_t n = whole ? allRows.size() : stop;
    EXPECT_EQ(got.rows, std::vector<int>(allRows.begin(), allRows.begin() + static_cast<long>(n)));
    if (whole) {
      EXPECT_EQ(got.texts, allTexts);
    }
  }
}

// Each format's stated extent, from the committed fixtures. Writers count
// styled empty cells in it, so it may lie beyond the cells with values.
TEST(RowStream, FixturesOfEachFormatStateTheirExtent) {
  struct Case {
    const char* name;
    std::pair<int, int> stated;
    std::pair<int, int> valued;
  };
  const Case cases[] = {{"xls/cell_types.xls", {41, 14}, {3, 6}},
                        {"xlsx/cell_types_xlsxwriter.xlsx", {6, 6}, {5, 4}},
                        {"engine/data_totals.xls", {4, 3}, {4, 3}},
                        {"engine/data_totals.xlsx", {4, 3}, {4, 3}}};
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    std::unique_ptr<XlBook> book(reader::NewMemoryBook());
    ASSERT_TRUE(reader::LoadBookFile(*book, testing_support::FixturePath(k.name)).ok());
    XlSheet* sheet = xlBookGetSheetA(book.get(), 0);
    EngineRows got;
    EXPECT_EQ(got.Read(sheet), ROWREAD_DONE);
    EXPECT_EQ(got.extents, (std::vector<std::pair<int, int>>{k.stated}));
    EXPECT_EQ(std::make_pair(xlSheetLastRowA(sheet), xlSheetLastColA(sheet)), k.valued);
  }
}

// Streams every sheet of the workbook at `path` and compares the rows with
// the cells the loaded sheet holds. Returns the sheets that could not be
// streamed, with the reason.
std::vector<std::string> StreamAndCompare(const std::string& path, const std::string& label) {
  std::vector<std::string> notStreamed;
  std::unique_ptr<XlBook> streamed(reader::NewMemoryBook());
  if (!reader::LoadBookFile(*streamed, path).ok()) return notStreamed;
  std::unique_ptr<XlBook> loaded(reader::NewMemoryBook());
  EXPECT_TRUE(reader::LoadBookFile(*loaded, path).ok());
  for (size_t i = 0; i < streamed->sheets.size(); ++i) {
    XlSheet& sheet = *streamed->sheets[i];
    XlSheet& reference = *loaded->sheets[i];
    SCOPED_TRACE(label + " [" + sheet.name + "]");
    if (sheet.loaded) continue;  // a chart or dialog sheet: no cells
    Collected c;
    CollectingSink sink(c);
    const bool aside = sheet.parseAside;
    sheet.parseAside = false;
    XlSheet::StreamResult result = sheet.StreamRows(sink);
    if (label.size() > 4 && label.compare(label.size() - 4, 4, ".xls") == 0) {
      // The binary sheets again with their records parsed on a second
      // thread (done for the large ones): the same outcome and cells.
      Collected c2;
      CollectingSink sink2(c2);
      sheet.parseAside = true;
      EXPECT_EQ(sheet.StreamRows(sink2), result);
      EXPECT_EQ(c2.extents, c.extents);
      EXPECT_EQ(c2.rows, c.rows);
      bool same = c2.cells.size() == c.cells.size();
      for (size_t k = 0; same && k < c.cells.size(); ++k)
        same = c2.cells[k].row == c.cells[k].row && c2.cells[k].col == c.cells[k].col &&
               c2.cells[k].kind == c.cells[k].kind && c2.cells[k].text == c.cells[k].text &&
               c2.cells[k].sheetString == c.cells[k].sheetString &&
               (c.cells[k].sheetString || c2.cells[k].value == c.cells[k].value);
      EXPECT_TRUE(same);
    }
    sheet.parseAside = aside;
    reference.EnsureLoaded();
    if (result == XlSheet::StreamResult::Disordered) {
      notStreamed.push_back(label + " [" + sheet.name + "]: cells out of order");
      continue;
    }
    if (result == XlSheet::StreamResult::Damaged) {
      EXPECT_FALSE(reference.error.empty());
      notStreamed.push_back(label + " [" + sheet.name + "]: damaged: " + reference.error);
      continue;
    }
    EXPECT_EQ(result, XlSheet::StreamResult::Done);
    EXPECT_TRUE(reference.error.empty()) << reference.error;
    EXPECT_LE(c.extents.size(), 1u);
    // The same cells in the same order.
    size_t n = 0;
    bool same = true;
    reference.cells.ForEach([&](uint32_t row, const reader::StoredCell& cell) {
      if (n >= c.cells.size()) {
        same = false;
        return;
      }
      const Collected::Cell& got = c.cells[n++];
      std::string text = cell.kind == reader::CellKind::String && cell.pool == reader::StringPoolId::Sheet
                             ? std::string(reference.CellText(cell))
                             : std::string();
      bool shared = cell.kind == reader::CellKind::String && cell.pool == reader::StringPoolId::Shared;
      if (got.row != row || got.col != cell.col || got.kind != cell.kind || got.text != text ||
          ((shared || cell.kind != reader::CellKind::String) && got.value != cell.value))
        same = false;
    });
    EXPECT_TRUE(same && n == c.cells.size()) << n << " of " << c.cells.size();
  }
  return notStreamed;
}

TEST(RowStream, EveryFixtureAndCorpusWorkbookStreamsTheCellsItLoads) {
  namespace fs = std::filesystem;
  std::vector<std::string> notStreamed;
  int workbooks = 0;
  for (const char* folder : {"engine", "sample", "xls", "xlsx"}) {
    for (const auto& e : fs::directory_iterator(testing_support::FixturePath(folder))) {
      std::string ext = e.path().extension().string();
      if (ext != ".xls" && ext != ".xlsx") continue;
      ++workbooks;
      auto more =
          StreamAndCompare(e.path().string(), std::string(folder) + "/" + e.path().filename().string());
      notStreamed.insert(notStreamed.end(), more.begin(), more.end());
    }
  }
  if (!testing_support::CorpusDir().empty()) {
    for (const char* folder : {"xlsx", "xlsm", "xlsb", "xls", "other"}) {
      for (const testing_support::CorpusFile& f : testing_support::CorpusFiles(folder)) {
        ++workbooks;
        auto more = StreamAndCompare(f.path, f.relative);
        notStreamed.insert(notStreamed.end(), more.begin(), more.end());
      }
    }
  }
  std::printf("streamed %d workbooks; sheets not streamed: %zu\n", workbooks, notStreamed.size());
  for (const std::string& s : notStreamed) std::printf("  %s\n", s.c_str());
}

}  // namespace
