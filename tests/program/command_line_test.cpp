// The Linux program's exit codes and progress line (run in-process; the
// end-to-end tests run the built program).
#ifndef _WIN32
#include "program/command_line.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include "engine/progress.h"
#include "platform/platform.h"
#include "program/progress_line.h"
#include "tests/support/test_support.h"

using testing_support::CapturedStderr;
using testing_support::ReadFile;
using testing_support::ScratchDir;

namespace {

size_t Count(const std::string& text, const std::string& piece) {
  size_t n = 0;
  for (size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1)) ++n;
  return n;
}

TEST(ProgressLine, RedrawnRarelyClearedAtTheEndAndBeforeFailures) {
  ScratchDir dir;
  ConverterSettings s{};
  s.sourceFile = "/data/book.xlsx";
  CapturedStderr err(dir.File("stderr.txt"));
  EnableProgressLine(&s);
  const int rows = 300000;
  SetProgressRange(nullptr, rows);
  std::time_t start = std::time(nullptr);
  for (int row = 0; row < rows; ++row) {
    StepProgress(nullptr);
    ShowTimeEstimate(nullptr, start, std::time(nullptr), row, rows);
  }
  platform::ShowFailure(nullptr, "Unable to open the output file", "/out/A.csv", "denied");
  SetProgressRange(nullptr, 10);
  ClearProgressLine();
  ClearProgressLine();  // nothing shown any more: writes nothing
  EnableProgressLine(nullptr);
  SetProgressRange(nullptr, 10);  // switched off: nothing
  std::string text = err.Restore();

  EXPECT_EQ(text.rfind("\r", 0), 0u) << "the line starts at the start of the terminal line";
  EXPECT_NE(text.find("tabrevo: book.xlsx [] 0 of 300,000 rows"), std::string::npos);
  // However fast the rows go by, the line is drawn a few times a second at most.
  size_t draws = Count(text, "rows, ");
  EXPECT_GE(draws, 1u);
  EXPECT_LE(draws, 60u) << text.size();
  // The failure message stands on a line of its own.
  EXPECT_NE(text.find("\r\x1b[Ktabrevo: Unable to open the output file: /out/A.csv: denied\n"),
            std::string::npos);
  // The second sheet draws at once after the failure, and the end clears the line.
  EXPECT_NE(text.find("\n\rtabrevo: book.xlsx [] 0 of 10 rows"), std::string::npos);
  EXPECT_EQ(text.substr(text.size() - 4), "\r\x1b[K");
}

TEST(ProgressLine, OnlyOnATerminalAndWithoutSilent) {
  ScratchDir dir;
  ConverterSettings s{};
  CapturedStderr err(dir.File("stderr.txt"));  // a file is no terminal
  EXPECT_FALSE(WantProgressLine(s));
  err.Restore();
  if (::isatty(STDERR_FILENO)) {
    EXPECT_TRUE(WantProgressLine(s));
    s.silent = 1;
    EXPECT_FALSE(WantProgressLine(s));
  }
}

}  // namespace
#endif
