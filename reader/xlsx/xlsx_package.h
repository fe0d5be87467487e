// Pieces of the .xlsx / .xlsm reader shared by its files: the open
// package, relationships, part streams, and the parsers of the
// workbook-level parts and of one worksheet.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "reader/container/byte_stream.h"
#include "reader/container/zip_archive.h"
#include "reader/core/book.h"
#include "reader/core/status.h"
#include "reader/xlsx/xml_scanner.h"

namespace reader {

// What a loaded book keeps to read its sheets later (book.parserState).
struct XlsxPackage {
  std::unique_ptr<ZipArchive> archive;
  // Damage in a workbook-level part (shared strings, styles) that did not
  // stop the load: every worksheet reports it with its own findings.
  std::string bookNote;
};

// Damage in a workbook-level part does not stop the load: the part's
// failure, and what is missing because of it, join the package's note.
void NoteDamagedPart(XlsxPackage& pkg, const Status& status, const char* missing);

struct Relationship {
  std::string id;
  std::string type;    // the last segment of the type URI ("worksheet")
  std::string target;  // resolved part name, without a leading '/'
  bool external = false;
};

// The relationships part of `partName` ("xl/workbook.xml" ->
// "xl/_rels/workbook.xml.rels"), its name.
std::string RelationshipsPartOf(std::string_view partName);
// Resolves a relationship target against the part that holds it: relative
// to that part's folder, or from the package root when it starts with '/';
// "." and ".." are folded and %XX escapes decoded.
std::string ResolveTarget(std::string_view sourcePart, std::string_view target);

// Reads a relationships part. A missing part is no error (*found false).
Status ReadRelationships(ByteSource& source, const ZipArchive& archive, const std::string& relsPart,
                         const std::string& sourcePart, std::vector<Relationship>* out, bool* found);

// Where a workbook's own parts are: from the workbook part's relationships,
// or, in a package without them, where writers put them. `extension` is the
// parts' ending, ".xml" for .xlsx and ".bin" for .xlsb. A relationships part
// that cannot be read counts as missing.
struct WorkbookParts {
  std::vector<Relationship> relationships;
  // Relationship id -> index of the last internal relationship with that id,
  // so that finding each of many sheets costs no walk over all of them.
  std::unordered_map<std::string, size_t> internalById;
  bool haveRelationships = false;
  std::string folder;  // the workbook part's folder, "xl/"
  std::string sharedStrings;
  std::string styles;
};
WorkbookParts FindWorkbookParts(ByteSource& source, const ZipArchive& archive,
                                const std::string& workbookPart, std::string_view extension);

// One sheet's part and kind, by its relationship id or, without
// relationships, by its position (0-based). An empty part: no cells to read.
struct SheetPart {
  std::string part;
  SheetKind kind = SheetKind::Worksheet;
};
SheetPart FindSheetPart(const WorkbookParts& parts, std::string_view relId, size_t index,
                        std::string_view extension);

// A sequential stream of an entry's bytes; large parts are inflated on a
// second thread while the caller scans them.
Status OpenPartStream(ByteSource& source, const ZipArchive& archive, const ZipEntry& entry,
                      std::unique_ptr<ByteStream>* out);

// Reads the text of a string item (<si> of the shared strings, <is> of an
// inline string): its own <t>, or the <t> of each rich-text run <r>;
// phonetic runs (<rPh>) and properties are skipped. The scanner stands on
// the item's start tag; `raw` gets the text with _xHHHH_ escapes still in.
Status ReadStringItem(XmlScanner& scanner, std::string* raw);

// Shared strings into book.sharedStrings. On damage the strings read so
// far stay, and the status says what went wrong.
Status ParseSharedStrings(XmlScanner& scanner, uint64_t declaredBytes, StringPool* pool);

// Number formats and cell styles (cellXfs) into the book.
Status ParseStyles(XmlScanner& scanner, BookBuilder& builder);

// The cells of one worksheet part.
Status ParseWorksheet(XmlScanner& scanner, const XlBook& book, SheetBuilder& cells, StringPool& sheetStrings);
// Whether ParseWorksheet reads the commonest cells, and ParseSharedStrings
// the commonest strings with references, straight from the scanner's buffer
// (the default) or token by token; both give the same cells and strings,
// which the tests compare.
void SetPlainShortcuts(bool on);
bool PlainShortcuts();

// Helpers of the cell parser, exposed for tests.
enum class RefParse { Ok, Bad, OutOfRange };
// "B7" (or "b7") -> row 6, column 1.
RefParse ParseCellReference(std::string_view text, uint32_t* row, uint32_t* col);
// The extent a <dimension> states: "A1:K20" (or "K20") -> 20 rows, 11 columns.
bool ParseDimension(std::string_view ref, uint32_t* rows, uint32_t* cols);
// The number of a <v>: decimal text, optionally signed, with exponent.
bool ParseCellNumber(std::string_view text, double* value);
// An ISO 8601 date, date-time or time as a serial in the given date system.
bool ParseIsoDateTime(std::string_view text, bool date1904, double* serial);
// The BIFF code of an error literal ("#DIV/0!" -> 0x07); false if unknown.
bool ErrorCodeOf(std::string_view text, uint8_t* code);

}  // namespace reader
