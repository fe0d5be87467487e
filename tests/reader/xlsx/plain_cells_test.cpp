// The worksheet reader takes the commonest cells, and the shared strings
// reader the commonest strings, straight from the scanner's buffer and
// leaves every other form to the token-by-token reading. Both must give
// the same cells, the same sheet errors and the same strings: each
// workbook here is read both ways and compared.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "reader/core/book.h"
#include "reader/xlsx/xlsx_package.h"
#include "tests/reader/container/zip_builder.h"
#include "tests/support/corpus_check.h"
#include "tests/support/test_support.h"

namespace {

// Every sheet's cells, text and error, one line per cell.
std::string Dump(XlBook& book) {
  std::string out = "book: " + book.error + "\n";
  for (uint32_t i = 0; i < book.sharedStrings.size(); ++i)
    out += "string " + std::to_string(i) + ": [" + std::string(book.sharedStrings.Get(i)) + "]\n";
  for (auto& sheet : book.sheets) {
    sheet->EnsureLoaded();
    out += "sheet " + sheet->name + ": " + sheet->error + "\n";
    sheet->cells.ForEach([&](uint32_t row, const reader::StoredCell& cell) {
      out += std::to_string(row) + "," + std::to_string(cell.col) + " k" +
             std::to_string(static_cast<int>(cell.kind)) + " p" + std::to_string(static_cast<int>(cell.pool)) +
             " s" + std::to_string(cell.style) + " v" + std::to_string(cell.value);
      if (cell.kind == reader::CellKind::String) out += " [" + std::string(sheet->CellText(cell)) + "]";
      out += "\n";
    });
  }
  return out;
}

struct BothWays {
  std::string shortcut, tokens;
};

BothWays ReadBothWays(const std::function<reader::Status(XlBook&)>& load) {
  BothWays r;
  for (bool on : {true, false}) {
    reader::SetPlainShortcuts(on);
    std::unique_ptr<XlBook> book(reader::NewMemoryBook());
    reader::Status status = load(*book);
    (on ? r.shortcut : r.tokens) = (status.ok() ? "" : "load: " + status.message() + "\n") + Dump(*book);
  }
  reader::SetPlainShortcuts(true);
  return r;
}

std::string Sheet(const std::string& rows) {
  return "<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
         "<dimension ref=\"A1:Z40\"/><sheetData>" +
         rows + "</sheetData></worksheet>";
}

TEST(PlainCells, EveryFormOfCellAndStringReadsAsTheTokensDo) {
  // The strings come in every form as well: the shortcut takes plain ones
  // and those with references or line ends, the tokens the rest.
  const std::string shared =
      "<sst xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" count=\"2\" uniqueCount=\"2\">"
      "<si><t>one</t></si><si><t>two</t></si>"
      "<si><t>a &amp; b &lt;c&gt; &quot;d&quot; &apos;e&apos; &#65;&#x42; &bogus; &#xD800; &</t></si>"
      "<si><t>line\r\nend\rlone\nfeed</t></si>"
      "<si><t>&#13;&#10;kept</t></si>"
      "<si><t xml:space=\"preserve\">  spaced  </t></si>"
      "<si><t>x_x000D_y_x005F_x0041_</t></si>"
      "<si><t><![CDATA[<cdata> & \r\n]]></t></si>"
      "<si><r><t>rich </t></r><r><rPr><b/></rPr><t>runs &amp; more</t></r></si>"
      "<si><t>text</t><rPh sb=\"0\" eb=\"1\"><t>phonetic</t></rPh></si>"
      "<si><t/></si><si/><si><t></t></si>"
      "<si>\n<t>around</t>\n</si>"
      "</sst>";
  // Each row holds cells of one kind of form: plain ones around the form
  // under test, so a run of plain cells is cut by it and resumes after it.
  const char* forms[] = {
      "<c r=\"B@\"><v>12.5</v></c>",
      "<c r=\"B@\" s=\"1\" t=\"s\"><v>1</v></c>",
      "<c r='B@' t='b'><v>true</v></c>",
      "<c r=\"B@\" t=\"e\"><v>#DIV/0!</v></c>",
      "<c r=\"B@\" t=\"e\"><v>#WHAT</v></c>",
      "<c r=\"B@\" t=\"str\"><f>A1&amp;A2</f><v>x_x0041_y</v></c>",
      "<c r=\"B@\"><f t=\"shared\" ref=\"B1:B9\" si=\"0\">A1*2</f><v>3</v></c>",
      "<c r=\"B@\"><f t=\"shared\" si=\"0\"/><v>4</v></c>",
      "<c r=\"B@\" t=\"d\"><v>2024-02-29T12:30:00</v></c>",
      "<c r=\"B@\" t=\"d\"><v>yesterday</v></c>",
      "<c r=\"B@\" t=\"n\"><v> 7 </v></c>",
      "<c r=\"B@\"><v>1e400</v></c>",
      "<c r=\"B@\"><v>abc</v></c>",
      "<c r=\"B@\"><v>1&#48;</v></c>",
      "<c r=\"B@\"><v>5\r</v></c>",
      "<c r=\"B@\" t=\"inlineStr\"><is><t>inline</t></is></c>",
      "<c r=\"B@\" t=\"inlineStr\"><v>in v</v></c>",
      "<c r=\"B@\" t=\"s\"><v>9</v></c>",
      "<c r=\"B@\" t=\"s\"><v></v></c>",
      "<c r=\"B@\" t=\"zz\"><v>1</v></c>",
      "<c r=\"b@\"><v>8</v></c>",
      "<c r=\"XFE@\"><v>8</v></c>",
      "<c r=\"AAAA@\"><v>8</v></c>",
      "<c r=\"B0\"><v>8</v></c>",
      "<c r=\"B@\" r=\"E@\"><v>2</v></c>",
      "<c><v>no reference</v></c>",
      "<c><v>6</v></c>",
      "<c r=\"B@\" s=\"3\"/>",
      "<c r=\"B@\"></c>",
      "<c r=\"B@\" >\n  <v>1</v>\n</c>",
      "<c\nr=\"B@\"\ts=\"2\"><v>1</v></c>",
      "<c r = \"B@\"><v>1</v></c>",
      "<x:c r=\"B@\"><x:v>1</x:v></x:c>",
      "<c r=\"B@\" x:t=\"s\"><v>0</v></c>",
      "<c r=\"B@\"><v>1</v><v>2</v></c>",
      "<c r=\"B@\"><extLst/><v>1</v></c>",
      "<c r=\"B@\"><v/></c>",
      "<c r=\"A@\"><v>1</v></c>",  // out of order after the plain C cell before it
      // Start tags near the common form that must not be read as it.
      "<c r=\"B@\" t=\"s\" s=\"1\"><v>1</v></c>",
      "<c r=\"B@\" s=\"1234567890\"><v>1</v></c>",
      "<c r=\"B@\" s=\"\"><v>1</v></c>",
      "<c r=\"B@\" s=\"x\"><v>1</v></c>",
      "<c r=\"B@\" s=\"2\" t=\"s\" ><v>1</v></c>",
      "<c r=\"B@\" s=\"2\"t=\"s\"><v>1</v></c>",
      "<c r=\"B@\" t=\"inlineStr\"/>",
      "<c r=\"ZZZ@\"><v>1</v></c>",
      "<c r=\"XFD@\" s=\"4\"><v>1</v></c>",
      "<c r=\"B12345678\"><v>1</v></c>",
      "<c r=\"B1048577\"><v>1</v></c>",
      "<c r=\"B@0\"><v>1</v></c>",  // a row number that starts like the row's own
      "<c r=\"B@\" s=\"7\" t=\"n\"><v>-0.5e-3</v></c>",
      "<c r=\"B@\" t=\"s\"><v> 1 </v></c>",
      "<c r=\"B@\" t=\"s\"><v>01</v></c>",
      "<c r=\"B@\" t=\"s\"><v>4294967296</v></c>",
  };
  int row = 1;
  std::string rows;
  for (const char* form : forms) {
    std::string cell = form;
    for (size_t at; (at = cell.find('@')) != std::string::npos;) cell.replace(at, 1, std::to_string(row));
    rows += "<row r=\"" + std::to_string(row) + "\"><c r=\"A" + std::to_string(row) + "\"><v>1</v></c>" + cell +
            "<c r=\"C" + std::to_string(row) + "\" t=\"s\"><v>0</v></c><c><v>2</v></c></row>";
    ++row;
  }
  const std::string bytes = testing_support::XlsxPackageOf({{"xl/worksheets/sheet1.xml", Sheet(rows)},
                                                              {"xl/sharedStrings.xml", shared}});
  BothWays r = ReadBothWays([&](XlBook& b) { return reader::LoadBookSource(b, testing_support::SourceOf(bytes)); });
  EXPECT_EQ(r.shortcut, r.tokens);
  // The reading did take the shortcut's cells and report the damaged ones.
  EXPECT_NE(r.shortcut.find("[xAy]"), std::string::npos);
  EXPECT_NE(r.shortcut.find("skipped"), std::string::npos) << r.shortcut;
  EXPECT_NE(r.shortcut.find("[a & b <c> \"d\" 'e' AB"), std::string::npos) << r.shortcut;
  EXPECT_NE(r.shortcut.find("[line\nend\nlone\nfeed]"), std::string::npos) << r.shortcut;
}

TEST(PlainCells, EveryFormOfRowReadsAsTheTokensDo) {
  // Start tags of rows (@: the row's number) between rows of the common
  // form; each row starts with a cell without a reference, which goes in
  // column A of the row.
  const char* forms[] = {
      "<row r=\"@\">",
      "<row r=\"@\" spans=\"1:3\" ht=\"15\" customHeight=\"1\" x14ac:dyDescent=\"0.25\">",
      "<row r=\"@\" x:r=\"99\">",
      "<row r=\"@\" r=\"98\">",
      "<row spans=\"1:3\" r=\"@\">",
      "<row>",
      "<row r=\"0@\">",
      "<row r=\"0\">",
      "<row r=\"1048577\">",
      "<row r=\"12345678\">",
      "<row r=\" @\">",
      "<row r=\"@\"  spans=\"1:3\">",
      "<row r=\"@\" spans = \"1:3\">",
      "<row r=\"@\" ht='15'>",
      "<row r=\"@\" ht=\"1>5\">",
      "<row r=\"@\" spans=\"1:3\"/><row r=\"@5\">",
      "<row r=\"2\">",  // back to an earlier row
      "<row r=\"@\">\n",
  };
  int row = 3;
  std::string rows = "<row r=\"1\"><c r=\"A1\"><v>0</v></c>";
  for (const char* form : forms) {
    std::string tag = form;
    for (size_t at; (at = tag.find('@')) != std::string::npos;) tag.replace(at, 1, std::to_string(row));
    std::string n = std::to_string(row);
    rows += "</row>" + tag + "<c><v>" + n + "</v></c><c r=\"B" + n + "\"><v>2</v></c>" + "</row>\n<row r=\"" +
            std::to_string(row + 1) + "\"><c><v>3</v></c><c r=\"C" + std::to_string(row + 1) + "\"><v>4</v></c>";
    row += 10;
  }
  rows += "</row>";
  const std::string bytes = testing_support::XlsxPackageOf({{"xl/worksheets/sheet1.xml", Sheet(rows)}});
  BothWays r = ReadBothWays([&](XlBook& b) { return reader::LoadBookSource(b, testing_support::SourceOf(bytes)); });
  EXPECT_EQ(r.shortcut, r.tokens);
  EXPECT_NE(r.shortcut.find("12,0 k"), std::string::npos) << r.shortcut;  // the first cell of row 13
}

TEST(PlainCells, CellsCutByTheEndOfTheBufferReadAsTheTokensDo) {
  // A sheet of many rows, larger than the scanner's window, so that cells
  // are cut at every refill.
  std::string rows;
  for (int r = 1; r <= 40000; ++r) {
    std::string n = std::to_string(r);
    rows += "<row r=\"" + n + "\"><c r=\"A" + n + "\"><v>" + n + "</v></c><c r=\"B" + n + "\" t=\"str\"><v>t" + n +
            "</v></c><c r=\"C" + n + "\"><f>A" + n + "*2</f><v>" + std::to_string(r * 2) + ".25</v></c></row>";
  }
  const std::string bytes = testing_support::XlsxPackageOf({{"xl/worksheets/sheet1.xml", Sheet(rows)}});
  BothWays r = ReadBothWays([&](XlBook& b) { return reader::LoadBookSource(b, testing_support::SourceOf(bytes)); });
  EXPECT_EQ(r.shortcut, r.tokens);
  EXPECT_NE(r.shortcut.find("39999,2 k"), std::string::npos);
}

TEST(PlainCells, EveryFixtureAndCorpusWorkbookReadsAsTheTokensDo) {
  namespace fs = std::filesystem;
  std::vector<std::string> paths;
  for (const char* folder : {"engine", "sample", "xlsx"})
    for (const auto& e : fs::directory_iterator(testing_support::FixturePath(folder)))
      if (e.path().extension() == ".xlsx" || e.path().extension() == ".xlsm") paths.push_back(e.path().string());
  if (!testing_support::CorpusDir().empty())
    for (const char* folder : {"xlsx", "xlsm", "other"})
      for (const testing_support::CorpusFile& f : testing_support::CorpusFiles(folder)) paths.push_back(f.path);
  int compared = 0;
  for (const std::string& path : paths) {
    BothWays r = ReadBothWays([&](XlBook& b) { return reader::LoadBookFile(b, path); });
    EXPECT_TRUE(r.shortcut == r.tokens) << path;
    ++compared;
  }
  std::printf("compared %d workbooks\n", compared);
}

}  // namespace
