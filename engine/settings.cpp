#include "settings.h"

ConverterSettings::~ConverterSettings() { xlBookReleaseA(book); }

void SetDefaultSettings(ConverterSettings& s) {
  s.escapeChar = "\"";
  s.overwrite = kOverwriteYes;
  s.crlfMode = kCrlfKeep;
  s.codePage = kCodePageAsIs;
  s.openResult = 1;
  s.quoteStrings = 1;
  s.quoteAll = 0;
  s.fieldDelimiter = ",";
  s.recordDelimiter = "CRLF";
  s.exportRecords = 1;
}

bool WritesUtf8(const ConverterSettings& s) {
#ifdef _WIN32
  return s.codePage == kCodePageUtf8;
#else
  return s.codePage != kCodePageOem;
#endif
}

void AssignLimited(std::string& field, std::string_view value, size_t maxChars) {
  std::string copy(value.substr(0, maxChars));  // `value` may point into `field`
  field.swap(copy);
}

void ParseFieldDelimiter(ConverterSettings& s, std::string_view text) {
  if (text.empty() || EqualsNoCase(text, "NONE")) {
    s.fieldDelimiter.clear();
  } else if (EqualsNoCase(text, "TAB")) {
    s.fieldDelimiter = "\t";
  } else if (EqualsNoCase(text, "PIPE")) {
    s.fieldDelimiter = "|";
  } else {
    AssignLimited(s.fieldDelimiter, text, kMaxDelimiterChars);
  }
}

void ParseRecordDelimiter(ConverterSettings& s, std::string_view text) {
  if (text.empty() || EqualsNoCase(text, "NONE")) {
    s.recordDelimiter.clear();
  } else if (EqualsNoCase(text, "CRLF")) {
    s.recordDelimiter = "\r\n";
  } else if (EqualsNoCase(text, "CR")) {
    s.recordDelimiter = "\r";
  } else if (EqualsNoCase(text, "LF")) {
    s.recordDelimiter = "\n";
  } else {
    AssignLimited(s.recordDelimiter, text, kMaxDelimiterChars);
  }
}

namespace {
char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }
}  // namespace

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  return true;
}

bool EndsWithNoCase(std::string_view text, std::string_view ending) {
  return text.size() >= ending.size() && EqualsNoCase(text.substr(text.size() - ending.size()), ending);
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && EqualsNoCase(text.substr(0, prefix.size()), prefix);
}

std::string UpperAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return out;
}
