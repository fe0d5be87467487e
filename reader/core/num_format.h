// Number formats of a book and the date rules.
//
// Identifiers below 164 are the built-in formats ([MS-XLS] 2.4.126,
// ECMA-376 Part 1 18.8.30); 164 and up are defined by the workbook. Writers
// also define identifiers below 164 themselves (Gnumeric from 50 up, .NET
// writers at 163, Excel its locale currency formats 5 to 8 and 41 to 44),
// so a text the workbook gives for an identifier counts before the
// built-in meaning of that identifier.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>

namespace reader {

inline constexpr int kFirstCustomNumFormat = 164;
// From this identifier up, a text the workbook defines is reported as its
// custom format text. Below it the built-in meaning stays, whatever text the
// workbook writes: Excel repeats its locale currency and accounting formats
// (5 to 8, 23 to 26, 41 to 44) in every file, and those columns are written
// as plain numbers.
inline constexpr int kFirstReportedNumFormat = 50;

// True for the built-in identifiers that show a date or time: 14 to 22,
// 45 to 47, and the East Asian locale dates 27 to 36 and 50 to 58.
bool IsBuiltinDateFormat(int id);

// The text Excel shows for a built-in identifier in the en-US locale, or
// empty for identifiers that have none there (the locale-dependent ones).
std::string_view BuiltinFormatText(int id);

// True when a format text shows a date or time: it holds d, m, y, h or s
// (any case) outside quoted text, backslash escapes, the character after _
// or *, and brackets; an elapsed-time bracket [h], [m] or [s] (repeated
// letters allowed, as in [hh]) counts as a date too.
bool IsDateFormatText(std::string_view text);

class NumFormatTable {
 public:
  // Records the text of a format the workbook defines (UTF-8). A later
  // definition of the same identifier replaces the earlier one.
  void Define(int id, std::string text) { texts_[id] = std::move(text); }

  // The workbook's text for an identifier of kFirstReportedNumFormat and
  // up that it defined, else null.
  const std::string* CustomText(int id) const;
  // The workbook's text for any identifier it defined, else null.
  const std::string* DefinedText(int id) const;

  // Date rule for an identifier: the text the workbook defined for it, else
  // the built-in date identifiers. Identifier 0 stays General whatever text
  // a file gives it, as for the formats BIFF2 to BIFF4 number by position.
  bool IsDate(int id) const;

  size_t size() const { return texts_.size(); }

 private:
  std::map<int, std::string> texts_;
};

}  // namespace reader
