// A workbook's own definition of the General format, or of an empty format,
// is the built-in General.
#include <gtest/gtest.h>

#include <string>

#include "engine/reader.h"
#include "tests/support/test_support.h"

namespace {

TEST(CustomNumFormat, GeneralDefinedByTheWorkbookIsNoPattern) {
  testing_support::MemoryBook mb;
  mb.Format(164, "General");
  mb.Format(165, "GENERAL");
  mb.Format(166, "0.0");
  mb.Format(167, "General;-General");
  XlBook* book = mb.book();
  EXPECT_EQ(xlBookCustomNumFormatA(book, 164), nullptr);
  EXPECT_EQ(xlBookCustomNumFormatA(book, 165), nullptr);
  ASSERT_NE(xlBookCustomNumFormatA(book, 166), nullptr);
  EXPECT_EQ(std::string(xlBookCustomNumFormatA(book, 166)), "0.0");
  // Anything more than the one word is a pattern of its own.
  ASSERT_NE(xlBookCustomNumFormatA(book, 167), nullptr);
  EXPECT_EQ(std::string(xlBookCustomNumFormatA(book, 167)), "General;-General");
  EXPECT_EQ(xlBookCustomNumFormatA(book, 164), nullptr);  // asked again
}

TEST(CustomNumFormat, AnEmptyTextIsGeneralToo) {
  // Some writers define a format with no text at all; as a pattern it would
  // give a width of 0 and cut every number to an integer.
  testing_support::MemoryBook mb;
  mb.Format(160, "");
  mb.Format(168, "");
  XlBook* book = mb.book();
  EXPECT_EQ(xlBookCustomNumFormatA(book, 160), nullptr);
  EXPECT_EQ(xlBookCustomNumFormatA(book, 168), nullptr);
}

}  // namespace
