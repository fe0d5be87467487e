// Options set on the output options page reach the conversion, and the
// command-line summary of the run repeats it: each mix of options converts
// a workbook through the wizard, the bytes are checked, and the summary text
// run as the program's command line gives the same bytes again.
#ifdef _WIN32
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

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

// Text in the ANSI and in the OEM code page, as the platform converts it.
std::string Ansi(const std::string& utf8) {
  std::wstring wide(utf8.size(), L'\0');
  wide.resize(static_cast<size_t>(MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()),
                                                      wide.data(), static_cast<int>(wide.size()))));
  std::string out(wide.size() * 2, '\0');
  out.resize(
      static_cast<size_t>(WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()),
                                              out.data(), static_cast<int>(out.size()), nullptr, nullptr)));
  return out;
}

std::string Oem(std::string ansi) {
  CharToOemA(ansi.c_str(), ansi.data());
  return ansi;
}

const std::string kCafe = Ansi("caf\xC3\xA9");

struct Mix {
  const char* name;
  bool blanks;  // the workbook and the folder have names with blanks
  std::function<void(Wizard&)> choose;
  std::string expected;             // the sheet's text
  std::vector<std::string> pieces;  // what the summary holds for the options
  // Keywords the wizard is started with (a "%s" stands for the scratch folder).
  std::vector<std::string> keywords = {};
};

const std::vector<int> kCodePages = {ctl::kAsIs, ctl::kAnsi, ctl::kOem};

std::vector<Mix> Mixes() {
  return {
      {"TabWithoutQuotes",
       false,
       [](Wizard& w) {
         EXPECT_TRUE(w.ChooseEntry(ctl::kFields, 2)) << w.error();
         EXPECT_TRUE(w.SetChecked(ctl::kQuoteStrings, false)) << w.error();
       },
       "Name\tNote\t1.500000\t\r\n"
       "\"Say \"\"hi\"\"\"\ta;b|c\t-2.000000\t\r\n"
       "line1\nline2\t" +
           kCafe + "\t3.000000\t\r\n",
       {"/FIELDS=TAB ", "/QUOTES=0 ", "/QUOTEALL=0 "}},
      {"PipeLineFeedQuoteAllNamesWithBlanks",
       true,
       [](Wizard& w) {
         EXPECT_TRUE(w.ChooseEntry(ctl::kFields, 4)) << w.error();
         EXPECT_TRUE(w.ChooseEntry(ctl::kRecords, 2)) << w.error();
         EXPECT_TRUE(w.SetChecked(ctl::kQuoteAll, true)) << w.error();
       },
       "\"Name\"|\"Note\"|\"1.500000\"|\n"
       "\"Say \"\"hi\"\"\"|\"a;b|c\"|\"-2.000000\"|\n"
       "\"line1\nline2\"|\"" +
           kCafe + "\"|\"3.000000\"|\n",
       {"/FIELDS=PIPE ", "/RECORDS=LF ", "/QUOTEALL=1 "}},
      {"NoFieldDelimiterTypedRecordWord",
       false,
       [](Wizard& w) {
         EXPECT_TRUE(w.ChooseEntry(ctl::kFields, 3)) << w.error();
         EXPECT_TRUE(w.SetText(ctl::kRecords, "~~")) << w.error();
       },
       "\"Name\"\"Note\"1.500000~~"
       "\"Say \"\"hi\"\"\"\"a;b|c\"-2.000000~~"
       "\"line1\nline2\"\"" +
           kCafe + "\"3.000000~~",
       {"/FIELDS=NONE ", "/RECORDS=~~ "}},
      {"TypedFieldWordBackslashEscapeOem",
       false,
       [](Wizard& w) {
         EXPECT_TRUE(w.SetText(ctl::kFields, ";;")) << w.error();
         EXPECT_TRUE(w.SetText(ctl::kEscape, "\\")) << w.error();
         EXPECT_TRUE(w.ChooseRadio(ctl::kOem, kCodePages)) << w.error();
         EXPECT_TRUE(w.SetChecked(ctl::kQuoteStrings, false)) << w.error();
       },
       "Name;;Note;;1.500000;;\r\n"
       "\"Say \\\"hi\\\"\";;\"a;b|c\";;-2.000000;;\r\n"
       "line1\nline2;;" +
           Oem(kCafe) + ";;3.000000;;\r\n",
       {"/FIELDS=;; ", "/ESCAPE=\\ ", "/OEM "}},
      {"RemoveLineBreaksAnsiEmptyEscapeNoOverwrite",
       false,
       [](Wizard& w) {
         EXPECT_TRUE(w.ChooseEntry(ctl::kLineBreaks, 1)) << w.error();
         EXPECT_TRUE(w.ChooseRadio(ctl::kAnsi, kCodePages)) << w.error();
         EXPECT_TRUE(w.SetText(ctl::kEscape, "")) << w.error();
         EXPECT_TRUE(w.SetChecked(ctl::kOverwrite, false)) << w.error();
       },
       "\"Name\",\"Note\",1.500000,\r\n"
       "\"Say \"hi\"\",\"a;b|c\",-2.000000,\r\n"
       "\"line1line2\",\"" +
           kCafe + "\",3.000000,\r\n",
       {"/CRLF=REMOVE ", "/ANSI ", "/ESCAPE= ", "/OVERWRITE=0 "}},
      {"ReplaceLineBreaksSemicolonCrApostropheQuoteAll",
       false,
       [](Wizard& w) {
         EXPECT_TRUE(w.ChooseEntry(ctl::kFields, 1)) << w.error();
         EXPECT_TRUE(w.ChooseEntry(ctl::kRecords, 1)) << w.error();
         EXPECT_TRUE(w.ChooseEntry(ctl::kLineBreaks, 2)) << w.error();
         EXPECT_TRUE(w.SetText(ctl::kEscape, "'")) << w.error();
         EXPECT_TRUE(w.SetChecked(ctl::kQuoteAll, true)) << w.error();
       },
       "\"Name\";\"Note\";\"1.500000\";\r"
       "\"Say '\"hi'\"\";\"a;b|c\";\"-2.000000\";\r"
       "\"line1\\nline2\";\"" +
           kCafe + "\";\"3.000000\";\r",
       {"/FIELDS=; ", "/RECORDS=CR ", "/CRLF=REPLACE ", "/ESCAPE=SQ ", "/QUOTEALL=1 "}},
      {"KeywordsOfTheStartCarriedThrough",
       false,
       [](Wizard&) {},
       "\"Name\",\"Note\",1.500000,\r\n"
       "\"Say \"\"hi\"\"\",\"a;b|c\",-2.000000,\r\n"
       "\"line1\nline2\",\"" +
           kCafe + "\",3.000000,\r\n",
       {"/OVERWRITE=SKIP ", "/MAXLEN=250 ", "\"/STATUS=%s\\run status.ini\" ", "/CRLF=KEEP "},
       {"/OVERWRITE=SKIP", "/MAXLEN=250", "/STATUS=%s\\run status.ini"}},
  };
}

void PrintTo(const Mix& mix, std::ostream* out) { *out << mix.name; }

// `text` with "%s" replaced by `folder`.
std::string WithFolder(std::string text, const std::string& folder) {
  size_t at = text.find("%s");
  return at == std::string::npos ? text : text.replace(at, 2, folder);
}

class SummaryReadBack : public testing::TestWithParam<Mix> {
 protected:
  // The scratch folder, without a separator at its end.
  std::string Base() const {
    std::string base = dir_.File("");
    while (!base.empty() && base.back() == '\\') base.pop_back();
    return base;
  }

  gui_test::CleanRegistry registry_;
  gui_test::ProgramFolder dir_;
};

TEST_P(SummaryReadBack, WizardOutputAndSummaryRunAgree) {
  const Mix& mix = GetParam();
  std::string book = dir_.Folder(mix.blanks ? "my books" : "books") + "\\mix.xlsx";
  gui_test::WriteWorkbook(book, {{"Data",
                                  {{Str("Name"), Str("Note"), Num(1.5)},
                                   {Str("Say \"hi\""), Str("a;b|c"), Num(-2)},
                                   {Str("line1\nline2"), Str("caf\xC3\xA9"), Num(3)}}}});
  std::string out = dir_.Folder(mix.blanks ? "out put" : "output");

  std::string summary;
  {
    Wizard wizard;
    std::vector<std::string> arguments = {"/OPEN=0"};
    for (const std::string& k : mix.keywords) arguments.push_back(WithFolder(k, Base()));
    ASSERT_TRUE(wizard.Start(dir_.program(), arguments, dir_.File(""))) << wizard.error();
    ASSERT_TRUE(wizard.WaitForPage(page::kWelcomePage)) << wizard.error();
    ASSERT_TRUE(wizard.Press(Button::Next));
    ASSERT_TRUE(wizard.WaitForPage(page::kSourcePage)) << wizard.error();
    ASSERT_TRUE(wizard.SetText(ctl::kSourceBox, book)) << wizard.error();
    ASSERT_TRUE(wizard.WaitForButton(Button::Next, true)) << wizard.error();
    ASSERT_TRUE(wizard.Press(Button::Next));
    ASSERT_TRUE(wizard.WaitForPage(page::kOptionsPage)) << wizard.error();
    ASSERT_TRUE(wizard.SetText(ctl::kFolderBox, out)) << wizard.error();
    mix.choose(wizard);
    ASSERT_TRUE(wizard.WaitForButton(Button::Next, true)) << wizard.error();
    ASSERT_TRUE(wizard.Press(Button::Next));
    ASSERT_TRUE(wizard.WaitForPage(page::kCompletionPage, 60000)) << wizard.error();
    ASSERT_TRUE(wizard.ReadSummary(&summary)) << wizard.error();
    ASSERT_TRUE(wizard.Press(Button::Cancel));
    ASSERT_TRUE(wizard.WaitForExit()) << wizard.error();
  }

  std::map<std::string, std::string> converted = gui_test::FolderFiles(out);
  ASSERT_EQ(converted.size(), 1u);
  EXPECT_EQ(converted.begin()->second, mix.expected) << "options of the page did not reach the conversion";

  std::string quote = mix.blanks ? "\"" : "";
  EXPECT_EQ(summary.rfind(quote + book + quote + " " + quote + out + quote + " ", 0), 0u) << summary;
  for (const std::string& piece : mix.pieces) {
    std::string expected = WithFolder(piece, Base());
    EXPECT_NE(summary.find(expected), std::string::npos) << expected << " in " << summary;
  }
  ASSERT_GE(summary.size(), 9u);
  EXPECT_EQ(summary.substr(summary.size() - 9), "\n/SILENT ");

  // The summary as one command line (its two lines joined by a blank).
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

INSTANTIATE_TEST_SUITE_P(OptionMixes, SummaryReadBack, testing::ValuesIn(Mixes()),
                         [](const testing::TestParamInfo<Mix>& p) { return std::string(p.param.name); });

}  // namespace

#endif
