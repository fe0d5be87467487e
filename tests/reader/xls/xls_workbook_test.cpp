// The .xls reader end to end: xlwt-written fixtures, and hand-built BIFF2
// to BIFF8 streams for the record forms, code pages and damaged input.
#include <gtest/gtest.h>

#include <cmath>

#include "engine/reader.h"
#include "tests/reader/xls/xls_builders.h"
#include "tests/support/test_support.h"

using xls_test::Bytes;
using xls_test::CompoundFileBuilder;
using xls_test::Stream;

namespace {

std::vector<uint8_t> InCompoundFile(const std::vector<uint8_t>& stream,
                                    const std::string& name = "Workbook") {
  CompoundFileBuilder b;
  b.AddStream(name, stream);
  return b.Build();
}

std::unique_ptr<XlBook> MustLoad(const std::vector<uint8_t>& bytes) {
  reader::Status status;
  auto book = xls_test::LoadBytes(bytes, &status);
  EXPECT_TRUE(status.ok()) << status.message();
  return book;
}

std::unique_ptr<XlBook> LoadFixture(const char* name) {
  std::unique_ptr<XlBook> book(reader::NewMemoryBook(reader::BookKind::Xls));
  reader::Status status =
      reader::LoadBookFile(*book, testing_support::FixturePath(std::string("xls/") + name));
  EXPECT_TRUE(status.ok()) << status.message();
  return book;
}

XlSheet* SheetOf(XlBook& book, size_t i) {
  if (i >= book.sheets.size()) return nullptr;
  book.sheets[i]->EnsureLoaded();
  return book.sheets[i].get();
}

// The UTF-8 text of a string cell from the model (the A form differs by
// platform), or "<kind>" for other cells.
std::string Text(XlSheet* s, uint32_t r, uint32_t c) {
  const reader::StoredCell* cell = s->cells.Find(r, c);
  if (!cell) return "<none>";
  if (cell->kind != reader::CellKind::String) return "<" + std::to_string(static_cast<int>(cell->kind)) + ">";
  return std::string(s->CellText(*cell));
}

int FormatId(XlSheet* s, int r, int c) { return xlFormatNumFormatA(xlSheetCellFormatA(s, r, c)); }

TEST(XlsFixtures, EveryValueKindWithItsFormat) {
  auto book = LoadFixture("cell_types.xls");
  XlSheet* s = SheetOf(*book, 0);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->name, "Types");
  EXPECT_EQ(s->error, "");
  // Styled blank cells at row 40 and columns 10-13 do not widen the sheet.
  EXPECT_EQ(xlSheetLastRowA(s), 3);
  EXPECT_EQ(xlSheetLastColA(s), 6);
  EXPECT_EQ(Text(s, 0, 0), "text");
  EXPECT_EQ(xlSheetReadNumA(s, 0, 1, nullptr), 42.0);
  EXPECT_EQ(xlSheetReadNumA(s, 0, 2, nullptr), 0.1);
  EXPECT_EQ(xlSheetReadNumA(s, 0, 3, nullptr), -1234567.25);
  EXPECT_EQ(xlSheetCellTypeA(s, 0, 4), CELLTYPE_BOOLEAN);
  EXPECT_EQ(xlSheetReadBoolA(s, 0, 4, nullptr), 1);
  EXPECT_EQ(xlSheetReadBoolA(s, 0, 5, nullptr), 0);
  EXPECT_EQ(Text(s, 1, 0), "Grüße – ünïcödé ✓");
  EXPECT_EQ(xlSheetReadNumA(s, 1, 1, nullptr), 1e300);
  EXPECT_EQ(xlSheetReadNumA(s, 1, 2, nullptr), 0.0);  // xlwt writes -0.0 as the RK integer 0
  EXPECT_EQ(xlSheetReadNumA(s, 1, 3, nullptr), 123456789012.0);
  EXPECT_EQ(xlSheetCellTypeA(s, 1, 10), CELLTYPE_EMPTY);

  EXPECT_EQ(xlSheetReadNumA(s, 2, 0, nullptr), 45351.0);  // 2024-02-29
  EXPECT_TRUE(xlSheetIsDateA(s, 2, 0));
  EXPECT_GE(FormatId(s, 2, 0), 164);
  EXPECT_STREQ(xlBookCustomNumFormatA(book.get(), FormatId(s, 2, 0)), "YYYY-MM-DD");
  EXPECT_NEAR(xlSheetReadNumA(s, 2, 1, nullptr), 36525.0 + (23 * 3600 + 59 * 60 + 30) / 86400.0, 1e-9);
  EXPECT_TRUE(xlSheetIsDateA(s, 2, 1));
  EXPECT_FALSE(xlSheetIsDateA(s, 2, 2));
  EXPECT_STREQ(xlBookCustomNumFormatA(book.get(), FormatId(s, 2, 2)), "0.000");
  EXPECT_EQ(FormatId(s, 2, 3), 9);  // "0%" is a built-in format
  EXPECT_EQ(xlBookCustomNumFormatA(book.get(), 9), nullptr);
  EXPECT_FALSE(xlSheetIsDateA(s, 2, 4));  // '#,##0.00 "EUR"': the letters are quoted
}

TEST(XlsFixtures, SheetOrderNamesVisibilityAnd1904) {
  auto book = LoadFixture("sheets_hidden_1904.xls");
  ASSERT_EQ(book->sheets.size(), 4u);
  EXPECT_EQ(book->sheets[0]->name, "First");
  EXPECT_EQ(book->sheets[1]->name, "Скрытый");
  EXPECT_EQ(book->sheets[2]->name, "数据");
  EXPECT_EQ(book->sheets[1]->visibility, reader::Visibility::Hidden);
  EXPECT_EQ(book->sheets[0]->visibility, reader::Visibility::Visible);
  EXPECT_TRUE(book->date1904);
  XlSheet* first = SheetOf(*book, 0);
  EXPECT_EQ(xlSheetReadNumA(first, 0, 0, nullptr), 1.0);  // 1904-01-02
  EXPECT_TRUE(xlSheetIsDateA(first, 0, 0));
  int y, m, d, h, mi, sec, ms;
  xlBookDateUnpackA(book.get(), 1.0, &y, &m, &d, &h, &mi, &sec, &ms);
  EXPECT_EQ(y * 10000 + m * 100 + d, 19040102);
  XlSheet* hidden = SheetOf(*book, 1);
  EXPECT_EQ(Text(hidden, 5, 3), "hidden");
  EXPECT_EQ(xlSheetLastRowA(hidden), 6);
  EXPECT_EQ(xlSheetLastColA(hidden), 4);
  EXPECT_EQ(Text(SheetOf(*book, 2), 0, 0), "中文");
  EXPECT_EQ(xlSheetLastRowA(SheetOf(*book, 3)), 0);
}

TEST(XlsFixtures, SharedStringsSplitAcrossContinueRecords) {
  auto book = LoadFixture("sst_split_across_continue.xls");
  XlSheet* s = SheetOf(*book, 0);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->error, "");
  EXPECT_EQ(xlSheetLastRowA(s), 2001);
  for (uint32_t r = 0; r < 2000; ++r) {
    char head[32];
    std::snprintf(head, sizeof head, "latin-%05u-", r);
    std::string latin = std::string(head) + std::string(r % 37, 'x');
    std::snprintf(head, sizeof head, "ωmega-%05u-", r);
    std::string greek = head;
    for (uint32_t k = 0; k < r % 29; ++k) greek += "я";
    ASSERT_EQ(Text(s, r, 0), latin) << r;
    ASSERT_EQ(Text(s, r, 1), greek) << r;
  }
  EXPECT_EQ(Text(s, 2000, 0), std::string(20000, 'L'));
  std::string zhe;
  for (int k = 0; k < 9000; ++k) zhe += "Ж";
  EXPECT_EQ(Text(s, 2000, 1), zhe);
}

// BIFF8 globals: an SST of two strings, a custom format and three XFs
// (General, the custom format, the built-in date 14).
std::vector<uint8_t> Biff8Globals() {
  Stream g;
  g.Add(0x00FC, Bytes().u32(2).u32(1).str16("one").u16(3).u8(1).utf16(u"two"));  // declares 1, holds 2
  g.Add(0x041E, Bytes().u16(164).str16("0.0"));
  g.Add(0x00E0, Bytes().u16(0).u16(0).u16(0));
  g.Add(0x00E0, Bytes().u16(0).u16(164).u16(0));
  g.Add(0x00E0, Bytes().u16(0).u16(14).u16(0));
  return g.bytes();
}

// A FORMULA record with a cached result of 8 bytes.
Bytes Formula(uint16_t row, uint16_t col, uint16_t xf, const Bytes& result) {
  Bytes b;
  b.u16(row).u16(col).u16(xf);
  for (uint8_t byte : result.data()) b.u8(byte);
  return b.u16(0).u32(0).u16(0);  // flags, chain, empty formula
}

Bytes Special(uint8_t type, uint8_t value) {
  return Bytes().u8(type).u8(0).u8(value).u8(0).u16(0).u16(0xFFFF);
}

TEST(Biff8, CellRecordsAndFormulaResults) {
  Stream c;
  c.Add(0x0200, Bytes().u32(0).u32(60000).u16(0).u16(200).u16(0));  // DIMENSIONS: only a hint
  c.Add(0x0203, Bytes().u16(0).u16(0).u16(1).f64(2.5));
  c.Add(0x027E, Bytes().u16(0).u16(1).u16(2).u32((45000u << 2) | 2));
  c.Add(0x00BD, Bytes().u16(1).u16(2).u16(0).u32((5u << 2) | 2).u16(0).u32((250u << 2) | 3).u16(4));
  c.Add(0x00FD, Bytes().u16(2).u16(0).u16(0).u32(1));
  c.Add(0x0204, Bytes().u16(2).u16(1).u16(0).u16(2).u8(1).utf16(u"Жx"));
  c.Add(0x00D6, Bytes().u16(2).u16(2).u16(0).str16("rich").u16(1).u32(0));  // RSTRING and its run
  c.Add(0x0205, Bytes().u16(3).u16(0).u16(0).u8(1).u8(0));
  c.Add(0x0205, Bytes().u16(3).u16(1).u16(0).u8(0x07).u8(1));  // #DIV/0!
  c.Add(0x0006, Formula(4, 0, 0, Bytes().f64(-3.75)));
  c.Add(0x0006, Formula(4, 1, 0, Special(1, 1)));
  c.Add(0x0006, Formula(4, 2, 0, Special(2, 0x2A)));
  c.Add(0x0006, Formula(4, 3, 0, Special(3, 0)));
  c.Add(0x0006, Formula(4, 4, 0, Special(0, 0)));
  c.Add(0x04BC, Bytes().u16(4).u16(4).u8(4).u8(4).u16(0).u16(0));  // SHRFMLA between formula and STRING
  // The STRING goes on in a CONTINUE whose flags switch to UTF-16.
  c.Add(0x0207, Bytes().u16(4).u8(0).raw("ab"));
  c.Add(0x003C, Bytes().u8(1).utf16(u"βγ"));
  // An embedded chart: its records are not cells of the sheet.
  c.Bof8(0x0020);
  c.Add(0x0203, Bytes().u16(900).u16(9).u16(0).f64(1));
  c.Eof();
  c.Add(0x0201, Bytes().u16(500).u16(50).u16(1));                    // BLANK
  c.Add(0x00BE, Bytes().u16(6).u16(0).u16(1).u16(1).u16(1).u16(2));  // MULBLANK
  auto stream = xls_test::Biff8Workbook({{"Cells", c.bytes()}}, Biff8Globals());
  auto book = MustLoad(InCompoundFile(stream));
  XlSheet* s = SheetOf(*book, 0);
  EXPECT_EQ(s->error, "");
  EXPECT_EQ(xlSheetLastRowA(s), 5);
  EXPECT_EQ(xlSheetLastColA(s), 5);
  EXPECT_EQ(xlSheetReadNumA(s, 0, 0, nullptr), 2.5);
  EXPECT_STREQ(xlBookCustomNumFormatA(book.get(), FormatId(s, 0, 0)), "0.0");
  EXPECT_EQ(xlSheetReadNumA(s, 0, 1, nullptr), 45000.0);
  EXPECT_TRUE(xlSheetIsDateA(s, 0, 1));
  EXPECT_EQ(xlSheetReadNumA(s, 1, 2, nullptr), 5.0);
  EXPECT_EQ(xlSheetReadNumA(s, 1, 3, nullptr), 2.5);
  EXPECT_EQ(Text(s, 2, 0), "two");  // past the SST's declared count, still read
  EXPECT_EQ(Text(s, 2, 1), "Жx");
  EXPECT_EQ(Text(s, 2, 2), "rich");
  EXPECT_EQ(xlSheetReadBoolA(s, 3, 0, nullptr), 1);
  EXPECT_EQ(xlSheetCellTypeA(s, 3, 1), CELLTYPE_ERROR);
  EXPECT_EQ(xlSheetReadNumA(s, 4, 0, nullptr), -3.75);
  EXPECT_EQ(xlSheetCellTypeA(s, 4, 1), CELLTYPE_BOOLEAN);
  EXPECT_EQ(xlSheetReadBoolA(s, 4, 1, nullptr), 1);
  EXPECT_EQ(xlSheetCellTypeA(s, 4, 2), CELLTYPE_ERROR);
  EXPECT_EQ(Text(s, 4, 3), "");
  EXPECT_EQ(Text(s, 4, 4), "abβγ");
  EXPECT_EQ(xlSheetCellTypeA(s, 900, 9), CELLTYPE_EMPTY);

  // The same stream without a compound file around it reads the same.
  auto bare = MustLoad(stream);
  XlSheet* b = SheetOf(*bare, 0);
  EXPECT_EQ(b->cells.cellCount(), s->cells.cellCount());
  EXPECT_EQ(Text(b, 4, 4), "abβγ");
}

TEST(Biff8, SheetKindsVisibilityAndNames) {
  Stream g;
  g.Bof8(0x0005);
  size_t p0 = g.Add(0x0085, Bytes().u32(0).u8(0).u8(0).str8u("Work")) + 4;
  g.Add(0x0085, Bytes().u32(0).u8(1).u8(2).str8u("Chart"));
  g.Add(0x0085, Bytes().u32(0).u8(2).u8(1).str8u("Macro"));
  g.Add(0x0085, Bytes().u32(0).u8(0).u8(6).str8u("Module"));
  g.Add(0x0085, Bytes().u32(0).u8(0).u8(0).u8(0).u8(0));  // no name
  g.Eof();
  g.PatchU32(p0, static_cast<uint32_t>(g.size()));
  g.Bof8(0x0010);
  g.Add(0x0203, Bytes().u16(0).u16(0).u16(0).f64(1));
  g.Eof();
  auto book = MustLoad(InCompoundFile(g.bytes()));
  ASSERT_EQ(book->sheets.size(), 5u);
  EXPECT_EQ(book->sheets[1]->kind, reader::SheetKind::Chartsheet);
  EXPECT_EQ(book->sheets[1]->visibility, reader::Visibility::Hidden);
  EXPECT_EQ(book->sheets[2]->kind, reader::SheetKind::Macrosheet);
  EXPECT_EQ(book->sheets[2]->visibility, reader::Visibility::VeryHidden);
  EXPECT_EQ(book->sheets[3]->kind, reader::SheetKind::Macrosheet);
  EXPECT_EQ(book->sheets[4]->name, "Sheet5");
  for (int i = 1; i < 4; ++i) EXPECT_EQ(xlSheetLastRowA(SheetOf(*book, i)), 0);
  EXPECT_EQ(xlSheetLastRowA(SheetOf(*book, 0)), 1);
  // A worksheet at position 0 reads the globals: no cells, no failure.
  EXPECT_EQ(xlSheetLastRowA(SheetOf(*book, 4)), 0);
}

TEST(Biff8, EncryptedWorkbooksFailWithAReason) {
  Stream g;
  g.Bof8(0x0005);
  g.Add(0x002F, Bytes().u16(1).u16(1).u16(1));
  g.Eof();
  reader::Status status;
  auto book = xls_test::LoadBytes(InCompoundFile(g.bytes()), &status);
  EXPECT_FALSE(status.ok());
  EXPECT_NE(status.message().find("encrypted (password-protected)"), std::string::npos) << status.message();
  EXPECT_EQ(xlBookSheetCountA(book.get()), 0);
}

TEST(Biff8, DamagedSheetsKeepTheirCellsAndSayWhere) {
  Stream bad;
  bad.Add(0x0203, Bytes().u16(0).u16(0).u16(0).f64(1));
  bad.Add(0x00FD, Bytes().u16(0).u16(1).u16(0).u32(7));  // no string 7
  bad.Add(0x0203, Bytes().u16(0).u16(2).u16(0));         // too short
  bad.Add(0x0203, Bytes().u16(1).u16(0).u16(0).f64(2));
  Stream good;
  good.Add(0x027E, Bytes().u16(3).u16(3).u16(0).u32((9u << 2) | 2));
  auto stream = xls_test::Biff8Workbook(
      {{"Bad", bad.bytes()}, {"Good", good.bytes()}, {"Gone", good.bytes()}}, Biff8Globals());
  // Point the third sheet into the middle of a record (a position left
  // from before the file was rewritten).
  auto moved = stream;
  size_t boundSheet3 = 0;
  for (size_t at = 0, seen = 0; at + 4 <= moved.size();) {
    uint16_t type = static_cast<uint16_t>(moved[at] | (moved[at + 1] << 8));
    uint16_t len = static_cast<uint16_t>(moved[at + 2] | (moved[at + 3] << 8));
    if (type == 0x0085 && ++seen == 3) boundSheet3 = at + 4;
    at += 4 + len;
    if (boundSheet3) break;
  }
  ASSERT_NE(boundSheet3, 0u);
  moved[boundSheet3] = 0x07;
  moved[boundSheet3 + 1] = 0x00;
  auto book = MustLoad(InCompoundFile(moved));
  XlSheet* s = SheetOf(*book, 0);
  EXPECT_EQ(xlSheetLastRowA(s), 2);
  EXPECT_EQ(xlSheetReadNumA(s, 1, 0, nullptr), 2.0);
  EXPECT_NE(s->error.find("Workbook: offset "), std::string::npos) << s->error;
  EXPECT_NE(s->error.find("LABELSST names string 7 of 2"), std::string::npos) << s->error;
  EXPECT_NE(s->error.find("1 more damaged"), std::string::npos) << s->error;
  EXPECT_STRNE(xlSheetErrorMessageA(s), nullptr);
  XlSheet* g = SheetOf(*book, 1);
  EXPECT_EQ(g->error, "");
  EXPECT_EQ(xlSheetReadNumA(g, 3, 3, nullptr), 9.0);
  // One substream per sheet: the lost position is taken from the stream.
  XlSheet* moved3 = SheetOf(*book, 2);
  EXPECT_EQ(moved3->error, "");
  EXPECT_EQ(xlSheetReadNumA(moved3, 3, 3, nullptr), 9.0);

  // With a substream more than there are sheets, nothing is guessed.
  auto extra = moved;
  Stream chart;
  chart.Bof8(0x0020);
  chart.Eof();
  extra.insert(extra.end(), chart.bytes().begin(), chart.bytes().end());
  auto extraBook = MustLoad(InCompoundFile(extra));
  XlSheet* gone = SheetOf(*extraBook, 2);
  EXPECT_NE(gone->error.find("does not hold a BOF record"), std::string::npos) << gone->error;
  EXPECT_EQ(xlSheetLastRowA(gone), 0);
  EXPECT_EQ(xlSheetReadNumA(SheetOf(*extraBook, 1), 3, 3, nullptr), 9.0);

  // The stream cut inside the second sheet: the first stays whole.
  auto cut = std::vector<uint8_t>(stream.begin(), stream.end() - 30);
  auto cutBook = MustLoad(cut);
  EXPECT_EQ(xlSheetLastRowA(SheetOf(*cutBook, 0)), 2);
  XlSheet* last = SheetOf(*cutBook, 2);
  EXPECT_NE(last->error, "");
}

TEST(Biff8, ASheetThatLostItsEofEndsAtTheNextSheet) {
  Stream s;
  s.Bof8(0x0005);
  size_t p0 = s.Add(0x0085, Bytes().u32(0).u8(0).u8(0).str8u("A")) + 4;
  size_t p1 = s.Add(0x0085, Bytes().u32(0).u8(0).u8(0).str8u("B")) + 4;
  s.Eof();
  s.PatchU32(p0, static_cast<uint32_t>(s.size()));
  s.Bof8(0x0010);
  s.Add(0x0203, Bytes().u16(0).u16(0).u16(0).f64(1));
  s.PatchU32(p1, static_cast<uint32_t>(s.size()));
  s.Bof8(0x0010);
  s.Add(0x0203, Bytes().u16(7).u16(0).u16(0).f64(2));
  s.Eof();
  auto book = MustLoad(InCompoundFile(s.bytes()));
  XlSheet* a = SheetOf(*book, 0);
  EXPECT_EQ(xlSheetLastRowA(a), 1);
  EXPECT_NE(a->error.find("no EOF record"), std::string::npos);
  EXPECT_EQ(xlSheetLastRowA(SheetOf(*book, 1)), 8);
}

TEST(Biff8, GlobalsThatBreakOffFailTheLoad) {
  Stream s;
  s.Bof8(0x0005);
  s.Add(0x0042, Bytes().u16(1200));
  s.bytes().insert(s.bytes().end(), {0x85, 0x00, 0x40, 0x00, 1, 2});
  reader::Status status;
  xls_test::LoadBytes(InCompoundFile(s.bytes()), &status);
  EXPECT_FALSE(status.ok());
  EXPECT_NE(status.message().find("globals are cut short"), std::string::npos) << status.message();

  Stream notBof;
  notBof.Add(0x0203, Bytes().u16(0));
  xls_test::LoadBytes(InCompoundFile(notBof.bytes()), &status);
  EXPECT_NE(status.message().find("does not start with a BOF"), std::string::npos) << status.message();
}

TEST(Biff5, EightBitTextUsesTheWorkbookCodePage) {
  Stream s;
  s.Bof5(0x0005);
  s.Add(0x0042, Bytes().u16(1251));
  s.Add(0x041E, Bytes().u16(164).bstr8("0.0 \xF0\xF3\xE1"));  // "0.0 руб"
  s.Add(0x00E0, Bytes().u16(0).u16(0));
  s.Add(0x00E0, Bytes().u16(0).u16(164));
  size_t p0 = s.Add(0x0085, Bytes().u32(0).u8(0).u8(0).bstr8("\xCB\xE8\xF1\xF2")) + 4;  // "Лист"
  s.Eof();
  s.PatchU32(p0, static_cast<uint32_t>(s.size()));
  s.Bof5(0x0010);
  s.Add(0x0204, Bytes().u16(0).u16(0).u16(0).bstr16("\xC4\xE0"));  // "Да"
  s.Add(0x0203, Bytes().u16(0).u16(1).u16(1).f64(12.5));
  s.Add(0x0207 - 1, Formula(1, 0, 0, Special(0, 0)));  // FORMULA (0x0006) with a string result
  s.Add(0x0207, Bytes().bstr16("\xE4\xE0"));           // "да"
  s.Eof();
  auto book = MustLoad(InCompoundFile(s.bytes(), "Book"));
  ASSERT_EQ(book->sheets.size(), 1u);
  EXPECT_EQ(book->sheets[0]->name, "Лист");
  XlSheet* sheet = SheetOf(*book, 0);
  EXPECT_EQ(Text(sheet, 0, 0), "Да");
  EXPECT_EQ(Text(sheet, 1, 0), "да");
  EXPECT_EQ(*book->numFormats.CustomText(FormatId(sheet, 0, 1)), "0.0 руб");
}

TEST(Biff5, WithoutACodePageRecordTextIsWindows1252) {
  Stream s;
  s.Bof5(0x0005);
  size_t p0 = s.Add(0x0085, Bytes().u32(0).u8(0).u8(0).bstr8("Caf\xE9")) + 4;
  s.Eof();
  s.PatchU32(p0, static_cast<uint32_t>(s.size()));
  s.Bof5(0x0010);
  s.Add(0x0204, Bytes().u16(0).u16(0).u16(0).bstr16("\x80"));
  s.Eof();
  auto book = MustLoad(InCompoundFile(s.bytes(), "Book"));
  EXPECT_EQ(book->sheets[0]->name, "Café");
  EXPECT_EQ(Text(SheetOf(*book, 0), 0, 0), "€");
}

// A one-sheet BIFF5 workbook: `globals` after the BOF, a sheet named by
// `nameBytes` (code page bytes) holding `cells`.
std::vector<uint8_t> Biff5Workbook(const Stream& globals, const std::string& nameBytes, const Stream& cells) {
  Stream s;
  s.Bof5(0x0005);
  Stream g = globals;
  s.Append(g.bytes());
  size_t p0 = s.Add(0x0085, Bytes().u32(0).u8(0).u8(0).bstr8(nameBytes)) + 4;
  s.Eof();
  s.PatchU32(p0, static_cast<uint32_t>(s.size()));
  s.Bof5(0x0010);
  Stream c = cells;
  s.Append(c.bytes());
  s.Eof();
  return InCompoundFile(s.bytes(), "Book");
}

// Formats the workbook defines decide dates whatever their identifier, and
// from 50 up their text is the custom format text; the same in BIFF5
// (byte strings) and BIFF8 (Unicode strings).
TEST(XlsFormats, TheWorkbooksOwnFormatsDecideDatesAndCustomTexts) {
  struct Format {
    uint16_t id;
    const char* text;  // null: no FORMAT record, the built-in meaning
    bool date;
    const char* custom;
  } formats[] = {
      {0, nullptr, false, nullptr},
      {50, "0", false, "0"},                                 // a built-in East Asian date id
      {51, "0.00", false, "0.00"},                           // likewise
      {163, "YYYY\\-MM\\-DD", true, "YYYY\\-MM\\-DD"},       // a built-in number id
      {5, "\"$\"#,##0_);\\(\"$\"#,##0\\)", false, nullptr},  // Excel's locale currency
      {52, nullptr, true, nullptr},                          // not defined: the built-in date
      {14, "DD.MM.YYYY", true, nullptr},
      {164, "0.000", false, "0.000"},
  };
  for (int version : {5, 8}) {
    SCOPED_TRACE(version);
    Stream g, c;
    for (const Format& f : formats) {
      if (!f.text) continue;
      if (version == 8)
        g.Add(0x041E, Bytes().u16(f.id).str16(f.text));
      else
        g.Add(0x041E, Bytes().u16(f.id).bstr8(f.text));
    }
    uint16_t col = 0;
    for (const Format& f : formats) {
      g.Add(0x00E0, Bytes().u16(0).u16(f.id).u16(0));
      c.Add(0x0203, Bytes().u16(0).u16(col).u16(col).f64(215));
      ++col;
    }
    std::vector<uint8_t> file = version == 8
                                    ? InCompoundFile(xls_test::Biff8Workbook({{"F", c.bytes()}}, g.bytes()))
                                    : Biff5Workbook(g, "F", c);
    auto book = MustLoad(file);
    XlSheet* s = SheetOf(*book, 0);
    ASSERT_NE(s, nullptr);
    col = 0;
    for (const Format& f : formats) {
      SCOPED_TRACE(f.id);
      EXPECT_EQ(FormatId(s, 0, col), f.id);
      EXPECT_EQ(xlSheetIsDateA(s, 0, col) != 0, f.date);
      const char* custom = xlBookCustomNumFormatA(book.get(), f.id);
      if (f.custom)
        EXPECT_STREQ(custom, f.custom);
      else
        EXPECT_EQ(custom, nullptr);
      ++col;
    }
  }
}

// A BIFF5 FONT record with the character set `charset`.
Bytes Font5(uint8_t charset, const char* name = "Arial") {
  return Bytes().u16(200).u16(0).u16(0x7FFF).u16(400).u16(0).u8(0).u8(0).u8(charset).u8(0).bstr8(name);
}

TEST(Biff5, WithoutACodePageRecordTheFontsCharacterSetNamesIt) {
  struct Case {
    std::vector<uint8_t> charsets;
    int codePage;  // the CODEPAGE record, 0 for none
    std::string bytes;
    const char* text;
  } cases[] = {
      {{204, 204, 204}, 0, "\xC4\xE0", "Да"},  // Cyrillic: 1251
      {{238, 2, 238}, 0, "\xB9", "ą"},         // Central European; a symbol font says nothing
      {{161}, 0, "\xC1", "Α"},                 // Greek: 1253
      {{128, 128}, 0, "\x93\xFA", "日"},       // Shift JIS: 932
      {{0, 204}, 0, "\xC4\xE0", "Äà"},         // fonts that disagree: 1252
      {{0, 0}, 0, "\xB9", "¹"},                // ANSI: 1252
      {{1, 1}, 0, "\xB9", "¹"},                // DEFAULT: 1252
      {{204, 204}, 1250, "\xB9", "ą"},         // the record counts first
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    Stream g, cells;
    if (c.codePage) g.Add(0x0042, Bytes().u16(static_cast<uint32_t>(c.codePage)));
    for (uint8_t cs : c.charsets) g.Add(0x0031, Font5(cs));
    cells.Add(0x0204, Bytes().u16(0).u16(0).u16(0).bstr16(c.bytes));
    auto book = MustLoad(Biff5Workbook(g, c.bytes, cells));
    ASSERT_EQ(book->sheets.size(), 1u);
    EXPECT_EQ(book->sheets[0]->name, c.text);
    EXPECT_EQ(Text(SheetOf(*book, 0), 0, 0), c.text);
  }
}

TEST(Biff8, FontCharacterSetsDoNotChangeEightBitText) {
  // BIFF8 keeps 8-bit text as Latin-1 whatever its fonts say.
  Stream g, c;
  g.Add(0x0031, Bytes().u16(200).u16(0).u16(0x7FFF).u16(400).u16(0).u8(0).u8(0).u8(204).u8(0).str8u("Arial"));
  c.Add(0x0204, Bytes().u16(0).u16(0).u16(0).str16("\xC4\xE0"));
  auto book = MustLoad(InCompoundFile(xls_test::Biff8Workbook({{"S", c.bytes()}}, g.bytes())));
  EXPECT_EQ(Text(SheetOf(*book, 0), 0, 0), "Äà");
}

TEST(Biff2, CellRecordsAndFormatsNumberedByPosition) {
  Stream s;
  s.Add(0x0009, Bytes().u16(2).u16(0x0010));
  s.Add(0x0042, Bytes().u16(32769));
  s.Add(0x0022, Bytes().u16(1));
  s.Add(0x001E, Bytes().bstr8("General"));
  s.Add(0x001E, Bytes().bstr8("0.00"));
  s.Add(0x001E, Bytes().bstr8("m/d/yy"));
  s.Add(0x001E, Bytes().bstr8("0.0 \"kg\""));
  // Row, column, then the attribute bytes: XF index, number format index
  // (with the font), alignment.
  auto cell = [](uint16_t r, uint16_t c, uint8_t format) {
    return Bytes().u16(r).u16(c).u8(0).u8(format).u8(0);
  };
  s.Add(0x0002, cell(0, 0, 1).u16(65535));
  s.Add(0x0003, cell(0, 1, 2).f64(1000.0));
  s.Add(0x0004, cell(0, 2, 0).bstr8("r\xE9sum\xE9"));
  s.Add(0x0005, cell(1, 0, 0).u8(1).u8(0));
  s.Add(0x0005, cell(1, 1, 0).u8(0x17).u8(1));
  s.Add(0x0006, cell(1, 2, 3).f64(7.25).u8(0).u8(0));
  s.Add(0x0006, cell(2, 0, 0).u8(0).u8(0).u8(0).u8(0).u16(0).u16(0xFFFF).u8(0).u8(0));
  s.Add(0x0007, Bytes().bstr8("from formula"));
  s.Add(0x0001, cell(9, 9, 0));  // BLANK
  s.Eof();
  auto book = MustLoad(s.bytes());
  ASSERT_EQ(book->sheets.size(), 1u);
  EXPECT_EQ(book->sheets[0]->name, "Sheet1");
  EXPECT_TRUE(book->date1904);
  XlSheet* sh = SheetOf(*book, 0);
  EXPECT_EQ(sh->error, "");
  EXPECT_EQ(xlSheetLastRowA(sh), 3);
  EXPECT_EQ(xlSheetLastColA(sh), 3);
  EXPECT_EQ(xlSheetReadNumA(sh, 0, 0, nullptr), 65535.0);
  EXPECT_EQ(FormatId(sh, 0, 0), 2);   // "0.00" is built-in 2
  EXPECT_EQ(FormatId(sh, 0, 1), 14);  // "m/d/yy" is built-in 14: a date
  EXPECT_TRUE(xlSheetIsDateA(sh, 0, 1));
  EXPECT_EQ(Text(sh, 0, 2), "résumé");
  EXPECT_EQ(xlSheetReadBoolA(sh, 1, 0, nullptr), 1);
  EXPECT_EQ(xlSheetCellTypeA(sh, 1, 1), CELLTYPE_ERROR);
  EXPECT_EQ(xlSheetReadNumA(sh, 1, 2, nullptr), 7.25);
  EXPECT_STREQ(xlBookCustomNumFormatA(book.get(), FormatId(sh, 1, 2)), "0.0 \"kg\"");
  EXPECT_FALSE(xlSheetIsDateA(sh, 1, 2));
  EXPECT_EQ(Text(sh, 2, 0), "from formula");
}

TEST(Biff3And4, XfRecordsNameFormatsByPosition) {
  for (uint16_t bof : {0x0209, 0x0409}) {
    SCOPED_TRACE(bof);
    bool biff4 = bof == 0x0409;
    Stream s;
    s.Add(bof, Bytes().u16(0).u16(0x0010).u16(0));
    for (const char* f : {"General", "0%", "[h]:mm", "#,##0.000"}) {
      if (biff4)
        s.Add(0x041E, Bytes().u16(0).bstr8(f));  // two unused bytes first
      else
        s.Add(0x001E, Bytes().bstr8(f));
    }
    uint16_t xf = biff4 ? 0x0443 : 0x0243;
    for (uint8_t f : {0, 3, 2, 1}) s.Add(xf, Bytes().u8(0).u8(f).u16(0).u32(0).u32(0));
    s.Add(0x027E, Bytes().u16(0).u16(0).u16(1).u32((5u << 2) | 2));
    s.Add(0x0203, Bytes().u16(0).u16(1).u16(2).f64(1.5));
    s.Add(0x0204, Bytes().u16(1).u16(0).u16(3).bstr16("label"));
    s.Add(biff4 ? 0x0406 : 0x0206, Formula(1, 1, 0, Special(0, 0)));
    s.Add(0x0207, Bytes().bstr16("result"));
    s.Eof();
    auto book = MustLoad(s.bytes());
    XlSheet* sh = SheetOf(*book, 0);
    EXPECT_EQ(sh->error, "");
    EXPECT_STREQ(xlBookCustomNumFormatA(book.get(), FormatId(sh, 0, 0)), "#,##0.000");
    EXPECT_TRUE(xlSheetIsDateA(sh, 0, 1));  // "[h]:mm" is elapsed time
    EXPECT_EQ(FormatId(sh, 1, 0), 9);
    EXPECT_EQ(Text(sh, 1, 0), "label");
    EXPECT_EQ(Text(sh, 1, 1), "result");
  }
}

}  // namespace

namespace {

TEST(Biff8, SheetsLargerThanTheReadWindowAreReadWhole) {
  // About 4 MB of records: the reader's window slides several times, with
  // records and a continued STRING across its edges.
  Stream c;
  for (uint32_t r = 0; r < 60000; ++r) {
    for (uint32_t col = 0; col < 3; ++col) c.Add(0x0203, Bytes().u16(r).u16(col).u16(0).f64(r * 3.0 + col));
    if (r % 1000 == 999) {
      c.Add(0x0006, Formula(r, 3, 0, Special(0, 0)));
      c.Add(0x0207, Bytes().u16(3000).u8(0).raw(std::string(2000, 'a')));
      c.Add(0x003C, Bytes().u8(1).utf16(std::u16string(1000, u'ж')));
    }
  }
  auto stream = xls_test::Biff8Workbook({{"Big", c.bytes()}}, Biff8Globals());
  ASSERT_GT(stream.size(), 3u << 20);
  auto book = MustLoad(InCompoundFile(stream));
  XlSheet* s = SheetOf(*book, 0);
  EXPECT_EQ(s->error, "");
  EXPECT_EQ(s->cells.cellCount(), 60000u * 3 + 60);
  double sum = 0;
  s->cells.ForEach([&](uint32_t, const reader::StoredCell& cell) {
    if (cell.kind == reader::CellKind::Number) sum += cell.number();
  });
  EXPECT_EQ(sum, 3.0 * 59999 * 60000 / 2 * 3 + 3.0 * 60000);
  std::string expected(2000, 'a');
  for (int k = 0; k < 1000; ++k) expected += "ж";
  EXPECT_EQ(Text(s, 59999, 3), expected);
  EXPECT_EQ(Text(s, 999, 3), expected);
}

}  // namespace

namespace {

TEST(Biff8, ThousandsOfSmallSheetsCostLittleMemory) {
  // 3000 sheets over one one-cell substream: each loaded sheet must cost
  // about what its cells cost, not a full block of the cell store.
  Stream s;
  s.Bof8(0x0005);
  std::vector<size_t> positions;
  for (int i = 0; i < 3000; ++i)
    positions.push_back(s.Add(0x0085, Bytes().u32(0).u8(0).u8(0).str8u("S" + std::to_string(i))) + 4);
  s.Eof();
  uint32_t sheet = static_cast<uint32_t>(s.size());
  for (size_t p : positions) s.PatchU32(p, sheet);
  s.Bof8(0x0010);
  s.Add(0x0203, Bytes().u16(0).u16(0).u16(0).f64(1));
  s.Eof();
  auto book = MustLoad(InCompoundFile(s.bytes()));
  ASSERT_EQ(book->sheets.size(), 3000u);
  size_t bytes = 0;
  for (size_t i = 0; i < book->sheets.size(); ++i) {
    XlSheet* sh = SheetOf(*book, i);
    ASSERT_EQ(xlSheetReadNumA(sh, 0, 0, nullptr), 1.0);
    bytes += sh->cells.memoryBytes();
  }
  EXPECT_LT(bytes, size_t(16) << 20);
}

}  // namespace
