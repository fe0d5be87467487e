// Defaults and the delimiter words.
#include <gtest/gtest.h>

#include "engine/settings.h"

namespace {

TEST(Settings, DefaultsOfAValueInitialisedRecord) {
  ConverterSettings s{};
  SetDefaultSettings(s);
  EXPECT_EQ(s.fieldDelimiter, ",");
  EXPECT_EQ(s.recordDelimiter, "CRLF");
  EXPECT_EQ(s.escapeChar, "\"");
  EXPECT_EQ(s.overwrite, 1);
  EXPECT_EQ(s.quoteStrings, 1);
  EXPECT_EQ(s.quoteAll, 0);
  EXPECT_EQ(s.exportRecords, 1);
  EXPECT_EQ(s.openResult, 1);
  EXPECT_EQ(s.logEnabled, 0);
  EXPECT_EQ(s.codePage, 0);
  EXPECT_EQ(s.crlfMode, 0);
  EXPECT_TRUE(s.sourceFile.empty());
  EXPECT_EQ(s.recordCount, 0);
  ParseRecordDelimiter(s, s.recordDelimiter);
  EXPECT_EQ(s.recordDelimiter, "\r\n");
}

TEST(Settings, FieldDelimiterWords) {
  ConverterSettings s{};
  struct Case { const char* in; const char* out; } cases[] = {
      {"tab", "\t"}, {"TAB", "\t"}, {"tAb", "\t"}, {"pipe", "|"}, {"PIPE", "|"},
      {"none", ""},  {"", ""},      {";", ";"},    {",", ","},    {"TAB ", "TAB "},
      {"::", "::"},  {"\\t", "\\t"},
  };
  for (const Case& c : cases) {
    ParseFieldDelimiter(s, c.in);
    EXPECT_EQ(s.fieldDelimiter, c.out) << c.in;
  }
}

TEST(Settings, RecordDelimiterWords) {
  ConverterSettings s{};
  struct Case { const char* in; const char* out; } cases[] = {
      {"crlf", "\r\n"}, {"CR", "\r"}, {"cR", "\r"}, {"lf", "\n"}, {"None", ""},
      {"", ""},         {"0", "0"},   {"CRLF ", "CRLF "},
  };
  for (const Case& c : cases) {
    ParseRecordDelimiter(s, c.in);
    EXPECT_EQ(s.recordDelimiter, c.out) << c.in;
  }
}

TEST(Settings, OwnFieldAsTextAndTheCapacityLimit) {
  ConverterSettings s{};
  s.fieldDelimiter = "<>";
  ParseFieldDelimiter(s, s.fieldDelimiter);
  EXPECT_EQ(s.fieldDelimiter, "<>");
  s.fieldDelimiter = "TAB";
  ParseFieldDelimiter(s, s.fieldDelimiter);
  EXPECT_EQ(s.fieldDelimiter, "\t");
  std::string longText(40, 'x');
  ParseFieldDelimiter(s, longText);
  EXPECT_EQ(s.fieldDelimiter, std::string(31, 'x'));
  ParseRecordDelimiter(s, longText);
  EXPECT_EQ(s.recordDelimiter, std::string(31, 'x'));
}

TEST(Settings, AsciiHelpers) {
  EXPECT_EQ(UpperAscii("Daten \xC3\xA4z"), "DATEN \xC3\xA4Z");
  EXPECT_TRUE(EndsWithNoCase("Book.XLS", ".xls"));
  EXPECT_FALSE(EndsWithNoCase("xls", ".xls"));
  EXPECT_TRUE(StartsWithNoCase("fields=tab", "FIELDS="));
}

}  // namespace
