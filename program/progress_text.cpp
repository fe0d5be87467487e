#include "progress_text.h"

#include <cstdio>

bool TimeEstimateText(std::time_t start, std::time_t now, int done, int total, std::time_t* lastAccepted,
                      std::string* text) {
  if (now == *lastAccepted) return false;  // at most one change a second
  if (done == 0) return false;
  *lastAccepted = now;
  long long elapsed = static_cast<long long>(now) - static_cast<long long>(start);
  if (elapsed < 2) return false;  // too early for a useful estimate
  unsigned long long e = static_cast<unsigned long long>(elapsed);
  unsigned long long rows = total > 0 ? static_cast<unsigned long long>(total) : 0;
  unsigned long long estimate = e * rows / static_cast<unsigned long long>(done > 0 ? done : 1);
  text->assign("Elapsed time:\t").append(ClockText(e));
  text->append("\nEstimated time:\t").append(ClockText(estimate));
  return true;
}

std::string ClockText(unsigned long long seconds) {
  unsigned long long h = seconds / 3600;
  unsigned long long m = seconds / 60 - 60 * h;
  unsigned long long s = seconds - 60 * (60 * h + m);
  char buffer[48];
  std::snprintf(buffer, sizeof buffer, "%02llu:%02llu:%02llu", h, m, s);
  return buffer;
}

std::string GroupedNumber(long long value) {
  std::string digits = std::to_string(value < 0 ? -value : value);
  std::string out;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out.push_back(',');
    out.push_back(digits[i]);
  }
  return value < 0 ? "-" + out : out;
}

namespace {

// Keeps the first `width` code points of UTF-8 text.
void CutToWidth(std::string& text, size_t width) {
  size_t points = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) continue;
    if (points == width) {
      text.resize(i);
      return;
    }
    ++points;
  }
}

// Names come from the workbook: control characters (escape sequences
// among them) would act on the terminal, so they are shown as "?".
void AppendPrintable(std::string& out, std::string_view name) {
  for (char c : name) {
    unsigned char u = static_cast<unsigned char>(c);
    out.push_back(u < 0x20 || u == 0x7F ? '?' : c);
  }
}

}  // namespace

std::string ProgressLineText(std::string_view workbook, std::string_view sheet, int done, int total,
                             double elapsedSeconds, size_t width) {
  unsigned long long elapsed = elapsedSeconds > 0 ? static_cast<unsigned long long>(elapsedSeconds) : 0;
  std::string line = "tabrevo: ";
  AppendPrintable(line, workbook);
  line.append(" [");
  AppendPrintable(line, sheet);
  line.append("] ");
  line.append(GroupedNumber(done)).append(" of ").append(GroupedNumber(total)).append(" rows, ");
  line.append(ClockText(elapsed));
  if (done > 0 && total >= done && elapsedSeconds > 0) {
    double estimate = elapsedSeconds * static_cast<double>(total) / static_cast<double>(done);
    line.append(" of about ").append(ClockText(static_cast<unsigned long long>(estimate + 0.5)));
  }
  CutToWidth(line, width);
  return line;
}
