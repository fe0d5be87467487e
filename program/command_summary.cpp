#include "program/command_summary.h"

#include <algorithm>
#include <string>

namespace {

// Endings by which the parameter parser takes an argument for a workbook
// or an output file instead of a folder.
constexpr const char* kNameEndings[] = {".csv",  ".txt", ".xls",  ".xlsx", ".xlsm",
                                        ".xlsb", ".xlt", ".xltx", ".xltm"};

// The parser skips bare arguments of four characters or fewer and takes
// ones ending like a file name for files. A folder such as C: (a drive
// root chosen with Browse) or "out" is written with "\." (or "/.") behind
// it, which names the same folder and reads back as one.
std::string FolderArgumentText(std::string folder) {
  auto readsAsFolder = [](const std::string& text) {
    if (text.size() <= 4) return false;
    for (const char* ending : kNameEndings)
      if (EndsWithNoCase(text, ending)) return false;
    return true;
  };
  while (!readsAsFolder(folder)) {
    folder += platform::kPathSeparator;
    folder += '.';
  }
  return folder;
}

void AddArgument(std::string& text, std::string_view argument) {
  text += CommandLineArgument(argument);
  text += ' ';
}

void AddKeyword(std::string& text, std::string_view keyword, std::string_view value) {
  std::string argument(keyword);
  argument += value;
  AddArgument(text, argument);
}

// The delimiter texts as the words the parser and the delimiter parsing of
// the unattended road turn back into the same characters.
void AddRecordDelimiter(std::string& text, const std::string& delimiter) {
  if (delimiter == "\r\n")
    text += "/RECORDS=CRLF ";
  else if (delimiter == "\r")
    text += "/RECORDS=CR ";
  else if (delimiter == "\n")
    text += "/RECORDS=LF ";
  else if (delimiter.empty())
    text += "/RECORDS=NONE ";
  else
    AddKeyword(text, "/RECORDS=", delimiter);
}

void AddFieldDelimiter(std::string& text, const std::string& delimiter) {
  if (delimiter == "\t")
    text += "/FIELDS=TAB ";
  else if (delimiter == "|")
    text += "/FIELDS=PIPE ";
  else if (delimiter.empty())
    text += "/FIELDS=NONE ";
  else
    AddKeyword(text, "/FIELDS=", delimiter);
}

void AddEscape(std::string& text, const std::string& escape) {
  if (escape == "\"")
    text += "/ESCAPE=DQ ";
  else if (escape == "'")
    text += "/ESCAPE=SQ ";
  else
    AddKeyword(text, "/ESCAPE=", escape);  // "/ESCAPE= " for no escape text
}

// The sheets of the open book that the selected-sheet list names, in book
// order and as the book spells them, joined by semicolons; empty when every
// sheet is selected (a run from the summary then exports all, as the
// wizard did) or no book is open.
std::string SelectedSheetsValue(const ConverterSettings& s) {
  std::string value;
  bool all = true;
  const int count = xlBookSheetCountA(s.book);
  for (int i = 0; i < count; ++i) {
    const char* name = xlSheetNameA(xlBookGetSheetA(s.book, i));
    if (!name) name = "";
    const std::string upper = UpperAscii(name);
    if (std::find(s.selectedSheets.begin(), s.selectedSheets.end(), upper) == s.selectedSheets.end()) {
      all = false;
      continue;
    }
    if (!value.empty()) value += ';';
    value += name;
  }
  return all ? std::string() : value;
}

}  // namespace

std::string CommandLineArgument(std::string_view text) {
  if (text.find_first_of(" \t\n\v\"") == std::string_view::npos) return std::string(text);
  std::string quoted = "\"";
  size_t backslashes = 0;
  for (char c : text) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    // Backslashes count only in front of a double quote: there each is
    // doubled, and one more escapes the quote itself.
    if (c == '"') backslashes = backslashes * 2 + 1;
    quoted.append(backslashes, '\\');
    backslashes = 0;
    quoted += c;
  }
  // The closing quote follows: backslashes before it are doubled.
  quoted.append(backslashes * 2, '\\');
  quoted += '"';
  return quoted;
}

std::string CommandLineSummary(const ConverterSettings& s) {
  std::string text;
  AddArgument(text, s.sourceFile);
  if (!s.outputFolder.empty())
    AddArgument(text, FolderArgumentText(s.outputFolder));
  else
    AddArgument(text, s.outputFile);
  const std::string sheets = SelectedSheetsValue(s);
  if (!sheets.empty()) AddKeyword(text, "/SHEETS=", sheets);

  if (s.overwrite == kOverwriteNo)
    text += "/OVERWRITE=0 ";
  else if (s.overwrite == kOverwriteSkip)
    text += "/OVERWRITE=SKIP ";
  else
    text += "/OVERWRITE=1 ";

  if (s.codePage == kCodePageAsIs) text += "/ASIS ";
  if (s.codePage == kCodePageAnsi) text += "/ANSI ";
  if (s.codePage == kCodePageOem) text += "/OEM ";
  if (s.codePage == kCodePageUtf8) text += "/UTF8 ";
  if (s.writeBom) text += "/BOM ";

  // RECORDS=0 also sets the record delimiter to "0"; the record delimiter
  // written after it sets it back.
  if (s.exportRecords == 0) text += "/RECORDS=0 ";
  if (s.maxLength != 0) text += "/MAXLEN=" + std::to_string(s.maxLength) + " ";
  AddRecordDelimiter(text, s.recordDelimiter);

  // Kept for the readers of earlier summaries; the parser ignores it.
  text += " /FULLHEADER=0 ";

  AddEscape(text, s.escapeChar);
  AddFieldDelimiter(text, s.fieldDelimiter);
  text += s.quoteStrings ? "/QUOTES=1 " : "/QUOTES=0 ";
  text += s.quoteAll ? "/QUOTEALL=1 " : "/QUOTEALL=0 ";
  if (s.errorsAsText) text += "/ERRORS=TEXT ";

  if (s.crlfMode == kCrlfRemove)
    text += "/CRLF=REMOVE ";
  else if (s.crlfMode == kCrlfReplace)
    text += "/CRLF=REPLACE ";
  else
    text += "/CRLF=KEEP ";

  if (!s.order.empty()) AddKeyword(text, "/ORDER=", s.order);
  if (!s.statusFile.empty()) AddKeyword(text, "/STATUS=", s.statusFile);
  text += s.openResult ? "/OPEN=1 " : "/OPEN=0 ";
  if (s.batch) text += "/BATCH ";
  if (s.wait) text += "/WAIT ";
  text += "\n/SILENT ";
  return text;
}
