// Date serials of the two date systems ([MS-XLS] 2.5.97.x, ECMA-376 18.17.4).
//
// 1900 system: serial 1 is 1900-01-01 and serial 60 the fictitious
// 1900-02-29 that Excel keeps for compatibility; serial 0 (and a time-only
// value below 1) shows as 1900-01-00. 1904 system: serial 0 is 1904-01-01.
#pragma once

namespace reader {

struct DateParts {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, millisecond = 0;
};

// Rounds to the nearest millisecond before splitting, so a time stored as
// 13:07:08.9999999 shows as 13:07:09. False for values that are no date:
// negative, not finite, or past 9999-12-31; *out is then all zeros.
bool UnpackDateSerial(double serial, bool date1904, DateParts* out);

// The serial of a calendar date and time in the given system (used for
// ISO 8601 cell values). False when the date lies before the system's start.
bool PackDateSerial(const DateParts& parts, bool date1904, double* serial);

}  // namespace reader
