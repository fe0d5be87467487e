// The workbook-level parts of an .xlsb package: the sheet list and date
// system of the workbook part, the shared strings and the styles.
#include "reader/core/safety.h"
#include "reader/xlsb/xlsb_package.h"

namespace reader::xlsb {

namespace {

// Runs `parse` over the record stream of a part; a missing part is none.
template <typename F>
Status ReadPart(ByteSource& source, const ZipArchive& zip, const std::string& part, F&& parse) {
  const ZipEntry* entry = zip.Find(part);
  if (!entry) return Status::Ok();
  std::unique_ptr<ByteStream> stream;
  READER_RETURN_IF_ERROR(OpenPartStream(source, zip, *entry, &stream));
  RecordReader records(*stream, entry->name, entry->uncompressedSize);
  return parse(records, *entry);
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
      RecordReader records(*stream, entry->name, entry->uncompressedSize);
      status = ParseSheet(records, book, cells, strings);
    }
  }
  if (!pkg.bookNote.empty()) {
    if (status.ok()) return Status::Error(pkg.bookNote);
    return Status::Error(status.message() + "; " + pkg.bookNote);
  }
  return status;
}

}  // namespace

Status ParseWorkbook(RecordReader& records, std::vector<SheetEntry>* sheets, bool* date1904) {
  std::string relId, name;
  for (;;) {
    bool have = false;
    READER_RETURN_IF_ERROR(records.Next(&have));
    if (!have) return Status::Ok();
    FieldReader f(records.data(), records.size());
    if (records.type() == kWbProp) {
      uint32_t flags = 0;
      if (f.U32(&flags)) *date1904 = (flags & 1) != 0;
    } else if (records.type() == kBundleSh) {
      // Visibility, tab id, relationship id (may be absent), name. Writers
      // may put more after the name; it is not needed.
      uint32_t state = 0, tabId = 0;
      bool noRel = false;
      if (!f.U32(&state) || !f.U32(&tabId) || !f.NullableWideString(&relId, &noRel) || !f.WideString(&name))
        return records.Error("a sheet entry too short for its fields");
      if (sheets->size() >= kMaxSheets) return records.Error(kTooManySheets);
      SheetEntry e;
      e.name = name;
      if (!noRel) e.relId = relId;
      if (state == 1)
        e.visibility = Visibility::Hidden;
      else if (state == 2)
        e.visibility = Visibility::VeryHidden;
      sheets->push_back(std::move(e));
    }
  }
}

Status ParseSharedStrings(RecordReader& records, uint64_t partBytes, StringPool* pool) {
  std::string text;
  uint64_t damaged = 0;
  uint64_t firstDamage = 0;
  for (;;) {
    bool have = false;
    READER_RETURN_IF_ERROR(records.Next(&have));
    if (!have) break;
    FieldReader f(records.data(), records.size());
    if (records.type() == kBeginSst) {
      uint32_t total = 0, unique = 0;
      // An item takes at least 7 bytes (header, flags, count); the count is only a hint.
      if (f.U32(&total) && f.U32(&unique))
        pool->Reserve(CappedReserve(unique, partBytes, 7, uint64_t(1) << 20), 0);
    } else if (records.type() == kSstItem) {
      // Flags (rich runs, phonetic text), then the text; the runs and the
      // phonetic text after it are left out.
      uint8_t flags = 0;
      if (!f.U8(&flags) || !f.WideString(&text)) {
        if (damaged++ == 0) firstDamage = records.offset();
        text.clear();
      }
      pool->Add(text);
    }
  }
  if (damaged == 0) return Status::Ok();
  return Status::Error(
      records.part() + ": " + std::to_string(damaged) + (damaged == 1 ? " string item" : " string items") +
      " too short for its text (first at offset " + std::to_string(firstDamage) + ") read as empty");
}

Status ParseStyles(RecordReader& records, BookBuilder& builder) {
  // Only the styles between the begin and end of the cell style list are
  // cell styles; the others are the named styles they derive from.
  bool inCellXfs = false;
  std::string code;
  uint64_t damaged = 0;
  for (;;) {
    bool have = false;
    READER_RETURN_IF_ERROR(records.Next(&have));
    if (!have) break;
    FieldReader f(records.data(), records.size());
    switch (records.type()) {
      case kFmt: {
        uint16_t id = 0;
        if (f.U16(&id) && f.WideString(&code))
          builder.DefineNumFormat(id, code);
        else
          ++damaged;
        break;
      }
      case kBeginCellXfs: inCellXfs = true; break;
      case kEndCellXfs: inCellXfs = false; break;
      case kXf:
        if (inCellXfs) {
          // The parent style, then the number format.
          uint16_t parent = 0, format = 0;
          if (!f.U16(&parent) || !f.U16(&format)) {
            format = 0;
            ++damaged;
          }
          // A damaged style keeps its place so that the cells' indexes stay right.
          builder.AddStyle(format);
        }
        break;
      default: break;
    }
  }
  if (damaged == 0) return Status::Ok();
  return Status::Error(records.part() + ": " + std::to_string(damaged) +
                       " number format or style records too short (read as General)");
}

Status LoadBinaryWorkbook(XlBook& book, BookBuilder& builder, std::shared_ptr<XlsxPackage> pkg,
                          const std::string& workbookPart) {
  ByteSource& source = *book.source;
  const ZipArchive& zip = *pkg->archive;

  // The workbook's own relationships name its sheets, strings and styles.
  WorkbookParts parts = FindWorkbookParts(source, zip, workbookPart, ".bin");

  std::vector<SheetEntry> sheets;
  bool date1904 = false;
  READER_RETURN_IF_ERROR(ReadPart(source, zip, workbookPart, [&](RecordReader& r, const ZipEntry&) {
    return ParseWorkbook(r, &sheets, &date1904);
  }));
  if (sheets.empty()) return Status::Error(workbookPart + ": the workbook lists no sheets");
  builder.SetDate1904(date1904);

  // Damage in these parts does not stop the load: the strings and styles
  // read before it stay, and the sheets report it.
  if (!parts.sharedStrings.empty()) {
    Status s = ReadPart(source, zip, parts.sharedStrings, [&](RecordReader& r, const ZipEntry& e) {
      return ParseSharedStrings(r, e.uncompressedSize, &book.sharedStrings);
    });
    NoteDamagedPart(*pkg, s, "shared strings");
  }
  if (!parts.styles.empty()) {
    Status s = ReadPart(source, zip, parts.styles,
                        [&](RecordReader& r, const ZipEntry&) { return ParseStyles(r, builder); });
    NoteDamagedPart(*pkg, s, "cell styles");
  }

  XlBook* bookPtr = &book;
  for (size_t i = 0; i < sheets.size(); ++i) {
    SheetEntry& e = sheets[i];
    SheetPart sheet = FindSheetPart(parts, e.relId, i, ".bin");
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

}  // namespace reader::xlsb
