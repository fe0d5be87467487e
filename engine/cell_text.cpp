#include "cell_text.h"

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

#include "../platform/platform.h"

namespace {

// The digit writers here are forced inline: each number passes through three or
// four of them, and as calls they cost more than the digits themselves.
#define CELL_TEXT_INLINE inline __attribute__((always_inline))

constexpr double kPow10[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9};
constexpr int64_t kPow10Int[] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000, 1000000000};

void PadTo(std::string& out, size_t start, int width) {
  size_t len = out.size() - start;
  if (width > 0 && len < static_cast<size_t>(width)) out.insert(start, static_cast<size_t>(width) - len, ' ');
}

constexpr char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// The eight decimal digits of n (below 10^8, zeros in front) as the byte
// values 0 to 9, first digit in the lowest byte: n is split into two halves
// of four digits, each half into two pairs and each pair into two digits,
// every split done on all lanes at once by one multiplication (x * 10486
// >> 20 is x / 100 below 10^4, x * 103 >> 10 is x / 10 below 100).
CELL_TEXT_INLINE uint64_t EightDigits(uint32_t n) {
  const uint64_t halves = (n / 10000) | (static_cast<uint64_t>(n % 10000) << 32);
  const uint64_t high = ((halves * 10486) >> 20) & 0x0000007F0000007Fu;
  const uint64_t pairs = ((halves - 100 * high) << 16) + high;
  const uint64_t tens = ((pairs * 103) >> 10) & 0x000F000F000F000Fu;
  return tens + ((pairs - 10 * tens) << 8);
}

static_assert(std::endian::native == std::endian::little, "digits are stored as little-endian words");

constexpr uint64_t kAsciiZeros = 0x3030303030303030u;

// Stores the 8 bytes of `word` at `out` (the text is in memory order on
// this little-endian target; bytes past the text's end are overwritten later
// or lie outside it).
inline void Store8(char* out, uint64_t word) { std::memcpy(out, &word, 8); }

// The number of decimal digits of n (1 for 0), from its highest set bit:
// each entry adds to n what carries it into the next multiple of 2^32 exactly
// when n has one digit more than the smallest number of that bit length.
CELL_TEXT_INLINE int DigitCount(uint32_t n) {
  static constexpr uint64_t kTable[] = {
      4294967296,  8589934582,  8589934582,  8589934582,  12884901788, 12884901788, 12884901788,
      17179868184, 17179868184, 17179868184, 21474826480, 21474826480, 21474826480, 21474826480,
      25769703776, 25769703776, 25769703776, 30063771072, 30063771072, 30063771072, 34349738368,
      34349738368, 34349738368, 34349738368, 38554705664, 38554705664, 38554705664, 41949672960,
      41949672960, 41949672960, 42949672960, 42949672960};
  return static_cast<int>((n + kTable[31 - __builtin_clz(n | 1)]) >> 32);
}

// Writes n (below 10^8) without zeros in front at `out`; returns the end.
// Writes 8 bytes whatever the length. The length comes from the number
// itself, not from its digits: the place of what is written next is then
// known long before the digits are, and the renderings of consecutive
// numbers overlap instead of waiting for each other.
CELL_TEXT_INLINE char* WriteUpTo8(char* out, uint32_t n) {
  const int length = DigitCount(n);
  Store8(out, (EightDigits(n) + kAsciiZeros) >> (8 * (8 - length)));
  return out + length;
}

// Writes the decimal digits of n at `out`; returns the end. Writes up to 8
// bytes past the end.
CELL_TEXT_INLINE char* WriteWhole(char* out, uint64_t n) {
  if (n < 100000000) return WriteUpTo8(out, static_cast<uint32_t>(n));
  if (n < 10000000000000000u) {
    out = WriteUpTo8(out, static_cast<uint32_t>(n / 100000000));
    Store8(out, EightDigits(static_cast<uint32_t>(n % 100000000)) + kAsciiZeros);
    return out + 8;
  }
  out = WriteUpTo8(out, static_cast<uint32_t>(n / 10000000000000000u));  // at most 1844
  n %= 10000000000000000u;
  Store8(out, EightDigits(static_cast<uint32_t>(n / 100000000)) + kAsciiZeros);
  Store8(out + 8, EightDigits(static_cast<uint32_t>(n % 100000000)) + kAsciiZeros);
  return out + 16;
}

// Writes exactly `width` digits of n (below 10^width, width 1 to 19), zeros
// in front, at `out`; returns the end. Writes up to 8 bytes past it.
CELL_TEXT_INLINE char* WriteWidth(char* out, uint64_t n, int width) {
  if (width <= 8) {
    Store8(out, (EightDigits(static_cast<uint32_t>(n)) + kAsciiZeros) >> (8 * (8 - width)));
    return out + width;
  }
  const uint64_t high = n / 100000000;
  const uint32_t low = static_cast<uint32_t>(n % 100000000);
  if (width <= 16) {
    Store8(out, (EightDigits(static_cast<uint32_t>(high)) + kAsciiZeros) >> (8 * (16 - width)));
    out += width - 8;
  } else {
    Store8(out, (EightDigits(static_cast<uint32_t>(high / 100000000)) + kAsciiZeros) >> (8 * (24 - width)));
    out += width - 16;
    Store8(out, EightDigits(static_cast<uint32_t>(high % 100000000)) + kAsciiZeros);
    out += 8;
  }
  Store8(out, EightDigits(low) + kAsciiZeros);
  return out + 8;
}

// The number of decimal digits of n (1 for 0).
CELL_TEXT_INLINE int WholeLength(uint64_t n) {
  if (n < 100000000) return DigitCount(static_cast<uint32_t>(n));
  if (n < 10000000000000000u) return 8 + DigitCount(static_cast<uint32_t>(n / 100000000));
  return 16 + DigitCount(static_cast<uint32_t>(n / 10000000000000000u));
}

constexpr int kMaxFastWidth = 32;
constexpr char kSpaces[kMaxFastWidth + 1] = "                                ";

// The blanks in front of a number's text (sign, whole part, and a point
// and `precision` decimals when precision > 0) padded to `width` (at most
// kMaxFastWidth): writes kMaxFastWidth bytes whatever their number (those
// past them are overwritten by the text or lie outside it) and returns
// where the text starts. The text's length is known before its digits are
// written, so the blanks and the digits go straight to their places: a text
// written first and moved after would be read back while its bytes are
// still on their way to memory, which stalls the processor.
CELL_TEXT_INLINE char* PadFront(char* out, bool negative, uint64_t whole, int precision, int width) {
  if (width <= 0) return out;
  const int length = (negative ? 1 : 0) + WholeLength(whole) + (precision > 0 ? precision + 1 : 0);
  if (width <= length) return out;
  std::memcpy(out, kSpaces, kMaxFastWidth);
  return out + (width - length);
}

// Writes sign, whole part and `precision` decimals (`frac`, below
// 10^precision) at `out`, blanks in front up to `width`; returns the end.
// Writes up to 8 bytes past it.
CELL_TEXT_INLINE char* WriteParts(char* out, bool negative, uint64_t whole, uint64_t frac, int precision,
                                  int width) {
  char* p = out;
  p = PadFront(p, negative, whole, precision, width);
  if (negative) *p++ = '-';
  p = WriteWhole(p, whole);
  if (precision > 0) {
    *p++ = '.';
    p = WriteWidth(p, frac, precision);
  }
  return p;
}

// Writes sign, whole part and `precision` decimals (at most 9) of
// magnitude / 10^precision.
CELL_TEXT_INLINE char* WriteScaled(char* out, bool negative, uint64_t magnitude, int precision, int width) {
  if (precision <= 0) return WriteParts(out, negative, magnitude, 0, 0, width);
  // The General format's six decimals, by a constant: a multiplication
  // rather than a division.
  if (precision == 6) return WriteParts(out, negative, magnitude / 1000000, magnitude % 1000000, 6, width);
  const uint64_t unit = static_cast<uint64_t>(kPow10Int[precision]);
  return WriteParts(out, negative, magnitude / unit, magnitude % unit, precision, width);
}

// The exact fixed-point text from the product value * 10^precision as
// computed in double. printf rounds the exact product to the nearest whole
// number. Below 2^52 every whole number and every half lies on the grid of
// doubles, and rounding to the nearest double keeps order, so the computed
// product lies on the same side of each whole number and each half as the
// exact one (or on it): its fraction rounds the same way, except at a half,
// which the exact product may miss. Most real data take this road; halves
// and larger products are rounded exactly.
CELL_TEXT_INLINE char* FastFixed(char* out, double value, int precision, int width) {
  const double magnitude = std::fabs(value * kPow10[precision]);
  if (!(magnitude < 0x1p52)) return nullptr;
  uint64_t n = static_cast<uint64_t>(magnitude);
  const double fraction = magnitude - static_cast<double>(n);  // exact
  if (fraction == 0.5) return nullptr;
  n += fraction > 0.5;
  return WriteScaled(out, std::signbit(value), n, precision, width);
}

#ifdef __SIZEOF_INT128__
// Exact rounding of any other value below 2^53 with up to 19 decimals: the
// double is m * 2^-s; m * 10^precision fits in 128 bits (below 2^117), and
// shifting it right by s with round-half-even gives exactly the whole number
// printf prints (it rounds the exact binary value the same way). Long
// decimals come from formats such as "#,##0.00;[Red]-#,##0.00", whose
// precision counts everything behind the first full stop.
char* ExactFixed(char* out, double value, int precision, int width) {
  static constexpr uint64_t kPow10U64[] = {1u,
                                           10u,
                                           100u,
                                           1000u,
                                           10000u,
                                           100000u,
                                           1000000u,
                                           10000000u,
                                           100000000u,
                                           1000000000u,
                                           10000000000u,
                                           100000000000u,
                                           1000000000000u,
                                           10000000000000u,
                                           100000000000000u,
                                           1000000000000000u,
                                           10000000000000000u,
                                           100000000000000000u,
                                           1000000000000000000u,
                                           10000000000000000000u};
  uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  int exponent = static_cast<int>((bits >> 52) & 0x7FF);
  uint64_t mantissa = bits & ((uint64_t(1) << 52) - 1);
  if (exponent == 0x7FF) return nullptr;
  int shift;  // value = mantissa * 2^-shift
  if (exponent == 0) {
    shift = 1074;
  } else {
    mantissa |= uint64_t(1) << 52;
    shift = 1075 - exponent;
  }
  if (shift <= 0) return nullptr;  // 2^53 and above: whole numbers, the general road
  const bool negative = (bits >> 63) != 0;
  // The whole part apart from the fraction's bits, so that only the
  // fraction is scaled and rounded (no 128-bit division after); a half
  // goes to the even total, whole * 10^precision + q, whose last digit is
  // q's unless there are no decimals.
  uint64_t whole = 0;
  if (shift < 64) {
    whole = mantissa >> shift;
    mantissa &= (uint64_t(1) << shift) - 1;
  }
  const uint64_t unit = kPow10U64[precision];
  const unsigned __int128 scaled = static_cast<unsigned __int128>(mantissa) * unit;
  uint64_t q;  // the decimals, at most 10^precision
  if (shift >= 118) {
    q = 0;  // below 2^117 / 2^118: below one half
  } else {
    q = static_cast<uint64_t>(scaled >> shift);
    unsigned __int128 rest = scaled & ((static_cast<unsigned __int128>(1) << shift) - 1);
    unsigned __int128 half = static_cast<unsigned __int128>(1) << (shift - 1);
    const uint64_t last = precision == 0 ? whole + q : q;
    if (rest > half || (rest == half && (last & 1))) ++q;
  }
  if (q == unit) {  // the decimals rounded up into the whole part
    ++whole;
    q = 0;
  }
  return WriteParts(out, negative, whole, q, precision, width);
}
#else
char* ExactFixed(char*, double, int, int) { return nullptr; }
#endif

void SlowFixed(std::string& out, double value, int precision) {
  // Big enough for the largest double (309 digits), a sign, a point and the decimals.
  size_t cap = 320 + static_cast<size_t>(precision);
  size_t start = out.size();
  out.resize(start + cap);
  auto result =
      std::to_chars(out.data() + start, out.data() + start + cap, value, std::chars_format::fixed, precision);
  out.resize(static_cast<size_t>(result.ptr - out.data()));
}

}  // namespace

char* WriteFixedFast(char* out, double value, int precision, int width) {
  if (precision < 0 || precision > 19 || width > kMaxFastWidth) return nullptr;
  // Whole numbers below 2^53 (counts, codes, most values of many sheets):
  // the digits, then the point and the zeros, with no scaling.
  if (std::fabs(value) < 0x1p53) {
    const int64_t whole = static_cast<int64_t>(value);
    if (static_cast<double>(whole) == value) {
      char* p = out;
      const bool negative = std::signbit(value);  // -0 too, as printf writes it
      const uint64_t magnitude = static_cast<uint64_t>(whole < 0 ? -whole : whole);
      p = PadFront(p, negative, magnitude, precision, width);
      if (negative) *p++ = '-';
      char* end = WriteWhole(p, magnitude);
      if (precision > 0) {
        *end++ = '.';
        std::memcpy(end, "00000000000000000000", 20);  // within the room; `precision` of them count
        end += precision;
      }
      return end;
    }
  }
  if (precision <= 9)
    if (char* end = FastFixed(out, value, precision, width)) return end;
  return ExactFixed(out, value, precision, width);
}

void AppendFixed(std::string& out, double value, int width, int precision) {
  size_t start = out.size();
  if (precision < 0) precision = 0;
  if (!std::isfinite(value)) {
    // printf's texts for infinities and NaN.
    if (std::isnan(value))
      out += std::signbit(value) ? "-nan" : "nan";
    else
      out += value < 0 ? "-inf" : "inf";
  } else {
    char buffer[48];
    if (char* end = WriteFixedFast(buffer, value, precision))
      out.append(buffer, static_cast<size_t>(end - buffer));
    else
      SlowFixed(out, value, precision);
  }
  PadTo(out, start, width);
}

char* WriteWholeNumberFast(char* out, double value, int width) {
  if (width > kMaxFastWidth || !(std::fabs(value) < 0x1p53)) return nullptr;
  const int64_t whole = static_cast<int64_t>(value);  // toward zero; -0.7 gives 0, written without sign
  const bool negative = whole < 0;
  const uint64_t magnitude = static_cast<uint64_t>(negative ? -whole : whole);
  char* p = out;
  p = PadFront(p, negative, magnitude, 0, width);
  if (negative) *p++ = '-';
  return WriteWhole(p, magnitude);
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

char* WriteDate(char* out, int year, int month, int day, int hour, int minute, int second) {
  auto two = [&](int v) {
    std::memcpy(out, kDigitPairs + 2 * v, 2);
    out += 2;
  };
  if (year < 0 || year > 9999 || month < 0 || month > 99 || day < 0 || day > 99 || hour < 0 || hour > 99 ||
      minute < 0 || minute > 99 || second < 0 || second > 99) {
    std::string text;
    AppendDate(text, year, month, day, hour, minute, second);
    std::memcpy(out, text.data(), text.size() < 47 ? text.size() : 47);
    return out + (text.size() < 47 ? text.size() : 47);
  }
  two(year / 100);
  two(year % 100);
  *out++ = '.';
  two(month);
  *out++ = '.';
  two(day);
  if (hour + minute + second != 0) {
    *out++ = ' ';
    two(hour);
    *out++ = ':';
    two(minute);
    *out++ = ':';
    two(second);
  }
  return out;
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

std::string_view ErrorCellText(int code) {
  switch (code) {
    case 0x00: return "#NULL!";
    case 0x07: return "#DIV/0!";
    case 0x0F: return "#VALUE!";
    case 0x17: return "#REF!";
    case 0x1D: return "#NAME?";
    case 0x24: return "#NUM!";
    case 0x2B: return "#GETTING_DATA";
    default: return "#N/A";
  }
}
