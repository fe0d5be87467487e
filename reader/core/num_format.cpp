#include "reader/core/num_format.h"

#include <array>

namespace reader {

bool IsBuiltinDateFormat(int id) {
  return (id >= 14 && id <= 22) || (id >= 45 && id <= 47) || (id >= 27 && id <= 36) || (id >= 50 && id <= 58);
}

std::string_view BuiltinFormatText(int id) {
  switch (id) {
    case 0: return "General";
    case 1: return "0";
    case 2: return "0.00";
    case 3: return "#,##0";
    case 4: return "#,##0.00";
    case 9: return "0%";
    case 10: return "0.00%";
    case 11: return "0.00E+00";
    case 12: return "# ?/?";
    case 13:
      return "# ?"
             "?/?"
             "?";
    case 14: return "m/d/yy";
    case 15: return "d-mmm-yy";
    case 16: return "d-mmm";
    case 17: return "mmm-yy";
    case 18: return "h:mm AM/PM";
    case 19: return "h:mm:ss AM/PM";
    case 20: return "h:mm";
    case 21: return "h:mm:ss";
    case 22: return "m/d/yy h:mm";
    case 37: return "#,##0 ;(#,##0)";
    case 38: return "#,##0 ;[Red](#,##0)";
    case 39: return "#,##0.00;(#,##0.00)";
    case 40: return "#,##0.00;[Red](#,##0.00)";
    case 45: return "mm:ss";
    case 46: return "[h]:mm:ss";
    case 47: return "mmss.0";
    case 48: return "##0.0E+0";
    case 49: return "@";
    default: return {};
  }
}

namespace {

bool IsLetter(char c, char lower) { return c == lower || c == lower - 'a' + 'A'; }

// Bracket contents that mean elapsed time: one or more of the same letter
// among h, m, s.
bool IsElapsedBracket(std::string_view inside) {
  if (inside.empty()) return false;
  char first = inside[0];
  if (!(IsLetter(first, 'h') || IsLetter(first, 'm') || IsLetter(first, 's'))) return false;
  for (char c : inside)
    if ((c | 0x20) != (first | 0x20)) return false;
  return true;
}

}  // namespace

bool IsDateFormatText(std::string_view text) {
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    switch (c) {
      case '"': {  // quoted literal text
        size_t close = text.find('"', i + 1);
        if (close == std::string_view::npos) return false;
        i = close;
        break;
      }
      case '\\':  // the next character is literal
      case '_':   // the next character only gives a width
      case '*':   // the next character fills the cell
        ++i;
        break;
      case '[': {
        size_t close = text.find(']', i + 1);
        if (close == std::string_view::npos) return false;
        if (IsElapsedBracket(text.substr(i + 1, close - i - 1))) return true;
        i = close;
        break;
      }
      default:
        if (IsLetter(c, 'd') || IsLetter(c, 'm') || IsLetter(c, 'y') || IsLetter(c, 'h') || IsLetter(c, 's'))
          return true;
    }
  }
  return false;
}

const std::string* NumFormatTable::CustomText(int id) const {
  if (id < kFirstReportedNumFormat) return nullptr;
  return DefinedText(id);
}

const std::string* NumFormatTable::DefinedText(int id) const {
  auto it = texts_.find(id);
  return it == texts_.end() ? nullptr : &it->second;
}

bool NumFormatTable::IsDate(int id) const {
  if (id == 0) return false;
  if (const std::string* text = DefinedText(id)) return IsDateFormatText(*text);
  return IsBuiltinDateFormat(id);
}

}  // namespace reader
