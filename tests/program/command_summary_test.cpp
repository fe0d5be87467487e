// The wizard's command-line summary: its text, and that the text, split as
// the Windows C runtime splits a command line and read by the parameter
// parser, repeats the run's settings.
#include "program/command_summary.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/parameters.h"
#include "tests/support/test_support.h"

namespace {

// The wizard's defaults as a run leaves them: the delimiter words already
// turned into texts by the output options page.
void WizardDefaults(ConverterSettings& s) {
  SetDefaultSettings(s);
  ParseFieldDelimiter(s, s.fieldDelimiter);
  ParseRecordDelimiter(s, s.recordDelimiter);
}

// Splits a command line as the Windows C runtime does: blanks and tabs
// between arguments, double quotes group, 2n backslashes before a quote
// give n and the quote groups, 2n+1 give n and a literal quote. The summary's
// line feed before /SILENT is read as a blank (the line pasted as one).
std::vector<std::string> SplitCommandLine(const std::string& line) {
  std::vector<std::string> args;
  std::string current;
  bool inArgument = false, quoted = false;
  for (size_t i = 0; i < line.size(); ++i) {
    char c = line[i];
    if (!quoted && (c == ' ' || c == '\t' || c == '\n')) {
      if (inArgument) args.push_back(current);
      current.clear();
      inArgument = false;
      continue;
    }
    inArgument = true;
    if (c == '\\') {
      size_t n = 0;
      while (i < line.size() && line[i] == '\\') ++n, ++i;
      if (i < line.size() && line[i] == '"') {
        current.append(n / 2, '\\');
        if (n % 2) {
          current += '"';
        } else {
          quoted = !quoted;
        }
      } else {
        current.append(n, '\\');
        --i;
      }
      continue;
    }
    if (c == '"') {
      quoted = !quoted;
      continue;
    }
    current += c;
  }
  if (inArgument) args.push_back(current);
  return args;
}

// The settings an unattended run of the summary starts with.
void ReadBack(const std::string& summary, ConverterSettings& s) {
  std::vector<std::string> args = SplitCommandLine(summary);
  std::vector<const char*> argv{"tabrevo"};
  for (const std::string& a : args) argv.push_back(a.c_str());
  SetDefaultSettings(s);
  ParseParameters(s, static_cast<int>(argv.size()), argv.data());
  ParseFieldDelimiter(s, s.fieldDelimiter);
  ParseRecordDelimiter(s, s.recordDelimiter);
}

void ExpectSameRun(const ConverterSettings& wizard, const std::string& expectedFolder) {
  const std::string summary = CommandLineSummary(wizard);
  ConverterSettings back{};
  ReadBack(summary, back);
  SCOPED_TRACE(summary);
  EXPECT_EQ(back.sourceFile, wizard.sourceFile);
  EXPECT_EQ(back.outputFolder, expectedFolder);
  EXPECT_EQ(back.outputFile, "");
  EXPECT_EQ(back.overwrite, wizard.overwrite);
  EXPECT_EQ(back.codePage, wizard.codePage);
  EXPECT_EQ(back.exportRecords, wizard.exportRecords);
  EXPECT_EQ(back.maxLength, wizard.maxLength);
  EXPECT_EQ(back.recordDelimiter, wizard.recordDelimiter);
  EXPECT_EQ(back.escapeChar, wizard.escapeChar);
  EXPECT_EQ(back.fieldDelimiter, wizard.fieldDelimiter);
  EXPECT_EQ(back.quoteStrings, wizard.quoteStrings);
  EXPECT_EQ(back.quoteAll, wizard.quoteAll);
  EXPECT_EQ(back.crlfMode, wizard.crlfMode);
  EXPECT_EQ(back.order, wizard.order);
  EXPECT_EQ(back.statusFile, wizard.statusFile);
  EXPECT_EQ(back.openResult, wizard.openResult);
  EXPECT_EQ(back.batch, wizard.batch);
  EXPECT_EQ(back.wait, wizard.wait);
  EXPECT_EQ(back.writeBom, wizard.writeBom);
  EXPECT_EQ(back.errorsAsText, wizard.errorsAsText);
  EXPECT_EQ(back.silent, 1);
}

TEST(CommandSummary, DefaultRunAsTheUserSeesIt) {
  ConverterSettings s{};
  WizardDefaults(s);
  s.sourceFile = "C:\\data\\book.xls";
  s.outputFolder = "C:\\out";
  EXPECT_EQ(CommandLineSummary(s),
            "C:\\data\\book.xls C:\\out /OVERWRITE=1 /ASIS /RECORDS=CRLF  /FULLHEADER=0 /ESCAPE=DQ "
            "/FIELDS=, /QUOTES=1 /QUOTEALL=0 /CRLF=KEEP /OPEN=1 \n/SILENT ");
}

TEST(CommandSummary, PiecesOfEachSetting) {
  ConverterSettings s{};
  WizardDefaults(s);
  s.sourceFile = "C:\\data\\book.xls";
  s.outputFolder = "C:\\out";
  s.overwrite = kOverwriteNo;
  s.codePage = kCodePageOem;
  s.exportRecords = 0;
  s.maxLength = 250;
  s.recordDelimiter = "\n";
  s.escapeChar = "\\";
  s.fieldDelimiter = ";";
  s.quoteStrings = 0;
  s.quoteAll = 1;
  s.crlfMode = kCrlfReplace;
  s.order = "B,A";
  s.statusFile = "C:\\st.ini";
  s.openResult = 0;
  s.batch = 1;
  s.wait = 1;
  EXPECT_EQ(CommandLineSummary(s),
            "C:\\data\\book.xls C:\\out /OVERWRITE=0 /OEM /RECORDS=0 /MAXLEN=250 /RECORDS=LF  "
            "/FULLHEADER=0 /ESCAPE=\\ /FIELDS=; /QUOTES=0 /QUOTEALL=1 /CRLF=REPLACE /ORDER=B,A "
            "/STATUS=C:\\st.ini /OPEN=0 /BATCH /WAIT \n/SILENT ");

  // The words of the delimiter texts, the other line-break modes, no escape
  // text, and an output file in place of a folder.
  s.outputFolder.clear();
  s.outputFile = "C:\\out\\all.csv";
  s.overwrite = kOverwriteSkip;
  s.codePage = kCodePageAnsi;
  s.exportRecords = 1;
  s.maxLength = 0;
  s.recordDelimiter = "\r";
  s.escapeChar.clear();
  s.fieldDelimiter = "\t";
  s.crlfMode = kCrlfRemove;
  s.order.clear();
  s.statusFile.clear();
  s.batch = s.wait = 0;
  EXPECT_EQ(CommandLineSummary(s),
            "C:\\data\\book.xls C:\\out\\all.csv /OVERWRITE=SKIP /ANSI /RECORDS=CR  /FULLHEADER=0 /ESCAPE= "
            "/FIELDS=TAB /QUOTES=0 /QUOTEALL=1 /CRLF=REMOVE /OPEN=0 \n/SILENT ");
  s.fieldDelimiter = "|";
  s.recordDelimiter.clear();
  EXPECT_NE(CommandLineSummary(s).find("/RECORDS=NONE  /FULLHEADER=0 /ESCAPE= /FIELDS=PIPE "),
            std::string::npos);
  s.fieldDelimiter.clear();
  EXPECT_NE(CommandLineSummary(s).find("/FIELDS=NONE "), std::string::npos);
}

TEST(CommandSummary, ArgumentsQuotedAsTheRuntimeSplitsThem) {
  EXPECT_EQ(CommandLineArgument("C:\\data\\book.xls"), "C:\\data\\book.xls");
  EXPECT_EQ(CommandLineArgument("C:\\my data\\book.xls"), "\"C:\\my data\\book.xls\"");
  // Backslashes before the closing quote and before a quote are doubled.
  EXPECT_EQ(CommandLineArgument("C:\\my dir\\"), "\"C:\\my dir\\\\\"");
  EXPECT_EQ(CommandLineArgument("/FIELDS=\""), "\"/FIELDS=\\\"\"");
  EXPECT_EQ(CommandLineArgument("a\\\"b c"), "\"a\\\\\\\"b c\"");
  for (const char* text : {"C:\\my dir\\", "/FIELDS=\"", "a\\\"b c", "tab\there", "x\\\\y z\\\\"}) {
    std::vector<std::string> back = SplitCommandLine(CommandLineArgument(text));
    ASSERT_EQ(back.size(), 1u) << text;
    EXPECT_EQ(back[0], text);
  }
}

// Every option mix of a wizard run comes back through the parser: paths
// with blanks, SKIP, the three line-break modes, delimiters of several
// characters or outside the record words, no escape text, ORDER and STATUS
// with blanks.
TEST(CommandSummary, ReadsBackToTheSameRun) {
  {
    ConverterSettings s{};
    WizardDefaults(s);
    s.sourceFile = "C:\\my data\\book one.xlsx";
    s.outputFolder = "C:\\out folder";
    ExpectSameRun(s, s.outputFolder);
  }
  {
    ConverterSettings s{};
    WizardDefaults(s);
    s.sourceFile = "C:\\data\\book.xls";
    s.outputFolder = "C:\\out";
    s.overwrite = kOverwriteSkip;
    s.crlfMode = kCrlfRemove;
    s.fieldDelimiter = "::";
    s.recordDelimiter = "|";
    s.escapeChar.clear();
    ExpectSameRun(s, s.outputFolder);
  }
  {
    ConverterSettings s{};
    WizardDefaults(s);
    s.sourceFile = "C:\\data\\book.xls";
    s.outputFolder = "C:\\out";
    s.crlfMode = kCrlfReplace;
    s.fieldDelimiter = "\t";
    s.recordDelimiter = "\n";
    s.escapeChar = "\\\\";
    s.order = "Name, Price";
    s.statusFile = "C:\\status files\\st.ini";
    s.exportRecords = 0;
    s.maxLength = 12;
    s.codePage = kCodePageAnsi;
    s.quoteAll = 1;
    s.quoteStrings = 0;
    s.openResult = 0;
    s.batch = 1;
    s.wait = 1;
    ExpectSameRun(s, s.outputFolder);
  }
  {
    ConverterSettings s{};
    WizardDefaults(s);
    s.sourceFile = "C:\\data\\book.xls";
    s.outputFolder = "C:\\out";
    s.fieldDelimiter = " ";  // a blank between fields
    s.recordDelimiter = "\r";
    s.escapeChar = "'";
    s.overwrite = kOverwriteNo;
    s.codePage = kCodePageOem;
    ExpectSameRun(s, s.outputFolder);
  }
  {
    ConverterSettings s{};
    WizardDefaults(s);
    s.sourceFile = "C:\\data\\book.xls";
    s.outputFolder = "C:\\out";
    s.fieldDelimiter = "\"";
    s.recordDelimiter.clear();
    s.escapeChar = "\"\"";
    ExpectSameRun(s, s.outputFolder);
  }
}

// Folders the parser would skip (four characters or fewer, such as a drive
// root chosen with Browse) or take for a file (by their ending) are written
// so that they name the same folder and read back as one.
TEST(CommandSummary, ShortAndFileLikeFoldersReadBackAsFolders) {
  const std::string dot = std::string(1, platform::kPathSeparator) + ".";
  struct Case {
    const char* folder;
    std::string expected;
  } cases[] = {
      {"C:", "C:" + dot + dot},
      {"out", "out" + dot},
      {"C:\\a", "C:\\a" + dot},
      {"C:\\exports.csv", "C:\\exports.csv" + dot},
      {"C:\\old.xls", "C:\\old.xls" + dot},
      {"C:\\out", "C:\\out"},
  };
  for (const Case& c : cases) {
    ConverterSettings s{};
    WizardDefaults(s);
    s.sourceFile = "C:\\data\\book.xls";
    s.outputFolder = c.folder;
    SCOPED_TRACE(c.folder);
    ExpectSameRun(s, c.expected);
  }
}

}  // namespace

// The output options are written when set, and the sheet selection when
// fewer than all sheets of the workbook are selected: as the workbook
// spells the names, in its order, read back as the same selection.
TEST(CommandSummary, OutputOptionsAndTheSheetSelection) {
  ConverterSettings s{};
  WizardDefaults(s);
  s.sourceFile = "C:\\data\\book.xlsx";
  s.outputFolder = "C:\\out";
  testing_support::MemoryBook mb;
  mb.Sheet("Data");
  mb.Sheet("Q1 Totals");
  mb.Sheet("Notes");
  s.book = mb.Release();
  s.selectedSheets = {"DATA", "Q1 TOTALS", "NOTES"};
  const std::string all = CommandLineSummary(s);
  EXPECT_EQ(all.find("/SHEETS="), std::string::npos) << all;
  EXPECT_EQ(all.find("/UTF8"), std::string::npos) << all;
  EXPECT_EQ(all.find("/BOM"), std::string::npos) << all;
  EXPECT_EQ(all.find("/ERRORS"), std::string::npos) << all;

  s.selectedSheets = {"NOTES", "Q1 TOTALS"};
  s.codePage = kCodePageUtf8;
  s.writeBom = 1;
  s.errorsAsText = 1;
  const std::string some = CommandLineSummary(s);
  EXPECT_EQ(
      some,
      "C:\\data\\book.xlsx C:\\out \"/SHEETS=Q1 Totals;Notes\" /OVERWRITE=1 /UTF8 /BOM /RECORDS=CRLF  "
      "/FULLHEADER=0 /ESCAPE=DQ /FIELDS=, /QUOTES=1 /QUOTEALL=0 /ERRORS=TEXT /CRLF=KEEP /OPEN=1 \n/SILENT ");
  ExpectSameRun(s, s.outputFolder);
  ConverterSettings back{};
  ReadBack(some, back);
  EXPECT_EQ(back.sheetFilter, (std::vector<std::string>{"Q1 TOTALS", "NOTES"}));
}
