// The .xlsb reader: the same ZIP package and relationships as .xlsx, with
// binary record streams for the workbook, shared strings, styles and sheets.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "reader/core/book.h"
#include "reader/xlsb/record_stream.h"
#include "reader/xlsx/xlsx_package.h"

namespace reader::xlsb {

// Fills the book from an open package whose workbook part is binary.
Status LoadBinaryWorkbook(XlBook& book, BookBuilder& builder, std::shared_ptr<XlsxPackage> pkg,
                          const std::string& workbookPart);

struct SheetEntry {
  std::string name;
  std::string relId;
  Visibility visibility = Visibility::Visible;
};

// The sheet list in workbook order and the 1904 date system flag.
Status ParseWorkbook(RecordReader& records, std::vector<SheetEntry>* sheets, bool* date1904);

// Shared strings into `pool`, rich-text runs and phonetic text left out. An
// item too short for its text still takes its index (as an empty string)
// so that the items after it keep theirs; the status reports it.
Status ParseSharedStrings(RecordReader& records, uint64_t partBytes, StringPool* pool);

// Workbook-defined number formats, and the cell styles in file order.
Status ParseStyles(RecordReader& records, BookBuilder& builder);

// The cells of one sheet part.
Status ParseSheet(RecordReader& records, const XlBook& book, SheetBuilder& cells, StringPool& sheetStrings);

}  // namespace reader::xlsb
