// The opt-in output options in the wizard: SHEETS= selects the sheets of
// the source page at the start, UTF8 shows as none of the three code-page
// buttons, and the command-line summary writes UTF8, BOM, ERRORS=TEXT and
// the sheet selection when fewer than all sheets are chosen, so that it
// repeats the run byte for byte.
#ifdef _WIN32
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>

#include "gui_harness.h"
#include "wizard_driver.h"

namespace fs = std::filesystem;
using gui_test::Num;
using gui_test::Str;
using wizard_driver::Button;
using wizard_driver::Wizard;
namespace page = wizard_driver;
namespace ctl = wizard_driver::control;

namespace {

// Sheets Data (Cyrillic, Greek and Chinese text), Notes and Total.
std::string WriteBook(const gui_test::ProgramFolder& dir) {
  std::string book = dir.Folder("books") + "\\scripts.xlsx";
  gui_test::WriteWorkbook(book, {{"Data", {{Str("Привет"), Str("Καλημέρα"), Str("你好"), Num(1)}}},
                                 {"Notes", {{Str("note")}}},
                                 {"Total", {{Num(2)}}}});
  return book;
}

class OptionsInTheWizard : public testing::Test {
 protected:
  // Through the wizard from the start to the completion page: the source,
  // then `onSourcePage` and `onOptionsPage` on their pages, the folder
  // `out`; returns the summary, the wizard cancelled on the completion page.
  std::string Walk(const std::vector<std::string>& keywords, const std::string& book, const std::string& out,
                   const std::function<void(Wizard&)>& onSourcePage,
                   const std::function<void(Wizard&)>& onOptionsPage) {
    Wizard wizard;
    std::vector<std::string> arguments = {"/OPEN=0"};
    arguments.insert(arguments.end(), keywords.begin(), keywords.end());
    std::string summary;
    EXPECT_TRUE(wizard.Start(dir_.program(), arguments, dir_.File(""))) << wizard.error();
    EXPECT_TRUE(wizard.WaitForPage(page::kWelcomePage)) << wizard.error();
    EXPECT_TRUE(wizard.Press(Button::Next));
    EXPECT_TRUE(wizard.WaitForPage(page::kSourcePage)) << wizard.error();
    EXPECT_TRUE(wizard.SetText(ctl::kSourceBox, book)) << wizard.error();
    EXPECT_TRUE(wizard_driver::WaitUntil([&] { return wizard.Entries(ctl::kSheetList).size() == 3; }, 20000));
    onSourcePage(wizard);
    EXPECT_TRUE(wizard.WaitForButton(Button::Next, true)) << wizard.error();
    EXPECT_TRUE(wizard.Press(Button::Next));
    EXPECT_TRUE(wizard.WaitForPage(page::kOptionsPage)) << wizard.error();
    EXPECT_TRUE(wizard.SetText(ctl::kFolderBox, out)) << wizard.error();
    onOptionsPage(wizard);
    EXPECT_TRUE(wizard.WaitForButton(Button::Next, true)) << wizard.error();
    EXPECT_TRUE(wizard.Press(Button::Next));
    EXPECT_TRUE(wizard.WaitForPage(page::kCompletionPage, 60000)) << wizard.error();
    EXPECT_TRUE(wizard.ReadSummary(&summary)) << wizard.error();
    EXPECT_TRUE(wizard.Press(Button::Cancel));
    EXPECT_TRUE(wizard.WaitForExit()) << wizard.error();
    return summary;
  }

  // Runs the summary as the program's command line into the emptied folder
  // `out` and expects the same files again.
  void ExpectSummaryRepeatsTheRun(const std::string& summary, const std::string& out) {
    const std::map<std::string, std::string> converted = gui_test::FolderFiles(out);
    for (const auto& [name, bytes] : converted) fs::remove(out + "\\" + name);
    std::string tail = summary;
    for (char& c : tail)
      if (c == '\n') c = ' ';
    Wizard rerun;
    ASSERT_TRUE(rerun.StartWithCommandTail(dir_.program(), tail, dir_.File(""))) << rerun.error();
    ASSERT_TRUE(rerun.WaitForExit(60000)) << "the summary run did not end: " << rerun.error();
    EXPECT_EQ(gui_test::FolderFiles(out), converted)
        << "the summary did not repeat the conversion: " << summary;
  }

  gui_test::CleanRegistry registry_;
  gui_test::ProgramFolder dir_;
};

TEST_F(OptionsInTheWizard, KeywordsOfTheStartShownAndRepeated) {
  const std::string book = WriteBook(dir_);
  const std::string out = dir_.Folder("out");
  const std::string summary = Walk(
      {"/UTF8", "/BOM", "/ERRORS=TEXT", "/SHEETS=notes;DATA"}, book, out,
      [](Wizard& w) {
        // The named sheets are the ones selected, in the list's order.
        EXPECT_EQ(w.ListSelection(ctl::kSheetList), (std::vector<int>{0, 1}));
      },
      [](Wizard& w) {
        // UTF8 is none of the page's three code pages.
        EXPECT_FALSE(w.IsChecked(ctl::kAsIs));
        EXPECT_FALSE(w.IsChecked(ctl::kAnsi));
        EXPECT_FALSE(w.IsChecked(ctl::kOem));
      });
  const std::map<std::string, std::string> files = gui_test::FolderFiles(out);
  ASSERT_EQ(files.size(), 2u);
  EXPECT_EQ(files.at("DATA.csv"), "\xEF\xBB\xBF\"Привет\",\"Καλημέρα\",\"你好\",1.000000,\r\n");
  EXPECT_EQ(files.at("NOTES.csv"), "\xEF\xBB\xBF\"note\",\r\n");
  for (const char* piece : {" /SHEETS=Data;Notes ", " /UTF8 /BOM ", " /ERRORS=TEXT "})
    EXPECT_NE(summary.find(piece), std::string::npos) << piece << " in " << summary;
  EXPECT_EQ(summary.find("/ASIS"), std::string::npos) << summary;
  ExpectSummaryRepeatsTheRun(summary, out);
}

// Sheets left out by hand and a code page button chosen: the summary names
// the chosen sheets and that code page.
TEST_F(OptionsInTheWizard, SheetsLeftOutByHand) {
  const std::string book = WriteBook(dir_);
  const std::string out = dir_.Folder("out");
  const std::string summary = Walk(
      {"/UTF8"}, book, out,
      [](Wizard& w) {
        EXPECT_EQ(w.ListSelection(ctl::kSheetList), (std::vector<int>{0, 1, 2}));
        EXPECT_TRUE(w.SelectListEntry(ctl::kSheetList, 0, false)) << w.error();
      },
      [](Wizard& w) {
        EXPECT_TRUE(w.ChooseRadio(ctl::kAnsi, {ctl::kAsIs, ctl::kAnsi, ctl::kOem})) << w.error();
      });
  const std::map<std::string, std::string> files = gui_test::FolderFiles(out);
  ASSERT_EQ(files.size(), 2u);
  EXPECT_EQ(files.at("TOTAL.csv"), "2.000000,\r\n");
  EXPECT_NE(summary.find(" /SHEETS=Notes;Total "), std::string::npos) << summary;
  EXPECT_NE(summary.find(" /ANSI "), std::string::npos) << summary;
  EXPECT_EQ(summary.find("/UTF8"), std::string::npos) << summary;
  ExpectSummaryRepeatsTheRun(summary, out);
}

}  // namespace

#endif
