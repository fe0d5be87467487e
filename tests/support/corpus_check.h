// Comparison of a loaded book with the corpus's reference dump of it.
//
// For each sheet: the name, and for each reference cell the content type,
// string text, number (to 1e-9 relative) and number format text. Strings
// are compared in UTF-8 from the book model, so the check means the same
// under Windows, where the reader interface answers in the ANSI code page.
#pragma once

#include <string>
#include <vector>

#include "reader/core/book.h"

namespace testing_support {

struct CorpusFile {
  std::string relative;   // "xlsx/name.xlsx"
  std::string path;       // full path of the workbook
  std::string reference;  // full path of its dump, empty when there is none
};

// The workbooks of one corpus folder ("xlsx", "xls", ...), sorted by name.
std::vector<CorpusFile> CorpusFiles(const std::string& folder);

struct CorpusAgreement {
  bool referenceFailed = false;  // the reference reader could not read the file
  bool sheetNamesAgree = true;
  int cellsCompared = 0;
  int cellsAgreeing = 0;
  std::vector<std::string> differences;  // the first few, for the report
};

struct CompareOptions {
  // Off for files whose reference is known to report wrong format texts.
  bool formats = true;
};

// Compares `book` (loaded) with the reference dump at `referencePath`.
// Sheets whose cells the dump skipped (too many) compare their count only.
CorpusAgreement CompareWithReference(XlBook& book, const std::string& referencePath,
                                     const CompareOptions& options = {});

// The number format text of a cell as the reference reports it: the
// workbook's text for its id, else the built-in text.
std::string FormatTextOf(const XlBook& book, int numFormatId);

}  // namespace testing_support
