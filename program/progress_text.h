// Texts of the progress displays: the wizard's elapsed/estimated time text
// and the Linux program's progress line.
#pragma once

#include <cstddef>
#include <ctime>
#include <string>
#include <string_view>

// The wizard's time text for a call of ShowTimeEstimate(start, now, done,
// total). False, with `text` untouched, when the text is not to change: in
// the second last accepted (`*lastAccepted`, updated here), for the first
// row, and in the first two seconds of a sheet. The estimate is the total
// time of the sheet, elapsed * total / done.
bool TimeEstimateText(std::time_t start, std::time_t now, int done, int total, std::time_t* lastAccepted,
                      std::string* text);

// "hh:mm:ss" of a number of whole seconds (hours may exceed 99).
std::string ClockText(unsigned long long seconds);

// "12,345": digits grouped by thousands.
std::string GroupedNumber(long long value);

// The progress line: workbook file name, sheet name, rows done of total,
// elapsed time and, once a row is done, the estimated time of the sheet.
// Cut to `width` characters (UTF-8 code points) so that it never wraps.
std::string ProgressLineText(std::string_view workbook, std::string_view sheet, int done, int total,
                             double elapsedSeconds, size_t width);
