// The workbook reader interface: the only way the engine reaches a workbook.
//
// Narrow, C-style operations over opaque handles. Text results are in the
// platform's A form (UTF-8 on Linux, the ANSI code page on Windows) and stay
// valid until the next call on the same book (names, format texts) or sheet
// (cell strings). Rows and columns are 0-based.
//
// Handles of one book may be used by one thread at a time; different books
// share nothing, so two books may be read on two threads at once.
#pragma once

#include <cstddef>

struct XlBook;
struct XlSheet;
struct XlFormat;

using BookHandle = XlBook*;
using SheetHandle = XlSheet*;
using FormatHandle = XlFormat*;

// Cell type codes reported by xlSheetCellTypeA. Only 1 to 3 carry content.
enum CellType : int {
  CELLTYPE_EMPTY = 0,
  CELLTYPE_NUMBER = 1,  // dates included
  CELLTYPE_STRING = 2,
  CELLTYPE_BOOLEAN = 3,
  CELLTYPE_BLANK = 4,  // a cell that carries only a style
  CELLTYPE_ERROR = 5,  // #N/A, #DIV/0! and the like: no content
};

// A new, empty book; the ".xls" kind and the XML kind. Loading detects the
// real container by content, so the kind only records what the caller asked for.
// Never none except when memory runs out.
BookHandle xlCreateBookCA();
BookHandle xlCreateXMLBookCA();

// Releases the book with all its sheets and formats. Handles of the book are
// invalid afterwards. A null book is ignored.
void xlBookReleaseA(BookHandle book);

// Accepted for the interface's sake; the reader always uses the "C" rules.
int xlBookSetLocaleA(BookHandle book, const char* locale);

// Loads the workbook-level parts (sheet list, strings, styles, number
// formats, date system). Returns 1 on success, 0 on failure; on failure the
// book has no sheets and xlBookErrorMessageA tells why.
int xlBookLoadA(BookHandle book, const char* fileName);

// "ok", or the reason of the last failure of this book (naming the part and
// what was wrong), in the A form.
const char* xlBookErrorMessageA(BookHandle book);

int xlBookSheetCountA(BookHandle book);
SheetHandle xlBookGetSheetA(BookHandle book, int index);  // none when out of range
const char* xlSheetNameA(SheetHandle sheet);

// A sheet's cells are read on first use of any of the operations below.
// Last row/column: one past the last cell that holds a value (number,
// string, boolean or error); 0 for an empty sheet.
int xlSheetLastRowA(SheetHandle sheet);
int xlSheetLastColA(SheetHandle sheet);

// Non-null when the sheet's cells could not all be read (a damaged part):
// the cells read before the damage are still there. The reason in the A form.
const char* xlSheetErrorMessageA(SheetHandle sheet);

FormatHandle xlSheetCellFormatA(SheetHandle sheet, int row, int col);
int xlSheetCellTypeA(SheetHandle sheet, int row, int col);
int xlSheetIsDateA(SheetHandle sheet, int row, int col);
double xlSheetReadNumA(SheetHandle sheet, int row, int col, FormatHandle* format);
// The text of a string cell, or none when the cell holds no string. The
// caller may rewrite the returned text in place at the same length.
char* xlSheetReadStrA(SheetHandle sheet, int row, int col, FormatHandle* format);
int xlSheetReadBoolA(SheetHandle sheet, int row, int col, FormatHandle* format);

// With a non-zero `utf8`, the texts of string cells (xlSheetReadStrA,
// xlSheetReadCellA) come in UTF-8 on every platform instead of the A form;
// sheet names, format texts and messages stay in the A form. Off when the
// book is created.
void xlBookSetCellTextUtf8A(BookHandle book, int utf8);

// Splits a date serial of the book's date system into calendar fields.
// Returns 1, or 0 when the value is no date (negative, not finite, or past
// 9999-12-31); the fields are then all 0.
int xlBookDateUnpackA(BookHandle book, double value, int* year, int* month, int* day, int* hour, int* min,
                      int* sec, int* msec);

// Everything the export reads about one cell, in one call (the same answers
// as xlSheetCellFormatA, xlSheetCellTypeA, xlSheetIsDateA and the type's own
// read). The text is not NUL-terminated and stays valid until the next
// string read on the sheet.
struct XlCellInfo {
  int type = CELLTYPE_EMPTY;
  FormatHandle format = nullptr;
  double number = 0;           // CELLTYPE_NUMBER
  int isDate = 0;              // CELLTYPE_NUMBER
  int boolean = 0;             // CELLTYPE_BOOLEAN
  const char* text = nullptr;  // CELLTYPE_STRING
  size_t textLength = 0;
  int errorCode = 0;  // CELLTYPE_ERROR: the BIFF code (0x07 #DIV/0!, 0x2A #N/A, ...)
};
void xlSheetReadCellA(SheetHandle sheet, int row, int col, XlCellInfo* cell);

// The column of the first cell at or right of `col` in `row` that holds a
// value or an error, or xlSheetLastColA when there is none: the export
// writes the empty fields up to it in one go.
int xlSheetNextCellColA(SheetHandle sheet, int row, int col);

// Reading a sheet row by row as its part is read, without keeping its
// cells: memory stays that of one row whatever the sheet's size.
//
// One cell of a row (the answers of xlSheetReadCellA), with its column.
struct XlRowCell {
  int col = 0;
  int type = CELLTYPE_EMPTY;
  FormatHandle format = nullptr;
  double number = 0;           // CELLTYPE_NUMBER
  int isDate = 0;              // CELLTYPE_NUMBER
  int boolean = 0;             // CELLTYPE_BOOLEAN
  const char* text = nullptr;  // CELLTYPE_STRING, in the A form, not NUL-terminated
  size_t textLength = 0;
  int errorCode = 0;  // CELLTYPE_ERROR: the BIFF code
};
// What takes the rows. Either function returns 0 to stop the reading.
struct XlRowReader {
  void* context = nullptr;
  // The extent the file states (one past its last row and column), when it
  // states one; normally before the first row. Only a hint: files state
  // none, or a wrong one.
  int (*extent)(void* context, int rows, int cols) = nullptr;
  // One row that holds a cell with a value (number, string, boolean or
  // error), in file order; its cells in ascending columns, cells with no
  // value left out. The cells and their texts are valid during the call.
  int (*row)(void* context, int row, const XlRowCell* cells, int count) = nullptr;
};
// Results of xlSheetReadRowsA.
enum RowReadResult : int {
  ROWREAD_DONE = 1,       // every row was given, rows ascending, the sheet read whole
  ROWREAD_STOPPED = 0,    // a function of the row reader returned 0
  ROWREAD_USE_CELLS = -1  // not read this way: the rows given (if any) are not the
                          // sheet; read it cell by cell instead. The cells are in
                          // memory already, they come out of order or repeat a
                          // position, or the sheet cannot be read whole.
};
int xlSheetReadRowsA(SheetHandle sheet, const XlRowReader* reader);

int xlFormatNumFormatA(FormatHandle format);
// The text of a workbook-defined number format (identifier 164 and up), or
// none for a built-in or unknown identifier.
const char* xlBookCustomNumFormatA(BookHandle book, int numFormat);
