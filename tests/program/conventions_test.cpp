// The Linux program's command-line conventions: --help, -h and --version,
// and "-" as the output name (standard output), run on the built program.
#ifndef _WIN32
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <unistd.h>

#include <filesystem>
#include <regex>

#include "engine/parameters.h"
#include "program/command_line.h"
#include "program/progress_line.h"
#include "program_run.h"

using testing_support::FixturePath;
using testing_support::ReadFile;

namespace fs = std::filesystem;

namespace {

std::string Sample(const char* ending) { return FixturePath(std::string("sample/sample.") + ending); }

// The files of the scratch folder besides the program's own (the program,
// what the runs wrote to stdout and stderr, its activity log folder).
std::vector<std::string> OtherFiles(const ProgramCopy& program) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(program.dir().path())) {
    std::string name = entry.path().filename().string();
    if (name != "tabrevo" && name != "stdout.txt" && name != "stderr.txt" && name != "appdata")
      names.push_back(name);
  }
  return names;
}

TEST(HelpAndVersion, PrintedOnStandardOutputWithExitCodeZero) {
  ProgramCopy program;
  for (const char* option : {"--help", "-h"}) {
    // Also among the arguments of a conversion: nothing is converted.
    ProgramRun run = program.Run({Sample("xlsx"), program.File("all.csv"), option});
    EXPECT_EQ(run.exitCode, 0) << option;
    EXPECT_EQ(run.output, UsageText()) << option;
    EXPECT_EQ(run.errors, "") << option;
  }
  EXPECT_NE(UsageText().find("--version"), std::string::npos);
  EXPECT_NE(UsageText().find(" - "), std::string::npos) << "the usage names the output -";

  ProgramRun run = program.Run({"--version"});
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.errors, "");
  EXPECT_TRUE(std::regex_match(run.output, std::regex("tabrevo [0-9]+\\.[0-9]+\\.[0-9]+\n"))) << run.output;
  EXPECT_EQ(run.output, VersionText());
  EXPECT_EQ(OtherFiles(program), std::vector<std::string>{});

  // Help for a bad run goes to stderr, and the exit code says what was missing.
  run = program.Run({});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.output, "");
  EXPECT_EQ(run.errors, UsageText());
}

// The keyword language skips all of them: a future keyword named H, -HELP
// or -VERSION would make them change a run.
TEST(HelpAndVersion, MeanNothingToTheKeywordLanguage) {
  ConverterSettings plain{};
  SetDefaultSettings(plain);
  ConverterSettings given{};
  SetDefaultSettings(given);
  const char* arguments[] = {"tabrevo", "--help", "-h", "--version", "-", "-H", "--HELP", "--Version"};
  ParseParameters(given, 8, arguments);
  EXPECT_EQ(given.sourceFile, plain.sourceFile);
  EXPECT_EQ(given.outputFile, plain.outputFile);
  EXPECT_EQ(given.outputFolder, plain.outputFolder);
  EXPECT_EQ(given.fieldDelimiter, plain.fieldDelimiter);
  EXPECT_EQ(given.recordDelimiter, plain.recordDelimiter);
  EXPECT_EQ(given.escapeChar, plain.escapeChar);
  EXPECT_EQ(given.statusFile, plain.statusFile);
  EXPECT_EQ(given.selectedSheets, plain.selectedSheets);
  for (auto field :
       {&ConverterSettings::overwrite, &ConverterSettings::codePage, &ConverterSettings::quoteStrings,
        &ConverterSettings::quoteAll, &ConverterSettings::crlfMode, &ConverterSettings::exportRecords,
        &ConverterSettings::maxLength, &ConverterSettings::logEnabled, &ConverterSettings::openResult,
        &ConverterSettings::batch, &ConverterSettings::wait, &ConverterSettings::silent})
    EXPECT_EQ(given.*field, plain.*field);
}

TEST(StandardOutput, EverySheetAsIntoOneOutputFile) {
  ProgramCopy program;
  for (const char* ending : {"xlsx", "xls"}) {
    ProgramRun file = program.Run({Sample(ending), program.File("all.csv"), "/FIELDS=TAB"});
    ASSERT_EQ(file.exitCode, 0) << file.errors;
    std::string expected = ReadFile(program.File("all.csv"));
    ASSERT_NE(expected.find("Smith, Anna"), std::string::npos);
    ASSERT_NE(expected.find("\"Total\"\t1363.85"), std::string::npos) << "both sheets";
    fs::remove(program.File("all.csv"));

    std::string status = program.File("status.ini");
    ProgramRun run = program.Run({Sample(ending), "-", "/FIELDS=TAB", "/STATUS=" + status});
    EXPECT_EQ(run.exitCode, 0) << ending;
    EXPECT_EQ(run.output, expected) << ending;
    EXPECT_EQ(run.errors, "") << ending;
    EXPECT_NE(ReadFile(status).find("Failures=0"), std::string::npos);
    EXPECT_NE(ReadFile(status).find("Result=Successful"), std::string::npos);
    fs::remove(status);
    EXPECT_EQ(OtherFiles(program), std::vector<std::string>{}) << "no file is written";
  }

  // Several workbooks one after another; the overwrite rules have nothing
  // to keep or replace on a stream.
  fs::create_directories(program.File("books"));
  fs::copy_file(Sample("xlsx"), program.File("books/a.xlsx"));
  fs::copy_file(Sample("xlsx"), program.File("books/b.xlsx"));
  ProgramRun one = program.Run({program.File("books/a.xlsx"), "-"});
  ProgramRun both = program.Run({program.File("books/*.xlsx"), "-", "/OVERWRITE=SKIP"});
  EXPECT_EQ(both.exitCode, 0);
  EXPECT_EQ(both.output, one.output + one.output);
}

TEST(StandardOutput, FailuresOnStandardErrorOnly) {
  ProgramCopy program;
  // "-" and a named output: nothing is converted.
  fs::create_directories(program.File("out"));
  ProgramRun run = program.Run({Sample("xlsx"), "-", program.File("out")});
  EXPECT_EQ(run.exitCode, 2);
  EXPECT_EQ(run.output, "");
  EXPECT_EQ(run.errors, "tabrevo: both - (standard output) and " + program.File("out") +
                            " given as the output: name one\n");
  EXPECT_TRUE(fs::is_empty(program.File("out")));
  run = program.Run({program.File("all.txt"), Sample("xlsx"), "-"});
  EXPECT_EQ(run.exitCode, 2);
  EXPECT_FALSE(fs::exists(program.File("all.txt")));

  // A damaged sheet: its rows before the damage on stdout, one line on stderr.
  run = program.Run({FixturePath("engine/damaged_sheet.xlsx"), "-"});
  EXPECT_EQ(run.exitCode, 3);
  EXPECT_NE(run.output, "");
  EXPECT_EQ(std::count(run.errors.begin(), run.errors.end(), '\n'), 1) << run.errors;
  EXPECT_NE(run.errors.find("damaged_sheet.xlsx"), std::string::npos) << run.errors;

  // Standard output that cannot take the records: exit code 4, one line
  // for each sheet, naming standard output and the reason.
  run = program.Run({Sample("xlsx"), "-"}, false, "/dev/full");
  EXPECT_EQ(run.exitCode, 4);
  EXPECT_EQ(run.errors,
            "tabrevo: Unable to write all of the output file: standard output: No space left on device\n"
            "tabrevo: Unable to write all of the output file: standard output: No space left on device\n");
}

// With stdout closed, the records must not go to whatever file takes its
// descriptor next (the workbook, another output).
TEST(StandardOutput, ClosedStandardOutputIsAFailure) {
  testing_support::ScratchDir dir;
  std::string errors = dir.File("stderr.txt");
  std::string command =
      std::string("'") + TABREVO_PROGRAM_FILE + "' '" + Sample("xlsx") + "' - >&- 2>'" + errors + "'";
  int status = std::system(command.c_str());
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 4);
  EXPECT_EQ(ReadFile(errors), "tabrevo: standard output is closed: nowhere to write the records to\n");
}

// The progress line stays off while the records go to the same terminal.
TEST(StandardOutput, NoProgressLineBetweenRecordsOnATerminal) {
  int master = -1, slave = -1;
  ASSERT_EQ(::openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
  int savedOut = ::dup(STDOUT_FILENO), savedErr = ::dup(STDERR_FILENO);
  ::dup2(slave, STDOUT_FILENO);
  ::dup2(slave, STDERR_FILENO);
  ConverterSettings s{};
  bool toFile = WantProgressLine(s);
  s.toStandardOutput = true;
  bool toTerminal = WantProgressLine(s);
  int devNull = ::open("/dev/null", O_WRONLY);
  ::dup2(devNull, STDOUT_FILENO);  // stdout piped on, stderr still the terminal
  bool toPipe = WantProgressLine(s);
  ::dup2(savedOut, STDOUT_FILENO);
  ::dup2(savedErr, STDERR_FILENO);
  for (int fd : {savedOut, savedErr, devNull, slave, master}) ::close(fd);
  EXPECT_TRUE(toFile);
  EXPECT_FALSE(toTerminal);
  EXPECT_TRUE(toPipe);
}

}  // namespace
#endif
