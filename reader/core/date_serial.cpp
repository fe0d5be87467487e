#include "reader/core/date_serial.h"

#include <cmath>
#include <cstdint>

namespace reader {

namespace {

constexpr int64_t kMsPerDay = 86400000;
// 9999-12-31 in each system.
constexpr int64_t kLastSerial1900 = 2958465;
constexpr int64_t kLastSerial1904 = 2958465 - 1462;

// Days since 1970-01-01 of a proleptic Gregorian date, and back
// (the civil-calendar algorithms by era of 400 years).
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

// The date of a day number since 1970-01-01, for the dates that serials show
// (from 1899 on, so the day counted from 0000-03-01 is positive). Years
// begin on 1 March, so that the leap day ends them; each step is a
// multiplication and a shift in place of divisions by 146097, 1461 and 153
// (the calendar arithmetic published by Neri and Schneider, 2022).
void CivilFromDays(int64_t z, int* year, int* month, int* day) {
  const uint32_t n = static_cast<uint32_t>(z + 719468);
  // The century (of 36524 or 36525 days), and the day in it.
  const uint32_t n1 = 4 * n + 3;
  const uint32_t century = n1 / 146097;
  const uint32_t dayOfCentury = n1 % 146097 / 4;
  // The year in the century, and the day in the year (from 1 March).
  const uint64_t p2 = uint64_t(2939745) * (4 * dayOfCentury + 3);
  const uint32_t yearOfCentury = static_cast<uint32_t>(p2 >> 32);
  const uint32_t dayOfYear = static_cast<uint32_t>(p2) / 2939745 / 4;
  // The month from March (3) to February (14), and the day in it.
  const uint32_t n3 = 2141 * dayOfYear + 197913;
  const uint32_t m = n3 >> 16;
  const uint32_t d = (n3 & 0xFFFF) / 2141 + 1;
  const bool januaryOrFebruary = dayOfYear >= 306;
  *year = static_cast<int>(100 * century + yearOfCentury + januaryOrFebruary);
  *month = static_cast<int>(januaryOrFebruary ? m - 12 : m);
  *day = static_cast<int>(d);
}

const int64_t kEpoch1899_12_30 = DaysFromCivil(1899, 12, 30);
const int64_t kEpoch1904_01_01 = DaysFromCivil(1904, 1, 1);

}  // namespace

bool UnpackDateSerial(double serial, bool date1904, DateParts* out) {
  *out = DateParts{};
  if (!std::isfinite(serial) || serial < 0) return false;
  const int64_t lastSerial = date1904 ? kLastSerial1904 : kLastSerial1900;
  if (serial >= static_cast<double>(lastSerial + 1)) return false;
  int64_t days;
  uint32_t msOfDay;
  const int64_t whole = static_cast<int64_t>(serial);
  if (static_cast<double>(whole) == serial) {  // a date without a time: nothing to round
    days = whole;
    msOfDay = 0;
  } else {
    // To the nearest millisecond, halves away from zero (as llround): the
    // product is below 2^48, so its fraction is exact.
    const double ms = serial * static_cast<double>(kMsPerDay);
    uint64_t totalMs = static_cast<uint64_t>(ms);
    totalMs += ms - static_cast<double>(totalMs) >= 0.5;
    days = static_cast<int64_t>(totalMs / kMsPerDay);
    msOfDay = static_cast<uint32_t>(totalMs % kMsPerDay);
    if (days > lastSerial) return false;  // rounded up past the last day
  }

  if (date1904) {
    CivilFromDays(kEpoch1904_01_01 + days, &out->year, &out->month, &out->day);
  } else if (days == 0) {
    out->year = 1900, out->month = 1, out->day = 0;
  } else if (days == 60) {
    out->year = 1900, out->month = 2, out->day = 29;
  } else {
    // Serials before the fictitious 29 February count from 1899-12-31.
    CivilFromDays(kEpoch1899_12_30 + days + (days < 60 ? 1 : 0), &out->year, &out->month, &out->day);
  }
  out->hour = static_cast<int>(msOfDay / 3600000);
  msOfDay %= 3600000;
  out->minute = static_cast<int>(msOfDay / 60000);
  msOfDay %= 60000;
  out->second = static_cast<int>(msOfDay / 1000);
  out->millisecond = static_cast<int>(msOfDay % 1000);
  return true;
}

bool PackDateSerial(const DateParts& p, bool date1904, double* serial) {
  if (p.month < 1 || p.month > 12 || p.day < 0 || p.day > 31) return false;
  int64_t days;
  if (date1904) {
    days = DaysFromCivil(p.year, static_cast<unsigned>(p.month), static_cast<unsigned>(p.day)) -
           kEpoch1904_01_01;
  } else {
    days = DaysFromCivil(p.year, static_cast<unsigned>(p.month), static_cast<unsigned>(p.day)) -
           kEpoch1899_12_30;
    // Before 1900-03-01 Excel counts one day less (no fictitious 29 February yet).
    if (days < 61) --days;
    if (p.year == 1900 && p.month == 2 && p.day == 29) days = 60;  // the fictitious day
  }
  if (days < 0) return false;
  double time = (p.hour * 3600.0 + p.minute * 60.0 + p.second + p.millisecond / 1000.0) / 86400.0;
  *serial = static_cast<double>(days) + time;
  return true;
}

}  // namespace reader
