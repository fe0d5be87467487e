// The cells of an .xlsx worksheet part (<sheetData>, ECMA-376 Part 1 18.3.1).
#include <algorithm>
#include <atomic>
#include <charconv>
#include <cmath>
#include <cstring>

#include "reader/core/date_serial.h"
#include "reader/xlsx/byte_scan.h"
#include "reader/xlsx/xlsx_package.h"

namespace reader {

namespace {

inline bool IsDigit(char c) { return c >= '0' && c <= '9'; }

inline std::string_view Trim(std::string_view s) {
  auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
  if (s.empty() || (!blank(s.front()) && !blank(s.back()))) return s;  // the usual case
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\n' || s.front() == '\r'))
    s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\n' || s.back() == '\r'))
    s.remove_suffix(1);
  return s;
}

bool ParseSmallUnsigned(std::string_view s, uint32_t maxDigits, uint64_t* out) {
  s = Trim(s);
  if (s.empty() || s.size() > maxDigits) return false;
  uint64_t v = 0;
  for (char c : s) {
    if (!IsDigit(c)) return false;
    v = v * 10 + static_cast<uint64_t>(c - '0');
  }
  *out = v;
  return true;
}

constexpr double kPow10[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                             1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};

// Collects what one damaged cell or a run of them looked like, for the
// sheet's error message.
struct Damage {
  uint64_t count = 0;
  std::string first;
  void Note(const XmlScanner& sc, const std::string& what) {
    if (count++ == 0) first = "offset " + std::to_string(sc.offset()) + ": " + what;
  }
};

enum class CellType { Number, Shared, String, Inline, Boolean, Error, Date, Unknown };

CellType TypeOf(std::string_view t) {
  switch (t.size()) {
    case 0: return CellType::Number;
    case 1:
      switch (t[0]) {
        case 'n': return CellType::Number;
        case 's': return CellType::Shared;
        case 'b': return CellType::Boolean;
        case 'e': return CellType::Error;
        case 'd': return CellType::Date;
        default: return CellType::Unknown;
      }
    case 3: return t == "str" ? CellType::String : CellType::Unknown;
    case 9: return t == "inlineStr" ? CellType::Inline : CellType::Unknown;
    default: return CellType::Unknown;
  }
}

}  // namespace

bool ParseDimension(std::string_view ref, uint32_t* rows, uint32_t* cols) {
  ref = Trim(ref);
  size_t colon = ref.find(':');
  std::string_view last = colon == std::string_view::npos ? ref : ref.substr(colon + 1);
  uint32_t r = 0, c = 0;
  if (ParseCellReference(last, &r, &c) != RefParse::Ok) return false;
  *rows = r + 1;
  *cols = c + 1;
  return true;
}

RefParse ParseCellReference(std::string_view s, uint32_t* row, uint32_t* col) {
  // Letters and digits of any length: a reference with more of them than
  // the grid's limits (XFD, 1048576) is out of range, not malformed, so that
  // its cell is dropped rather than put where a cell without one would go.
  size_t i = 0;
  uint64_t c = 0;
  while (i < s.size()) {
    char ch = s[i];
    if (ch >= 'A' && ch <= 'Z')
      c = c * 26 + static_cast<uint32_t>(ch - 'A' + 1);
    else if (ch >= 'a' && ch <= 'z')
      c = c * 26 + static_cast<uint32_t>(ch - 'a' + 1);
    else
      break;
    if (c > kMaxCols) c = kMaxCols + 1;  // stays out of range, never overflows
    ++i;
  }
  if (i == 0 || i == s.size() || !IsDigit(s[i])) return RefParse::Bad;
  uint64_t r = 0;
  for (; i < s.size(); ++i) {
    if (!IsDigit(s[i])) return RefParse::Bad;
    r = r * 10 + static_cast<uint32_t>(s[i] - '0');
    if (r > kMaxRows) r = kMaxRows + 1;
  }
  if (r == 0) return RefParse::Bad;
  if (c > kMaxCols || r > kMaxRows) return RefParse::OutOfRange;
  *row = static_cast<uint32_t>(r - 1);
  *col = static_cast<uint32_t>(c - 1);
  return RefParse::Ok;
}

bool ParseCellNumber(std::string_view s, double* value) {
  s = Trim(s);
  const char* p = s.data();
  const char* e = p + s.size();
  if (p == e) return false;
  bool negative = *p == '-';
  const char* digits = p + (negative || *p == '+' ? 1 : 0);
  // Fast path: at most 15 significant digits with at most 15 after the
  // point. Both the integer and the power of ten are exact doubles, so one
  // division rounds correctly (the classic exact case of decimal parsing).
  if (e - digits > 0 && e - digits <= 16) {
    // The digits before the point, then those after it, each in a loop of
    // its own.
    uint64_t m = 0;
    const char* q = digits;
    for (; q < e && IsDigit(*q); ++q) m = m * 10 + static_cast<uint64_t>(*q - '0');
    ptrdiff_t count = q - digits;
    ptrdiff_t fraction = 0;
    if (q < e && *q == '.') {
      const char* point = ++q;
      for (; q < e && IsDigit(*q); ++q) m = m * 10 + static_cast<uint64_t>(*q - '0');
      fraction = q - point;
      count += fraction;
    }
    if (q == e && count > 0 && count <= 15) {
      double v = static_cast<double>(m);
      if (fraction > 0) v /= kPow10[fraction];
      *value = negative ? -v : v;
      return true;
    }
  }
  const char* start = *p == '+' ? p + 1 : p;
  if (start < e && *start == '-' && *p == '+') return false;
  double v = 0;
  auto r = std::from_chars(start, e, v, std::chars_format::general);
  if (r.ec != std::errc() || r.ptr != e || !std::isfinite(v)) return false;
  *value = v;
  return true;
}

bool ParseIsoDateTime(std::string_view s, bool date1904, double* serial) {
  s = Trim(s);
  size_t i = 0;
  auto number = [&](size_t width, int* out) {
    if (i + width > s.size()) return false;
    int v = 0;
    for (size_t k = 0; k < width; ++k) {
      if (!IsDigit(s[i + k])) return false;
      v = v * 10 + (s[i + k] - '0');
    }
    *out = v;
    i += width;
    return true;
  };
  auto expect = [&](char c) {
    if (i < s.size() && s[i] == c) {
      ++i;
      return true;
    }
    return false;
  };
  DateParts parts;
  bool haveDate = false;
  if (s.size() >= 10 && s[4] == '-') {
    if (!number(4, &parts.year) || !expect('-') || !number(2, &parts.month) || !expect('-') ||
        !number(2, &parts.day))
      return false;
    haveDate = true;
    if (i < s.size() && (s[i] == 'T' || s[i] == 't' || s[i] == ' ')) ++i;
  }
  bool haveTime = false;
  if (i < s.size() && IsDigit(s[i])) {
    if (!number(2, &parts.hour) || !expect(':') || !number(2, &parts.minute)) return false;
    if (expect(':') && !number(2, &parts.second)) return false;
    if (i < s.size() && (s[i] == '.' || s[i] == ',')) {
      ++i;
      // Milliseconds from the first three fraction digits, rounded by the fourth.
      int ms = 0, scale = 100;
      size_t k = 0;
      for (; i < s.size() && IsDigit(s[i]); ++i, ++k) {
        if (k < 3)
          ms += (s[i] - '0') * scale, scale /= 10;
        else if (k == 3 && s[i] >= '5')
          ++ms;
      }
      if (k == 0) return false;
      parts.millisecond = ms;
    }
    haveTime = true;
    if (parts.hour > 24 || parts.minute > 59 || parts.second > 60) return false;
  }
  // A zone designator (Z, +hh:mm, -hhmm) is accepted and ignored: cells
  // hold wall-clock times.
  if (i < s.size()) {
    if (s[i] == 'Z' || s[i] == 'z') {
      ++i;
    } else if (haveTime && (s[i] == '+' || s[i] == '-')) {
      ++i;
      int zh = 0, zm = 0;
      if (!number(2, &zh)) return false;
      expect(':');
      if (i < s.size() && !number(2, &zm)) return false;
    }
  }
  if (i != s.size() || (!haveDate && !haveTime)) return false;
  double time =
      (parts.hour * 3600.0 + parts.minute * 60.0 + parts.second + parts.millisecond / 1000.0) / 86400.0;
  if (!haveDate) {
    *serial = time;
    return true;
  }
  return PackDateSerial(parts, date1904, serial);
}

bool ErrorCodeOf(std::string_view text, uint8_t* code) {
  // The BIFF codes of the error literals ([MS-XLS] 2.5.97.2, BErr).
  static const struct {
    const char* text;
    uint8_t code;
  } kErrors[] = {{"#NULL!", 0x00}, {"#DIV/0!", 0x07}, {"#VALUE!", 0x0F}, {"#REF!", 0x17},
                 {"#NAME?", 0x1D}, {"#NUM!", 0x24},   {"#N/A", 0x2A},    {"#GETTING_DATA", 0x2B}};
  text = Trim(text);
  for (const auto& e : kErrors) {
    if (text == e.text) {
      *code = e.code;
      return true;
    }
  }
  return false;
}

namespace {

std::atomic<bool> plainShortcuts{true};

inline bool IsXmlSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// A cell reference in its usual form, one to three capital letters and a
// row number without leading zero, read quickly; anything else (and
// anything out of range) through ParseCellReference, which decides.
inline RefParse ReadCellReference(std::string_view s, uint32_t* row, uint32_t* col) {
  size_t n = s.size();
  if (n >= 2 && n <= 10) {
    uint32_t c = 0;
    size_t i = 0;
    for (; i < 3 && i < n && s[i] >= 'A' && s[i] <= 'Z'; ++i) c = c * 26 + static_cast<uint32_t>(s[i] - 'A' + 1);
    if (i > 0 && i < n && s[i] >= '1' && s[i] <= '9' && n - i <= 7) {
      uint32_t r = 0;
      for (; i < n && IsDigit(s[i]); ++i) r = r * 10 + static_cast<uint32_t>(s[i] - '0');
      if (i == n && c <= kMaxCols && r <= kMaxRows) {
        *row = r - 1;
        *col = c - 1;
        return RefParse::Ok;
      }
    }
  }
  return ParseCellReference(s, row, col);
}

// Where the next cell goes when it names no position of its own.
struct CellCursor {
  uint64_t nextRow = 0;
  uint64_t rowOfCells = 0;
  uint64_t nextCol = 0;
};

// Reads the attributes of a start tag whose name ends at p[i]: calls
// `each(name, value)` for every attribute and returns the offset past the
// tag's '>' with *selfClosing set, or 0 when the tag is not in the plain
// form this reads (a prefixed name, blanks around '=', cut off by `n`).
template <typename Each>
size_t ReadPlainTag(const char* p, size_t n, size_t i, bool* selfClosing, Each&& each) {
  for (;;) {
    size_t blanks = i;
    while (i < n && IsXmlSpace(p[i])) ++i;
    if (i >= n) return 0;
    if (p[i] == '>') {
      *selfClosing = false;
      return i + 1;
    }
    if (p[i] == '/') {
      if (i + 1 >= n || p[i + 1] != '>') return 0;
      *selfClosing = true;
      return i + 2;
    }
    if (i == blanks) return 0;  // attributes are separated by blanks
    size_t nameStart = i;
    while (i < n && ((p[i] >= 'a' && p[i] <= 'z') || (p[i] >= 'A' && p[i] <= 'Z'))) ++i;
    if (i == nameStart || i + 1 >= n || p[i] != '=') return 0;
    char quote = p[i + 1];
    if (quote != '"' && quote != '\'') return 0;
    const char* close = static_cast<const char*>(std::memchr(p + i + 2, quote, n - i - 2));
    if (!close) return 0;
    each(std::string_view(p + nameStart, i - nameStart), std::string_view(p + i + 2, close - (p + i + 2)));
    i = static_cast<size_t>(close - p) + 1;
  }
}

// What is wrong with a cell's value, if anything.
enum class ValueFault { None, NotANumber, NotAnIndex, IndexTooLarge, NotABoolean, NotADate, UnknownType };

// Adds the cell at r, c of `type` whose value text is `value` (with
// haveValue; a string cell's text, inline or not), or a blank cell when it
// has none. A value that does not fit its type adds nothing and is named in
// the result (*badIndex: the shared string index out of range).
ValueFault AddValue(CellType type, bool haveValue, std::string_view value, uint32_t r, uint32_t c, uint32_t style,
                    const XlBook& book, uint32_t sharedCount, SheetBuilder& cells, StringPool& sheetStrings,
                    std::string& decoded, uint64_t* badIndex) {
  std::string_view v = Trim(value);
  // No value makes a blank cell, and so does a value of only blanks, except
  // for strings (an empty text is one). Errors and unknown types never are.
  const bool text = type == CellType::String || type == CellType::Inline;
  const bool blank = !haveValue || (!text && v.empty());
  if (blank && type != CellType::Error && type != CellType::Unknown) {
    cells.AddBlank(r, c, style);
    return ValueFault::None;
  }
  switch (type) {
    case CellType::Number: {
      double d = 0;
      if (!ParseCellNumber(v, &d)) return ValueFault::NotANumber;
      cells.AddNumber(r, c, style, d);
      return ValueFault::None;
    }
    case CellType::Shared: {
      uint64_t index = 0;
      if (!ParseSmallUnsigned(value, 10, &index)) return ValueFault::NotAnIndex;
      if (index >= sharedCount) {
        if (badIndex) *badIndex = index;
        return ValueFault::IndexTooLarge;
      }
      cells.AddSharedString(r, c, style, static_cast<uint32_t>(index));
      book.sharedStrings.Prefetch(static_cast<uint32_t>(index));
      return ValueFault::None;
    }
    case CellType::String:
    case CellType::Inline: {
      uint32_t index;
      if (MayHaveXEscapes(value)) {
        decoded.clear();
        AppendXEscapesDecoded(value, &decoded);
        index = sheetStrings.Add(decoded);
      } else {
        index = sheetStrings.Add(value);
      }
      cells.AddSheetString(r, c, style, index);
      return ValueFault::None;
    }
    case CellType::Boolean:
      if (v == "1" || v == "true")
        cells.AddBoolean(r, c, style, true);
      else if (v == "0" || v == "false")
        cells.AddBoolean(r, c, style, false);
      else
        return ValueFault::NotABoolean;
      return ValueFault::None;
    case CellType::Error: {
      uint8_t code = 0x2A;  // an unknown error still is one
      if (haveValue && !ErrorCodeOf(value, &code)) code = 0x2A;
      cells.AddError(r, c, style, code);
      return ValueFault::None;
    }
    case CellType::Date: {
      double serial = 0;
      if (!ParseIsoDateTime(v, book.date1904, &serial)) return ValueFault::NotADate;
      cells.AddNumber(r, c, style, serial);
      return ValueFault::None;
    }
    case CellType::Unknown: break;
  }
  return ValueFault::UnknownType;
}

// The digits of the row number last read in a cell reference, as the bytes
// stand in the file: the next cells of the row repeat them, and a compare
// of one word replaces reading them again.
struct RowDigits {
  uint64_t word = 0;  // the digits, the bytes after them zero
  size_t length = 0;  // 0: none yet
  uint32_t row = 0;   // the row they name, counted from 0
};

// A cell's start tag in the form writers use, read in one pass: <c r="A1">,
// then s="digits" and t="type" if present, in that order, each attribute
// after one space, the reference of one to three capital letters and a row
// number without leading zero, in range. Returns the offset past '>' or
// "/>", with the results set; 0 (and nothing set) for any other form, which
// ReadPlainTag then reads.
size_t ReadCommonCellTag(const char* p, size_t n, RowDigits& digits, uint64_t* row, uint64_t* col,
                         uint32_t* style, CellType* type, bool* selfClosing) {
  // The longest such tag is short; a tag near the buffer's end is left to
  // the general form, which checks every byte against n.
  if (n < 64 || std::memcmp(p + 2, " r=\"", 4) != 0) return 0;
  size_t i = 6;
  uint32_t c = 0;
  for (; i < 9 && p[i] >= 'A' && p[i] <= 'Z'; ++i) c = c * 26 + static_cast<uint32_t>(p[i] - 'A' + 1);
  if (i == 6 || c > kMaxCols) return 0;
  uint32_t r;
  uint64_t w;
  std::memcpy(&w, p + i, 8);
  const uint64_t mask = digits.length ? (uint64_t(1) << (8 * digits.length)) - 1 : 0;
  if (digits.length && (w & mask) == digits.word && p[i + digits.length] == '"') {
    r = digits.row;
    i += digits.length;
  } else {
    if (p[i] < '1' || p[i] > '9') return 0;
    size_t start = i;
    uint32_t v = 0;
    for (; i < start + 7 && IsDigit(p[i]); ++i) v = v * 10 + static_cast<uint32_t>(p[i] - '0');
    if (p[i] != '"' || v > kMaxRows) return 0;
    r = v - 1;
    digits.length = i - start;
    digits.word = w & ((uint64_t(1) << (8 * digits.length)) - 1);
    digits.row = r;
  }
  ++i;  // the closing quote
  uint32_t st = 0;
  if (std::memcmp(p + i, " s=\"", 4) == 0) {
    i += 4;
    size_t start = i;
    for (; i < start + 9 && IsDigit(p[i]); ++i) st = st * 10 + static_cast<uint32_t>(p[i] - '0');
    if (i == start || p[i] != '"') return 0;
    ++i;
  }
  CellType t = CellType::Number;
  if (std::memcmp(p + i, " t=\"", 4) == 0) {
    i += 4;
    size_t start = i;
    while (i < start + 9 && p[i] != '"') ++i;
    if (p[i] != '"') return 0;
    t = TypeOf(std::string_view(p + start, i - start));
    ++i;
  }
  if (p[i] == '>') {
    *selfClosing = false;
    ++i;
  } else if (p[i] == '/' && p[i + 1] == '>') {
    *selfClosing = true;
    i += 2;
  } else {
    return 0;
  }
  *row = r;
  *col = c - 1;
  *style = st;
  *type = t;
  return i;
}

// A row's start tag in the form writers use: <row r="N" ...>, N of one to
// seven digits from 1 to the last row, other attributes after one space
// each, none of them another r. Returns its length with *row set (counted
// from 0), or 0 for any other form (an empty row <row .../> among them),
// which the general reading reads.
size_t ReadCommonRowTag(const char* p, size_t n, uint64_t* row) {
  if (n < 10 || std::memcmp(p, "<row r=\"", 8) != 0) return 0;
  size_t i = 8;
  uint64_t v = 0;
  for (; i < 15 && i < n && IsDigit(p[i]); ++i) v = v * 10 + static_cast<uint64_t>(p[i] - '0');
  if (i == 8 || i >= n || p[i] != '"' || v == 0 || v > kMaxRows) return 0;
  ++i;
  for (;;) {
    if (i >= n) return 0;
    if (p[i] == '>') {
      *row = v - 1;
      return i + 1;
    }
    if (p[i] != ' ') return 0;
    size_t nameStart = ++i;
    while (i < n && (IsDigit(p[i]) || p[i] == ':' || (p[i] >= 'a' && p[i] <= 'z') || (p[i] >= 'A' && p[i] <= 'Z')))
      ++i;
    if (i == nameStart || i + 2 >= n || p[i] != '=' || p[i + 1] != '"') return 0;
    // Another r (also under a prefix) is one the general reading decides on.
    if (p[i - 1] == 'r' && (i - nameStart == 1 || p[i - 2] == ':')) return 0;
    const char* close = static_cast<const char*>(std::memchr(p + i + 2, '"', n - i - 2));
    if (!close) return 0;
    i = static_cast<size_t>(close - p) + 1;
  }
}

// The commonest cells of a row, read straight from the scanner's buffer:
// <c r=".." s=".." t="..">, perhaps a formula <f>, then <v>plain</v></c>,
// or no value at all; and the rows after it, where </row> is followed at
// once by a row's start tag in its common form. A cell or row in any other
// form, or a cell the general reading would report as damaged, ends the
// run: it and the rest are read token by token, with the same result.
// Returns the bytes taken.
size_t TakePlainCells(std::string_view ahead, const XlBook& book, uint32_t sharedCount, SheetBuilder& cells,
                      StringPool& sheetStrings, std::string& decoded, CellCursor& cursor) {
  const char* base = ahead.data();
  const size_t n = ahead.size();
  size_t at = 0;
  RowDigits digits;
  for (;;) {
    const char* p = base + at;
    size_t left = n - at;
    if (left >= 16 && std::memcmp(p, "</row><row ", 11) == 0) {
      // The end of this row and the start of the next one: taken here too,
      // unless the rows are no longer wanted.
      uint64_t next = 0;
      size_t tag = ReadCommonRowTag(p + 6, left - 6, &next);
      if (tag == 0 || cells.stopped()) break;
      cursor.rowOfCells = next;
      cursor.nextRow = next + 1;
      cursor.nextCol = 0;
      at += 6 + tag;
      continue;
    }
    if (left < 4 || p[0] != '<' || p[1] != 'c' || !(IsXmlSpace(p[2]) || p[2] == '>' || p[2] == '/')) break;
    uint64_t row = cursor.rowOfCells, col = cursor.nextCol;
    uint32_t style = 0;
    CellType type = CellType::Number;
    bool outOfRange = false;
    bool selfClosing = false;
    size_t i = ReadCommonCellTag(p, left, digits, &row, &col, &style, &type, &selfClosing);
    if (i == 0) i = ReadPlainTag(p, left, 2, &selfClosing, [&](std::string_view name, std::string_view value) {
      if (name.size() != 1) return;
      if (name[0] == 'r') {
        uint32_t r = 0, c = 0;
        RefParse parsed = ReadCellReference(value, &r, &c);
        if (parsed == RefParse::Ok) {
          row = r;
          col = c;
        } else if (parsed == RefParse::OutOfRange) {
          outOfRange = true;
        }
      } else if (name[0] == 's') {
        uint64_t v = 0;
        if (ParseSmallUnsigned(value, 9, &v)) style = static_cast<uint32_t>(v);
      } else if (name[0] == 't') {
        type = TypeOf(value);
      }
    });
    if (i == 0 || outOfRange || row >= kMaxRows || col >= kMaxCols) break;
    bool haveValue = false;
    std::string_view value;
    if (!selfClosing) {
      // A formula first: <f>text</f>, <f attributes>text</f> or <f .../>.
      if (i + 3 < left && p[i] == '<' && p[i + 1] == 'f' &&
          (IsXmlSpace(p[i + 2]) || p[i + 2] == '>' || p[i + 2] == '/')) {
        bool formulaClosed = false;
        size_t f = ReadPlainTag(p, left, i + 2, &formulaClosed, [](std::string_view, std::string_view) {});
        if (f == 0) break;
        if (!formulaClosed) {
          const char* lt = static_cast<const char*>(std::memchr(p + f, '<', left - f));
          if (!lt || static_cast<size_t>(p + left - lt) < 4 || std::memcmp(lt, "</f>", 4) != 0) break;
          f = static_cast<size_t>(lt - p) + 4;
        }
        i = f;
      }
      if (i + 3 <= left && std::memcmp(p + i, "<v>", 3) == 0) {
        // The text up to the next tag, in one pass: a reference or a
        // carriage return in it needs decoding, left to the general reading.
        const char* t = p + i + 3;
        const char* end = p + left;
        const char* lt = FindAnyOf(t, end, '<', '&', '\r', '\r');
        if (end - lt < 4 || std::memcmp(lt, "</v>", 4) != 0) break;
        value = std::string_view(t, static_cast<size_t>(lt - t));
        haveValue = true;
        i = static_cast<size_t>(lt - p) + 4;
      }
      if (i + 4 > left || std::memcmp(p + i, "</c>", 4) != 0) break;
      i += 4;
    }

    uint32_t r32 = static_cast<uint32_t>(row), c32 = static_cast<uint32_t>(col);
    // Numbers and shared strings that read well are added here; every other
    // value (and these when they do not) goes through AddValue.
    double number;
    uint64_t index;
    if (haveValue && type == CellType::Number && ParseCellNumber(value, &number)) {
      cells.AddNumber(r32, c32, style, number);
    } else if (haveValue && type == CellType::Shared && ParseSmallUnsigned(value, 10, &index) &&
               index < sharedCount) {
      cells.AddSharedString(r32, c32, style, static_cast<uint32_t>(index));
      book.sharedStrings.Prefetch(static_cast<uint32_t>(index));
    } else if (AddValue(type, haveValue, value, r32, c32, style, book, sharedCount, cells, sheetStrings, decoded,
                        nullptr) != ValueFault::None) {
      return at;  // left to the general reading, which reports it
    }
    cursor.nextCol = col + 1;
    if (row != cursor.rowOfCells) {
      cursor.rowOfCells = row;
      cursor.nextRow = row + 1;
    }
    at += i;
  }
  return at;
}

}  // namespace

void SetPlainShortcuts(bool on) { plainShortcuts.store(on, std::memory_order_relaxed); }
bool PlainShortcuts() { return plainShortcuts.load(std::memory_order_relaxed); }

Status ParseWorksheet(XmlScanner& sc, const XlBook& book, SheetBuilder& cells, StringPool& sheetStrings) {
  using Token = XmlScanner::Token;
  const bool shortcut = plainShortcuts.load(std::memory_order_relaxed);
  const uint32_t sharedCount = static_cast<uint32_t>(std::min<size_t>(book.sharedStrings.size(), UINT32_MAX));
  Damage damage;
  std::string value, inlineText, decoded;
  // The next row and column to use for elements without an r attribute.
  CellCursor cursor;
  uint64_t& nextRow = cursor.nextRow;
  uint64_t& rowOfCells = cursor.rowOfCells;
  uint64_t& nextCol = cursor.nextCol;
  bool inData = false;
  Status status;

  for (;;) {
    // Inside a row, after its start tag or a cell: the cells that follow in
    // their commonest form are read straight from the buffer.
    if (shortcut && inData && ((sc.token() == Token::EndElement && sc.name() == "c") ||
                   (sc.token() == Token::StartElement && sc.name() == "row"))) {
      if (size_t used = TakePlainCells(sc.Ahead(), book, sharedCount, cells, sheetStrings, decoded, cursor))
        sc.ConsumeElements(used, "c");
    }
    status = sc.Next();
    if (!status.ok()) break;
    Token tok = sc.token();
    if (tok == Token::End) {
      if (inData) status = sc.Error("the part ends inside the cell data");
      break;
    }
    if (tok == Token::EndElement) {
      // Nothing of interest follows the cell data: stop reading there.
      if (inData && sc.name() == "sheetData") break;
      continue;
    }
    if (tok != Token::StartElement) continue;
    std::string_view name = sc.name();
    if (!inData) {
      if (name == "sheetData") {
        inData = !sc.selfClosing();
        if (!inData) break;
      } else if (name == "dimension") {
        // <dimension ref="A1:K20"/>: the extent the writer states, a hint.
        if (const XmlScanner::Attribute* ref = sc.FindAttribute("ref")) {
          uint32_t rows, cols;
          if (ParseDimension(ref->value, &rows, &cols)) cells.StateExtent(rows, cols);
        }
      }
      continue;
    }
    if (name == "row") {
      if (cells.stopped()) break;  // the rows are no longer wanted
      // <row r="N">: 1-based; without r, the row after the previous one.
      uint64_t r = 0;
      const XmlScanner::Attribute* ra = sc.FindAttribute("r");
      if (ra && ParseSmallUnsigned(ra->value, 8, &r) && r >= 1) {
        rowOfCells = r - 1;
      } else if (ra && ra->value.size() > 8 &&
                 std::all_of(ra->value.begin(), ra->value.end(), [](char ch) { return IsDigit(ch); })) {
        rowOfCells = kMaxRows;  // a number past the grid: the row's cells are dropped
      } else {
        rowOfCells = nextRow;
      }
      nextRow = rowOfCells + 1;
      nextCol = 0;
      continue;
    }
    if (name != "c") {
      status = sc.SkipElement();
      if (!status.ok()) break;
      continue;
    }

    // A cell: position, style, type.
    uint64_t row = rowOfCells, col = nextCol;
    uint32_t style = 0;
    CellType type = CellType::Number;
    bool outOfRange = false;
    for (const XmlScanner::Attribute& a : sc.attributes()) {
      if (a.name.size() != 1) continue;
      if (a.name[0] == 'r') {
        uint32_t r = 0, c = 0;
        RefParse p = ParseCellReference(a.value, &r, &c);
        if (p == RefParse::Ok) {
          row = r;
          col = c;
        } else if (p == RefParse::OutOfRange) {
          outOfRange = true;
        }
      } else if (a.name[0] == 's') {
        uint64_t s = 0;
        if (ParseSmallUnsigned(a.value, 9, &s)) style = static_cast<uint32_t>(s);
      } else if (a.name[0] == 't') {
        type = TypeOf(a.value);
      }
    }
    nextCol = col + 1;
    if (row != rowOfCells) {
      // A cell's own reference wins over its row's; rows without r
      // continue after it.
      rowOfCells = row;
      nextRow = row + 1;
    }

    // Its children: the value <v>, an inline string <is>; formulas <f>
    // and anything else are skipped (a formula cell reports its cached value).
    bool haveValue = false, haveInline = false;
    std::string_view quick;
    if (sc.TakeSimpleText("v", "c", "f", &quick)) {
      // <v>...</v></c> (perhaps after a formula) straight from the buffer:
      // most cells of most sheets.
      value.assign(quick.data(), quick.size());
      haveValue = true;
    } else if (!sc.selfClosing()) {
      int cellDepth = sc.depth();
      for (;;) {
        status = sc.Next();
        if (!status.ok()) break;
        tok = sc.token();
        if (tok == Token::End) {
          status = sc.Error("the part ends inside a cell");
          break;
        }
        if (tok == Token::EndElement) {
          if (sc.depth() < cellDepth) break;
          continue;
        }
        if (tok != Token::StartElement) continue;
        if (sc.name() == "v") {
          value.clear();
          haveValue = true;
          status = sc.AppendElementText(&value);
        } else if (sc.name() == "is") {
          haveInline = true;
          status = ReadStringItem(sc, &inlineText);
        } else {
          status = sc.SkipElement();
        }
        if (!status.ok()) break;
      }
      if (!status.ok()) break;
    } else {
      status = sc.Next();  // the end of <c/>
      if (!status.ok()) break;
    }

    if (outOfRange) {
      damage.Note(sc, "a cell outside the largest sheet");
      continue;
    }
    uint32_t r32 = static_cast<uint32_t>(row), c32 = static_cast<uint32_t>(col);
    if (row >= kMaxRows || col >= kMaxCols) {
      damage.Note(sc, "a cell outside the largest sheet");
      continue;
    }
    // An inline string is in <is>; some writers put it in <v> instead.
    bool takeInline = type == CellType::Inline && haveInline;
    uint64_t badIndex = 0;
    switch (AddValue(type, takeInline || haveValue, takeInline ? inlineText : value, r32, c32, style, book,
                     sharedCount, cells, sheetStrings, decoded, &badIndex)) {
      case ValueFault::None: break;
      case ValueFault::NotANumber: damage.Note(sc, "a number cell whose value is not a number"); break;
      case ValueFault::NotAnIndex: damage.Note(sc, "a shared-string cell whose value is not an index"); break;
      case ValueFault::IndexTooLarge:
        damage.Note(sc, "a cell refers to shared string " + std::to_string(badIndex) + ", but there are only " +
                            std::to_string(sharedCount));
        break;
      case ValueFault::NotABoolean: damage.Note(sc, "a boolean cell whose value is neither 0 nor 1"); break;
      case ValueFault::NotADate:
        damage.Note(sc, "a date cell whose value is no ISO 8601 date in the workbook's date system");
        break;
      case ValueFault::UnknownType: damage.Note(sc, "a cell of an unknown type"); break;
    }
  }

  if (damage.count == 0) return status;
  std::string note = std::to_string(damage.count) + (damage.count == 1 ? " cell" : " cells") +
                     " skipped (first at " + damage.first + ")";
  if (!status.ok()) return Status::Error(status.message() + "; also " + note);
  return Status::Error(sc.part() + ": " + note);
}

}  // namespace reader
