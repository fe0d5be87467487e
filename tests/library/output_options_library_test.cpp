// End-to-end: the output options through the built library's exports.
#include <gtest/gtest.h>

#include <string>

#include "loaded_library.h"
#include "tests/support/test_support.h"

using library_test::Convert;
using library_test::Loaded;
using testing_support::FileExists;
using testing_support::FixturePath;
using testing_support::ReadFile;
using testing_support::ScratchDir;

namespace {

// A name the workbook lacks fails it (result 3) while the named sheets that
// are there are written; with every name found the result is 0.
TEST(OutputOptionsLibrary, SheetSelection) {
  ASSERT_TRUE(Loaded().converter) << Loaded().error;
  ScratchDir out;
  const std::string book = FixturePath("engine/data_totals.xlsx");
  EXPECT_EQ(Convert({book, out.path(), "/SHEETS=Totals;Missing", "/LOG"}), 3);
  EXPECT_TRUE(FileExists(out.File("TOTALS.csv")));
  EXPECT_FALSE(FileExists(out.File("DATA.csv")));
  ScratchDir again;
  const std::string text = "app#" + book + "#" + again.path() + "#/SHEETS=data";
  EXPECT_EQ(Loaded().converterStr(0, text.c_str()), 0);
  EXPECT_TRUE(FileExists(again.File("DATA.csv")));
  EXPECT_FALSE(FileExists(again.File("TOTALS.csv")));
}

TEST(OutputOptionsLibrary, ErrorTextsAndUtf8WithByteOrderMark) {
  ASSERT_TRUE(Loaded().converter) << Loaded().error;
  ScratchDir out;
  EXPECT_EQ(Convert({FixturePath("options/errors.xls"), out.File("e.csv"), "/ERRORS=TEXT"}), 0);
  EXPECT_EQ(ReadFile(out.File("e.csv")).rfind("\"e1\",\"#NULL!\",1.000000,\r\n\"e2\",\"#DIV/0!\"", 0), 0u);
  EXPECT_EQ(
      Convert({FixturePath("options/scripts.xlsx"), out.File("t.csv"), "/UTF8", "/BOM", "/SHEETS=TEXT"}), 0);
  EXPECT_EQ(ReadFile(out.File("t.csv")),
            "\xEF\xBB\xBF\"Привет, мир\",\"Καλημέρα κόσμε\",\"你好世界\",\"日本語のテキスト\",\"Café\",\r\n");
}

}  // namespace
