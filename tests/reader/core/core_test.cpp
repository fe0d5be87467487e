// The sheet model, number formats, date rules and date serials.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "engine/reader.h"
#include "reader/core/date_serial.h"
#include "reader/core/num_format.h"
#include "tests/support/test_support.h"

using testing_support::MemoryBook;

namespace {

TEST(CellStore, ExtentCountsOnlyValuedCellsAndKeepsLeadingEmptyRows) {
  MemoryBook mb;
  XlSheet* s = mb.Sheet("S");
  mb.Number(s, 2, 1, 1.0);
  mb.Error(s, 4, 3);
  mb.Finish();
  // Errors hold a value (no content, but they extend the sheet).
  EXPECT_EQ(xlSheetLastRowA(s), 5);
  EXPECT_EQ(xlSheetLastColA(s), 4);
  EXPECT_EQ(xlSheetCellTypeA(s, 0, 0), CELLTYPE_EMPTY);
  EXPECT_EQ(xlSheetCellTypeA(s, 4, 3), CELLTYPE_ERROR);
}

TEST(CellStore, StyleOnlyCellsDoNotWidenTheSheet) {
  reader::CellStore store;
  {
    reader::SheetBuilder b(store);
    EXPECT_TRUE(b.AddNumber(0, 0, 0, 1.5));
    EXPECT_TRUE(b.AddBlank(reader::kMaxRows - 1, reader::kMaxCols - 1, 3));
    EXPECT_FALSE(b.AddNumber(reader::kMaxRows, 0, 0, 1.0));
    EXPECT_FALSE(b.AddNumber(0, reader::kMaxCols, 0, 1.0));
  }
  EXPECT_EQ(store.lastRow(), 1u);
  EXPECT_EQ(store.lastCol(), 1u);
  EXPECT_EQ(store.cellCount(), 1u);
}

TEST(CellStore, OutOfOrderCellsAreSortedAndTheLaterDuplicateWins) {
  reader::CellStore store;
  {
    reader::SheetBuilder b(store);
    b.AddNumber(5, 2, 0, 1);
    b.AddNumber(5, 3, 0, 2);
    b.AddNumber(1, 7, 0, 3);  // goes back a row
    b.AddNumber(5, 2, 0, 4);  // replaces the first cell
    b.AddNumber(5, 0, 0, 5);
    b.AddNumber(5, 0, 0, 6);
  }
  ASSERT_EQ(store.cellCount(), 4u);
  EXPECT_EQ(store.Find(5, 2)->number(), 4);
  EXPECT_EQ(store.Find(5, 0)->number(), 6);
  EXPECT_EQ(store.Find(1, 7)->number(), 3);
  EXPECT_EQ(store.Find(5, 1), nullptr);
  EXPECT_EQ(store.lastRow(), 6u);
  EXPECT_EQ(store.lastCol(), 8u);
  std::vector<std::pair<uint32_t, uint16_t>> order;
  store.ForEach([&](uint32_t r, const reader::StoredCell& c) { order.push_back({r, c.col}); });
  EXPECT_EQ(order, (std::vector<std::pair<uint32_t, uint16_t>>{{1, 7}, {5, 0}, {5, 2}, {5, 3}}));
}

TEST(CellStore, FindWorksInEveryAccessOrderAcrossChunks) {
  reader::CellStore store;
  {
    reader::SheetBuilder b(store);
    for (uint32_t r = 0; r < 3000; r += 3)
      for (uint32_t c = 0; c < 40; c += (r % 2) + 1) b.AddNumber(r, c, 0, r * 100.0 + c);
  }
  for (int pass = 0; pass < 2; ++pass) {
    for (uint32_t i = 0; i < 3000 * 40; ++i) {
      // pass 0: row-major walk; pass 1: a scattered walk
      uint32_t k = pass == 0 ? i : (i * 7919u) % (3000 * 40);
      uint32_t r = k / 40, c = k % 40;
      const reader::StoredCell* cell = store.Find(r, c);
      bool present = r % 3 == 0 && (r % 2 == 0 || c % 2 == 0);
      ASSERT_EQ(cell != nullptr, present) << r << "," << c;
      if (cell) {
        ASSERT_EQ(cell->number(), r * 100.0 + c);
      }
    }
  }
}

TEST(NumFormat, BuiltinDateIdentifiers) {
  for (int id = 0; id < 164; ++id) {
    bool expected =
        (id >= 14 && id <= 22) || (id >= 27 && id <= 36) || (id >= 45 && id <= 47) || (id >= 50 && id <= 58);
    EXPECT_EQ(reader::IsBuiltinDateFormat(id), expected) << id;
  }
}

TEST(NumFormat, DateLettersOutsideQuotesEscapesAndBrackets) {
  EXPECT_TRUE(reader::IsDateFormatText("yyyy-mm-dd"));
  EXPECT_TRUE(reader::IsDateFormatText("[$-409]d-mmm-yy;@"));
  EXPECT_TRUE(reader::IsDateFormatText("hh:mm"));
  EXPECT_TRUE(reader::IsDateFormatText("[h]:mm:ss"));
  EXPECT_TRUE(reader::IsDateFormatText("[MM]"));
  EXPECT_TRUE(reader::IsDateFormatText("[ss].00"));
  EXPECT_FALSE(reader::IsDateFormatText("0.00"));
  EXPECT_FALSE(reader::IsDateFormatText("#,##0 \"days\""));
  EXPECT_FALSE(reader::IsDateFormatText("0\\d"));
  EXPECT_FALSE(reader::IsDateFormatText("[Red]0.00;[Blue]-0.00"));
  EXPECT_FALSE(reader::IsDateFormatText("General"));
  EXPECT_FALSE(reader::IsDateFormatText("_(* #,##0.00_);_(* \\(#,##0.00\\)"));
  EXPECT_FALSE(reader::IsDateFormatText("0.00E+00"));
  EXPECT_FALSE(reader::IsDateFormatText("@"));
}

TEST(NumFormat, TheWorkbooksTextDecidesDatesAndIsReportedFrom50Up) {
  reader::NumFormatTable t;
  t.Define(0, "Standard");    // General under another name: never a date
  t.Define(3, "yyyy-mm-dd");  // a built-in number id redefined as a date
  t.Define(7, "$#,##0.00");   // Excel's locale currency format
  t.Define(22, "0.00");       // a built-in date id redefined as a number
  t.Define(50, "0");          // Gnumeric's numbering from 50
  t.Define(51, "0.00");
  t.Define(163, "YYYY\\-MM\\-DD");  // .NET writers
  t.Define(164, "0.000");
  t.Define(165, "dd/mm/yyyy");
  struct Case {
    int id;
    bool date;
    const char* custom;  // null: the built-in road
  } cases[] = {
      {0, false, nullptr},           {3, true, nullptr},    {7, false, nullptr},       {14, true, nullptr},
      {22, false, nullptr},          {50, false, "0"},      {51, false, "0.00"},       {52, true, nullptr},
      {163, true, "YYYY\\-MM\\-DD"}, {164, false, "0.000"}, {165, true, "dd/mm/yyyy"}, {166, false, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.id);
    EXPECT_EQ(t.IsDate(c.id), c.date);
    const std::string* text = t.CustomText(c.id);
    if (c.custom) {
      ASSERT_NE(text, nullptr);
      EXPECT_EQ(*text, c.custom);
    } else {
      EXPECT_EQ(text, nullptr);
    }
  }
}

reader::DateParts Unpack(double v, bool d1904 = false) {
  reader::DateParts p;
  EXPECT_TRUE(reader::UnpackDateSerial(v, d1904, &p)) << v;
  return p;
}

void ExpectDate(const reader::DateParts& p, int y, int mo, int d, int h = 0, int mi = 0, int s = 0,
                int ms = 0) {
  EXPECT_EQ(p.year, y);
  EXPECT_EQ(p.month, mo);
  EXPECT_EQ(p.day, d);
  EXPECT_EQ(p.hour, h);
  EXPECT_EQ(p.minute, mi);
  EXPECT_EQ(p.second, s);
  EXPECT_EQ(p.millisecond, ms);
}

TEST(DateSerial, The1900SystemWithItsFictitiousLeapDay) {
  ExpectDate(Unpack(0), 1900, 1, 0);
  ExpectDate(Unpack(0.5), 1900, 1, 0, 12);
  ExpectDate(Unpack(1), 1900, 1, 1);
  ExpectDate(Unpack(59), 1900, 2, 28);
  ExpectDate(Unpack(60), 1900, 2, 29);
  ExpectDate(Unpack(61), 1900, 3, 1);
  ExpectDate(Unpack(45356), 2024, 3, 5);
  ExpectDate(Unpack(2958465), 9999, 12, 31);
}

TEST(DateSerial, The1904System) {
  ExpectDate(Unpack(0, true), 1904, 1, 1);
  ExpectDate(Unpack(45356 - 1462, true), 2024, 3, 5);
}

TEST(DateSerial, RoundsToTheMillisecondBeforeSplitting) {
  // 13:07:09 stored with binary error just below the second.
  double t = 45356 + (13 * 3600 + 7 * 60 + 9) / 86400.0;
  ExpectDate(Unpack(std::nextafter(t, 0.0)), 2024, 3, 5, 13, 7, 9);
  ExpectDate(Unpack(45356 + 0.9999999999), 2024, 3, 6);
  ExpectDate(Unpack(1.5 + 0.25 / 86400), 1900, 1, 1, 12, 0, 0, 250);
}

TEST(DateSerial, ValuesThatAreNoDate) {
  reader::DateParts p;
  EXPECT_FALSE(reader::UnpackDateSerial(-1, false, &p));
  EXPECT_FALSE(reader::UnpackDateSerial(2958466, false, &p));
  EXPECT_FALSE(reader::UnpackDateSerial(2958465.999999999, false, &p));  // rounds into year 10000
  EXPECT_FALSE(reader::UnpackDateSerial(2958465 - 1462 + 1, true, &p));
  EXPECT_FALSE(reader::UnpackDateSerial(NAN, false, &p));
  EXPECT_FALSE(reader::UnpackDateSerial(INFINITY, false, &p));
  EXPECT_EQ(p.year, 0);
}

TEST(DateSerial, PackIsTheInverseOfUnpack) {
  for (bool d1904 : {false, true}) {
    for (double serial : {1.0, 59.0, 60.0, 61.0, 45356.5, 2958465.0}) {
      if (d1904 && (serial == 60.0 || serial > 2958465 - 1462)) continue;
      reader::DateParts p = Unpack(serial, d1904);
      double back = -1;
      ASSERT_TRUE(reader::PackDateSerial(p, d1904, &back));
      EXPECT_DOUBLE_EQ(back, serial) << d1904;
    }
  }
}

// Every day of both systems: a real calendar date, the day after the one
// before, and back to the same serial; times to the nearest millisecond.
TEST(DateSerial, EveryDayAndTimesToTheMillisecond) {
  for (bool d1904 : {false, true}) {
    const int last = d1904 ? 2958465 - 1462 : 2958465;
    reader::DateParts before;
    for (int serial = d1904 ? 0 : 61; serial <= last; ++serial) {
      reader::DateParts p = Unpack(serial, d1904);
      ASSERT_TRUE(p.month >= 1 && p.month <= 12 && p.day >= 1 && p.day <= 31) << serial;
      if (serial > (d1904 ? 0 : 61)) {
        const bool nextDay = p.year == before.year && p.month == before.month && p.day == before.day + 1;
        const bool nextMonth = p.year == before.year && p.month == before.month + 1 && p.day == 1;
        const bool nextYear = p.year == before.year + 1 && p.month == 1 && p.day == 1 && before.month == 12;
        ASSERT_TRUE(nextDay || nextMonth || nextYear) << serial << " " << d1904;
      }
      double back = -1;
      ASSERT_TRUE(reader::PackDateSerial(p, d1904, &back));
      ASSERT_EQ(back, serial) << d1904;
      before = p;
    }
    ExpectDate(Unpack(last, d1904), 9999, 12, 31);
  }
  std::mt19937_64 rng(5);
  for (int i = 0; i < 200000; ++i) {
    double serial = static_cast<double>(rng() % 2958465) + static_cast<double>(rng() % 86400000) / 86400000.0;
    if (i % 3 == 0) serial = std::nextafter(serial, i % 2 ? 0.0 : 1e7);
    const int64_t ms = std::llround(serial * 86400000.0);
    if (ms / 86400000 > 2958465) continue;
    reader::DateParts p = Unpack(serial);
    const int64_t msOfDay = ms % 86400000;
    ASSERT_EQ(p.hour * 3600000 + p.minute * 60000 + p.second * 1000 + p.millisecond, msOfDay) << serial;
    ASSERT_EQ(Unpack(static_cast<double>(ms / 86400000)).day, p.day) << serial;
  }
}

TEST(ReaderInterface, FormatsAndDatesOfCells) {
  MemoryBook mb;
  uint32_t date = mb.Style(14);
  uint32_t custom = mb.Style(170);
  mb.Format(170, "0.0");
  XlSheet* s = mb.Sheet("Data");
  mb.Number(s, 0, 0, 45356, date);
  mb.Number(s, 0, 1, 2.5, custom);
  mb.String(s, 0, 2, "text");
  mb.Boolean(s, 0, 3, true);
  mb.Finish();
  XlBook* b = mb.book();
  EXPECT_EQ(xlBookSheetCountA(b), 1);
  EXPECT_STREQ(xlSheetNameA(xlBookGetSheetA(b, 0)), "Data");
  EXPECT_EQ(xlBookGetSheetA(b, 1), nullptr);
  EXPECT_TRUE(xlSheetIsDateA(s, 0, 0));
  EXPECT_FALSE(xlSheetIsDateA(s, 0, 1));
  EXPECT_EQ(xlFormatNumFormatA(xlSheetCellFormatA(s, 0, 1)), 170);
  EXPECT_STREQ(xlBookCustomNumFormatA(b, 170), "0.0");
  EXPECT_EQ(xlBookCustomNumFormatA(b, 14), nullptr);
  EXPECT_EQ(xlSheetReadNumA(s, 0, 1, nullptr), 2.5);
  EXPECT_STREQ(xlSheetReadStrA(s, 0, 2, nullptr), "text");
  EXPECT_EQ(xlSheetReadStrA(s, 0, 1, nullptr), nullptr);
  EXPECT_EQ(xlSheetReadBoolA(s, 0, 3, nullptr), 1);
  EXPECT_EQ(xlSheetErrorMessageA(s), nullptr);
  // A cell without a style, and a style index beyond the table, use style 0.
  EXPECT_EQ(xlFormatNumFormatA(xlSheetCellFormatA(s, 9, 9)), 0);
}

TEST(ReaderInterface, LoadFailuresNameTheProblem) {
  testing_support::ScratchDir dir;
  BookHandle b = xlCreateXMLBookCA();
  EXPECT_EQ(xlBookLoadA(b, dir.File("missing.xlsx").c_str()), 0);
  EXPECT_NE(std::string(xlBookErrorMessageA(b)).find("cannot open"), std::string::npos);
  testing_support::WriteFile(dir.File("empty.xlsx"), "");
  EXPECT_EQ(xlBookLoadA(b, dir.File("empty.xlsx").c_str()), 0);
  EXPECT_STREQ(xlBookErrorMessageA(b), "the file is empty");
  testing_support::WriteFile(dir.File("text.xls"), "just some text, no workbook");
  EXPECT_EQ(xlBookLoadA(b, dir.File("text.xls").c_str()), 0);
  EXPECT_EQ(xlBookSheetCountA(b), 0);
  xlBookReleaseA(b);
}

}  // namespace
