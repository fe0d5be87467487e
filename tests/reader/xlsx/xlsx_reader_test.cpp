// The .xlsx reader on packages built in the test: parts found through
// relationships, the workbook, shared strings, styles and cells.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

#include "engine/reader.h"
#include "reader/xlsx/xlsx_package.h"
#include "tests/reader/container/zip_builder.h"

using testing_support::SheetXml;
using testing_support::SourceOf;
using testing_support::XlsxPackageOf;
using testing_support::ZipBuilder;

namespace {

struct Loaded {
  std::unique_ptr<XlBook> book{reader::NewMemoryBook()};
  reader::Status status;
  XlSheet* sheet(size_t i) const { return i < book->sheets.size() ? book->sheets[i].get() : nullptr; }
};

Loaded Load(const std::string& bytes) {
  Loaded l;
  l.status = reader::LoadBookSource(*l.book, SourceOf(bytes));
  return l;
}

Loaded LoadSheet(const std::string& rows, std::map<std::string, std::string> parts = {}) {
  parts["xl/worksheets/sheet1.xml"] = SheetXml(rows);
  return Load(XlsxPackageOf(parts));
}

std::string Text(XlSheet* s, int row, int col) {
  const char* t = xlSheetReadStrA(s, row, col, nullptr);
  return t ? t : "<none>";
}

const char* kRels = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/";

std::string Rel(const std::string& id, const std::string& type, const std::string& target) {
  return "<Relationship Id=\"" + id + "\" Type=\"" + kRels + type + "\" Target=\"" + target + "\"/>";
}

TEST(XlsxWorkbook, SheetsInWorkbookOrderWithKindsVisibilityAndDateSystem) {
  std::string workbook =
      "<workbook xmlns:r=\"r\"><workbookPr date1904=\"true\"/><sheets>"
      "<sheet name=\"Data &amp; more\" sheetId=\"9\" r:id=\"rId3\"/>"
      "<sheet name=\"Chart\" sheetId=\"2\" r:id=\"rId2\" state=\"hidden\"/>"
      "<sheet name=\"Dialog\" sheetId=\"3\" r:id=\"rId4\"/>"
      "<sheet name=\"Macro_x0020_1\" sheetId=\"4\" r:id=\"rId5\" state=\"veryHidden\"/>"
      "<sheet name=\"Second\" sheetId=\"1\" r:id=\"rId1\"/></sheets></workbook>";
  std::string rels =
      "<Relationships>" + Rel("rId1", "worksheet", "worksheets/sheet1.xml") +
      Rel("rId3", "worksheet", "/xl/worksheets/../worksheets/sheet2.xml") +
      Rel("rId2", "chartsheet", "chartsheets/sheet1.xml") +
      Rel("rId4", "dialogsheet", "dialogsheets/sheet1.xml") +
      "<Relationship Id=\"rId5\" Type=\"http://schemas.microsoft.com/office/2006/relationships/"
      "xlMacrosheet\" Target=\"macrosheets/sheet1.xml\"/></Relationships>";
  Loaded l = Load(XlsxPackageOf({{"xl/workbook.xml", workbook},
                                 {"xl/_rels/workbook.xml.rels", rels},
                                 {"xl/worksheets/sheet1.xml", SheetXml("<row><c><v>1</v></c></row>")},
                                 {"xl/worksheets/sheet2.xml", SheetXml("<row><c><v>2</v></c></row>")},
                                 {"xl/macrosheets/sheet1.xml", SheetXml("<row><c><v>3</v></c></row>")}}));
  ASSERT_TRUE(l.status.ok()) << l.status.message();
  ASSERT_EQ(xlBookSheetCountA(l.book.get()), 5);
  const char* names[] = {"Data & more", "Chart", "Dialog", "Macro 1", "Second"};
  for (int i = 0; i < 5; ++i) EXPECT_STREQ(xlSheetNameA(l.sheet(i)), names[i]);
  EXPECT_EQ(l.sheet(1)->kind, reader::SheetKind::Chartsheet);
  EXPECT_EQ(l.sheet(1)->visibility, reader::Visibility::Hidden);
  EXPECT_EQ(l.sheet(2)->kind, reader::SheetKind::Dialogsheet);
  EXPECT_EQ(l.sheet(3)->kind, reader::SheetKind::Macrosheet);
  EXPECT_EQ(l.sheet(3)->visibility, reader::Visibility::VeryHidden);
  EXPECT_TRUE(l.book->date1904);
  // Cells are read on first use; chart, dialog and macro sheets have none.
  EXPECT_FALSE(l.sheet(0)->loaded);
  EXPECT_EQ(xlSheetReadNumA(l.sheet(0), 0, 0, nullptr), 2.0);
  EXPECT_EQ(xlSheetReadNumA(l.sheet(4), 0, 0, nullptr), 1.0);
  for (int i = 1; i < 4; ++i) EXPECT_EQ(xlSheetLastRowA(l.sheet(i)), 0);
}

TEST(XlsxWorkbook, DateSystemFlagSpellings) {
  for (auto [word, on] : std::vector<std::pair<const char*, bool>>{
           {"1", true}, {"true", true}, {"on", true}, {"0", false}, {"false", false}, {"off", false}}) {
    Loaded l =
        Load(XlsxPackageOf({{"xl/workbook.xml", std::string("<workbook><workbookPr date1904=\"") + word +
                                                    "\"/><sheets><sheet name=\"S\" r:id=\"rId1\"/>"
                                                    "</sheets></workbook>"}}));
    ASSERT_TRUE(l.status.ok());
    EXPECT_EQ(l.book->date1904, on) << word;
  }
}

TEST(XlsxWorkbook, PartsFoundThroughRelationshipsNotNames) {
  // Strict namespaces, a workbook at the package root, percent-encoded and
  // backslashed names in another case than the ZIP entries.
  const char* strict = "http://purl.oclc.org/ooxml/officeDocument/relationships/";
  std::string rootRels = std::string("<Relationships><Relationship Id=\"a\" Type=\"") + strict +
                         "officeDocument\" Target=\"/Book.XML\"/></Relationships>";
  std::string wbRels = std::string("<Relationships><Relationship Id=\"s1\" Type=\"") + strict +
                       "worksheet\" Target=\"data/My%20Sheet.xml\"/><Relationship Id=\"ss\" Type=\"" +
                       strict + "sharedStrings\" Target=\"strings\\all.xml\"/></Relationships>";
  Loaded l = Load(XlsxPackageOf(
      {{"_rels/.rels", rootRels},
       {"xl/workbook.xml", ""},
       {"xl/_rels/workbook.xml.rels", ""},
       {"xl/worksheets/sheet1.xml", ""},
       {"book.xml",
        "<x:workbook xmlns:x=\"http://purl.oclc.org/ooxml/spreadsheetml/main\" "
        "xmlns:rel=\"http://purl.oclc.org/ooxml/officeDocument/relationships\"><x:sheets><x:sheet name=\"S\" "
        "sheetId=\"1\" rel:id=\"s1\"/></x:sheets></x:workbook>"},
       {"_rels/book.xml.rels", wbRels},
       {"DATA/my sheet.xml", SheetXml("<row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c></row>")},
       {"strings/all.xml", "<sst><si><t>found</t></si></sst>"}}));
  ASSERT_TRUE(l.status.ok()) << l.status.message();
  EXPECT_EQ(Text(l.sheet(0), 0, 0), "found");
}

TEST(XlsxWorkbook, MissingOrDamagedRelationshipsFallBackToTheUsualParts) {
  Loaded l = Load(XlsxPackageOf({{"_rels/.rels", "<?xml version=\"1.0\"?>\nCORRUPTED <"},
                                 {"xl/_rels/workbook.xml.rels", ""},
                                 {"xl/workbook.xml",
                                  "<workbook><sheets><sheet name=\"A\" r:id=\"x\"/><sheet "
                                  "name=\"B\" r:id=\"y\"/></sheets></workbook>"},
                                 {"xl/sharedStrings.xml", "<sst><si><t>s</t></si></sst>"},
                                 {"xl/worksheets/sheet1.xml", SheetXml("<row><c t=\"s\"><v>0</v></c></row>")},
                                 {"xl/worksheets/sheet2.xml", SheetXml("<row><c><v>5</v></c></row>")}}));
  ASSERT_TRUE(l.status.ok()) << l.status.message();
  EXPECT_EQ(Text(l.sheet(0), 0, 0), "s");
  EXPECT_EQ(xlSheetReadNumA(l.sheet(1), 0, 0, nullptr), 5.0);
}

TEST(XlsxWorkbook, PackagesThatAreNoXlsxWorkbookFailWithAReason) {
  struct Case {
    std::string bytes;
    const char* reason;
  };
  ZipBuilder xlsb, ods, other;
  xlsb.Add("[Content_Types].xml", "<Types/>");
  xlsb.Add("xl/workbook.bin", std::string("\x83\x01\x00", 3));
  ods.Add("mimetype", "application/vnd.oasis.opendocument.spreadsheet");
  ods.Add("content.xml", "<office:document-content/>");
  other.Add("readme.txt", "hello");
  std::vector<Case> cases = {
      {xlsb.Build(), "xl/workbook.bin: the workbook lists no sheets"},
      {ods.Build(), "OpenDocument spreadsheet"},
      {other.Build(), "holds no workbook part"},
      {XlsxPackageOf({{"xl/workbook.xml", "<workbook><sheets/></workbook>"}}), "lists no sheets"},
      {XlsxPackageOf({{"xl/workbook.xml", "<workbook><sheets><sheet name=\"a\"</workbook>"}}),
       "xl/workbook.xml: offset"},
  };
  for (const Case& c : cases) {
    Loaded l = Load(c.bytes);
    EXPECT_FALSE(l.status.ok());
    EXPECT_NE(l.status.message().find(c.reason), std::string::npos) << l.status.message();
    EXPECT_EQ(xlBookSheetCountA(l.book.get()), 0);
    EXPECT_NE(std::string(xlBookErrorMessageA(l.book.get())).find(c.reason), std::string::npos);
  }
}

TEST(XlsxSharedStrings, PlainRichPhoneticEscapedAndEmptyItems) {
  std::string sst =
      "<sst xmlns=\"x\" count=\"99999999\" uniqueCount=\"99999999\">"
      "<si><t>plain</t></si>"
      "<si><r><rPr><b/></rPr><t>rich </t></r><r><t xml:space=\"preserve\"> text </t></r>"
      "<rPh sb=\"0\" eb=\"1\"><t>PHONETIC</t></rPh><phoneticPr fontId=\"1\"/></si>"
      "<si><t>&lt;tag&gt; &#x41;&#66; _x000D_ _x005F_x0041_</t></si>"
      "<si/>"
      "<si><t></t></si>"
      "<si><x:t xmlns:x=\"x\">prefixed</x:t></si>"
      "</sst>";
  std::string rows;
  for (int i = 0; i < 6; ++i)
    rows += "<row r=\"" + std::to_string(i + 1) + "\"><c r=\"A" + std::to_string(i + 1) + "\" t=\"s\"><v>" +
            std::to_string(i) + "</v></c></row>";
  Loaded l = LoadSheet(rows, {{"xl/sharedStrings.xml", sst}});
  ASSERT_TRUE(l.status.ok()) << l.status.message();
  ASSERT_EQ(l.book->sharedStrings.size(), 6u);
  XlSheet* s = l.sheet(0);
  EXPECT_EQ(Text(s, 0, 0), "plain");
  EXPECT_EQ(Text(s, 1, 0), "rich  text ");
  EXPECT_EQ(Text(s, 2, 0), "<tag> AB \r _x0041_");
  EXPECT_EQ(Text(s, 3, 0), "");
  EXPECT_EQ(xlSheetCellTypeA(s, 3, 0), CELLTYPE_STRING);
  EXPECT_EQ(Text(s, 4, 0), "");
  EXPECT_EQ(Text(s, 5, 0), "prefixed");
  EXPECT_TRUE(s->error.empty()) << s->error;
}

TEST(XlsxSharedStrings, LongStringsAcrossManyReadsAndADamagedPartKeepsWhatCameBefore) {
  // Three long items, large enough to be inflated on the read-ahead thread
  // and to cross many buffer refills, with an entity at every boundary.
  std::string big1, big2;
  for (int i = 0; i < 200000; ++i) big1 += "ab&amp;";
  for (int i = 0; i < 300000; ++i) big2 += "\xC3\xA9_x0041_";
  std::string sst =
      "<sst><si><t>" + big1 + "</t></si><si><r><t>" + big2 + "</t></r></si><si><t>end</t></si></sst>";
  Loaded l = LoadSheet("<row><c t=\"s\"><v>0</v></c><c t=\"s\"><v>1</v></c><c t=\"s\"><v>2</v></c></row>",
                       {{"xl/sharedStrings.xml", sst}});
  ASSERT_TRUE(l.status.ok());
  std::string want1, want2;
  for (int i = 0; i < 200000; ++i) want1 += "ab&";
  for (int i = 0; i < 300000; ++i)
    want2 +=
        "\xC3\xA9"
        "A";
  EXPECT_TRUE(std::string(l.book->sharedStrings.Get(0)) == want1);
  EXPECT_TRUE(std::string(l.book->sharedStrings.Get(1)) == want2);
  EXPECT_EQ(l.book->sharedStrings.Get(2), "end");

  // Damage after the second item: two strings stay, a cell of the third is
  // skipped, and the sheet says why.
  Loaded d = LoadSheet("<row><c t=\"s\"><v>1</v></c><c t=\"s\"><v>2</v></c></row>",
                       {{"xl/sharedStrings.xml", "<sst><si><t>a</t></si><si><t>b</t></si><si><t>c</t"}});
  ASSERT_TRUE(d.status.ok());
  EXPECT_EQ(Text(d.sheet(0), 0, 0), "b");
  EXPECT_EQ(xlSheetCellTypeA(d.sheet(0), 0, 1), CELLTYPE_EMPTY);
  std::string error = xlSheetErrorMessageA(d.sheet(0));
  EXPECT_NE(error.find("refers to shared string 2, but there are only 2"), std::string::npos) << error;
  EXPECT_NE(error.find("xl/sharedStrings.xml: offset"), std::string::npos) << error;
}

TEST(XlsxStyles, NumberFormatsByCellStyle) {
  std::string styles =
      "<styleSheet><numFmts count=\"2\"><numFmt numFmtId=\"164\" formatCode=\"yyyy&quot;-&quot;mm\"/>"
      "<numFmt numFmtId=\"165\" formatCode=\"0.000\"/><numFmt numFmtId=\"14\" "
      "formatCode=\"m/d/yyyy\"/></numFmts>"
      "<cellStyleXfs count=\"1\"><xf numFmtId=\"165\"/></cellStyleXfs>"
      "<cellXfs count=\"5\"><xf numFmtId=\"0\"/><xf numFmtId=\"164\" applyNumberFormat=\"1\"/>"
      "<mc:AlternateContent><mc:Choice Requires=\"x\"><xf numFmtId=\"99\"/></mc:Choice>"
      "<mc:Fallback><xf numFmtId=\"165\"/></mc:Fallback></mc:AlternateContent>"
      "<xf numFmtId=\"14\"><alignment/></xf><xf/></cellXfs>"
      "<cellStyles><cellStyle xfId=\"0\"/></cellStyles><dxfs><dxf><numFmt numFmtId=\"166\" "
      "formatCode=\"@\"/></dxf></dxfs>"
      "</styleSheet>";
  Loaded l = LoadSheet(
      "<row><c s=\"1\"><v>44197</v></c><c s=\"2\"><v>1.5</v></c><c s=\"3\"><v>44197</v></c>"
      "<c s=\"4\"><v>7</v></c><c s=\"77\"><v>8</v></c></row>",
      {{"xl/styles.xml", styles}});
  ASSERT_TRUE(l.status.ok());
  XlSheet* s = l.sheet(0);
  auto id = [&](int col) { return xlFormatNumFormatA(xlSheetCellFormatA(s, 0, col)); };
  EXPECT_EQ(id(0), 164);
  EXPECT_EQ(id(1), 165);
  EXPECT_EQ(id(2), 14);
  EXPECT_EQ(id(3), 0);
  EXPECT_EQ(id(4), 0);  // a style the workbook does not have reads as the default
  EXPECT_STREQ(xlBookCustomNumFormatA(l.book.get(), 164), "yyyy\"-\"mm");
  EXPECT_STREQ(xlBookCustomNumFormatA(l.book.get(), 165), "0.000");
  // Built-in ids report no custom text, even when the workbook spells one out.
  EXPECT_EQ(xlBookCustomNumFormatA(l.book.get(), 14), nullptr);
  EXPECT_TRUE(xlSheetIsDateA(s, 0, 0));
  EXPECT_FALSE(xlSheetIsDateA(s, 0, 1));
  EXPECT_TRUE(xlSheetIsDateA(s, 0, 2));
}

TEST(XlsxStyles, FormatsTheWorkbookDefinesBelow164) {
  // Writers number their own formats from below 164 too: their text decides
  // dates, and from 50 up it is the custom format text.
  std::string styles =
      "<styleSheet><numFmts>"
      "<numFmt numFmtId=\"59\" formatCode=\"dd&quot;-&quot;mm&quot;-&quot;yyyy&quot; &quot;hh:mm:ss\"/>"
      "<numFmt numFmtId=\"60\" formatCode=\"hh:mm:ss\"/>"
      "<numFmt numFmtId=\"50\" formatCode=\"0.0\"/>"
      "<numFmt numFmtId=\"44\" formatCode=\"_-* #,##0.00\\ &quot;&#8364;&quot;_-\"/>"
      "<numFmt numFmtId=\"160\" formatCode=\"\"/>"
      "</numFmts><cellXfs>"
      "<xf numFmtId=\"0\"/><xf numFmtId=\"59\"/><xf numFmtId=\"60\"/><xf numFmtId=\"50\"/>"
      "<xf numFmtId=\"44\"/><xf numFmtId=\"58\"/><xf numFmtId=\"160\"/>"
      "</cellXfs></styleSheet>";
  Loaded l = LoadSheet(
      "<row><c s=\"1\"><v>42950.6</v></c><c s=\"2\"><v>0.5</v></c><c s=\"3\"><v>1.25</v></c>"
      "<c s=\"4\"><v>3</v></c><c s=\"5\"><v>44197</v></c><c s=\"6\"><v>1.5</v></c></row>",
      {{"xl/styles.xml", styles}});
  ASSERT_TRUE(l.status.ok());
  XlSheet* s = l.sheet(0);
  BookHandle b = l.book.get();
  EXPECT_TRUE(xlSheetIsDateA(s, 0, 0));
  EXPECT_TRUE(xlSheetIsDateA(s, 0, 1));
  EXPECT_FALSE(xlSheetIsDateA(s, 0, 2));  // a built-in date id the workbook made a number
  EXPECT_STREQ(xlBookCustomNumFormatA(b, 50), "0.0");
  EXPECT_STREQ(xlBookCustomNumFormatA(b, 60), "hh:mm:ss");
  EXPECT_FALSE(xlSheetIsDateA(s, 0, 3));
  EXPECT_EQ(xlBookCustomNumFormatA(b, 44), nullptr);  // below 50: the built-in road
  EXPECT_TRUE(xlSheetIsDateA(s, 0, 4));               // not defined: the built-in date
  EXPECT_EQ(xlBookCustomNumFormatA(b, 58), nullptr);
  EXPECT_FALSE(xlSheetIsDateA(s, 0, 5));
  EXPECT_EQ(xlBookCustomNumFormatA(b, 160), nullptr);  // an empty text is General
}

TEST(XlsxCells, EveryTypeWithAndWithoutPositions) {
  std::string rows =
      "<row r=\"2\" spans=\"1:9\">"
      "<c r=\"A2\"><v>1.25</v></c>"                               // number
      "<c t=\"str\"><f>A2&amp;\"x\"</f><v>1.25x _x0041_</v></c>"  // B2: formula string
      "<c r=\"D2\" t=\"inlineStr\"><is><r><t>in</t></r><r><t>line</t></r><rPh><t>x</t></rPh></is></c>"
      "<c t=\"b\"><v>1</v></c>"                                                   // E2
      "<c t=\"b\"><f>FALSE()</f><v>0</v></c>"                                     // F2
      "<c t=\"e\"><f>1/0</f><v>#DIV/0!</v></c>"                                   // G2
      "<c t=\"n\"><f t=\"shared\" si=\"0\" ref=\"H2:H3\">A2*2</f><v>2.5</v></c>"  // H2
      "<c s=\"1\"/>"                                                              // I2: style only
      "<c t=\"inlineStr\"><v>from v</v></c>"                                      // J2
      "</row>"
      "<row><c><v>-0</v></c><c r=\"c3\"><v> 1E-3 </v></c></row>"  // row 3 without r, lower-case ref
      "<row r=\"5\"><c r=\"B5\" t=\"str\"><f>X()</f></c><c r=\"C5\"><f>Y()</f></c><c r=\"D5\" "
      "t=\"e\"/></row>";
  Loaded l = LoadSheet(rows);
  ASSERT_TRUE(l.status.ok());
  XlSheet* s = l.sheet(0);
  EXPECT_EQ(xlSheetReadNumA(s, 1, 0, nullptr), 1.25);
  EXPECT_EQ(Text(s, 1, 1), "1.25x A");
  EXPECT_EQ(xlSheetCellTypeA(s, 1, 2), CELLTYPE_EMPTY);
  EXPECT_EQ(Text(s, 1, 3), "inline");
  EXPECT_EQ(xlSheetCellTypeA(s, 1, 4), CELLTYPE_BOOLEAN);
  EXPECT_EQ(xlSheetReadBoolA(s, 1, 4, nullptr), 1);
  EXPECT_EQ(xlSheetReadBoolA(s, 1, 5, nullptr), 0);
  EXPECT_EQ(xlSheetCellTypeA(s, 1, 5), CELLTYPE_BOOLEAN);
  EXPECT_EQ(xlSheetCellTypeA(s, 1, 6), CELLTYPE_ERROR);
  EXPECT_EQ(xlSheetReadNumA(s, 1, 7, nullptr), 2.5);
  EXPECT_EQ(xlSheetCellTypeA(s, 1, 8), CELLTYPE_EMPTY);
  EXPECT_EQ(Text(s, 1, 9), "from v");
  EXPECT_TRUE(std::signbit(xlSheetReadNumA(s, 2, 0, nullptr)));
  EXPECT_EQ(xlSheetReadNumA(s, 2, 2, nullptr), 0.001);
  // Formulas without a cached value have no content; an error cell does.
  EXPECT_EQ(xlSheetCellTypeA(s, 4, 1), CELLTYPE_EMPTY);
  EXPECT_EQ(xlSheetCellTypeA(s, 4, 2), CELLTYPE_EMPTY);
  EXPECT_EQ(xlSheetCellTypeA(s, 4, 3), CELLTYPE_ERROR);
  EXPECT_EQ(xlSheetLastRowA(s), 5);
  EXPECT_EQ(xlSheetLastColA(s), 10);
  EXPECT_EQ(xlSheetErrorMessageA(s), nullptr);
}

TEST(XlsxCells, IsoDatesInBothDateSystems) {
  for (bool date1904 : {false, true}) {
    std::string wb = std::string("<workbook><workbookPr date1904=\"") + (date1904 ? "1" : "0") +
                     "\"/><sheets><sheet name=\"S\" r:id=\"rId1\"/></sheets></workbook>";
    Loaded l = LoadSheet(
        "<row><c t=\"d\"><v>2021-01-01</v></c><c t=\"d\"><v>2021-01-01T12:00:00.000Z</v></c>"
        "<c t=\"d\"><v>06:00:00</v></c><c t=\"d\"><v>1900-02-28T00:00:00+02:00</v></c>"
        "<c t=\"d\"><v>not a date</v></c></row>",
        {{"xl/workbook.xml", wb}});
    XlSheet* s = l.sheet(0);
    double base = date1904 ? 44197 - 1462 : 44197;
    EXPECT_EQ(xlSheetReadNumA(s, 0, 0, nullptr), base);
    EXPECT_EQ(xlSheetReadNumA(s, 0, 1, nullptr), base + 0.5);
    EXPECT_EQ(xlSheetReadNumA(s, 0, 2, nullptr), 0.25);
    int y = 0, m = 0, d = 0, h, mi, se, ms;
    xlBookDateUnpackA(l.book.get(), xlSheetReadNumA(s, 0, 0, nullptr), &y, &m, &d, &h, &mi, &se, &ms);
    EXPECT_EQ(y * 10000 + m * 100 + d, 20210101);
    if (date1904) {
      // 1900-02-28 lies before the 1904 system begins: skipped and noted.
      EXPECT_EQ(xlSheetCellTypeA(s, 0, 3), CELLTYPE_EMPTY);
      EXPECT_NE(std::string(xlSheetErrorMessageA(s)).find("2 cells skipped"), std::string::npos);
    } else {
      EXPECT_EQ(xlSheetReadNumA(s, 0, 3, nullptr), 59.0);
    }
    EXPECT_EQ(xlSheetCellTypeA(s, 0, 4), CELLTYPE_EMPTY);
  }
}

TEST(XlsxCells, ExtentComesFromValuedCellsAndSheetsMayBeFullSize) {
  // A stray formatted cell at XFD1048576 and a wrong dimension do not widen
  // the sheet; a valued cell at the last position does.
  Loaded small = LoadSheet(
      "<row r=\"1\"><c r=\"B1\"><v>1</v></c></row><row r=\"1048576\"><c r=\"XFD1048576\" s=\"3\"/></row>",
      {});
  EXPECT_EQ(xlSheetLastRowA(small.sheet(0)), 1);
  EXPECT_EQ(xlSheetLastColA(small.sheet(0)), 2);
  Loaded full = LoadSheet(
      "<row r=\"1\"><c r=\"A1\"><v>1</v></c></row><row r=\"1048576\"><c r=\"XFD1048576\"><v>2</v></c></row>");
  EXPECT_EQ(xlSheetLastRowA(full.sheet(0)), 1048576);
  EXPECT_EQ(xlSheetLastColA(full.sheet(0)), 16384);
  EXPECT_EQ(xlSheetReadNumA(full.sheet(0), 1048575, 16383, nullptr), 2.0);
  EXPECT_EQ(full.sheet(0)->cells.cellCount(), 2u);
  // Beyond the largest sheet: skipped and noted, the rest kept.
  Loaded beyond = LoadSheet(
      "<row r=\"1\"><c r=\"XFE1\"><v>1</v></c><c r=\"A1048577\"><v>1</v></c>"
      "<c r=\"C1\"><v>3</v></c></row><row r=\"1048577\"><c><v>4</v></c></row>");
  EXPECT_EQ(xlSheetLastRowA(beyond.sheet(0)), 1);
  EXPECT_EQ(xlSheetReadNumA(beyond.sheet(0), 0, 2, nullptr), 3.0);
  EXPECT_NE(std::string(xlSheetErrorMessageA(beyond.sheet(0))).find("3 cells skipped"), std::string::npos);
}

TEST(XlsxCells, DamageSkipsCellsOrStopsAndKeepsWhatWasRead) {
  Loaded l = LoadSheet(
      "<row><c t=\"s\"><v>5</v></c><c><v>12abc</v></c><c t=\"b\"><v>yes</v></c><c t=\"zz\"><v>1</v></c>"
      "<c><v>7</v></c></row>");
  XlSheet* s = l.sheet(0);
  EXPECT_EQ(xlSheetReadNumA(s, 0, 4, nullptr), 7.0);
  std::string error = xlSheetErrorMessageA(s);
  EXPECT_NE(error.find("xl/worksheets/sheet1.xml: 4 cells skipped (first at offset"), std::string::npos)
      << error;
  EXPECT_NE(error.find("refers to shared string 5, but there are only 0"), std::string::npos) << error;

  // Broken XML in the middle: the cells before it stay.
  std::string rows;
  for (int r = 1; r <= 100; ++r)
    rows += "<row r=\"" + std::to_string(r) + "\"><c><v>" + std::to_string(r) + "</v></c></row>";
  Loaded cut =
      Load(XlsxPackageOf({{"xl/worksheets/sheet1.xml", SheetXml(rows + "<row><c><v>1</v></c><c <</row>")}}));
  XlSheet* c = cut.sheet(0);
  EXPECT_EQ(xlSheetLastRowA(c), 101);
  EXPECT_EQ(xlSheetReadNumA(c, 99, 0, nullptr), 100.0);
  EXPECT_NE(std::string(xlSheetErrorMessageA(c)).find("malformed start tag"), std::string::npos);

  // A sheet whose part is missing says so.
  Loaded missing = Load(XlsxPackageOf({{"xl/worksheets/sheet1.xml", ""}}));
  ASSERT_TRUE(missing.status.ok());
  EXPECT_NE(std::string(xlSheetErrorMessageA(missing.sheet(0))).find("part is missing"), std::string::npos);
}

TEST(XlsxCells, LargeSheetsReadAheadAndMatchCellForCell) {
  std::string rows;
  std::mt19937 rng(7);
  std::vector<double> values;
  for (int r = 0; r < 30000; ++r) {
    rows += "<row r=\"" + std::to_string(r + 1) + "\">";
    for (int c = 0; c < 5; ++c) {
      double v = static_cast<double>(rng() % 2000000) / 1000.0 - 1000.0;
      values.push_back(v);
      char buf[64];
      std::snprintf(buf, sizeof buf, "<c r=\"%c%d\" s=\"0\"><v>%.17g</v></c>", 'A' + c, r + 1, v);
      rows += buf;
    }
    rows += "</row>";
  }
  Loaded l = LoadSheet(rows);
  XlSheet* s = l.sheet(0);
  ASSERT_EQ(xlSheetLastRowA(s), 30000);
  for (int r = 0; r < 30000; ++r)
    for (int c = 0; c < 5; ++c)
      ASSERT_EQ(xlSheetReadNumA(s, r, c, nullptr), values[r * 5 + c]) << r << "," << c;
}

TEST(XlsxParsing, CellReferences) {
  uint32_t r = 0, c = 0;
  EXPECT_EQ(reader::ParseCellReference("A1", &r, &c), reader::RefParse::Ok);
  EXPECT_EQ(r * 100000 + c, 0u);
  EXPECT_EQ(reader::ParseCellReference("xfd1048576", &r, &c), reader::RefParse::Ok);
  EXPECT_EQ(r, 1048575u);
  EXPECT_EQ(c, 16383u);
  EXPECT_EQ(reader::ParseCellReference("AB12", &r, &c), reader::RefParse::Ok);
  EXPECT_EQ(r, 11u);
  EXPECT_EQ(c, 27u);
  EXPECT_EQ(reader::ParseCellReference("XFE1", &r, &c), reader::RefParse::OutOfRange);
  EXPECT_EQ(reader::ParseCellReference("A1048577", &r, &c), reader::RefParse::OutOfRange);
  // Past the grid however long: dropped, not taken for a cell without one.
  for (const char* far : {"ABCDE1", "A123456789", "ZZZZZZZZZZZZ99999999999999999999"})
    EXPECT_EQ(reader::ParseCellReference(far, &r, &c), reader::RefParse::OutOfRange) << far;
  for (const char* bad : {"", "A", "1", "A0", "$A$1", "A1B", "ABCDE", "A00"})
    EXPECT_EQ(reader::ParseCellReference(bad, &r, &c), reader::RefParse::Bad) << bad;
}

TEST(XlsxParsing, NumbersReadExactlyAsTheStandardConversion) {
  // The fast path must give the very double that from_chars gives.
  std::mt19937_64 rng(11);
  std::vector<std::string> texts = {"0",
                                    "-0",
                                    "+5",
                                    "123456789012345",
                                    "1234567890123456",
                                    "0.1",
                                    "0.3",
                                    "9007199254740993",
                                    "1e308",
                                    "4.9e-324",
                                    "2.2250738585072014E-308",
                                    "123.456000",
                                    ".5",
                                    "5.",
                                    "-.25",
                                    "0.000000000000001",
                                    "99999999999999.9",
                                    // 16 to 19 digits, halves between two doubles among them
                                    "4503599627370496.5",
                                    "4503599627370497.5",
                                    "9007199254740993",
                                    "9007199254740995",
                                    "9999999999999999999",
                                    "0.9999999999999999999",
                                    "0.3000000000000000444",
                                    "123456789.0123456789",
                                    "-0.0000000000000000",
                                    "0.1000000000000000055",
                                    "1844674407370955161.5",
                                    "18446744073709551615"};
  for (int i = 0; i < 60000; ++i) {
    char buf[64];
    double v = std::ldexp(static_cast<double>(rng() >> 11), static_cast<int>(rng() % 80) - 60);
    if (rng() & 1) v = -v;
    const char* formats[] = {"%.17g", "%.15g", "%.6f", "%.3f", "%g", "%.0f", "%.16g", "%.18g", "%.19g"};
    std::snprintf(buf, sizeof buf, formats[rng() % 9], v);
    texts.push_back(buf);
  }
  for (const std::string& t : texts) {
    double ours = 0;
    ASSERT_TRUE(reader::ParseCellNumber(t, &ours)) << t;
    double want = std::strtod(t.c_str(), nullptr);
    ASSERT_EQ(std::memcmp(&ours, &want, sizeof want), 0) << t << ": " << ours << " vs " << want;
  }
  double v;
  for (const char* bad : {"", " ", "abc", "1.2.3", "1e", "--1", "+-1", "1e400", "inf", "nan", "0x10", "1,5"})
    EXPECT_FALSE(reader::ParseCellNumber(bad, &v)) << bad;
}

TEST(XlsxParsing, IsoDateTimes) {
  double v = 0;
  EXPECT_TRUE(reader::ParseIsoDateTime("1900-03-01", false, &v));
  EXPECT_EQ(v, 61.0);
  EXPECT_TRUE(reader::ParseIsoDateTime("1904-01-02T00:00", true, &v));
  EXPECT_EQ(v, 1.0);
  EXPECT_TRUE(reader::ParseIsoDateTime("2000-01-01 18:00:00,5", false, &v));
  EXPECT_NEAR(v, 36526.75 + 0.5 / 86400, 1e-9);
  EXPECT_TRUE(reader::ParseIsoDateTime("2000-01-01T00:00:00.12345-0530", false, &v));
  EXPECT_NEAR(v, 36526 + 0.123 / 86400, 1e-12);
  for (const char* bad :
       {"2000-13-01", "2000-1-1", "12:00:00Z junk", "T12:00", "2000-01-01T25:00", "1903-12-31"})
    EXPECT_FALSE(reader::ParseIsoDateTime(bad, true, &v)) << bad;
}

}  // namespace
