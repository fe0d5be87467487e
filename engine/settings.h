// The record of one conversion run, its defaults and the delimiter words.
#pragma once

#include <atomic>
#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "../platform/platform.h"
#include "output_name.h"
#include "reader.h"

// Longest delimiter and escape texts, and the longest order text; longer
// values are cut to these. Paths are never cut.
inline constexpr size_t kMaxDelimiterChars = 31;
inline constexpr size_t kMaxOrderChars = 99;

// overwrite values.
inline constexpr int32_t kOverwriteNo = 0;
inline constexpr int32_t kOverwriteYes = 1;
inline constexpr int32_t kOverwriteSkip = 2;

// codePage values.
inline constexpr int32_t kCodePageAsIs = 0;
inline constexpr int32_t kCodePageAnsi = 1;
inline constexpr int32_t kCodePageOem = 2;
inline constexpr int32_t kCodePageUtf8 = 3;  // strings as UTF-8 on every platform

// crlfMode values.
inline constexpr int32_t kCrlfKeep = 0;
inline constexpr int32_t kCrlfRemove = 1;
inline constexpr int32_t kCrlfReplace = 2;

struct ConverterSettings {
  ConverterSettings() = default;
  ConverterSettings(const ConverterSettings&) = delete;
  ConverterSettings& operator=(const ConverterSettings&) = delete;
  ~ConverterSettings();  // releases the open book

  void* titleFont = nullptr;  // the wizard's bold title font (program only)
  std::string sourceFile;     // may hold * and ? before the batch runner expands it
  std::string outputFile;
  std::string outputFolder;
  BookHandle book = nullptr;    // owned: released when replaced and with the record
  SheetHandle sheet = nullptr;  // a sheet of `book`
  int32_t overwrite = 0;        // kOverwriteNo, kOverwriteYes, kOverwriteSkip
  int32_t codePage = 0;         // kCodePageAsIs, kCodePageAnsi, kCodePageOem, kCodePageUtf8
  std::string fieldDelimiter;   // a delimiter word until ParseFieldDelimiter has run
  std::string recordDelimiter;  // a delimiter word until ParseRecordDelimiter has run
  std::string escapeChar;       // written in front of every double quote of an enclosed string
  int32_t quoteStrings = 0;
  int32_t quoteAll = 0;
  int32_t crlfMode = 0;  // kCrlfKeep, kCrlfRemove, kCrlfReplace
  int32_t exportRecords = 0;
  int32_t maxLength = 0;
  // The sheets to export: each selected sheet's name in upper case (ASCII
  // letters only). A sheet is exported when its upper-cased name equals one
  // entry exactly.
  std::vector<std::string> selectedSheets;
  std::string order;
  platform::Window progressWindow = nullptr;
  std::atomic<int32_t> cancelled{0};  // set by the window thread, read before each row
  int64_t recordCount = 0;            // rows written in this run, over all sheets and workbooks
  int32_t logEnabled = 0;
  int32_t openResult = 0;
  int32_t batch = 0;
  int32_t wait = 0;
  int32_t silent = 0;
  std::string statusFile;
  // Only these sheets (names in upper case, ASCII letters only) when not
  // empty; a name that no sheet of a workbook has fails that workbook.
  std::vector<std::string> sheetFilter;
  int32_t writeBom = 0;      // a UTF-8 byte-order mark at the start of each new UTF-8 file
  int32_t errorsAsText = 0;  // error cells as their texts (#DIV/0!), else empty

  // State of the run kept by the engine.
  // True while outputFile holds a path the export built from outputFolder
  // (then later sheets get files named after themselves). Whoever puts a
  // path of its own into outputFile clears it.
  bool outputFileBuilt = false;
  // Output files written in this run: an overwrite deletes a file only the
  // first time, later sheets of the run append to it.
  WrittenPaths pathsWritten;
  // Every sheet goes to the process's standard output instead of a file
  // (the Linux program's output name "-"); set by the program, never parsed.
  bool toStandardOutput = false;
  // Failures of the run; a sheet counts once, in one of the two.
  int32_t readFailures = 0;   // workbooks or sheets that could not be read (wholly)
  int32_t writeFailures = 0;  // output files that could not be created or written
};

// The workbooks and sheets of the run that could not be read or written.
inline int32_t RunFailures(const ConverterSettings& settings) {
  return settings.readFailures + settings.writeFailures;
}

// True when string cells reach the output file as UTF-8: always under
// kCodePageUtf8; on POSIX, where the reader's texts are UTF-8, also as is
// and ANSI. The byte-order mark is written only then.
bool WritesUtf8(const ConverterSettings& settings);

// Writes the defaults into a value-initialised record.
void SetDefaultSettings(ConverterSettings& settings);

// Turn the delimiter words into literal texts. `text` may be the field itself.
void ParseFieldDelimiter(ConverterSettings& settings, std::string_view text);
void ParseRecordDelimiter(ConverterSettings& settings, std::string_view text);

// Stores `value` cut to `maxChars` characters (delimiter, escape and order texts).
void AssignLimited(std::string& field, std::string_view value, size_t maxChars);

// ASCII-only comparisons and case conversion used throughout the engine.
bool EqualsNoCase(std::string_view a, std::string_view b);
bool EndsWithNoCase(std::string_view text, std::string_view ending);
bool StartsWithNoCase(std::string_view text, std::string_view prefix);
std::string UpperAscii(std::string_view text);
