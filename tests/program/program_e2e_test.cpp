// End-to-end runs of the built program on real workbooks: output bytes,
// status words, activity log lines and exit codes. Linux runs the program
// directly; the Windows build runs it under Wine.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "program_run.h"
#include "tests/support/reader_pending.h"

#ifdef _WIN32
#include <windows.h>
#endif

using testing_support::FileExists;
using testing_support::FixturePath;
using testing_support::LogMessages;
using testing_support::ReadFile;
using testing_support::WriteFile;

namespace fs = std::filesystem;

namespace {

// The sample workbook's sheets as the default settings write them, the same
// for every format: numbers without a custom format with six decimals, the
// prices by their format "#0.00" (five characters, two decimals).
const char kOrders[] =
    "\"Order\",\"Customer\",\"Placed\",\"Shipped\",\"Quantity\",\"Price\",\"Paid\",\r\n"
    "1001.000000,\"Smith, Anna\",2024.03.05,2024.03.07 09:05:07,3.000000,19.95,1,\r\n"
    "1002.000000,\"The \"\"Corner\"\" Shop\",2024.03.06,,12.000000, 4.50,0,\r\n"
    "1003.000000,\"Nakamura\",2024.12.31,2025.01.02 16:30:00,1.000000,1250.00,1,\r\n";
const char kTotals[] = "\"Total\",1363.85,\r\n";

// Output folders are given as absolute paths or relative to the scratch
// folder the program runs in (a bare name of four characters or fewer is no
// folder name).

std::string Sample(const char* ending) { return FixturePath(std::string("sample/sample.") + ending); }

// The value of a key of the status file, or "<none>".
std::string StatusValue(const std::string& statusFile, const std::string& key) {
  std::string text = ReadFile(statusFile);
  size_t at = text.find(key + "=");
  if (at == std::string::npos) return "<none>";
  at += key.size() + 1;
  size_t end = text.find_first_of("\r\n", at);
  return text.substr(at, end == std::string::npos ? std::string::npos : end - at);
}

std::string StatusWord(const std::string& statusFile) { return StatusValue(statusFile, "Result"); }

// The messages of the log lines in `text` (what follows date, time and
// the padded source name).
void ConvertsEverySheetIntoTheFolder(const char* ending) {
  ProgramCopy program;
  fs::create_directories(program.File("out"));
  std::string status = program.File("status.ini");
  ProgramRun run = program.Run({Sample(ending), program.File("out"), "/SILENT", "/STATUS=" + status});
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.errors, "");  // nothing is printed on success
  EXPECT_EQ(ReadFile(program.File("out/ORDERS.csv")), kOrders);
  EXPECT_EQ(ReadFile(program.File("out/TOTALS.csv")), kTotals);
  EXPECT_EQ(StatusWord(status), "Successful");
  EXPECT_EQ(StatusValue(status, "Failures"), "0");
#ifndef _WIN32
  EXPECT_FALSE(FileExists(program.LogPath()));  // no LOG: the log is not touched
#endif
}

TEST(ProgramRun, ConvertsEverySheetOfAnXlsxWorkbook) {
  SKIP_UNLESS_READABLE(Sample("xlsx"));
  ConvertsEverySheetIntoTheFolder("xlsx");
}

TEST(ProgramRun, ConvertsEverySheetOfAnXlsWorkbook) {
  SKIP_UNLESS_READABLE(Sample("xls"));
  ConvertsEverySheetIntoTheFolder("xls");
}

TEST(ProgramRun, OptionsFromTheCommandLine) {
  ProgramCopy program;
  std::string out = program.File("all.txt");
  ProgramRun run = program.Run({Sample("xls"), out, "-silent", "/FIELDS=TAB", "/RECORDS=LF", "/QUOTES=0"});
  EXPECT_EQ(run.exitCode, 0);
  // Both sheets go one after another into the one output file.
  EXPECT_EQ(ReadFile(out),
            "Order\tCustomer\tPlaced\tShipped\tQuantity\tPrice\tPaid\t\n"
            "1001.000000\tSmith, Anna\t2024.03.05\t2024.03.07 09:05:07\t3.000000\t19.95\t1\t\n"
            "1002.000000\t\"The \"\"Corner\"\" Shop\"\t2024.03.06\t\t12.000000\t 4.50\t0\t\n"
            "1003.000000\tNakamura\t2024.12.31\t2025.01.02 16:30:00\t1.000000\t1250.00\t1\t\n"
            "Total\t1363.85\t\n");
}

TEST(ProgramRun, BatchPatternConvertsEveryMatchingWorkbook) {
  ProgramCopy program;
  fs::create_directories(program.File("in"));
  fs::copy_file(Sample("xls"), program.File("in/a.xls"));
  fs::copy_file(Sample("xls"), program.File("in/b.xls"));
  fs::copy_file(Sample("xls"), program.File("in/.hidden.xls"));  // dot files are skipped
  std::string out = program.File("all.csv");
  ProgramRun run = program.Run({program.File("in") + "/*.xls", out, "/BATCH"});
  EXPECT_EQ(run.exitCode, 0);
  std::string one = std::string(kOrders) + kTotals;
  EXPECT_EQ(ReadFile(out), one + one);
}

TEST(ProgramRun, SettingsFileBesideTheProgramThenParameters) {
  ProgramCopy program;
  std::string out = program.File("out.csv");
  WriteFile(out, "kept\r\n");
  // OverWrite=0 keeps the file and appends to it.
  WriteFile(program.IniPath(), "[Common]\r\nOverWrite=0\r\n");
  ProgramRun run = program.Run({Sample("xls"), out, "/SILENT"});
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(ReadFile(out), std::string("kept\r\n") + kOrders + kTotals);
  // A parameter outranks the file.
  run = program.Run({Sample("xls"), out, "/SILENT", "/OVERWRITE=YES"});
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(ReadFile(out), std::string(kOrders) + kTotals);
}

TEST(ProgramRun, OutputThatCannotBeCreatedIsLoggedWithLog) {
  ProgramCopy program;
  std::string status = program.File("status.ini");
  std::string log = program.LogPath();
  size_t before = ReadFile(log).size();
  // Log=1 in the settings file switches the log on like the keyword LOG.
  WriteFile(program.IniPath(), "[Common]\r\nLog=1\r\n");
  ProgramRun run = program.Run({Sample("xls"), "./missing/folder", "/SILENT", "/STATUS=" + status});
  EXPECT_EQ(run.exitCode, 4);
  EXPECT_EQ(run.errors, "");  // reported in the log instead
  // One line per output file; the unattended road writes no Start or Stop line.
  std::vector<std::string> messages = LogMessages(TailFrom(log, before));
  EXPECT_EQ(messages, (std::vector<std::string>{"Cannot create output file.", "Cannot create output file."}));
  // A run that went on to its end records "Successful" over "Failed", and
  // how many sheets failed.
  EXPECT_EQ(StatusWord(status), "Successful");
  EXPECT_EQ(StatusValue(status, "Failures"), "2");
}

// A workbook named without wildcards that does not exist is a failure the
// run reports, not a quiet success; a pattern that matches nothing is not.
TEST(ProgramRun, AMissingWorkbookIsAFailureAnEmptyPatternIsNot) {
  ProgramCopy program;
  std::string status = program.File("status.ini");
  std::string missing = program.File("no such book.xlsx");
  ProgramRun run = program.Run({missing, program.File("out"), "/SILENT", "/STATUS=" + status});
  EXPECT_EQ(run.exitCode, 3);
#ifndef _WIN32
  EXPECT_NE(run.errors.find("tabrevo: Unable to read the workbook: " + missing), std::string::npos)
      << run.errors;
#endif
  EXPECT_EQ(StatusWord(status), "Successful");
  EXPECT_EQ(StatusValue(status, "Failures"), "1");

  run = program.Run({program.File("none*.xlsx"), program.File("out"), "/SILENT", "/STATUS=" + status});
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.errors, "");
  EXPECT_EQ(StatusValue(status, "Failures"), "0");
}

TEST(ProgramRun, SilentWithoutSourceEndsSuccessfulOnWindows) {
  ProgramCopy program;
  std::string status = program.File("status.ini");
  ProgramRun run = program.Run({"/SILENT", "/STATUS=" + status});
#ifdef _WIN32
  // The run ends as every unattended run does; the exit code says why
  // nothing was converted.
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(StatusWord(status), "Successful");
  EXPECT_EQ(StatusValue(status, "Failures"), "0");
#else
  // Linux: no source is a usage error, reported before anything is touched.
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.errors.find("usage: tabrevo"), std::string::npos) << run.errors;
  EXPECT_NE(run.errors.find("Examples:"), std::string::npos);
  EXPECT_FALSE(FileExists(status));
#endif
}

TEST(ProgramRun, PatternMatchingNothingConvertsNothing) {
  ProgramCopy program;
  std::string status = program.File("status.ini");
  ProgramRun run = program.Run({program.File("none") + "/*.xls", "./out", "/SILENT", "/STATUS=" + status});
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(StatusWord(status), "Successful");
}

// A workbook that cannot be read, with and without the log: never a
// message box (the run would wait for a click), exit code 3, the status
// file's count; Linux writes one line on stderr without the log.
TEST(ProgramRun, UnreadableWorkbookIsAReadFailure) {
  ProgramCopy program;
  std::string bad = program.File("broken.xlsm");
  WriteFile(bad, std::string("PK\3\4") + std::string(200, '\x7f'));
  std::string status = program.File("status.ini");
  std::string log = program.LogPath();
  size_t before = ReadFile(log).size();
  ProgramRun run = program.Run({bad, program.File("out.csv"), "/SILENT", "/LOG", "/STATUS=" + status});
  EXPECT_EQ(run.exitCode, 3);
  EXPECT_EQ(run.errors, "");
  EXPECT_EQ(StatusWord(status), "Successful");
  EXPECT_EQ(StatusValue(status, "Failures"), "1");
  std::vector<std::string> messages = LogMessages(TailFrom(log, before));
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].rfind("Cannot read workbook " + bad + ": ", 0), 0u) << messages[0];

  // Without the log; with a readable workbook beside it in the same run.
  fs::create_directories(program.File("in"));
  fs::copy_file(bad, program.File("in/a.xlsm"));
  fs::copy_file(Sample("xlsx"), program.File("in/b.xlsm"));
  run = program.Run({program.File("in/*.xlsm"), program.File("out.csv"), "/SILENT", "/STATUS=" + status});
  EXPECT_EQ(run.exitCode, 3);
  EXPECT_EQ(StatusWord(status), "Successful");
  EXPECT_EQ(StatusValue(status, "Failures"), "1");
  EXPECT_EQ(ReadFile(program.File("out.csv")), std::string(kOrders) + kTotals);
#ifndef _WIN32
  EXPECT_EQ(run.errors.rfind("tabrevo: Unable to read the workbook: " + program.File("in/a.xlsm") + ": ", 0),
            0u)
      << run.errors;
  EXPECT_EQ(std::count(run.errors.begin(), run.errors.end(), '\n'), 1) << run.errors;
#endif
}

// A sheet cut short is written as far as it was read and is a failure of
// the run all the same.
TEST(ProgramRun, ADamagedSheetIsAReadFailure) {
  ProgramCopy program;
  fs::create_directories(program.File("out"));
  std::string status = program.File("status.ini");
  std::string book = FixturePath("engine/damaged_sheet.xlsx");
  ProgramRun run = program.Run({book, program.File("out"), "/SILENT", "/STATUS=" + status});
  EXPECT_EQ(run.exitCode, 3);
  EXPECT_EQ(ReadFile(program.File("out/TOTALS.csv")), "\"Total\",  4.500,\r\n");
  EXPECT_EQ(StatusWord(status), "Successful");
  EXPECT_EQ(StatusValue(status, "Failures"), "1");
#ifndef _WIN32
  EXPECT_EQ(run.errors.rfind("tabrevo: Unable to read all of the sheet Totals: " + book + ": ", 0), 0u)
      << run.errors;
#endif
}

// Workbooks named by every ending the readers take are sources.
TEST(ProgramRun, EveryWorkbookEndingNamesTheSource) {
  ProgramCopy program;
  for (const char* name : {"book.xlsm", "book.XLTM", "book.xltx"}) {
    SCOPED_TRACE(name);
    fs::copy_file(Sample("xlsx"), program.File(name));
    ProgramRun run = program.Run({name, program.File(std::string(name) + ".csv"), "/SILENT"});
    EXPECT_EQ(run.exitCode, 0) << run.errors;
    EXPECT_EQ(ReadFile(program.File(std::string(name) + ".csv")), std::string(kOrders) + kTotals);
  }
}

#ifndef _WIN32

TEST(ProgramRun, LinuxExitCodesAndFailureMessages) {
  ProgramCopy program;
  // A source without any output.
  ProgramRun run = program.Run({Sample("xls")});
  EXPECT_EQ(run.exitCode, 2);
  EXPECT_NE(run.errors.find("no output"), std::string::npos) << run.errors;
  // A short folder name is skipped; the message names it and how to write it.
  run = program.Run({Sample("xls"), "out", "/SILENT", "ab"});
  EXPECT_EQ(run.exitCode, 2);
  EXPECT_NE(run.errors.find("\"out\" was not taken as a folder"), std::string::npos) << run.errors;
  EXPECT_NE(run.errors.find("write it as ./out\n"), std::string::npos) << run.errors;
  // ./ab is itself too short: the absolute form.
  EXPECT_NE(run.errors.find("write it as " + program.dir().path() + "/ab\n"), std::string::npos)
      << run.errors;
  EXPECT_EQ(run.errors.find("SILENT"), std::string::npos) << run.errors;
  EXPECT_FALSE(FileExists(program.File("ORDERS.csv")));
  // An output file that cannot be created, without LOG: one line on stderr
  // naming the file.
  run = program.Run({Sample("xls"), program.File("missing/out.csv"), "/SILENT"});
  EXPECT_EQ(run.exitCode, 4);
  EXPECT_NE(run.errors.find("tabrevo: Unable to open the output file: " + program.File("missing/out.csv")),
            std::string::npos)
      << run.errors;
}

TEST(ProgramRun, ProgressLineOnATerminalOnly) {
  ProgramCopy program;
  fs::create_directories(program.File("out"));
  ProgramRun run = program.Run({Sample("xls"), "./out"}, /*terminal=*/true);
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_NE(run.errors.find("\rtabrevo: sample.xls [Orders] 0 of 4 rows"), std::string::npos) << run.errors;
  // Cleared at the end: the terminal is left as it was.
  ASSERT_GE(run.errors.size(), 4u);
  EXPECT_EQ(run.errors.substr(run.errors.size() - 4), "\r\x1b[K");
  EXPECT_EQ(ReadFile(program.File("out/ORDERS.csv")), kOrders);

  // SILENT: nothing at all on the terminal.
  run = program.Run({Sample("xls"), "./out", "/SILENT"}, true);
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.errors, "");
}

#else

// The wizard road: BATCH with one named workbook and an output folder
// passes every page by itself, converts and finishes, with the status words
// of the pages and the Start and Stop lines of the log.
TEST(ProgramRun, WizardInBatchModeConvertsAndFinishes) {
  ProgramCopy program;
  fs::create_directories(program.File("out"));
  const std::string status = program.File("status.ini");
  const std::string log = program.LogPath();
  const size_t before = FileExists(log) ? ReadFile(log).size() : 0;
  ProgramRun run =
      program.Run({Sample("xls"), program.File("out"), "/BATCH", "/OPEN=0", "/LOG", "/STATUS=" + status});
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(ReadFile(program.File("out/ORDERS.csv")), kOrders);
  EXPECT_EQ(ReadFile(program.File("out/TOTALS.csv")), kTotals);
  EXPECT_EQ(StatusWord(status), "Successful");
  EXPECT_NE(ReadFile(status).find("Failures=0"), std::string::npos) << ReadFile(status);
  // Other suites may log meanwhile: this run's lines are found by their text.
  std::vector<std::string> messages = LogMessages(TailFrom(log, before));
  const std::string start = "Start. " + Sample("xls");
  size_t starts = 0, stops = 0;
  for (const std::string& m : messages) {
    starts += m.rfind(start, 0) == 0;
    stops += m == "Stop. 5 records have been imported.";
  }
  EXPECT_EQ(starts, 1u);
  EXPECT_EQ(stops, 1u);
}

// Sheets whose files cannot be written: the wizard still finishes by itself
// (with LOG no message waits), and the completion page's "Successful" comes
// with the number of sheets that failed.
TEST(ProgramRun, WizardCountsSheetsItCouldNotWrite) {
  ProgramCopy program;
  const std::string status = program.File("status.ini");
  ProgramRun run = program.Run(
      {Sample("xls"), program.File("missing/folder"), "/BATCH", "/OPEN=0", "/LOG", "/STATUS=" + status});
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(StatusWord(status), "Successful");
  EXPECT_NE(ReadFile(status).find("Failures=2"), std::string::npos) << ReadFile(status);
}

#endif

}  // namespace
