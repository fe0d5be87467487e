// The progress displays' texts: the wizard's time text and the Linux line.
#include "program/progress_text.h"

#include <gtest/gtest.h>

namespace {

TEST(TimeEstimate, ElapsedAndTotalTimeOfTheSheet) {
  std::time_t last = 0;
  std::string text = "...";
  ASSERT_TRUE(TimeEstimateText(0, 30, 10, 40, &last, &text));
  EXPECT_EQ(text, "Elapsed time:\t00:00:30\nEstimated time:\t00:02:00");
  EXPECT_EQ(last, 30);
  // Hours and minutes are split off the seconds.
  ASSERT_TRUE(TimeEstimateText(100, 100 + 3723, 1, 2, &last, &text));
  EXPECT_EQ(text, "Elapsed time:\t01:02:03\nEstimated time:\t02:04:06");
}

TEST(TimeEstimate, TextStaysWhenTooSoonOrInTheSameSecond) {
  std::time_t last = 0;
  std::string text = "...";
  EXPECT_FALSE(TimeEstimateText(1000, 1005, 0, 40, &last, &text));  // first row
  EXPECT_EQ(last, 0);                                               // not accepted
  EXPECT_FALSE(TimeEstimateText(1000, 1001, 5, 40, &last, &text));  // under two seconds
  EXPECT_EQ(last, 1001);                                            // but accepted
  EXPECT_FALSE(TimeEstimateText(1000, 1001, 6, 40, &last, &text));  // same second again
  EXPECT_FALSE(TimeEstimateText(1005, 1004, 6, 40, &last, &text));  // clock went back
  EXPECT_EQ(text, "...");
  EXPECT_TRUE(TimeEstimateText(1000, 1002, 8, 40, &last, &text));
  EXPECT_EQ(text, "Elapsed time:\t00:00:02\nEstimated time:\t00:00:10");
}

TEST(ProgressLine, NamesSheetRowsAndTimes) {
  EXPECT_EQ(GroupedNumber(0), "0");
  EXPECT_EQ(GroupedNumber(999), "999");
  EXPECT_EQ(GroupedNumber(1000), "1,000");
  EXPECT_EQ(GroupedNumber(1234567), "1,234,567");
  EXPECT_EQ(ClockText(360000), "100:00:00");

  EXPECT_EQ(ProgressLineText("book.xlsx", "Data", 0, 100000, 0.0, 200),
            "tabrevo: book.xlsx [Data] 0 of 100,000 rows, 00:00:00");
  EXPECT_EQ(ProgressLineText("book.xlsx", "Data", 25000, 100000, 3.2, 200),
            "tabrevo: book.xlsx [Data] 25,000 of 100,000 rows, 00:00:03 of about 00:00:13");
}

TEST(ProgressLine, CutToTheTerminalWithoutSplittingCharacters) {
  // "Übersicht" holds a two-byte character; the cut counts characters.
  std::string full = ProgressLineText("b.xls",
                                      "\xC3\x9C"
                                      "bersicht",
                                      1, 2, 1.0, 200);
  std::string cut = ProgressLineText("b.xls",
                                     "\xC3\x9C"
                                     "bersicht",
                                     1, 2, 1.0, 17);
  EXPECT_EQ(cut, "tabrevo: b.xls [\xC3\x9C");
  EXPECT_EQ(full.compare(0, cut.size(), cut), 0);
  EXPECT_EQ(ProgressLineText("b.xls", "S", 1, 2, 1.0, 16), "tabrevo: b.xls [");
  // Control characters of a hostile sheet name do not reach the terminal.
  EXPECT_EQ(ProgressLineText("b\n.xls", "\x1b]0;x\a", 0, 1, 0.0, 200),
            "tabrevo: b?.xls [?]0;x?] 0 of 1 rows, 00:00:00");
}

}  // namespace
