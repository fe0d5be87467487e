#include "cell_text.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

#include "../platform/platform.h"

namespace {

constexpr double kPow10[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9};
constexpr int64_t kPow10Int[] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000,
                                 1000000000};

void PadTo(std::string& out, size_t start, int width) {
  size_t len = out.size() - start;
  if (width > 0 && len < static_cast<size_t>(width))
    out.insert(start, static_cast<size_t>(width) - len, ' ');
}

// Writes the decimal digits of n (n >= 0) ending at `end`; returns the start.
char* WriteDigits(char* end, uint64_t n) {
  do {
    *--end = static_cast<char>('0' + n % 10);
    n /= 10;
  } while (n);
  return end;
}

// The exact fixed-point text when value * 10^precision is a whole number
// below 2^50: printf rounds the exact product to the nearest whole number,
// and the product computed in double is within 1/8 of it, so that whole
// number is what printf prints. Most real data take this road.
bool FastFixed(std::string& out, double value, int precision) {
  if (precision < 0 || precision > 9) return false;
  double scaled = value * kPow10[precision];
  if (!(std::fabs(scaled) < 0x1p50)) return false;
  int64_t n = static_cast<int64_t>(scaled);
  if (static_cast<double>(n) != scaled) return false;
  bool negative = std::signbit(value);
  uint64_t magnitude = static_cast<uint64_t>(n < 0 ? -n : n);
  char buffer[40];
  char* end = buffer + sizeof buffer;
  char* p = end;
  if (precision > 0) {
    uint64_t frac = magnitude % static_cast<uint64_t>(kPow10Int[precision]);
    magnitude /= static_cast<uint64_t>(kPow10Int[precision]);
    for (int i = 0; i < precision; ++i) {
      *--p = static_cast<char>('0' + frac % 10);
      frac /= 10;
    }
    *--p = '.';
  }
  p = WriteDigits(p, magnitude);
  if (negative) *--p = '-';
  out.append(p, static_cast<size_t>(end - p));
  return true;
}

void SlowFixed(std::string& out, double value, int precision) {
  // Big enough for the largest double (309 digits), a sign, a point and the decimals.
  size_t cap = 320 + static_cast<size_t>(precision);
  size_t start = out.size();
  out.resize(start + cap);
  auto result = std::to_chars(out.data() + start, out.data() + start + cap, value,
                              std::chars_format::fixed, precision);
  out.resize(static_cast<size_t>(result.ptr - out.data()));
}

}  // namespace

void AppendFixed(std::string& out, double value, int width, int precision) {
  size_t start = out.size();
  if (precision < 0) precision = 0;
  if (!std::isfinite(value)) {
    // printf's texts for infinities and NaN.
    if (std::isnan(value)) out += std::signbit(value) ? "-nan" : "nan";
    else out += value < 0 ? "-inf" : "inf";
  } else if (!FastFixed(out, value, precision)) {
    SlowFixed(out, value, precision);
  }
  PadTo(out, start, width);
}

void AppendWholeNumber(std::string& out, double value, int width) {
  size_t start = out.size();
  if (!std::isfinite(value)) {
    AppendFixed(out, value, width, 6);
    return;
  }
  double whole = std::trunc(value);
  if (whole >= -2147483648.0 && whole <= 2147483647.0) {
    char buffer[16];
    auto r = std::to_chars(buffer, buffer + sizeof buffer, static_cast<int32_t>(whole));
    out.append(buffer, static_cast<size_t>(r.ptr - buffer));
  } else {
    SlowFixed(out, whole, 0);
  }
  PadTo(out, start, width);
}

void AppendDate(std::string& out, int year, int month, int day, int hour, int minute, int second) {
  auto two = [&](int v) {
    if (v >= 0 && v < 100) {
      out.push_back(static_cast<char>('0' + v / 10));
      out.push_back(static_cast<char>('0' + v % 10));
    } else {
      out += std::to_string(v);
    }
  };
  if (year >= 0 && year <= 9999) {
    out.push_back(static_cast<char>('0' + year / 1000));
    out.push_back(static_cast<char>('0' + year / 100 % 10));
    out.push_back(static_cast<char>('0' + year / 10 % 10));
    out.push_back(static_cast<char>('0' + year % 10));
  } else {
    out += std::to_string(year);
  }
  out.push_back('.');
  two(month);
  out.push_back('.');
  two(day);
  if (hour + minute + second != 0) {
    out.push_back(' ');
    two(hour);
    out.push_back(':');
    two(minute);
    out.push_back(':');
    two(second);
  }
}

NumberLayout LayoutOfFormat(std::string_view formatText) {
  NumberLayout layout;
  size_t chars = platform::TextLength(formatText);
  layout.width = chars > static_cast<size_t>(std::numeric_limits<int>::max() / 2)
                     ? std::numeric_limits<int>::max() / 2
                     : static_cast<int>(chars);
  size_t dot = formatText.find('.');
  if (dot != std::string_view::npos)
    layout.precision = static_cast<int>(platform::TextLength(formatText.substr(dot + 1)));
  return layout;
}
