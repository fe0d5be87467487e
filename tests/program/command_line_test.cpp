// The Linux program's exit codes and progress line (run in-process; the
// end-to-end tests run the built program).
#ifndef _WIN32
#include "program/command_line.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include "engine/progress.h"
#include "platform/platform.h"
#include "tests/support/test_support.h"
#include "program/progress_line.h"

using testing_support::ReadFile;
using testing_support::ScratchDir;

namespace {

TEST(ExitCode, WriteFailuresOutrankReadFailures) {
  ConverterSettings s{};
  EXPECT_EQ(ExitCodeFor(s, 0), kExitConverted);
  EXPECT_EQ(ExitCodeFor(s, 3), kExitReadFailure);  // a book could not be created
  s.readFailures = 1;
  EXPECT_EQ(ExitCodeFor(s, 0), kExitReadFailure);
  s.writeFailures = 2;
  EXPECT_EQ(ExitCodeFor(s, 3), kExitWriteFailure);
  s.readFailures = 0;
  EXPECT_EQ(ExitCodeFor(s, 0), kExitWriteFailure);
}

// Sends stderr to a file for the life of the object.
class CapturedStderr {
 public:
  explicit CapturedStderr(const std::string& path) : path_(path) {
    std::fflush(stderr);
    saved_ = ::dup(STDERR_FILENO);
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ::dup2(fd, STDERR_FILENO);
    ::close(fd);
  }
  ~CapturedStderr() { Restore(); }
  std::string Restore() {
    if (saved_ >= 0) {
      std::fflush(stderr);
      ::dup2(saved_, STDERR_FILENO);
      ::close(saved_);
      saved_ = -1;
    }
    return ReadFile(path_);
  }

 private:
  std::string path_;
  int saved_ = -1;
};

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
