// The wizard pages' window-free logic: delimiter list entries, the
// selected-sheet list, the help file's path, folders from the chooser and
// the result line.
#include "program/wizard/page_choices.h"

#include <gtest/gtest.h>

namespace {

TEST(PageChoices, DelimiterWordsSelectTheirEntries) {
  EXPECT_EQ(FieldWordIndex(","), 0);
  EXPECT_EQ(FieldWordIndex(";"), 1);
  EXPECT_EQ(FieldWordIndex("tab"), 2);
  EXPECT_EQ(FieldWordIndex("None"), 3);
  EXPECT_EQ(FieldWordIndex("Pipe"), 4);
  EXPECT_EQ(FieldWordIndex("#"), -1);  // added as an entry of its own
  EXPECT_EQ(FieldWordIndex(""), -1);
  EXPECT_EQ(RecordWordIndex("CRLF"), 0);
  EXPECT_EQ(RecordWordIndex("cr"), 1);
  EXPECT_EQ(RecordWordIndex("lf"), 2);
  EXPECT_EQ(RecordWordIndex("none"), 3);
  EXPECT_EQ(RecordWordIndex("|"), -1);
  EXPECT_EQ(RecordWordIndex("CRL"), -1);
}

TEST(PageChoices, SelectedSheetsInListOrderUpperCased) {
  // The list box is sorted: Data, Sheet1, Summary.
  EXPECT_EQ(SelectedSheetNames({"Data", "Sheet1", "Summary"}),
            (std::vector<std::string>{"DATA", "SHEET1", "SUMMARY"}));
  // Only ASCII letters change case; other characters stay as they are.
  EXPECT_EQ(SelectedSheetNames({"Größe;1", "été"}), (std::vector<std::string>{"GRößE;1", "éTé"}));
  EXPECT_TRUE(SelectedSheetNames({}).empty());
}

TEST(PageChoices, HelpFileBesideTheProgram) {
  EXPECT_EQ(HelpFilePath("C:\\Program Files\\tabrevo\\tabrevo.exe"),
            "C:\\Program Files\\tabrevo\\wizards.chm");
  EXPECT_EQ(HelpFilePath("C:/tools/tabrevo.exe"), "C:/tools\\wizards.chm");
  EXPECT_EQ(HelpFilePath("tabrevo.exe"), "wizards.chm");
  EXPECT_EQ(HelpFilePath(""), "wizards.chm");
  // No length limit: a long program path still finds its help file.
  const std::string deep = "C:\\" + std::string(300, 'd') + "\\tabrevo.exe";
  EXPECT_EQ(HelpFilePath(deep), "C:\\" + std::string(300, 'd') + "\\wizards.chm");
}

TEST(PageChoices, ChosenFolderLosesOneTrailingBackslash) {
  EXPECT_EQ(FolderWithoutTrailingSeparator("C:\\"), "C:");
  EXPECT_EQ(FolderWithoutTrailingSeparator("C:\\out"), "C:\\out");
  EXPECT_EQ(FolderWithoutTrailingSeparator("\\\\server\\share\\"), "\\\\server\\share");
  EXPECT_EQ(FolderWithoutTrailingSeparator(""), "");
}

TEST(PageChoices, ResultLineCountsAllSheets) {
  EXPECT_EQ(RecordsLine(120), "120 records have been imported.");
  EXPECT_EQ(RecordsLine(5000000000LL), "5000000000 records have been imported.");
}

}  // namespace
