// Number formats of a book and the date rules.
//
// Identifiers below 164 are the built-in formats ([MS-XLS] 2.4.126,
// ECMA-376 Part 1 18.8.30); 164 and up are defined by the workbook.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>

namespace reader {

inline constexpr int kFirstCustomNumFormat = 164;

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

  // The workbook's text for a custom identifier (164 and up), else null.
  const std::string* CustomText(int id) const;
  // The workbook's text for any identifier it defined, else null.
  const std::string* DefinedText(int id) const;

  // Date rule for an identifier: built-in date ids, or a custom format whose
  // text is a date format.
  bool IsDate(int id) const;

  size_t size() const { return texts_.size(); }

 private:
  std::map<int, std::string> texts_;
};

}  // namespace reader
