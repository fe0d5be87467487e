// What the .xls reader keeps between loading a workbook and reading its
// sheets: where the BIFF stream lies in the file (each sheet reads its own
// part once, through a small window) and the facts of the workbook globals
// that the cell records need.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "reader/core/book.h"
#include "reader/core/text_encoding.h"
#include "reader/xls/biff_records.h"

namespace reader::biff {

struct BiffStream {
  StreamBytes bytes;
  std::string name;  // "Workbook", "Book", or the file name for a bare stream
  int version = 8;   // 2, 3, 4, 5 (BIFF5 and BIFF7) or 8
  CodePageDecoder decoder;
  uint32_t sharedStrings = 0;  // strings in the book's pool from the SST
  // BIFF2 cells carry their number format index themselves; this maps it
  // to the style that stands for that format.
  bool formatIndexStyles = false;
  // Why the stream is shorter than its directory entry says (empty: whole).
  std::string damage;
};

// Reads the cells of the substream whose BOF record is at `offset`.
// Stops at its EOF; records of embedded substreams (charts) are skipped.
// On damage, keeps the cells read and returns "stream: offset N: reason".
Status ReadSheetCells(const BiffStream& stream, uint64_t offset, SheetBuilder& cells, StringPool& strings);

// Parses a BIFF stream held in `stream` into `book`: the globals (or, for
// a BIFF2-4 worksheet, the one sheet) and one lazily read sheet each.
Status LoadBiff(std::shared_ptr<BiffStream> stream, XlBook& book, BookBuilder& builder);

}  // namespace reader::biff
