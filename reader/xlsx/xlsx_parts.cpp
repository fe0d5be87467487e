// Relationships, part streams, shared strings and styles of an .xlsx package.
#include <algorithm>
#include <charconv>

#include "reader/core/safety.h"
#include "reader/xlsx/xlsx_package.h"

namespace reader {

namespace {

// Relationship parts are small; anything larger is not one.
constexpr size_t kMaxRelsBytes = size_t(16) << 20;
// Parts above this are inflated on a second thread while being scanned.
constexpr uint64_t kReadAheadFrom = uint64_t(1) << 20;

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool ParseUnsigned(std::string_view s, uint64_t* out) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  if (s.empty()) return false;
  auto r = std::from_chars(s.data(), s.data() + s.size(), *out);
  return r.ec == std::errc() && r.ptr == s.data() + s.size();
}

}  // namespace

std::string RelationshipsPartOf(std::string_view part) {
  size_t slash = part.rfind('/');
  std::string_view folder = slash == std::string_view::npos ? std::string_view() : part.substr(0, slash + 1);
  std::string_view file = slash == std::string_view::npos ? part : part.substr(slash + 1);
  std::string rels(folder);
  rels += "_rels/";
  rels += file;
  rels += ".rels";
  return rels;
}

std::string ResolveTarget(std::string_view sourcePart, std::string_view target) {
  std::string decoded;
  for (size_t i = 0; i < target.size(); ++i) {
    char c = target[i];
    if (c == '%' && i + 2 < target.size() && HexDigit(target[i + 1]) >= 0 && HexDigit(target[i + 2]) >= 0) {
      decoded.push_back(static_cast<char>(HexDigit(target[i + 1]) * 16 + HexDigit(target[i + 2])));
      i += 2;
    } else {
      decoded.push_back(c == '\\' ? '/' : c);
    }
  }
  std::string path;
  if (decoded.empty() || decoded[0] != '/') {
    size_t slash = sourcePart.rfind('/');
    if (slash != std::string_view::npos) path.assign(sourcePart.substr(0, slash + 1));
  }
  path += decoded;
  // Fold "." and ".." segments.
  std::vector<std::string_view> segments;
  std::string_view rest(path);
  while (!rest.empty()) {
    size_t slash = rest.find('/');
    std::string_view seg = rest.substr(0, slash);
    rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
    if (seg.empty() || seg == ".") continue;
    if (seg == "..") {
      if (!segments.empty()) segments.pop_back();
      continue;
    }
    segments.push_back(seg);
  }
  std::string out;
  for (size_t i = 0; i < segments.size(); ++i) {
    if (i) out.push_back('/');
    out.append(segments[i]);
  }
  return out;
}

Status ReadRelationships(ByteSource& source, const ZipArchive& archive, const std::string& relsPart,
                         const std::string& sourcePart, std::vector<Relationship>* out, bool* found) {
  out->clear();
  *found = false;
  const ZipEntry* entry = archive.Find(relsPart);
  if (!entry) return Status::Ok();
  *found = true;
  std::string bytes;
  READER_RETURN_IF_ERROR(ReadZipEntry(source, archive, *entry, kMaxRelsBytes, &bytes));
  MemoryStream stream(bytes);
  XmlScanner scanner(stream, entry->name);
  std::string type, target, mode;
  for (;;) {
    READER_RETURN_IF_ERROR(scanner.Next());
    if (scanner.token() == XmlScanner::Token::End) break;
    if (!scanner.IsStart("Relationship")) continue;
    Relationship rel;
    scanner.GetAttribute("Id", &rel.id);
    scanner.GetAttribute("Type", &type);
    scanner.GetAttribute("Target", &target);
    mode.clear();
    scanner.GetAttribute("TargetMode", &mode);
    size_t slash = type.rfind('/');
    rel.type = slash == std::string::npos ? type : type.substr(slash + 1);
    rel.external = mode == "External";
    rel.target = rel.external ? target : ResolveTarget(sourcePart, target);
    out->push_back(std::move(rel));
  }
  return Status::Ok();
}

void NoteDamagedPart(XlsxPackage& pkg, const Status& status, const char* missing) {
  if (status.ok()) return;
  if (!pkg.bookNote.empty()) pkg.bookNote += "; ";
  pkg.bookNote += status.message() + " (" + missing + " after it are missing)";
}

WorkbookParts FindWorkbookParts(ByteSource& source, const ZipArchive& archive,
                                const std::string& workbookPart, std::string_view extension) {
  WorkbookParts parts;
  if (!ReadRelationships(source, archive, RelationshipsPartOf(workbookPart), workbookPart,
                         &parts.relationships, &parts.haveRelationships)
           .ok()) {
    parts.haveRelationships = false;
    parts.relationships.clear();
  }
  size_t slash = workbookPart.rfind('/');
  if (slash != std::string::npos) parts.folder = workbookPart.substr(0, slash + 1);
  if (!parts.haveRelationships) {
    parts.sharedStrings = parts.folder + "sharedStrings" + std::string(extension);
    parts.styles = parts.folder + "styles" + std::string(extension);
    return parts;
  }
  parts.internalById.reserve(parts.relationships.size());
  for (size_t i = 0; i < parts.relationships.size(); ++i) {
    const Relationship& r = parts.relationships[i];
    if (r.external) continue;
    parts.internalById[r.id] = i;
    if (r.type == "sharedStrings" && parts.sharedStrings.empty())
      parts.sharedStrings = r.target;
    else if (r.type == "styles" && parts.styles.empty())
      parts.styles = r.target;
  }
  return parts;
}

SheetPart FindSheetPart(const WorkbookParts& parts, std::string_view relId, size_t index,
                        std::string_view extension) {
  SheetPart sheet;
  const Relationship* rel = nullptr;
  auto found = parts.internalById.find(std::string(relId));
  if (found != parts.internalById.end()) rel = &parts.relationships[found->second];
  if (rel) {
    sheet.part = rel->target;
    if (rel->type == "chartsheet")
      sheet.kind = SheetKind::Chartsheet;
    else if (rel->type == "dialogsheet")
      sheet.kind = SheetKind::Dialogsheet;
    else if (rel->type == "xlMacrosheet" || rel->type == "xlIntlMacrosheet" || rel->type == "macrosheet")
      sheet.kind = SheetKind::Macrosheet;
  } else if (!parts.haveRelationships) {
    // Without relationships, sheets are where writers put them.
    sheet.part = parts.folder + "worksheets/sheet" + std::to_string(index + 1) + std::string(extension);
  }
  return sheet;
}

Status OpenPartStream(ByteSource& source, const ZipArchive& archive, const ZipEntry& entry,
                      std::unique_ptr<ByteStream>* out) {
  auto reader = std::make_unique<ZipEntryReader>();
  READER_RETURN_IF_ERROR(reader->Open(source, archive, entry));
  if (entry.uncompressedSize >= kReadAheadFrom)
    *out = std::make_unique<ReadAheadStream>(std::move(reader));
  else
    *out = std::move(reader);
  return Status::Ok();
}

Status ReadStringItem(XmlScanner& sc, std::string* raw) {
  raw->clear();
  if (sc.selfClosing()) return sc.Next();
  int itemDepth = sc.depth();
  for (;;) {
    READER_RETURN_IF_ERROR(sc.Next());
    switch (sc.token()) {
      case XmlScanner::Token::End: return sc.Error("the part ends inside a string item");
      case XmlScanner::Token::EndElement:
        if (sc.depth() < itemDepth) return Status::Ok();
        break;
      case XmlScanner::Token::StartElement:
        // <t> directly in the item, or inside a run <r>; everything else
        // (run properties, phonetic runs <rPh>, <phoneticPr>) is skipped.
        if (sc.name() == "t") {
          READER_RETURN_IF_ERROR(sc.AppendElementText(raw));
        } else if (sc.name() == "r" && sc.depth() == itemDepth + 1) {
          // descend: its <t> children are handled by the case above
        } else {
          READER_RETURN_IF_ERROR(sc.SkipElement());
        }
        break;
      default: break;
    }
  }
}

Status ParseSharedStrings(XmlScanner& sc, uint64_t declaredBytes, StringPool* pool) {
  std::string raw, decoded;
  bool reserved = false;
  const bool shortcut = PlainShortcuts();
  for (;;) {
    READER_RETURN_IF_ERROR(sc.Next());
    if (sc.token() == XmlScanner::Token::End) return Status::Ok();
    if (sc.token() != XmlScanner::Token::StartElement) continue;
    if (sc.name() == "sst" && !reserved) {
      reserved = true;
      uint64_t count = 0;
      std::string value;
      if (sc.GetAttribute("uniqueCount", &value) && ParseUnsigned(value, &count))
        // An item takes at least "<si><t/></si>"; the count is only a hint.
        pool->Reserve(CappedReserve(count, declaredBytes, 13, uint64_t(1) << 20), 0);
      continue;
    }
    if (sc.name() != "si") continue;
    std::string_view text;
    bool decode = false;
    if (sc.TakeSimpleText("t", "si", {}, &text, shortcut ? &decode : nullptr)) {
      // <t>...</t></si> straight from the buffer: most items.
      if (decode) {
        raw.clear();
        AppendXmlDecoded(text, false, &raw);
        text = raw;
      }
    } else {
      READER_RETURN_IF_ERROR(ReadStringItem(sc, &raw));
      text = raw;
    }
    if (MayHaveXEscapes(text)) {
      decoded.clear();
      AppendXEscapesDecoded(text, &decoded);
      pool->Add(decoded);
    } else {
      pool->Add(text);
    }
  }
}

Status ParseStyles(XmlScanner& sc, BookBuilder& builder) {
  // Only the direct <xf> children of <cellXfs> are cell styles; the
  // <xf> of <cellStyleXfs> are the named styles they derive from.
  int cellXfsDepth = 0;
  // Markup-compatibility wrappers (<AlternateContent>, its <Fallback>)
  // stand for their content: elements inside them count as children of the
  // wrapper's parent. Their depths, innermost last.
  std::vector<int> wrappers;
  std::string value, code;
  for (;;) {
    READER_RETURN_IF_ERROR(sc.Next());
    XmlScanner::Token t = sc.token();
    if (t == XmlScanner::Token::End) break;
    if (t == XmlScanner::Token::EndElement) {
      while (!wrappers.empty() && wrappers.back() > sc.depth()) wrappers.pop_back();
      if (cellXfsDepth && sc.depth() < cellXfsDepth) cellXfsDepth = 0;
      continue;
    }
    if (t != XmlScanner::Token::StartElement) continue;
    std::string_view name = sc.name();
    if (name == "Choice") {
      // The alternative that needs an extension; its <Fallback> is read.
      READER_RETURN_IF_ERROR(sc.SkipElement());
    } else if (name == "AlternateContent" || name == "Fallback") {
      if (!sc.selfClosing()) wrappers.push_back(sc.depth());
    } else if (name == "numFmt") {
      uint64_t id = 0;
      if (sc.GetAttribute("numFmtId", &value) && ParseUnsigned(value, &id) && id <= INT32_MAX &&
          sc.GetAttribute("formatCode", &code))
        builder.DefineNumFormat(static_cast<int>(id), code);
    } else if (name == "cellXfs") {
      cellXfsDepth = sc.selfClosing() ? 0 : sc.depth();
      wrappers.clear();
    } else if (name == "xf" && cellXfsDepth &&
               sc.depth() == cellXfsDepth + 1 + static_cast<int>(wrappers.size())) {
      uint64_t id = 0;
      if (!sc.GetAttribute("numFmtId", &value) || !ParseUnsigned(value, &id) || id > INT32_MAX) id = 0;
      builder.AddStyle(static_cast<int>(id));
    }
  }
  return Status::Ok();
}

}  // namespace reader
