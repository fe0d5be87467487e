// Entry points of the format parsers, called by the container detection in
// open_book.cpp. Each gets a book whose `source` is the open file and fills
// it through the builder; a failed status makes the whole load fail.
#pragma once

#include "reader/core/book.h"

namespace reader {

// A ZIP package: xlsx and xlsm (xl/workbook.xml); xlsb (xl/workbook.bin).
Status LoadZipWorkbook(XlBook& book, BookBuilder& builder);

// An OLE compound file: the "Workbook" (BIFF8) or "Book" (BIFF5/7) stream
// of an .xls, or an encrypted OOXML package (which fails with a reason).
Status LoadCompoundFile(XlBook& book, BookBuilder& builder);

// A BIFF stream without a compound file around it (BIFF2 to BIFF4
// worksheets, and some writers' BIFF5/8).
Status LoadBiffStream(XlBook& book, BookBuilder& builder);

}  // namespace reader
