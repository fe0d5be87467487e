// The .xlsx / .xlsm reader: finds the workbook part of a ZIP package
// through its relationships, reads the sheet list, shared strings, styles
// and the date system, and gives each worksheet a loader for its cells.
#include <cstring>

#include "reader/core/text_encoding.h"
#include "reader/formats.h"
#include "reader/xlsb/xlsb_package.h"
#include "reader/xlsx/xlsx_package.h"

namespace reader {

namespace {

struct SheetEntry {
  std::string name;
  std::string relId;
  Visibility visibility = Visibility::Visible;
};

bool IsTrueWord(std::string_view v) {
  // ST_OnOff-style flags: "1", "true" and "on" (any case) switch on.
  return v == "1" || EqualsAsciiNoCase(v, "true") || EqualsAsciiNoCase(v, "on");
}

Status ParseWorkbookPart(XmlScanner& sc, std::vector<SheetEntry>* sheets, bool* date1904) {
  std::string value, decoded;
  int sheetsDepth = 0;
  for (;;) {
    READER_RETURN_IF_ERROR(sc.Next());
    XmlScanner::Token t = sc.token();
    if (t == XmlScanner::Token::End) return Status::Ok();
    if (t == XmlScanner::Token::EndElement) {
      if (sheetsDepth && sc.depth() < sheetsDepth) sheetsDepth = 0;
      continue;
    }
    if (t != XmlScanner::Token::StartElement) continue;
    std::string_view name = sc.name();
    if (name == "workbookPr") {
      if (sc.GetAttribute("date1904", &value)) *date1904 = IsTrueWord(value);
    } else if (name == "sheets") {
      sheetsDepth = sc.selfClosing() ? 0 : sc.depth();
    } else if (name == "sheet" && sheetsDepth && sc.depth() == sheetsDepth + 1) {
      if (sheets->size() >= kMaxSheets) return sc.Error(kTooManySheets);
      SheetEntry e;
      if (sc.GetAttribute("name", &value)) {
        // Sheet names are ST_Xstring: they may carry _xHHHH_ escapes.
        decoded.clear();
        AppendXEscapesDecoded(value, &decoded);
        e.name = decoded;
      }
      // r:id in the relationships namespace (transitional or strict);
      // the prefix varies from writer to writer.
      sc.GetAttribute("id", &e.relId);
      if (sc.GetAttribute("state", &value)) {
        if (value == "hidden")
          e.visibility = Visibility::Hidden;
        else if (value == "veryHidden")
          e.visibility = Visibility::VeryHidden;
      }
      sheets->push_back(std::move(e));
    } else if (name == "definedNames" || name == "extLst" || name == "bookViews") {
      READER_RETURN_IF_ERROR(sc.SkipElement());
    }
  }
}

// Reads a workbook-level part through a scanner; a missing part is none.
template <typename F>
Status ScanPart(ByteSource& source, const ZipArchive& zip, const std::string& part, F&& parse) {
  const ZipEntry* entry = zip.Find(part);
  if (!entry) return Status::Ok();
  std::unique_ptr<ByteStream> stream;
  READER_RETURN_IF_ERROR(OpenPartStream(source, zip, *entry, &stream));
  XmlScanner sc(*stream, entry->name);
  return parse(sc, *entry);
}

Status LoadSheetCells(XlBook& book, const XlsxPackage& pkg, const std::string& part, SheetBuilder& cells,
                      StringPool& strings) {
  const ZipEntry* entry = pkg.archive->Find(part);
  Status status;
  if (!entry) {
    status = Status::Error(part + ": the sheet's part is missing from the package");
  } else if (!book.source) {
    status = Status::Error(part + ": the workbook file is no longer open");
  } else {
    std::unique_ptr<ByteStream> stream;
    status = OpenPartStream(*book.source, *pkg.archive, *entry, &stream);
    if (status.ok()) {
      XmlScanner sc(*stream, entry->name);
      status = ParseWorksheet(sc, book, cells, strings);
    }
  }
  if (!pkg.bookNote.empty()) {
    if (status.ok()) return Status::Error(pkg.bookNote);
    return Status::Error(status.message() + "; " + pkg.bookNote);
  }
  return status;
}

}  // namespace

Status LoadZipWorkbook(XlBook& book, BookBuilder& builder) {
  ByteSource& source = *book.source;
  auto pkg = std::make_shared<XlsxPackage>();
  READER_RETURN_IF_ERROR(ZipArchive::Open(source, &pkg->archive));
  const ZipArchive& zip = *pkg->archive;

  // The workbook is the target of the package's officeDocument relationship
  // (ECMA-376 Part 2, 9.3); a package whose relationships are missing or
  // damaged is read from the usual place.
  std::string workbookPart;
  std::vector<Relationship> rels;
  bool found = false;
  if (ReadRelationships(source, zip, "_rels/.rels", "", &rels, &found).ok()) {
    for (const Relationship& r : rels) {
      if (r.type == "officeDocument" && !r.external && zip.Find(r.target)) {
        workbookPart = r.target;
        break;
      }
    }
  }
  if (workbookPart.empty()) {
    if (zip.Find("xl/workbook.xml"))
      workbookPart = "xl/workbook.xml";
    else if (zip.Find("xl/workbook.bin"))
      workbookPart = "xl/workbook.bin";
  }
  if (workbookPart.empty()) {
    if (zip.Find("mimetype") && zip.Find("content.xml"))
      return Status::Error(
          "an OpenDocument spreadsheet, not an Office Open XML workbook: it is not supported");
    return Status::Error("the ZIP package holds no workbook part (no xl/workbook.xml)");
  }
  // A binary workbook part makes the package an .xlsb.
  if (EndsWithAsciiNoCase(workbookPart, ".bin"))
    return xlsb::LoadBinaryWorkbook(book, builder, pkg, workbookPart);

  // The workbook's own relationships name its sheets, strings and styles.
  WorkbookParts parts = FindWorkbookParts(source, zip, workbookPart, ".xml");

  std::vector<SheetEntry> sheets;
  bool date1904 = false;
  READER_RETURN_IF_ERROR(ScanPart(source, zip, workbookPart, [&](XmlScanner& sc, const ZipEntry&) {
    return ParseWorkbookPart(sc, &sheets, &date1904);
  }));
  if (sheets.empty()) return Status::Error(workbookPart + ": the workbook lists no sheets");
  builder.SetDate1904(date1904);

  // Damage in these parts does not stop the load: the strings and styles
  // read before it stay, and the sheets report it.
  if (!parts.sharedStrings.empty()) {
    Status s = ScanPart(source, zip, parts.sharedStrings, [&](XmlScanner& sc, const ZipEntry& e) {
      return ParseSharedStrings(sc, e.uncompressedSize, &book.sharedStrings);
    });
    NoteDamagedPart(*pkg, s, "shared strings");
  }
  if (!parts.styles.empty()) {
    Status s = ScanPart(source, zip, parts.styles,
                        [&](XmlScanner& sc, const ZipEntry&) { return ParseStyles(sc, builder); });
    NoteDamagedPart(*pkg, s, "cell styles");
  }

  XlBook* bookPtr = &book;
  for (size_t i = 0; i < sheets.size(); ++i) {
    SheetEntry& e = sheets[i];
    SheetPart sheet = FindSheetPart(parts, e.relId, i, ".xml");
    if (sheet.kind != SheetKind::Worksheet || sheet.part.empty()) {
      // Chart, dialog and macro sheets are listed with no cells.
      builder.AddSheet(std::move(e.name), sheet.kind, e.visibility);
      continue;
    }
    std::shared_ptr<const XlsxPackage> state = pkg;
    builder.AddSheet(
        std::move(e.name), sheet.kind, e.visibility,
        [bookPtr, state, part = std::move(sheet.part)](SheetBuilder& cells, StringPool& strings) {
          return LoadSheetCells(*bookPtr, *state, part, cells, strings);
        });
  }
  book.parserState = pkg;
  return Status::Ok();
}

}  // namespace reader
