// Renderings must be byte-identical to the printf formats they replace.
#include "engine/cell_text.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>

namespace {

std::string Printf(const char* format, double v) {
  char buffer[2048];
  std::snprintf(buffer, sizeof buffer, format, v);
  return buffer;
}

std::string Fixed(double v, int width, int precision) {
  std::string out;
  AppendFixed(out, v, width, precision);
  return out;
}

std::vector<double> EdgeValues() {
  std::vector<double> v = {0.0,
                           -0.0,
                           0.5,
                           -0.5,
                           1.5,
                           2.5,
                           0.0000005,
                           0.0000015,
                           0.0000025,
                           1.0 / 128,
                           3.0 / 256,
                           1e-7,
                           -1e-7,
                           5e-7,
                           0.1,
                           0.2,
                           0.3,
                           1.0 / 3,
                           123456.789,
                           1e15,
                           1e16,
                           1e17,
                           1e22,
                           1e23,
                           1e300,
                           -1e300,
                           std::numeric_limits<double>::max(),
                           std::numeric_limits<double>::min(),
                           std::numeric_limits<double>::denorm_min(),
                           0x1p50,
                           0x1p50 - 1,
                           -0x1p50,
                           0x1p53,
                           4503599627.3704995,
                           2147483647.5,
                           -2147483648.5,
                           45356.546631944444,
                           9.999999,
                           9.9999995,
                           99.9999995};
  return v;
}

TEST(CellText, FixedSixDecimalsMatchesPrintf) {
  for (double v : EdgeValues()) {
    EXPECT_EQ(Fixed(v, 0, 6), Printf("%f", v)) << v;
    EXPECT_EQ(Fixed(-v, 0, 6), Printf("%f", -v)) << -v;
  }
  std::mt19937_64 rng(42);
  std::uniform_real_distribution<double> unit(-1.0, 1.0);
  for (int i = 0; i < 200000; ++i) {
    double v;
    switch (i % 5) {
      case 0: v = unit(rng) * std::pow(10.0, static_cast<int>(rng() % 40) - 20); break;
      case 1: v = static_cast<double>(static_cast<int64_t>(rng() % 2000000000) - 1000000000) / 1000.0; break;
      case 2: v = static_cast<double>(static_cast<int64_t>(rng() % 100000000)) / 100.0; break;
      case 3: v = (static_cast<double>(rng() % 1000000) + 0.5) / 1e6; break;  // halves at the last decimal
      default: {
        uint64_t bits = rng();
        std::memcpy(&v, &bits, sizeof v);
        if (!std::isfinite(v)) v = 1.0;
      }
    }
    ASSERT_EQ(Fixed(v, 0, 6), Printf("%f", v)) << v;
  }
}

TEST(CellText, WidthAndPrecisionMatchPrintf) {
  std::mt19937_64 rng(7);
  for (int i = 0; i < 50000; ++i) {
    int width = static_cast<int>(rng() % 20);
    int precision = static_cast<int>(rng() % 12);
    double v = (static_cast<double>(rng() % 100000000) - 5e7) / std::pow(10.0, static_cast<int>(rng() % 9));
    char format[32];
    std::snprintf(format, sizeof format, "%%%d.%df", width, precision);
    ASSERT_EQ(Fixed(v, width, precision), Printf(format, v)) << format << " " << v;
  }
  EXPECT_EQ(Fixed(3.14159, 4, 2), "3.14");
  EXPECT_EQ(Fixed(5, 8, 2), "    5.00");
}

// The fast road writes the blanks in front itself, from the text's length
// worked out before its digits: whole numbers, rounded and exactly rounded
// decimals, signs, and widths below, at and above the text's length.
TEST(CellText, FastRoadPadsLikePrintf) {
  std::mt19937_64 rng(19);
  int written = 0;
  for (int i = 0; i < 60000; ++i) {
    const int width = static_cast<int>(rng() % 34);
    const int precision = static_cast<int>(rng() % 20);
    double v;
    switch (i % 4) {
      case 0: v = static_cast<double>(static_cast<int64_t>(rng() % 2000000000000) - 1000000000000); break;
      case 1: v = (static_cast<double>(rng() % 100000000) - 5e7) / std::pow(10.0, static_cast<int>(rng() % 9)); break;
      case 2: v = (static_cast<double>(rng() % 1000) + 0.5) / std::pow(2.0, static_cast<int>(rng() % 30)); break;
      default: v = -0.0;
    }
    char format[32];
    std::snprintf(format, sizeof format, "%%%d.%df", width, precision);
    char out[96];
    std::memset(out, 'x', sizeof out);
    char* end = WriteFixedFast(out, v, precision, width);
    if (width > 32) {
      ASSERT_EQ(end, nullptr) << format;
      continue;
    }
    if (!end) continue;
    ++written;
    ASSERT_EQ(std::string(out, static_cast<size_t>(end - out)), Printf(format, v)) << format << " " << v;
  }
  EXPECT_GT(written, 50000);
}

// Formats such as "#,##0.00;[Red]-#,##0.00" count every character behind
// their first full stop, so 10 to 20 decimals are common.
TEST(CellText, LongDecimalsMatchPrintf) {
  std::mt19937_64 rng(11);
  std::uniform_real_distribution<double> unit(-1.0, 1.0);
  for (int precision = 10; precision <= 21; ++precision) {
    char format[16];
    std::snprintf(format, sizeof format, "%%.%df", precision);
    for (double v : EdgeValues()) {
      ASSERT_EQ(Fixed(v, 0, precision), Printf(format, v)) << format << " " << v;
      ASSERT_EQ(Fixed(-v, 0, precision), Printf(format, -v)) << format << " " << -v;
    }
    for (int i = 0; i < 20000; ++i) {
      double v;
      switch (i % 4) {
        case 0: v = unit(rng) * std::pow(10.0, static_cast<int>(rng() % 40) - 22); break;
        case 1: v = static_cast<double>(static_cast<int64_t>(rng() % 200000000) - 100000000) / 100.0; break;
        case 2: {  // halves at the last decimal, where exact
          v = (static_cast<double>(rng() % 1000) + 0.5) / std::pow(2.0, static_cast<int>(rng() % 40));
          break;
        }
        default: {
          uint64_t bits = rng();
          std::memcpy(&v, &bits, sizeof v);
          if (!std::isfinite(v)) v = 1.0;
        }
      }
      ASSERT_EQ(Fixed(v, 0, precision), Printf(format, v)) << format << " " << v;
    }
  }
}

// Every length of whole part and of decimals, and values at or just beside
// a half at the last decimal, where rounding the computed product goes wrong.
TEST(CellText, DigitLengthsAndNearHalvesMatchPrintf) {
  for (int precision = 0; precision <= 19; ++precision) {
    char format[16];
    std::snprintf(format, sizeof format, "%%.%df", precision);
    double power = 1;
    for (int digits = 0; digits <= 17; ++digits, power *= 10) {
      for (double v : {power - 1, power, power + 1, power / 7, power * 0.999, 0.123456789012345}) {
        ASSERT_EQ(Fixed(v, 0, precision), Printf(format, v)) << format << " " << v;
        ASSERT_EQ(Fixed(-v, 0, precision), Printf(format, -v)) << format << " " << -v;
      }
    }
  }
  std::mt19937_64 rng(3);
  for (int precision = 0; precision <= 9; ++precision) {
    char format[16];
    std::snprintf(format, sizeof format, "%%.%df", precision);
    const double unit = std::pow(10.0, precision);
    for (int i = 0; i < 20000; ++i) {
      // A half at the last decimal, or a value a little beside it: the
      // product computed in double often lands on the half either way.
      const double whole = static_cast<double>(rng() % (uint64_t(1) << (10 + rng() % 30)));
      const double shift = std::ldexp(static_cast<double>(static_cast<int>(rng() % 9) - 4), -(10 + rng() % 40));
      const double v = (whole + 0.5 + shift) / unit;
      ASSERT_EQ(Fixed(v, 0, precision), Printf(format, v)) << format << " " << v;
    }
  }
}

TEST(CellText, NotFinite) {
  EXPECT_EQ(Fixed(INFINITY, 0, 6), "inf");
  EXPECT_EQ(Fixed(-INFINITY, 0, 6), "-inf");
  EXPECT_EQ(Fixed(NAN, 5, 2), "  nan");
}

TEST(CellText, WholeNumbers) {
  // Both roads: the fast one, where it writes, must agree with the general one.
  auto whole = [](double v, int width) {
    std::string out;
    AppendWholeNumber(out, v, width);
    char fast[96];
    if (char* end = WriteWholeNumberFast(fast, v, width))
      EXPECT_EQ(std::string(fast, static_cast<size_t>(end - fast)), out) << v << " " << width;
    else
      EXPECT_TRUE(width > 32 || !(std::fabs(v) < 0x1p53)) << v << " " << width;
    return out;
  };
  EXPECT_EQ(whole(7.9, 1), "7");
  EXPECT_EQ(whole(-1234.5, 5), "-1234");
  EXPECT_EQ(whole(42, 5), "   42");
  EXPECT_EQ(whole(-0.7, 0), "0");
  EXPECT_EQ(whole(2147483647.9, 0), "2147483647");
  EXPECT_EQ(whole(-2147483648.9, 0), "-2147483648");
  // Past the 32-bit range the whole value is written, not a wrapped one.
  EXPECT_EQ(whole(2147483648.0, 0), "2147483648");
  EXPECT_EQ(whole(-1e20, 0), "-100000000000000000000");
  EXPECT_EQ(whole(1e20, 25), "    100000000000000000000");
  EXPECT_EQ(whole(0x1p53 - 1, 20), "    9007199254740991");
  EXPECT_EQ(whole(-0x1p53 + 1, 0), "-9007199254740991");
  EXPECT_EQ(whole(-5, 32), std::string(30, ' ') + "-5");
  EXPECT_EQ(whole(-5, 33), std::string(31, ' ') + "-5");
  std::mt19937 rng(3);
  for (int i = 0; i < 20000; ++i) {
    double v = (static_cast<double>(rng()) - 2147483648.0) + (rng() % 1000) / 1000.0;
    if (v < -2147483648.0 || v > 2147483647.0) continue;
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%7d", static_cast<int>(v));
    ASSERT_EQ(whole(v, 7), buffer) << v;
  }
}

TEST(CellText, LongRenderingsAreNotCut) {
  std::string big = Fixed(1e300, 0, 6);
  EXPECT_EQ(big, Printf("%f", 1e300));
  EXPECT_GT(big.size(), 300u);
  EXPECT_EQ(Fixed(1.5, 300, 2).size(), 300u);
  EXPECT_EQ(Fixed(1.0 / 3, 0, 400), Printf("%.400f", 1.0 / 3));
}

TEST(CellText, Dates) {
  std::string out;
  AppendDate(out, 2024, 3, 5, 0, 0, 0);
  EXPECT_EQ(out, "2024.03.05");
  out.clear();
  AppendDate(out, 2024, 3, 5, 13, 7, 9);
  EXPECT_EQ(out, "2024.03.05 13:07:09");
  out.clear();
  AppendDate(out, 1900, 1, 0, 9, 5, 7);
  EXPECT_EQ(out, "1900.01.00 09:05:07");
}

TEST(CellText, LayoutOfFormatTexts) {
  EXPECT_EQ(LayoutOfFormat("#,##0.00").width, 8);
  EXPECT_EQ(LayoutOfFormat("#,##0.00").precision, 2);
  EXPECT_EQ(LayoutOfFormat("#,##0").precision, -1);
  EXPECT_EQ(LayoutOfFormat("0.0.0").precision, 3);  // everything behind the first full stop
  EXPECT_EQ(LayoutOfFormat("0.").precision, 0);
}

}  // namespace
