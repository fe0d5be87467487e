// The real tabrevo.exe's wizard, started by the tests and driven from
// outside as a user would drive it: batch runs that pass the pages by
// themselves, interactive runs through every page, the options written back
// into the conversion, Cancel during a long conversion, and the command-line
// summary, which must repeat the wizard's conversion byte for byte.
#ifdef _WIN32
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <thread>

#include "gui_harness.h"
#include "wizard_driver.h"

namespace fs = std::filesystem;
using gui_test::CleanRegistry;
using gui_test::FolderFiles;
using gui_test::LogMessages;
using gui_test::Num;
using gui_test::ProgramFolder;
using gui_test::StatusWord;
using gui_test::Str;
using testing_support::FixturePath;
using testing_support::ReadFile;
using wizard_driver::Button;
using wizard_driver::Wizard;
namespace page = wizard_driver;
namespace ctl = wizard_driver::control;

namespace {

// The sample workbook's two sheets with the default options.
const char kOrders[] =
    "\"Order\",\"Customer\",\"Placed\",\"Shipped\",\"Quantity\",\"Price\",\"Paid\",\r\n"
    "1001.000000,\"Smith, Anna\",2024.03.05,2024.03.07 09:05:07,3.000000,19.95,1,\r\n"
    "1002.000000,\"The \"\"Corner\"\" Shop\",2024.03.06,,12.000000, 4.50,0,\r\n"
    "1003.000000,\"Nakamura\",2024.12.31,2025.01.02 16:30:00,1.000000,1250.00,1,\r\n";
const char kTotals[] = "\"Total\",1363.85,\r\n";

void Pause(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

class WizardGui : public testing::Test {
 protected:
  // The sample workbook, copied beside the program.
  std::string Book() {
    std::string path = dir_.File("book.xls");
    std::error_code ec;
    fs::copy_file(FixturePath("sample/sample.xls"), path, ec);
    EXPECT_FALSE(ec) << ec.message();
    return path;
  }

  void Start(const std::vector<std::string>& arguments) {
    ASSERT_TRUE(wizard_.Start(dir_.program(), arguments, dir_.File(""))) << wizard_.error();
  }

  // From the welcome page to the options page, naming `source` on the way.
  void ToOptionsPage(const std::string& source) {
    ASSERT_TRUE(wizard_.WaitForPage(page::kWelcomePage)) << wizard_.error();
    ASSERT_TRUE(wizard_.Press(Button::Next)) << wizard_.error();
    ASSERT_TRUE(wizard_.WaitForPage(page::kSourcePage)) << wizard_.error();
    ASSERT_TRUE(wizard_.SetText(ctl::kSourceBox, source)) << wizard_.error();
    ASSERT_TRUE(wizard_.WaitForButton(Button::Next, true)) << wizard_.error() << ": " << source;
    ASSERT_TRUE(wizard_.Press(Button::Next)) << wizard_.error();
    ASSERT_TRUE(wizard_.WaitForPage(page::kOptionsPage)) << wizard_.error();
  }

  // From the options page through the conversion to the completion page.
  void Convert(const std::string& folder) {
    ASSERT_TRUE(wizard_.SetText(ctl::kFolderBox, folder)) << wizard_.error();
    ASSERT_TRUE(wizard_.WaitForButton(Button::Next, true)) << wizard_.error();
    ASSERT_TRUE(wizard_.Press(Button::Next)) << wizard_.error();
    ASSERT_TRUE(wizard_.WaitForPage(page::kCompletionPage, 60000)) << wizard_.error();
  }

  CleanRegistry registry_;
  ProgramFolder dir_;
  Wizard wizard_;
};

TEST_F(WizardGui, BatchRunPassesEveryPageByItself) {
  std::string book = Book();
  std::string out = dir_.Folder("out");
  std::string status = dir_.File("status.ini");
  size_t logBefore = gui_test::ActivityLog().size();
  Start({book, out, "/BATCH", "/LOG", "/OPEN=0", "/STATUS=" + status});

  gui_test::StatusWatch watch(status);
  ASSERT_TRUE(watch.RunUntilExit(wizard_, 60000))
      << "the batch run did not finish; the wizard shows \"" << wizard_.Caption() << "\"";

  EXPECT_EQ(ReadFile(out + "\\ORDERS.csv"), kOrders);
  EXPECT_EQ(ReadFile(out + "\\TOTALS.csv"), kTotals);

  // Every word seen came in the wizard's order, and the run ended well.
  // (A fast run may pass a word between two looks at the file.)
  const std::vector<std::string> order = {"Welcome dialog", "Source file selection", "Output file selection",
                                          "Conversion In Progress", "Successful"};
  std::string seen;
  for (const std::string& w : watch.words()) seen += "[" + w + "]";
  size_t next = 0;
  for (const std::string& word : watch.words()) {
    auto at = std::find(order.begin() + static_cast<long>(next), order.end(), word);
    ASSERT_NE(at, order.end()) << "status words out of order: " << seen;
    next = static_cast<size_t>(at - order.begin());
  }
  ASSERT_FALSE(watch.words().empty());
  EXPECT_EQ(watch.words().back(), "Successful") << seen;

  // One Start line naming the workbook, then the Stop line with the count.
  // (Other suites may write to the same log meanwhile: the lines are found by
  // their text.)
  std::string log = gui_test::ActivityLog();
  std::vector<std::string> messages = LogMessages(log.size() > logBefore ? log.substr(logBefore) : "");
  std::string added;
  for (const std::string& m : messages) added += "[" + m + "]";
  auto start = std::find_if(messages.begin(), messages.end(),
                            [&](const std::string& m) { return m.rfind("Start. " + book, 0) == 0; });
  ASSERT_NE(start, messages.end()) << added;
  EXPECT_EQ(std::count_if(messages.begin(), messages.end(),
                          [&](const std::string& m) { return m.rfind("Start. " + book, 0) == 0; }),
            1)
      << added;
  EXPECT_NE(std::find(start, messages.end(), "Stop. 5 records have been imported."), messages.end()) << added;

  EXPECT_EQ(CleanRegistry::Value("LastXLSFile"), book);
  EXPECT_EQ(CleanRegistry::Value("XLSfiles0"), book);
  EXPECT_EQ(CleanRegistry::Value("XLSfiles1"), "");  // the rest of the list exists, empty
  EXPECT_EQ(CleanRegistry::Value("LastCSVDirs"), out);
  EXPECT_EQ(CleanRegistry::Value("CSVdirs0"), out);
}

TEST_F(WizardGui, BatchWithWaitStopsOnTheCompletionPageAndSavesOnFinish) {
  std::string out = dir_.Folder("out");
  Start({Book(), out, "/BATCH", "/WAIT"});
  ASSERT_TRUE(wizard_.WaitForPage(page::kCompletionPage, 60000)) << wizard_.error();
  EXPECT_EQ(wizard_.Caption(), "Brackenfield Wizard | Conversion complete");
  EXPECT_EQ(wizard_.Text(ctl::kResultLine), "5 records have been imported.");
  EXPECT_TRUE(wizard_.WaitForButton(Button::Finish, true)) << wizard_.error();
  EXPECT_FALSE(wizard_.ButtonEnabled(Button::Back));
  Pause(1000);
  ASSERT_TRUE(wizard_.Running()) << "the wizard finished by itself despite WAIT";
  EXPECT_EQ(wizard_.CurrentPage(), page::kCompletionPage);

  // "Save new settings" stores the "Open new file" box as it was left.
  EXPECT_TRUE(wizard_.IsChecked(ctl::kOpenFile));
  EXPECT_FALSE(wizard_.IsChecked(ctl::kSaveSettings));
  ASSERT_TRUE(wizard_.SetChecked(ctl::kOpenFile, false)) << wizard_.error();
  ASSERT_TRUE(wizard_.SetChecked(ctl::kSaveSettings, true)) << wizard_.error();
  ASSERT_TRUE(wizard_.Press(Button::Finish)) << wizard_.error();
  ASSERT_TRUE(wizard_.WaitForExit()) << wizard_.error();
  std::string ini = ReadFile(dir_.IniPath());
  EXPECT_NE(ini.find("[Common]"), std::string::npos) << ini;
  EXPECT_NE(ini.find("Log=0"), std::string::npos) << ini;
  EXPECT_NE(ini.find("OverWrite=1"), std::string::npos) << ini;
  EXPECT_NE(ini.find("Open=0"), std::string::npos) << ini;
}

TEST_F(WizardGui, BatchWithoutFolderWaitsOnTheOptionsPageThenForTheUser) {
  std::string status = dir_.File("status.ini");
  Start({Book(), "/BATCH", "/OPEN=0", "/STATUS=" + status});
  ASSERT_TRUE(wizard_.WaitForPage(page::kOptionsPage)) << wizard_.error();
  Pause(1000);
  EXPECT_EQ(wizard_.CurrentPage(), page::kOptionsPage) << "a refused Next let the wizard move on";
  EXPECT_EQ(wizard_.Text(ctl::kFolderBox), "");
  EXPECT_EQ(StatusWord(status), "Output file selection");

  // Once the user gives a folder and goes on, nothing presses for them.
  std::string out = dir_.Folder("out");
  Convert(out);
  Pause(1000);
  EXPECT_TRUE(wizard_.Running()) << "the completion page finished by itself after a refused Next";
  EXPECT_EQ(ReadFile(out + "\\TOTALS.csv"), kTotals);
  EXPECT_EQ(StatusWord(status), "Successful");
}

TEST_F(WizardGui, BatchWithTheRememberedWorkbookPassesEveryPage) {
  std::string book = Book();
  CleanRegistry::Set("LastXLSFile", book);
  std::string out = dir_.Folder("out");
  Start({out, "/BATCH", "/OPEN=0"});
  ASSERT_TRUE(wizard_.WaitForExit(60000)) << "the batch run stopped: " << wizard_.error();
  EXPECT_EQ(ReadFile(out + "\\ORDERS.csv"), kOrders);
  EXPECT_EQ(ReadFile(out + "\\TOTALS.csv"), kTotals);
}

TEST_F(WizardGui, CancelOnTheSourcePageLeavesItsStatusWord) {
  std::string status = dir_.File("status.ini");
  Start({"/STATUS=" + status});
  ASSERT_TRUE(wizard_.WaitForPage(page::kWelcomePage)) << wizard_.error();
  ASSERT_TRUE(wizard_.Press(Button::Next));
  ASSERT_TRUE(wizard_.WaitForPage(page::kSourcePage)) << wizard_.error();
  ASSERT_TRUE(wizard_.Press(Button::Cancel));
  ASSERT_TRUE(wizard_.WaitForExit()) << wizard_.error();
  EXPECT_EQ(StatusWord(status), "Source file selection");
  EXPECT_EQ(CleanRegistry::Value("LastXLSFile"), "<missing>");  // nothing recorded for a page not left
}

TEST_F(WizardGui, InteractiveRunThroughEveryPage) {
  std::string book = Book();
  std::string status = dir_.File("status.ini");
  Start({"/STATUS=" + status, "/OPEN=0"});

  ASSERT_TRUE(wizard_.WaitForPage(page::kWelcomePage)) << wizard_.error();
  EXPECT_EQ(wizard_.Caption(), "Brackenfield Wizard");
  EXPECT_EQ(wizard_.Text(ctl::kVersion), "1.20");
  EXPECT_EQ(wizard_.Text(ctl::kTitle), "Welcome to Brackenfield Wizard");
  EXPECT_EQ(StatusWord(status), "Welcome dialog");
  EXPECT_TRUE(wizard_.WaitForButton(Button::Next, true)) << wizard_.error();
  EXPECT_FALSE(wizard_.ButtonEnabled(Button::Back));

  ASSERT_TRUE(wizard_.Press(Button::Next));
  ASSERT_TRUE(wizard_.WaitForPage(page::kSourcePage)) << wizard_.error();
  EXPECT_EQ(wizard_.Caption(), "Brackenfield Wizard | Select XLS file");
  EXPECT_EQ(StatusWord(status), "Source file selection");

  // The real workbook: its sheets listed in order, all selected.
  ASSERT_TRUE(wizard_.SetText(ctl::kSourceBox, book));
  ASSERT_TRUE(wizard_.WaitForButton(Button::Next, true)) << wizard_.error();
  EXPECT_EQ(wizard_.Entries(ctl::kSheetList), (std::vector<std::string>{"Orders", "Totals"}));
  EXPECT_EQ(wizard_.ListSelection(ctl::kSheetList), (std::vector<int>{0, 1}));

  // No sheet selected: Next goes off, and a press of it is refused.
  ASSERT_TRUE(wizard_.SelectListEntry(ctl::kSheetList, -1, false)) << wizard_.error();
  EXPECT_TRUE(wizard_.WaitForButton(Button::Next, false)) << wizard_.error();
  EXPECT_TRUE(wizard_.ButtonEnabled(Button::Back));
  ASSERT_TRUE(wizard_.Press(Button::Next));
  Pause(500);
  EXPECT_EQ(wizard_.CurrentPage(), page::kSourcePage);

  // Totals alone.
  ASSERT_TRUE(wizard_.SelectListEntry(ctl::kSheetList, 1, true)) << wizard_.error();
  ASSERT_TRUE(wizard_.WaitForButton(Button::Next, true)) << wizard_.error();
  ASSERT_TRUE(wizard_.Press(Button::Next));
  ASSERT_TRUE(wizard_.WaitForPage(page::kOptionsPage)) << wizard_.error();
  EXPECT_EQ(wizard_.Caption(), "Brackenfield Wizard | Select the output file");
  EXPECT_EQ(StatusWord(status), "Output file selection");
  EXPECT_EQ(CleanRegistry::Value("LastXLSFile"), book);

  // The options as the defaults show them.
  EXPECT_EQ(wizard_.Text(ctl::kFields), ",");
  EXPECT_EQ(wizard_.Entries(ctl::kFields), (std::vector<std::string>{",", ";", "TAB", "NONE", "PIPE"}));
  EXPECT_EQ(wizard_.Text(ctl::kRecords), "CRLF");
  EXPECT_EQ(wizard_.Entries(ctl::kRecords), (std::vector<std::string>{"CRLF", "CR", "LF", "NONE"}));
  EXPECT_EQ(wizard_.Text(ctl::kEscape), "\"");
  EXPECT_TRUE(wizard_.IsChecked(ctl::kQuoteStrings));
  EXPECT_FALSE(wizard_.IsChecked(ctl::kQuoteAll));
  EXPECT_TRUE(wizard_.IsChecked(ctl::kOverwrite));
  EXPECT_TRUE(wizard_.IsChecked(ctl::kAsIs));
  EXPECT_FALSE(wizard_.IsChecked(ctl::kOem));
  EXPECT_EQ(wizard_.Entries(ctl::kLineBreaks),
            (std::vector<std::string>{"Keep CR/LF", "Remove CR/LF", "Replace CR/LF to \\r\\n"}));
  EXPECT_EQ(wizard_.Selection(ctl::kLineBreaks), 0);

  // An empty folder box turns Next off; a folder turns it on.
  std::string out = dir_.Folder("out");
  ASSERT_TRUE(wizard_.SetText(ctl::kFolderBox, out));
  ASSERT_TRUE(wizard_.WaitForButton(Button::Next, true)) << wizard_.error();
  ASSERT_TRUE(wizard_.SetText(ctl::kFolderBox, ""));
  EXPECT_TRUE(wizard_.WaitForButton(Button::Next, false)) << wizard_.error();
  EXPECT_TRUE(wizard_.ButtonEnabled(Button::Back));

  // Back and Next again write no new status word.
  ASSERT_TRUE(wizard_.Press(Button::Back));
  ASSERT_TRUE(wizard_.WaitForPage(page::kSourcePage)) << wizard_.error();
  EXPECT_EQ(StatusWord(status), "Output file selection");
  EXPECT_EQ(wizard_.ListSelection(ctl::kSheetList), (std::vector<int>{1}));
  ASSERT_TRUE(wizard_.Press(Button::Next));
  ASSERT_TRUE(wizard_.WaitForPage(page::kOptionsPage)) << wizard_.error();
  EXPECT_EQ(StatusWord(status), "Output file selection");

  Convert(out);
  EXPECT_TRUE(wizard_.WaitForButton(Button::Finish, true)) << wizard_.error();
  EXPECT_FALSE(wizard_.ButtonEnabled(Button::Back)) << "the completion page offers Back";
  EXPECT_EQ(StatusWord(status), "Successful");
  EXPECT_EQ(wizard_.Text(ctl::kResultLine), "1 records have been imported.");
  EXPECT_EQ(wizard_.Text(ctl::kTitle), "Conversion complete");
  std::map<std::string, std::string> files = FolderFiles(out);
  ASSERT_EQ(files.size(), 1u) << "only the selected sheet is converted";
  EXPECT_EQ(files.begin()->second, kTotals);
  EXPECT_EQ(CleanRegistry::Value("LastCSVDirs"), out);
  EXPECT_EQ(CleanRegistry::Value("CSVdirs0"), out);

  // Cancel on the completion page ends the wizard without saving.
  ASSERT_TRUE(wizard_.Press(Button::Cancel));
  ASSERT_TRUE(wizard_.WaitForExit()) << wizard_.error();
  EXPECT_FALSE(testing_support::FileExists(dir_.IniPath()));
}

// Typing a path letter by letter passes through many names that are no
// workbook: none of them may bring up a message box.
TEST_F(WizardGui, TypedNameThatCannotBeReadShowsNothing) {
  Start({"/OPEN=0"});
  ASSERT_TRUE(wizard_.WaitForPage(page::kWelcomePage)) << wizard_.error();
  ASSERT_TRUE(wizard_.Press(Button::Next));
  ASSERT_TRUE(wizard_.WaitForPage(page::kSourcePage)) << wizard_.error();
  ASSERT_TRUE(wizard_.SetText(ctl::kSourceBox, dir_.File("no such book.xls"))) << wizard_.error();
  EXPECT_TRUE(wizard_.WaitForButton(Button::Next, false)) << wizard_.error();
  EXPECT_TRUE(wizard_.Entries(ctl::kSheetList).empty());
  // A name the workbook opening cannot even recognise, and a half-typed one.
  ASSERT_TRUE(wizard_.SetText(ctl::kSourceBox, dir_.File("b"))) << wizard_.error();
  ASSERT_TRUE(wizard_.SetText(ctl::kSourceBox, "C:")) << wizard_.error();
  // Then a real one still opens.
  ASSERT_TRUE(wizard_.SetText(ctl::kSourceBox, Book())) << wizard_.error();
  EXPECT_TRUE(wizard_.WaitForButton(Button::Next, true)) << wizard_.error();
}

TEST_F(WizardGui, BrowseOpensTheChosenWorkbook) {
  std::string book = Book();
  Start({"/OPEN=0"});
  ASSERT_TRUE(wizard_.WaitForPage(page::kWelcomePage)) << wizard_.error();
  ASSERT_TRUE(wizard_.Press(Button::Next));
  ASSERT_TRUE(wizard_.WaitForPage(page::kSourcePage)) << wizard_.error();
  ASSERT_TRUE(wizard_.Click(ctl::kBrowse)) << wizard_.error();
  // The platform's file chooser: its file name box, then OK.
  HWND chooser = wizard_.WaitForMessageBox("Open");
  ASSERT_NE(chooser, nullptr) << wizard_.error();
  // The name box of the newer chooser, or of the older one.
  ASSERT_TRUE(wizard_.SetDialogText(chooser, 0x47C, book) || wizard_.SetDialogText(chooser, 0x480, book))
      << wizard_.error();
  wizard_.CloseMessageBox(chooser);
  ASSERT_TRUE(wizard_.WaitForButton(Button::Next, true)) << wizard_.error();
  EXPECT_EQ(wizard_.Text(ctl::kSourceBox), book);
  EXPECT_EQ(wizard_.Entries(ctl::kSheetList), (std::vector<std::string>{"Orders", "Totals"}));
}

TEST_F(WizardGui, RememberedWorkbookAndFolderFillTheBoxes) {
  std::string book = Book();
  std::string out = dir_.Folder("kept");
  CleanRegistry::Set("LastXLSFile", book);
  CleanRegistry::Set("XLSfiles0", book);
  CleanRegistry::Set("XLSfiles1", dir_.File("older.xls"));
  CleanRegistry::Set("LastCSVDirs", out);
  CleanRegistry::Set("CSVdirs0", out);
  Start({"/OPEN=0"});
  ASSERT_TRUE(wizard_.WaitForPage(page::kWelcomePage)) << wizard_.error();
  ASSERT_TRUE(wizard_.Press(Button::Next));
  ASSERT_TRUE(wizard_.WaitForPage(page::kSourcePage)) << wizard_.error();
  EXPECT_EQ(wizard_.Text(ctl::kSourceBox), book);
  EXPECT_EQ(wizard_.Entries(ctl::kSourceBox), (std::vector<std::string>{book, dir_.File("older.xls")}));
  // Choosing the remembered entry opens it.
  ASSERT_TRUE(wizard_.ChooseEntry(ctl::kSourceBox, 0)) << wizard_.error();
  ASSERT_TRUE(wizard_.WaitForButton(Button::Next, true)) << wizard_.error();
  ASSERT_TRUE(wizard_.Press(Button::Next));
  ASSERT_TRUE(wizard_.WaitForPage(page::kOptionsPage)) << wizard_.error();
  EXPECT_EQ(wizard_.Text(ctl::kFolderBox), out);
  EXPECT_EQ(wizard_.Entries(ctl::kFolderBox), (std::vector<std::string>{out}));
  ASSERT_TRUE(wizard_.Press(Button::Next));
  ASSERT_TRUE(wizard_.WaitForPage(page::kCompletionPage, 60000)) << wizard_.error();
  EXPECT_EQ(ReadFile(out + "\\ORDERS.csv"), kOrders);
  EXPECT_EQ(CleanRegistry::Value("XLSfiles1"), dir_.File("older.xls"));
}

TEST_F(WizardGui, SummaryOfADefaultRun) {
  std::string book = Book();
  Start({});
  ToOptionsPage(book);
  std::string out = dir_.Folder("out");
  Convert(out);
  std::string summary;
  ASSERT_TRUE(wizard_.ReadSummary(&summary)) << wizard_.error();
  EXPECT_EQ(summary, book + " " + out +
                         " /OVERWRITE=1 /ASIS /RECORDS=CRLF  /FULLHEADER=0 /ESCAPE=DQ /FIELDS=, /QUOTES=1 "
                         "/QUOTEALL=0 /CRLF=KEEP /OPEN=1 \n/SILENT ");
  // Shown again, built again the same.
  std::string again;
  ASSERT_TRUE(wizard_.ReadSummary(&again)) << wizard_.error();
  EXPECT_EQ(again, summary);
}

TEST_F(WizardGui, CancelDuringALongConversionEndsAtARowBoundary) {
  constexpr uint32_t kRows = 200000;
  std::string book = dir_.File("large.xlsx");
  gui_test::WriteLargeWorkbook(book, "Big", kRows);
  std::string out = dir_.Folder("out");
  std::string status = dir_.File("status.ini");
  Start({"/STATUS=" + status, "/OPEN=0"});
  ToOptionsPage(book);
  ASSERT_TRUE(wizard_.SetText(ctl::kFolderBox, out));
  ASSERT_TRUE(wizard_.WaitForButton(Button::Next, true)) << wizard_.error();
  ASSERT_TRUE(wizard_.Press(Button::Next));
  ASSERT_TRUE(wizard_.WaitForPage(page::kProgressPage)) << wizard_.error();
  EXPECT_EQ(wizard_.Caption(), "Brackenfield Wizard | Conversion in progress");

  // Wait until rows are being written (the bar moves), then cancel.
  std::string output = out + "\\BIG.csv";
  auto started = std::chrono::steady_clock::now();
  ASSERT_TRUE(
      wizard_driver::WaitUntil([&] { return wizard_.ProgressPosition(ctl::kProgressBar) >= 200; }, 30000))
      << "the progress bar did not move; status \"" << StatusWord(status) << "\"";
  ASSERT_EQ(wizard_.CurrentPage(), page::kProgressPage)
      << "the conversion ended before Cancel could be pressed";
  EXPECT_FALSE(wizard_.ButtonEnabled(Button::Back));
  EXPECT_FALSE(wizard_.ButtonEnabled(Button::Next));
  ASSERT_TRUE(wizard_.Press(Button::Cancel));
  ASSERT_TRUE(wizard_.WaitForExit(10000)) << "Cancel did not close the wizard: " << wizard_.error();
  auto took =
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started);

  EXPECT_EQ(StatusWord(status), "Cancelled");
  std::string written = ReadFile(output);
  ASSERT_FALSE(written.empty());
  ASSERT_EQ(written.substr(written.size() - 2), "\r\n") << "the file ends inside a row";
  // Exactly the first rows of the sheet, whole, and not all of them.
  size_t at = 0;
  uint32_t rows = 0;
  while (at < written.size()) {
    std::string expected = gui_test::LargeWorkbookRow(++rows);
    ASSERT_EQ(written.compare(at, expected.size(), expected), 0)
        << "row " << rows << " is not whole: " << written.substr(at, 60);
    at += expected.size();
  }
  EXPECT_LT(rows, kRows) << "the conversion was not stopped (" << took.count() << " ms)";
}

}  // namespace

#endif
