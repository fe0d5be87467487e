// The .xlsb reader on parts built record by record: the record stream, the
// workbook, shared strings, styles and every kind of cell record.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>

#include "engine/reader.h"
#include "reader/container/byte_stream.h"
#include "reader/xlsb/xlsb_package.h"
#include "tests/reader/xlsb/xlsb_builder.h"

using namespace testing_support::xlsb;
using testing_support::SourceOf;

namespace {

struct Loaded {
  std::unique_ptr<XlBook> book{reader::NewMemoryBook()};
  reader::Status status;
  XlSheet* sheet(size_t i) const { return i < book->sheets.size() ? book->sheets[i].get() : nullptr; }
};

Loaded Load(const std::string& bytes) {
  Loaded l;
  l.status = reader::LoadBookSource(*l.book, SourceOf(bytes, "test.xlsb"));
  return l;
}

Loaded LoadSheet(const std::string& cellRecords, std::map<std::string, std::string> parts = {}) {
  parts["xl/worksheets/sheet1.bin"] = SheetBin(cellRecords);
  return Load(XlsbPackageOf(parts));
}

std::string Text(XlSheet* s, int row, int col) {
  const char* t = xlSheetReadStrA(s, row, col, nullptr);
  return t ? t : "<none>";
}

std::string Error(XlSheet* s) {
  const char* e = xlSheetErrorMessageA(s);
  return e ? e : "";
}

// Shared strings "zero", "one", "two".
std::string ThreeStrings() {
  return Rec(159, U32(3) + U32(3)) + Rec(19, '\0' + Wide("zero")) + Rec(19, '\0' + Wide("one")) +
         Rec(19, '\0' + Wide("two")) + Rec(160);
}

TEST(XlsbRecords, HeadersOfOneToSixBytesAndEveryWayAPartCanEndTooSoon) {
  // Type 617 needs two bytes, size 300 two; type 0 and size 0 one each.
  std::string big(300, 'x');
  std::string part = Rec(617, big) + Rec(0) + Rec(19, "abc");
  reader::MemoryStream stream(part, 7);  // a few bytes a read, so records straddle reads
  reader::xlsb::RecordReader records(stream, "p.bin", part.size());
  bool have = false;
  ASSERT_TRUE(records.Next(&have).ok());
  ASSERT_TRUE(have);
  EXPECT_EQ(records.type(), 617u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(records.data()), records.size()), big);
  ASSERT_TRUE(records.Next(&have).ok() && have);
  EXPECT_EQ(records.type(), 0u);
  EXPECT_EQ(records.size(), 0u);
  ASSERT_TRUE(records.Next(&have).ok() && have);
  EXPECT_EQ(records.offset(), 4u + 300u + 2u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(records.data()), records.size()), "abc");
  ASSERT_TRUE(records.Next(&have).ok());
  EXPECT_FALSE(have);

  struct Case {
    std::string bytes;
    uint64_t partBytes;
    const char* reason;
  };
  std::string whole = Rec(5, std::string(16, '\0'));
  std::vector<Case> cases = {
      {whole.substr(0, whole.size() - 3), whole.size() - 3,
       "record 5 declares 16 bytes, more than the part holds"},
      {"\x85", 1, "ends inside a record header"},
      {std::string("\x05\x90", 2), 2, "ends inside a record header"},
      {"\x85\x85\x01", 3, "a record type longer than 2 bytes"},
      {"\x05\x80\x80\x80\x80\x01", 6, "a record size longer than 4 bytes"},
      // The largest size a header can say, in a part of a few bytes: refused
      // before anything is read for it.
      {std::string("\x05\xFF\xFF\xFF\x7F", 5), 5, "declares 268435455 bytes, more than the part holds"},
      // A part that delivers fewer bytes than its declared size.
      {whole.substr(0, 10), whole.size(), "ends inside record 5 (16 bytes declared, 8 present)"},
  };
  for (const Case& c : cases) {
    reader::MemoryStream s(c.bytes);
    reader::xlsb::RecordReader r(s, "p.bin", c.partBytes);
    reader::Status status = r.Next(&have);
    EXPECT_FALSE(status.ok()) << c.reason;
    EXPECT_FALSE(have);
    EXPECT_NE(status.message().find(c.reason), std::string::npos) << status.message();
    EXPECT_EQ(status.message().rfind("p.bin: offset 0: ", 0), 0u) << status.message();
  }
}

// Records read from blocks the read-ahead stream lends: small records
// across block ends, records longer than a block and than the room kept in
// front of one, offsets counted through all of them, and the end of a part.
TEST(XlsbRecords, RecordsFromLentBlocksReadAsFromMemory) {
  std::string part;
  std::vector<std::pair<uint32_t, std::string>> expected;
  for (uint32_t i = 0; i < 3000; ++i) {
    size_t n = i % 500 == 7 ? 70000 + i : i % 97 == 3 ? 5000 + i : i % 13;
    std::string payload(n, static_cast<char>('a' + i % 26));
    expected.emplace_back(i % 700, payload);
    part += Rec(i % 700, payload);
  }
  for (size_t block : {size_t(4096), size_t(70001)}) {
    reader::ReadAheadStream ahead(std::make_unique<reader::MemoryStream>(part, 3001), block);
    reader::xlsb::RecordReader records(ahead, "p.bin", part.size());
    uint64_t offset = 0;
    for (const auto& [type, payload] : expected) {
      bool have = false;
      ASSERT_TRUE(records.Next(&have).ok());
      ASSERT_TRUE(have);
      ASSERT_EQ(records.type(), type);
      ASSERT_EQ(records.offset(), offset);
      ASSERT_TRUE(std::string_view(reinterpret_cast<const char*>(records.data()), records.size()) == payload);
      offset += Rec(type, payload).size();
    }
    bool have = true;
    ASSERT_TRUE(records.Next(&have).ok());
    EXPECT_FALSE(have) << block;
  }
}

TEST(XlsbWorkbook, SheetsInOrderWithKindsVisibilityNamesAndDateSystem) {
  // "Ünïcode" in UTF-16LE.
  std::string unicode(
      "\xDC\x00n\x00\xEF\x00"
      "c\x00o\x00"
      "d\x00"
      "e\x00",
      14);
  std::string workbook = Rec(131) + Rec(153, U32(0x21) + U32(0)) + Rec(143) + BundleSh(0, "rId3", "Data") +
                         BundleSh(1, "rId2", "Chart") + BundleSh(2, "rId5", "Macro") +
                         // A sheet entry with more after its name, as some writers store it.
                         Rec(156, U32(0) + U32(4) + Wide("rId1") + Wide(unicode, true) + U32(7) + U32(0)) +
                         // No relationship id: listed, with no cells.
                         Rec(156, U32(0) + U32(5) + U32(0xFFFFFFFF) + Wide("Orphan")) + Rec(144) + Rec(132);
  std::string rels = "<Relationships>" + BinRel("rId1", "worksheet", "worksheets/sheet1.bin") +
                     BinRel("rId3", "worksheet", "/xl/worksheets/../worksheets/sheet2.bin") +
                     BinRel("rId2", "chartsheet", "chartsheets/sheet1.bin") +
                     BinRel("rId5", "xlMacrosheet", "macrosheets/sheet1.bin") + "</Relationships>";
  Loaded l =
      Load(XlsbPackageOf({{"xl/workbook.bin", workbook},
                          {"xl/_rels/workbook.bin.rels", rels},
                          {"xl/worksheets/sheet1.bin", SheetBin(Row(0) + Rec(2, Cell(0) + U32(4 << 2 | 2)))},
                          {"xl/worksheets/sheet2.bin", SheetBin(Row(1) + Rec(4, Cell(1) + '\1'))}}));
  ASSERT_TRUE(l.status.ok()) << l.status.message();
  ASSERT_EQ(l.book->sheets.size(), 5u);
  EXPECT_TRUE(l.book->date1904);
  const char* names[] = {"Data", "Chart", "Macro",
                         "\xC3\x9Cn\xC3\xAF"
                         "code",
                         "Orphan"};
  reader::SheetKind kinds[] = {reader::SheetKind::Worksheet, reader::SheetKind::Chartsheet,
                               reader::SheetKind::Macrosheet, reader::SheetKind::Worksheet,
                               reader::SheetKind::Worksheet};
  reader::Visibility vis[] = {reader::Visibility::Visible, reader::Visibility::Hidden,
                              reader::Visibility::VeryHidden, reader::Visibility::Visible,
                              reader::Visibility::Visible};
  for (size_t i = 0; i < 5; ++i) {
    EXPECT_EQ(l.sheet(i)->name, names[i]);
    EXPECT_EQ(l.sheet(i)->kind, kinds[i]);
    EXPECT_EQ(l.sheet(i)->visibility, vis[i]);
  }
  EXPECT_EQ(xlSheetReadBoolA(l.sheet(0), 1, 1, nullptr), 1);
  EXPECT_EQ(xlSheetReadNumA(l.sheet(3), 0, 0, nullptr), 4.0);
  for (size_t i : {1, 2, 4}) EXPECT_EQ(xlSheetLastRowA(l.sheet(i)), 0);

  // Without the 1904 bit; a workbook without sheets and a damaged sheet entry fail.
  Loaded plain = Load(XlsbPackageOf({{"xl/workbook.bin", Rec(153, U32(0x20)) + BundleSh(0, "rId1", "S")}}));
  ASSERT_TRUE(plain.status.ok());
  EXPECT_FALSE(plain.book->date1904);
  Loaded none = Load(XlsbPackageOf({{"xl/workbook.bin", Rec(131) + Rec(132)}}));
  EXPECT_NE(none.status.message().find("xl/workbook.bin: the workbook lists no sheets"), std::string::npos);
  Loaded cut =
      Load(XlsbPackageOf({{"xl/workbook.bin", Rec(156, U32(0) + U32(1) + Wide("rId1") + U32(9) + "ab")}}));
  EXPECT_NE(cut.status.message().find("a sheet entry too short for its fields"), std::string::npos)
      << cut.status.message();
  EXPECT_EQ(xlBookSheetCountA(cut.book.get()), 0);
}

TEST(XlsbWorkbook, WithoutRelationshipsThePartsAreWhereWritersPutThem) {
  Loaded l = Load(XlsbPackageOf({{"_rels/.rels", ""},
                                 {"xl/_rels/workbook.bin.rels", ""},
                                 {"xl/sharedStrings.bin", ThreeStrings()},
                                 {"xl/worksheets/sheet1.bin", SheetBin(Row(0) + Rec(7, Cell(0) + U32(2)))}}));
  ASSERT_TRUE(l.status.ok()) << l.status.message();
  EXPECT_EQ(Text(l.sheet(0), 0, 0), "two");
}

TEST(XlsbSharedStrings, RichRunsAndPhoneticTextAreLeftOutAndADamagedItemKeepsItsIndex) {
  std::string runs = U32(2) + U32(0) + U32(1);
  std::string strings = Rec(159, U32(4) + U32(4)) + Rec(19, '\0' + Wide("plain")) +
                        Rec(19, '\x01' + Wide("rich") + runs) +
                        Rec(19, '\x03' + Wide("both") + runs + std::string(20, '\x07')) +
                        Rec(19, '\0' + U32(50) + "ab") +  // a count past the record's end
                        Rec(19, '\0' + Wide("")) + Rec(19, '\0' + Wide("after")) + Rec(160);
  std::string cells = Row(0);
  for (uint32_t i = 0; i < 6; ++i) cells += Rec(7, Cell(i) + U32(i));
  Loaded l = LoadSheet(cells, {{"xl/sharedStrings.bin", strings}});
  ASSERT_TRUE(l.status.ok()) << l.status.message();
  const char* want[] = {"plain", "rich", "both", "", "", "after"};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(Text(l.sheet(0), 0, i), want[i]) << i;
  // The damage is reported with the sheet's cells.
  EXPECT_NE(Error(l.sheet(0)).find("xl/sharedStrings.bin: 1 string item too short"), std::string::npos)
      << Error(l.sheet(0));
}

TEST(XlsbStyles, CellStylesGiveNumberFormatsAndTheWorkbookTextDecidesDates) {
  auto Xf = [](uint16_t parent, uint16_t format) {
    return Rec(47, U16(parent) + U16(format) + std::string(12, '\0'));
  };
  std::string styles = Rec(278) + Rec(615, U32(2)) + Rec(44, U16(164) + Wide("yyyy\\-mm\\-dd")) +
                       Rec(44, U16(165) + Wide("0.000")) + Rec(616) +
                       // Named styles: not cell styles.
                       Rec(626, U32(1)) + Xf(0xFFFF, 14) + Rec(627) + Rec(617, U32(5)) + Xf(0, 0) +
                       Xf(0, 164) + Xf(0, 165) + Xf(0, 14) + Rec(47, "\0") + Rec(618) + Rec(279);
  std::string cells = Row(0);
  for (uint32_t i = 0; i < 5; ++i) cells += Rec(5, Cell(i, i) + F64(45000.5));
  Loaded l = LoadSheet(cells, {{"xl/styles.bin", styles}});
  ASSERT_TRUE(l.status.ok()) << l.status.message();
  XlSheet* s = l.sheet(0);
  int ids[] = {0, 164, 165, 14, 0};
  int dates[] = {0, 1, 0, 1, 0};
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(xlFormatNumFormatA(xlSheetCellFormatA(s, 0, i)), ids[i]) << i;
    EXPECT_EQ(xlSheetIsDateA(s, 0, i), dates[i]) << i;
  }
  EXPECT_STREQ(xlBookCustomNumFormatA(l.book.get(), 164), "yyyy\\-mm\\-dd");
  // The too-short style took its place as General, and the sheet says so.
  EXPECT_NE(Error(s).find("xl/styles.bin: 1 number format or style records too short"), std::string::npos)
      << Error(s);
}

TEST(XlsbStyles, FormatsTheWorkbookNumbersBelow164KeepTheirOwnMeaning) {
  auto Xf = [](uint16_t format) { return Rec(47, U16(0) + U16(format) + std::string(12, '\0')); };
  std::string styles = Rec(278) + Rec(615, U32(2)) + Rec(44, U16(50) + Wide("0.00")) +
                       Rec(44, U16(163) + Wide("yyyy\\-mm\\-dd")) + Rec(616) + Rec(617, U32(3)) + Xf(0) +
                       Xf(50) + Xf(163) + Rec(618) + Rec(279);
  Loaded l = LoadSheet(Row(0) + Rec(5, Cell(0, 1) + F64(215)) + Rec(5, Cell(1, 2) + F64(45000)),
                       {{"xl/styles.bin", styles}});
  ASSERT_TRUE(l.status.ok()) << l.status.message();
  XlSheet* s = l.sheet(0);
  EXPECT_FALSE(xlSheetIsDateA(s, 0, 0));  // 50 is a built-in date only where the workbook is silent
  EXPECT_STREQ(xlBookCustomNumFormatA(l.book.get(), 50), "0.00");
  EXPECT_TRUE(xlSheetIsDateA(s, 0, 1));
}

TEST(XlsbCells, EveryCellRecordKindLongAndShort) {
  std::string rk100 = U32((static_cast<uint32_t>(-1234) << 2) | 3);  // -12.34
  // 1.5 as the top 30 bits of a double.
  std::string rkDouble = U32(0x3FF80000u);
  std::string cells = Row(0) + Rec(1, Cell(0, 1)) + Rec(2, Cell(1) + rk100) + Rec(2, Cell(2) + rkDouble) +
                      Rec(3, Cell(3) + '\x07') + Rec(4, Cell(4) + '\x01') + Rec(5, Cell(5) + F64(-2.5e-300)) +
                      Rec(6, Cell(6) + Wide("inline")) + Rec(7, Cell(7) + U32(1)) +
                      // Formula results: the cached value, then the formula (left alone).
                      Rec(8, Cell(8) + Wide("formula text") + U16(0) + U32(3) + "\x1E\x01\x00" + U32(0)) +
                      Rec(9, Cell(9) + F64(7.25) + U16(0) + U32(0) + U32(0)) +
                      Rec(10, Cell(10) + '\0' + U16(0) + U32(0) + U32(0)) +
                      Rec(11, Cell(11) + '\x2A' + U16(0) + U32(0) + U32(0)) +
                      Rec(62, Cell(12) + '\x01' + Wide("rich cell") + U32(1) + U32(0)) +
                      // The short forms, each in the column after the one before.
                      Row(2) + Rec(12, U32(1)) + Rec(13, U32(0) + U32(99 << 2 | 2)) +
                      Rec(14, U32(0) + '\x17') + Rec(15, U32(0) + '\x01') + Rec(16, U32(0) + F64(0.1)) +
                      Rec(17, U32(0) + Wide("short")) + Rec(18, U32(0) + U32(2)) +
                      // A long cell sets the column the next short one follows.
                      Rec(5, Cell(20) + F64(1)) + Rec(16, U32(0) + F64(2));
  Loaded l = LoadSheet(cells, {{"xl/sharedStrings.bin", ThreeStrings()}});
  ASSERT_TRUE(l.status.ok()) << l.status.message();
  XlSheet* s = l.sheet(0);
  EXPECT_EQ(Error(s), "");
  // A blank cell carries only a style: nothing is stored for it.
  int row0[] = {CELLTYPE_EMPTY,   CELLTYPE_NUMBER, CELLTYPE_NUMBER, CELLTYPE_ERROR,  CELLTYPE_BOOLEAN,
                CELLTYPE_NUMBER,  CELLTYPE_STRING, CELLTYPE_STRING, CELLTYPE_STRING, CELLTYPE_NUMBER,
                CELLTYPE_BOOLEAN, CELLTYPE_ERROR,  CELLTYPE_STRING};
  for (int c = 0; c < 13; ++c) EXPECT_EQ(xlSheetCellTypeA(s, 0, c), row0[c]) << c;
  EXPECT_DOUBLE_EQ(xlSheetReadNumA(s, 0, 1, nullptr), -12.34);
  EXPECT_EQ(xlSheetReadNumA(s, 0, 2, nullptr), 1.5);
  EXPECT_EQ(xlSheetReadBoolA(s, 0, 4, nullptr), 1);
  EXPECT_EQ(xlSheetReadNumA(s, 0, 5, nullptr), -2.5e-300);
  EXPECT_EQ(Text(s, 0, 6), "inline");
  EXPECT_EQ(Text(s, 0, 7), "one");
  EXPECT_EQ(Text(s, 0, 8), "formula text");
  EXPECT_EQ(xlSheetReadNumA(s, 0, 9, nullptr), 7.25);
  EXPECT_EQ(xlSheetReadBoolA(s, 0, 10, nullptr), 0);
  EXPECT_EQ(Text(s, 0, 12), "rich cell");
  EXPECT_EQ(s->cells.Find(0, 3)->value, 0x07u);
  EXPECT_EQ(s->cells.Find(0, 11)->value, 0x2Au);

  int row2[] = {CELLTYPE_EMPTY,  CELLTYPE_NUMBER, CELLTYPE_ERROR, CELLTYPE_BOOLEAN,
                CELLTYPE_NUMBER, CELLTYPE_STRING, CELLTYPE_STRING};
  for (int c = 0; c < 7; ++c) EXPECT_EQ(xlSheetCellTypeA(s, 2, c), row2[c]) << c;
  EXPECT_EQ(xlSheetReadNumA(s, 2, 1, nullptr), 99.0);
  EXPECT_EQ(xlSheetReadBoolA(s, 2, 3, nullptr), 1);
  EXPECT_EQ(xlSheetReadNumA(s, 2, 4, nullptr), 0.1);
  EXPECT_EQ(Text(s, 2, 5), "short");
  EXPECT_EQ(Text(s, 2, 6), "two");
  EXPECT_EQ(xlSheetReadNumA(s, 2, 21, nullptr), 2.0);
  // The extent comes from the cells with values: the blank at A1 and the
  // short blank at A3 do not count, the short number after column U does.
  EXPECT_EQ(xlSheetLastRowA(s), 3);
  EXPECT_EQ(xlSheetLastColA(s), 22);
}

TEST(XlsbCells, AShortCellTakesItsStyleAndStartsARowAtColumnA) {
  std::string styles = Rec(617, U32(2)) + Rec(47, U16(0) + U16(0) + std::string(12, '\0')) +
                       Rec(47, U16(0) + U16(14) + std::string(12, '\0')) + Rec(618);
  Loaded l = LoadSheet(Row(0) + Rec(5, Cell(5) + F64(3)) + Row(4) + Rec(16, U32(1) + F64(45000)),
                       {{"xl/styles.bin", styles}});
  ASSERT_TRUE(l.status.ok());
  XlSheet* s = l.sheet(0);
  EXPECT_EQ(xlSheetReadNumA(s, 4, 0, nullptr), 45000.0);
  EXPECT_EQ(xlSheetIsDateA(s, 4, 0), 1);
  EXPECT_EQ(xlSheetIsDateA(s, 0, 5), 0);
}

TEST(XlsbCells, DamagedCellsAreSkippedAndACutPartKeepsTheCellsBeforeIt) {
  std::string cells = Row(0) + Rec(5, Cell(0) + F64(1)) + Rec(5, Cell(1) + "\x01\x02") +  // value cut short
                      Rec(7, Cell(2) + U32(3)) +      // past the three shared strings
                      Rec(5, Cell(16384) + F64(2)) +  // column outside the sheet
                      Rec(5, Cell(3) + F64(std::numeric_limits<double>::infinity())) +
                      Rec(5, Cell(4) + F64(4)) + Row(1048576) + Rec(5, Cell(0) + F64(5)) +  // row outside
                      Row(1048575) + Rec(5, Cell(16383) + F64(6));
  Loaded l = LoadSheet(cells, {{"xl/sharedStrings.bin", ThreeStrings()}});
  ASSERT_TRUE(l.status.ok());
  XlSheet* s = l.sheet(0);
  EXPECT_EQ(xlSheetReadNumA(s, 0, 0, nullptr), 1.0);
  EXPECT_EQ(xlSheetReadNumA(s, 0, 4, nullptr), 4.0);
  EXPECT_EQ(xlSheetReadNumA(s, 1048575, 16383, nullptr), 6.0);
  for (int c = 1; c < 4; ++c) EXPECT_EQ(xlSheetCellTypeA(s, 0, c), CELLTYPE_EMPTY) << c;
  EXPECT_EQ(s->cells.cellCount(), 3u);
  EXPECT_NE(Error(s).find("xl/worksheets/sheet1.bin: 5 cells skipped (first at offset "), std::string::npos)
      << Error(s);
  EXPECT_NE(Error(s).find("a cell record too short for its value"), std::string::npos);

  // A part that ends inside a record, and one whose record claims more
  // bytes than the part has: the cells before stay, the sheet says where.
  std::string good = Row(0) + Rec(5, Cell(0) + F64(1)) + Rec(5, Cell(1) + F64(2));
  std::string cut = Rec(145) + good + Rec(5, Cell(2) + F64(3)).substr(0, 9);
  std::string beyond = Rec(145) + good + std::string("\x05\xFF\xFF\x01", 4) + Cell(2) + F64(3);
  for (const std::string& part : {cut, beyond}) {
    Loaded d = Load(XlsbPackageOf({{"xl/worksheets/sheet1.bin", part}}));
    ASSERT_TRUE(d.status.ok());
    XlSheet* sheet = d.sheet(0);
    EXPECT_EQ(xlSheetReadNumA(sheet, 0, 1, nullptr), 2.0);
    EXPECT_EQ(sheet->cells.cellCount(), 2u);
    EXPECT_EQ(xlSheetLastColA(sheet), 2);
    std::string where =
        "xl/worksheets/sheet1.bin: offset " + std::to_string(Rec(145).size() + good.size()) + ": ";
    EXPECT_EQ(Error(sheet).rfind(where, 0), 0u) << Error(sheet);
  }
}

TEST(XlsbCells, ShortCellsFollowEveryCellBeforeThemWhateverItsRecordOrDamage) {
  const double inf = std::numeric_limits<double>::infinity();
  // A formula long enough for a two-byte record size.
  std::string longFormula = U16(0) + U32(200) + std::string(200, '\x1E') + U32(0);
  std::string cells =
      Row(0) + Rec(5, Cell(2) + F64(inf)) + Rec(16, U32(0) + F64(1)) +  // damaged C1, then D1
      Rec(7, Cell(5) + U32(9)) + Rec(18, U32(0) + U32(1)) +              // no string 9 at F1, then G1
      Rec(5, Cell(16384) + F64(2)) + Rec(16, U32(0) + F64(3)) +          // both outside the sheet
      Row(1) + Rec(9, Cell(0) + F64(7) + longFormula) + Rec(13, U32(0) + U32(5 << 2 | 2)) +
      Rec(5, Cell(4) + F64(8) + "xyz") +  // more bytes than the value needs
      Rec(12, U32(0)) + Rec(15, U32(0) + '\x01') + Rec(6, Cell(7) + Wide("in sheet")) +
      Rec(16, U32(0xFF000001) + F64(9)) + Rec(2, Cell(10, 0xFF000001) + U32(11 << 2 | 2)) +
      // A cell again at a column the row has passed: the later one wins.
      Row(2) + Rec(2, Cell(0) + U32(1 << 2 | 2)) + Rec(13, U32(0) + U32(2 << 2 | 2)) +
      Rec(13, U32(0) + U32(3 << 2 | 2)) + Rec(6, Cell(1) + Wide("again"));
  Loaded l = LoadSheet(cells, {{"xl/sharedStrings.bin", ThreeStrings()}});
  ASSERT_TRUE(l.status.ok()) << l.status.message();
  XlSheet* s = l.sheet(0);
  EXPECT_EQ(xlSheetReadNumA(s, 0, 3, nullptr), 1.0);
  EXPECT_EQ(Text(s, 0, 6), "one");
  for (int c : {2, 5}) EXPECT_EQ(xlSheetCellTypeA(s, 0, c), CELLTYPE_EMPTY) << c;
  EXPECT_EQ(xlSheetReadNumA(s, 1, 0, nullptr), 7.0);
  EXPECT_EQ(xlSheetReadNumA(s, 1, 1, nullptr), 5.0);
  EXPECT_EQ(xlSheetReadNumA(s, 1, 4, nullptr), 8.0);
  EXPECT_EQ(xlSheetCellTypeA(s, 1, 5), CELLTYPE_EMPTY);  // a blank
  EXPECT_EQ(xlSheetReadBoolA(s, 1, 6, nullptr), 1);
  EXPECT_EQ(Text(s, 1, 7), "in sheet");
  EXPECT_EQ(xlSheetReadNumA(s, 1, 8, nullptr), 9.0);
  EXPECT_EQ(xlSheetReadNumA(s, 1, 10, nullptr), 11.0);
  // The flags in the top byte are not part of the style.
  EXPECT_EQ(s->cells.Find(1, 8)->style, 1u);
  EXPECT_EQ(s->cells.Find(1, 10)->style, 1u);
  EXPECT_EQ(Text(s, 2, 1), "again");
  EXPECT_EQ(xlSheetReadNumA(s, 2, 2, nullptr), 3.0);
  EXPECT_EQ(s->cells.cellCount(), 12u);
  EXPECT_EQ(xlSheetLastColA(s), 11);
  EXPECT_NE(Error(s).find(": 4 cells skipped (first at offset "), std::string::npos) << Error(s);
}

TEST(XlsbCells, ManyRowsAcrossLargeReadsMatchCellForCell) {
  // Large enough for the part to be read ahead on a second thread.
  std::string cells;
  for (uint32_t r = 0; r < 40000; ++r) {
    cells += Row(r) + Rec(2, Cell(0) + U32(r << 2 | 2)) + Rec(17, U32(0) + Wide("row " + std::to_string(r))) +
             Rec(16, U32(0) + F64(r + 0.5));
  }
  Loaded l = LoadSheet(cells);
  ASSERT_TRUE(l.status.ok());
  XlSheet* s = l.sheet(0);
  EXPECT_EQ(Error(s), "");
  EXPECT_EQ(xlSheetLastRowA(s), 40000);
  EXPECT_EQ(xlSheetLastColA(s), 3);
  // Every cell: the store's first block grows and later ones fill up in
  // the middle of rows.
  int wrong = 0;
  for (int r = 0; r < 40000; ++r) {
    wrong += xlSheetReadNumA(s, r, 0, nullptr) != r;
    wrong += Text(s, r, 1) != "row " + std::to_string(r);
    wrong += xlSheetReadNumA(s, r, 2, nullptr) != r + 0.5;
  }
  EXPECT_EQ(wrong, 0);
  EXPECT_EQ(s->cells.cellCount(), 120000u);
}

}  // namespace
