// The export's display operations on Linux: one line on stderr, redrawn in
// place at most ten times a second.
#include <sys/ioctl.h>
#include <unistd.h>

#include <chrono>

#include "engine/progress.h"
#include "platform/platform.h"
#include "progress_line.h"
#include "progress_text.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kRedrawInterval = std::chrono::milliseconds(100);

// The state of the one line of the process (see EnableProgressLine).
struct LineState {
  const ConverterSettings* settings = nullptr;
  bool shown = false;
  int total = 0;
  Clock::time_point sheetStart;
  Clock::time_point lastDraw;
};

LineState& Line() {
  static LineState state;
  return state;
}

void WriteAll(const std::string& bytes) {
  const char* p = bytes.data();
  size_t left = bytes.size();
  while (left > 0) {
    ssize_t n = ::write(STDERR_FILENO, p, left);
    if (n <= 0) return;  // a display that cannot be written is simply not shown
    p += n;
    left -= static_cast<size_t>(n);
  }
}

size_t TerminalWidth() {
  winsize ws{};
  if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 1) return ws.ws_col;
  return 80;
}

std::string FileName(const std::string& path) {
  size_t sep = platform::LastSeparator(path);
  return sep == std::string::npos ? path : path.substr(sep + 1);
}

void Draw(int done, Clock::time_point now) {
  LineState& line = Line();
  const ConverterSettings& s = *line.settings;
  const char* sheetName = s.sheet ? xlSheetNameA(s.sheet) : nullptr;
  double elapsed = std::chrono::duration<double>(now - line.sheetStart).count();
  // One column is left free: a line that fills the terminal would wrap on
  // some terminals and the next carriage return would not reach its start.
  std::string text = ProgressLineText(FileName(s.sourceFile), sheetName ? sheetName : "", done, line.total,
                                      elapsed, TerminalWidth() - 1);
  WriteAll("\r" + text + "\x1b[K");
  line.shown = true;
  line.lastDraw = now;
}

bool DueForRedraw(Clock::time_point now) {
  const LineState& line = Line();
  // A line not on the terminal (none yet, or cleared for a message) is
  // drawn at once.
  return !line.shown || now - line.lastDraw >= kRedrawInterval;
}

}  // namespace

void EnableProgressLine(const ConverterSettings* settings) {
  Line().settings = settings;
  platform::SetBeforeFailureLine(settings ? &ClearProgressLine : nullptr);
}

void ClearProgressLine() {
  LineState& line = Line();
  if (!line.shown) return;
  WriteAll("\r\x1b[K");
  line.shown = false;
}

bool WantProgressLine(const ConverterSettings& settings) {
  // Records going to the same terminal would be torn apart by the line.
  if (settings.toStandardOutput && ::isatty(STDOUT_FILENO)) return false;
  return !settings.silent && ::isatty(STDERR_FILENO);
}

void SetProgressRange(platform::Window, int rowCount) {
  LineState& line = Line();
  if (!line.settings) return;
  line.total = rowCount;
  line.sheetStart = Clock::now();
  if (rowCount > 0 && DueForRedraw(line.sheetStart)) Draw(0, line.sheetStart);
}

void StepProgress(platform::Window) {}

void ShowTimeEstimate(platform::Window, std::time_t, std::time_t, int row, int) {
  // The export passes whole seconds; the line measures its own time for an
  // estimate that is useful in a sheet's first seconds too.
  if (!Line().settings) return;
  Clock::time_point now = Clock::now();
  if (DueForRedraw(now)) Draw(row, now);
}
