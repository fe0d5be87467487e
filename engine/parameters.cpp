#include "parameters.h"

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace {

bool IsKeywordPrefix(char c) { return c == '/' || c == '-'; }

#ifndef _WIN32
// POSIX paths begin with "/" like keywords do. An argument is a path when a
// second "/" comes before any "=": /home/me/out is a folder, while
// /STATUS=/var/run/st.ini stays a keyword.
bool IsPosixPath(std::string_view arg) {
  if (arg.empty() || arg[0] != '/') return false;
  std::string_view head = arg.substr(0, arg.find('='));
  return head.find('/', 1) != std::string_view::npos;
}
#endif

// The endings that name a workbook (patterns included: data/*.xlsm). The
// name only says that the argument is the source; how the file is read is
// decided by its content.
bool HasWorkbookEnding(std::string_view arg) {
  for (const char* ending : {".xls", ".xlsx", ".xlsm", ".xlsb", ".xltx", ".xltm", ".xlt"})
    if (EndsWithNoCase(arg, ending)) return true;
  return false;
}

bool StartsAsKeyword(std::string_view arg) {
  if (arg.empty() || !IsKeywordPrefix(arg[0])) return false;
#ifndef _WIN32
  if (IsPosixPath(arg)) return false;
#endif
  return true;
}

// The value of MAXLEN=: optional leading blanks and sign, then decimal digits
// up to the first other character; no digits give 0. Values beyond 32 bits
// stop at the nearest limit.
int32_t ReadDecimal(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  int64_t value = 0;
  const int64_t limit = negative ? -int64_t(INT32_MIN) : int64_t(INT32_MAX);
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > limit) {
      value = limit;
      break;
    }
  }
  return static_cast<int32_t>(negative ? -value : value);
}

// The value of SHEETS=: sheet names separated by semicolons, kept in upper
// case (ASCII letters) as the selected-sheet list compares them. Empty
// names are skipped; an empty value selects every sheet again.
std::vector<std::string> SheetNames(std::string_view text) {
  std::vector<std::string> names;
  while (!text.empty()) {
    const size_t end = text.find(';');
    std::string_view name = text.substr(0, end);
    if (!name.empty()) {
      std::string upper = UpperAscii(name);
      if (std::find(names.begin(), names.end(), upper) == names.end()) names.push_back(std::move(upper));
    }
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return names;
}

// A keyword that takes the rest of the text as its value.
bool Prefix(std::string_view k, std::string_view keyword, std::string_view* value) {
  if (!StartsWithNoCase(k, keyword)) return false;
  *value = k.substr(keyword.size());
  return true;
}

// A keyword with a fixed set of whole forms; sets `field` to the value paired
// with the form that matches.
bool Whole(std::string_view k, std::initializer_list<std::pair<const char*, int32_t>> forms, int32_t* field) {
  for (const auto& [form, value] : forms) {
    if (EqualsNoCase(k, form)) {
      *field = value;
      return true;
    }
  }
  return false;
}

// The keyword table. Every row is tested and every row that matches takes
// effect; only RECORDS=0 matches two rows (its delimiter "0" is never
// written, since no row is).
void ApplyKeyword(ConverterSettings& s, std::string_view k) {
  std::string_view value;
  if (Prefix(k, "ESCAPE=", &value)) {
    if (StartsWithNoCase(value, "DQ"))
      s.escapeChar = "\"";
    else if (StartsWithNoCase(value, "SQ"))
      s.escapeChar = "'";
    else
      AssignLimited(s.escapeChar, value, kMaxDelimiterChars);
  }
  if (Prefix(k, "FIELDS=", &value)) AssignLimited(s.fieldDelimiter, value, kMaxDelimiterChars);
  if (Prefix(k, "RECORDS=", &value)) AssignLimited(s.recordDelimiter, value, kMaxDelimiterChars);
  Whole(k, {{"QUOTES=1", 1}, {"QUOTES=0", 0}}, &s.quoteStrings);
  Whole(k, {{"CRLF=KEEP", kCrlfKeep}, {"CRLF=REMOVE", kCrlfRemove}, {"CRLF=REPLACE", kCrlfReplace}},
        &s.crlfMode);
  Whole(k, {{"QUOTEALL=1", 1}, {"QUOTEALL=0", 0}}, &s.quoteAll);
  if (Prefix(k, "ORDER=", &value)) AssignLimited(s.order, value, kMaxOrderChars);
  Whole(k, {{"RECORDS=0", 0}}, &s.exportRecords);
  Whole(k, {{"LOG", 1}}, &s.logEnabled);
  if (Prefix(k, "STATUS=", &value)) s.statusFile = value;
  if (EqualsNoCase(k, "STATUS")) {
    // status.log in the folder of the running executable (in the library:
    // of the program that loaded it).
    std::string exe = platform::ExecutablePath();
    size_t sep = platform::LastSeparator(exe);
    s.statusFile = sep == std::string::npos ? std::string() : exe.substr(0, sep + 1);
    s.statusFile += "status.log";
  }
  if (Prefix(k, "MAXLEN=", &value)) s.maxLength = ReadDecimal(value);
  Whole(k, {{"ASIS", kCodePageAsIs}, {"ANSI", kCodePageAnsi}, {"OEM", kCodePageOem}, {"UTF8", kCodePageUtf8}},
        &s.codePage);
  Whole(k,
        {{"OVERWRITE=1", kOverwriteYes},
         {"OVERWRITE=0", kOverwriteNo},
         {"OVERWRITE=2", kOverwriteSkip},
         {"OVERWRITE=YES", kOverwriteYes},
         {"OVERWRITE=NO", kOverwriteNo},
         {"OVERWRITE=SKIP", kOverwriteSkip}},
        &s.overwrite);
  Whole(k, {{"OPEN=1", 1}, {"OPEN=0", 0}}, &s.openResult);
  Whole(k, {{"WAIT", 1}}, &s.wait);
  Whole(k, {{"BATCH", 1}}, &s.batch);
  Whole(k, {{"SILENT", 1}}, &s.silent);
  if (Prefix(k, "SHEETS=", &value)) s.sheetFilter = SheetNames(value);
  Whole(k, {{"BOM", 1}}, &s.writeBom);
  Whole(k, {{"ERRORS=TEXT", 1}, {"ERRORS=EMPTY", 0}}, &s.errorsAsText);
}

void ApplyArgument(ConverterSettings& s, std::string_view arg) {
  // Names are recognised by their ending first, before any look at a
  // keyword prefix; only arguments longer than four characters have one.
  if (arg.size() > 4) {
    if (EndsWithNoCase(arg, ".csv") || EndsWithNoCase(arg, ".txt")) {
      s.outputFile = arg;
      return;
    }
    if (HasWorkbookEnding(arg)) {
      // The first workbook name is the source; a later one is no keyword
      // either and so comes to nothing.
      if (s.sourceFile.empty()) {
        s.sourceFile = arg;
        return;
      }
    } else if (!StartsAsKeyword(arg)) {
      s.outputFolder = arg;
      return;
    }
  }
  if (!StartsAsKeyword(arg)) return;
  ApplyKeyword(s, arg.substr(1));
}

}  // namespace

void ParseParameters(ConverterSettings& settings, int count, const char* const* arguments) {
  if (!arguments) return;
  for (int i = 1; i < count; ++i) {
    if (arguments[i]) ApplyArgument(settings, arguments[i]);
  }
}
