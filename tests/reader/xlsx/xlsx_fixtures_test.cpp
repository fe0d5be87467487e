// Workbooks written by XlsxWriter and openpyxl (tests/fixtures/make_xlsx_fixtures.py),
// read through the reader interface as an export would read them.
#include <gtest/gtest.h>

#include <memory>

#include "engine/reader.h"
#include "reader/core/book.h"
#include "tests/support/test_support.h"

namespace {

struct Book {
  explicit Book(const char* name) : handle(xlCreateXMLBookCA()) {
    loaded = xlBookLoadA(handle, testing_support::FixturePath(std::string("xlsx/") + name).c_str());
  }
  ~Book() { xlBookReleaseA(handle); }
  SheetHandle Sheet(int i) const { return xlBookGetSheetA(handle, i); }
  BookHandle handle;
  int loaded = 0;
};

// The UTF-8 text of a string cell, from the model: the A form is the ANSI
// code page on Windows.
std::string Str(SheetHandle s, int r, int c) {
  if (xlSheetCellTypeA(s, r, c) != CELLTYPE_STRING) return "<none>";
  return std::string(s->CellText(*s->cells.Find(static_cast<uint32_t>(r), static_cast<uint32_t>(c))));
}

int Format(SheetHandle s, int r, int c) { return xlFormatNumFormatA(xlSheetCellFormatA(s, r, c)); }

TEST(XlsxFixtures, CellTypesAsXlsxWriterWritesThem) {
  Book b("cell_types_xlsxwriter.xlsx");
  ASSERT_EQ(b.loaded, 1) << xlBookErrorMessageA(b.handle);
  ASSERT_EQ(xlBookSheetCountA(b.handle), 4);
  SheetHandle s = b.Sheet(0);
  EXPECT_EQ(xlSheetLastRowA(s), 5);  // the style-only F6 does not count
  EXPECT_EQ(xlSheetLastColA(s), 4);
  EXPECT_EQ(xlSheetReadNumA(s, 0, 0, nullptr), 1.5);
  EXPECT_EQ(xlSheetReadNumA(s, 0, 1, nullptr), -1234567.890625);
  int id = Format(s, 0, 1);
  EXPECT_GE(id, 164);
  EXPECT_STREQ(xlBookCustomNumFormatA(b.handle, id), "0.000");
  EXPECT_EQ(Format(s, 0, 2), 10);
  EXPECT_EQ(xlBookCustomNumFormatA(b.handle, 10), nullptr);
  EXPECT_FALSE(xlSheetIsDateA(s, 0, 2));
  ASSERT_TRUE(xlSheetIsDateA(s, 0, 3));
  int y, mo, d, h, mi, se, ms;
  xlBookDateUnpackA(b.handle, xlSheetReadNumA(s, 0, 3, nullptr), &y, &mo, &d, &h, &mi, &se, &ms);
  EXPECT_EQ((std::vector<int>{y, mo, d, h, mi, se}), (std::vector<int>{2021, 3, 4, 5, 6, 7}));
  EXPECT_EQ(Str(s, 1, 0), "plain");
  EXPECT_EQ(Str(s, 1, 1), "caf\xC3\xA9 \xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x98\x80");
  EXPECT_EQ(Str(s, 1, 2), "tab\tand\nnewline");
  EXPECT_EQ(Str(s, 1, 3),
            "ctrl\x01"
            "char and _x0041_ literal");
  EXPECT_EQ(xlSheetCellTypeA(s, 2, 0), CELLTYPE_BOOLEAN);
  EXPECT_EQ(xlSheetReadBoolA(s, 2, 0, nullptr), 1);
  EXPECT_EQ(xlSheetReadBoolA(s, 2, 1, nullptr), 0);
  // Formulas: their cached results.
  EXPECT_EQ(xlSheetReadNumA(s, 3, 0, nullptr), 3.0);
  EXPECT_EQ(Str(s, 3, 1), "ab");
  EXPECT_EQ(xlSheetReadBoolA(s, 3, 2, nullptr), 1);
  EXPECT_EQ(xlSheetCellTypeA(s, 3, 3), CELLTYPE_ERROR);
  EXPECT_EQ(Str(s, 4, 0), "rich bold end");

  EXPECT_STREQ(xlSheetNameA(b.Sheet(1)), "Hidden");
  EXPECT_EQ(b.Sheet(1)->visibility, reader::Visibility::Hidden);
  EXPECT_EQ(xlSheetReadNumA(b.Sheet(1), 0, 0, nullptr), 42.0);
  EXPECT_EQ(b.Sheet(2)->kind, reader::SheetKind::Chartsheet);
  EXPECT_EQ(xlSheetLastRowA(b.Sheet(2)), 0);
  SheetHandle far = b.Sheet(3);
  EXPECT_EQ(xlSheetLastRowA(far), 1048576);
  EXPECT_EQ(xlSheetLastColA(far), 16384);
  EXPECT_EQ(xlSheetReadNumA(far, 1048575, 16383, nullptr), 7.0);
  EXPECT_EQ(xlSheetErrorMessageA(s), nullptr);
}

TEST(XlsxFixtures, Date1904AndInlineStrings) {
  Book b("date1904_inline_strings.xlsx");
  ASSERT_EQ(b.loaded, 1) << xlBookErrorMessageA(b.handle);
  SheetHandle s = b.Sheet(0);
  EXPECT_EQ(xlSheetReadNumA(s, 0, 0, nullptr), 1.0);
  int y, mo, d, h, mi, se, ms;
  xlBookDateUnpackA(b.handle, xlSheetReadNumA(s, 0, 1, nullptr), &y, &mo, &d, &h, &mi, &se, &ms);
  EXPECT_EQ((std::vector<int>{y, mo, d, h, mi}), (std::vector<int>{2000, 2, 29, 12, 0}));
  EXPECT_TRUE(xlSheetIsDateA(s, 0, 1));
  EXPECT_EQ(Str(s, 1, 0), "inline <&> text");
}

TEST(XlsxFixtures, IsoDateCellsFromOpenpyxl) {
  Book b("iso_dates_openpyxl.xlsx");
  ASSERT_EQ(b.loaded, 1) << xlBookErrorMessageA(b.handle);
  SheetHandle s = b.Sheet(0);
  int y, mo, d, h, mi, se, ms;
  xlBookDateUnpackA(b.handle, xlSheetReadNumA(s, 0, 0, nullptr), &y, &mo, &d, &h, &mi, &se, &ms);
  EXPECT_EQ((std::vector<int>{y, mo, d, h, mi, se}), (std::vector<int>{2020, 2, 29, 23, 59, 59}));
  EXPECT_EQ(xlSheetReadNumA(s, 0, 1, nullptr), 36525.0);
  EXPECT_DOUBLE_EQ(xlSheetReadNumA(s, 0, 2, nullptr), 18.5 / 24);
  EXPECT_TRUE(xlSheetIsDateA(s, 0, 0));
  EXPECT_TRUE(xlSheetIsDateA(s, 0, 1));
  EXPECT_EQ(Str(s, 1, 0), "openpyxl");
  EXPECT_EQ(xlSheetReadNumA(s, 1, 1, nullptr), 1e15);
  EXPECT_EQ(xlSheetCellTypeA(s, 1, 2), CELLTYPE_EMPTY);  // a formula with an empty cached value
  EXPECT_EQ(xlSheetLastRowA(s), 2);                      // the empty row 5 does not count
  EXPECT_EQ(b.Sheet(1)->visibility, reader::Visibility::VeryHidden);
  EXPECT_EQ(xlSheetReadNumA(b.Sheet(1), 2, 1, nullptr), 3.0);
}

}  // namespace
