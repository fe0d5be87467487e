// The .xls reader: a compound file's Workbook/Book stream or a bare BIFF
// stream, its workbook globals, and one lazily read sheet per BOUNDSHEET.
#include <algorithm>
#include <string>
#include <vector>

#include "reader/container/compound_file.h"
#include "reader/formats.h"
#include "reader/xls/biff_records.h"
#include "reader/xls/biff_workbook.h"

namespace reader {

namespace biff {

namespace {

constexpr const char* kEncrypted = "the workbook is encrypted (password-protected) and cannot be read";

// BOF substream kinds ([MS-XLS] 2.4.21; BIFF2-4 use the same values).
constexpr uint16_t kGlobalsSubstream = 0x0005;
constexpr uint16_t kChartSubstream = 0x0020;
constexpr uint16_t kMacroSubstream = 0x0040;
constexpr uint16_t kBiff4WorkbookSubstream = 0x0100;

// The BIFF version a stream's first BOF declares.
int VersionOf(const Record& bof, const std::string& streamName) {
  switch (bof.type) {
    case kBof2: return 2;
    case kBof3: return 3;
    case kBof4: return 4;
    default: break;
  }
  uint16_t vers = bof.length >= 2 ? ReadU16(bof.data) : 0;
  if (vers == 0x0600) return 8;
  if (vers == 0x0500) return 5;
  // Writers that leave the version out: BIFF8's BOF is 16 bytes, BIFF5's
  // 8; the stream name of a compound file tells the same.
  if (streamName == "Book" || streamName == "BOOK") return 5;
  if (bof.length >= 16) return 8;
  return 5;
}

struct RawFormat {
  int id = 0;
  bool ordered = false;  // numbered by position (BIFF2 to BIFF4), `id` unused
  bool encoded = false;  // `text` holds code page bytes, not yet UTF-8
  std::string text;
};

struct RawSheet {
  uint32_t position;
  uint8_t visibility;
  uint8_t type;
  std::string name;  // the record's bytes from the name on, decoded later
};

struct Globals {
  int codePage = 0;
  // The character set the BIFF5 FONT records agree on: -1 before the first
  // font, -2 once two fonts differ.
  int fontCharset = -1;
  bool date1904 = false;
  std::vector<RawFormat> formats;  // in file order
  struct Xf {
    int format;
    bool ordered;  // `format` is a position among the ordered formats
  };
  std::vector<Xf> xfs;
  std::vector<RawSheet> sheets;
  bool encrypted = false;
  uint64_t end = 0;  // stream offset after the globals' EOF record
};

// The SST: strings that may cross CONTINUE records anywhere, each with
// optional formatting runs and phonetic data after its characters
// ([MS-XLS] 2.4.265, 2.5.293). The declared counts are not trusted: strings
// are read until the data ends.
void ReadSst(ContinuedRecord& sst, StringPool& pool) {
  uint32_t total = 0, unique = 0;
  if (!sst.ReadU32(&total) || !sst.ReadU32(&unique)) return;
  // Each string takes at least 3 bytes (count and flags).
  pool.Reserve(CappedReserve(unique, sst.size(), 3), sst.size());
  std::string text;
  while (!sst.AtEnd()) {
    uint16_t chars = 0;
    uint8_t flags = 0;
    if (!sst.ReadU16(&chars) || !sst.ReadU8(&flags)) break;
    uint16_t runs = 0;
    uint32_t extBytes = 0;
    if ((flags & 0x08) && !sst.ReadU16(&runs)) break;
    if ((flags & 0x04) && !sst.ReadU32(&extBytes)) break;
    text.clear();
    bool whole = sst.ReadChars(chars, (flags & 1) != 0, text);
    pool.Add(text);  // a string cut off by the end of the data keeps what it has
    if (!whole || !sst.Skip(4ull * runs) || !sst.Skip(extBytes)) break;
  }
}

// A BIFF2-4 format numbered by position gets the built-in identifier whose
// text it repeats (so date detection and the export treat it as that
// built-in), else a workbook identifier from 164 up.
int IdForOrderedFormat(size_t position, const std::string& text, int* nextCustom) {
  if (position == 0) return 0;  // always "General", whatever the language
  for (int id = 1; id < 50; ++id) {
    std::string_view builtin = BuiltinFormatText(id);
    if (!builtin.empty() && builtin == text) return id;
  }
  return (*nextCustom)++;
}

// The Windows code page of a font character set (the FONT record's
// charset byte), or 0 for ANSI, DEFAULT and the sets with no code page.
int CodePageOfCharset(int charset) {
  switch (charset) {
    case 128: return 932;   // Shift JIS
    case 129: return 949;   // Hangul
    case 134: return 936;   // GB 2312
    case 136: return 950;   // Big5
    case 161: return 1253;  // Greek
    case 162: return 1254;  // Turkish
    case 163: return 1258;  // Vietnamese
    case 177: return 1255;  // Hebrew
    case 178: return 1256;  // Arabic
    case 186: return 1257;  // Baltic
    case 204: return 1251;  // Cyrillic
    case 222: return 874;   // Thai
    case 238: return 1250;  // Central European
    default: return 0;
  }
}

// The code page of 8-bit text in a BIFF2-7 stream. A BIFF5 workbook without
// a CODEPAGE record was written in the code page of its fonts' character
// set, when every font names the same one; otherwise Windows-1252.
int CodePageOfGlobals(const Globals& g) {
  if (g.codePage) return g.codePage;
  if (g.fontCharset >= 0) {
    if (int fromFonts = CodePageOfCharset(g.fontCharset)) return fromFonts;
  }
  return 1252;
}

std::string Where(const BiffStream& s, uint64_t offset) {
  return s.name + ": offset " + std::to_string(offset);
}

// Reads the globals records from the stream start. With `wholeStream`
// (a single worksheet), the globals-type records are taken from the whole
// first substream, among the cells.
Status ReadGlobals(BiffStream& s, bool wholeStream, Globals* g, StringPool& sharedStrings,
                   uint32_t* sstCount) {
  RecordWalker walker(s.bytes, 0);
  Record r;
  walker.Next(&r);  // the BOF, checked by the caller
  ContinuedRecord continued;
  int depth = 0;
  bool ended = false;
  std::string text;
  while (walker.Next(&r)) {
    const uint8_t* d = r.data;
    size_t n = r.length;
    if (IsBof(r.type)) {
      if (!wholeStream) break;  // a sheet's BOF: the globals lost their EOF
      ++depth;
      continue;
    }
    if (r.type == kEof) {
      if (depth == 0) {
        ended = true;
        g->end = walker.offset();
        break;
      }
      --depth;
      continue;
    }
    if (depth > 0) continue;
    switch (r.type) {
      case kFilePass: g->encrypted = true; return Status::Error(Where(s, r.offset) + ": " + kEncrypted);
      case kCodePage:
        if (n >= 2) g->codePage = ReadU16(d);
        break;
      case kDateMode:
        if (n >= 2) g->date1904 = ReadU16(d) == 1;
        break;
      case kFont:
        // BIFF5/7: height, flags, colour, weight, escapement, underline,
        // family, then the character set. Symbol fonts (set 2) draw
        // pictures, not text, and say nothing of the code page.
        if (s.version != 5 || n < 13 || d[12] == 2) break;
        if (g->fontCharset == -1)
          g->fontCharset = d[12];
        else if (g->fontCharset != d[12])
          g->fontCharset = -2;
        break;
      case kFormat2:
      case kFormat: {
        // BIFF2/3: a byte string; BIFF4: two unused bytes, a byte string;
        // BIFF5/7: identifier, byte string; BIFF8: identifier, Unicode
        // string ([MS-XLS] 2.4.126).
        RawFormat f;
        f.ordered = r.type == kFormat2 || s.version <= 4;
        size_t skip = r.type == kFormat2 ? 0 : 2;
        if (n < skip + 1) break;
        if (skip) f.id = ReadU16(d);
        if (s.version >= 8 && r.type == kFormat) {
          if (ReadUnicodeString(d + 2, n - 2, 2, f.text) == 0) break;
        } else {
          // Decoded once the code page is known.
          if (!RangeFits(skip + 1, d[skip], n)) break;
          f.text.assign(reinterpret_cast<const char*>(d + skip + 1), d[skip]);
          f.encoded = true;
        }
        g->formats.push_back(std::move(f));
        break;
      }
      case kXf:
        if (n >= 4) g->xfs.push_back({ReadU16(d + 2), false});
        break;
      case kXf3:
      case kXf4:
        if (n >= 2) g->xfs.push_back({d[1], true});
        break;
      case kXf2:
        if (n >= 3) g->xfs.push_back({d[2] & 0x3F, true});
        break;
      case kSst:
        if (wholeStream) break;
        continued.Gather(r, walker);
        ReadSst(continued, sharedStrings);
        *sstCount = static_cast<uint32_t>(sharedStrings.size());
        break;
      case kBoundSheet:
        // position, visibility, type, then the name: BIFF8 a short Unicode
        // string, BIFF5/7 a byte string ([MS-XLS] 2.4.28).
        if (wholeStream || n < 7) break;
        if (g->sheets.size() >= kMaxSheets)
          return Status::Error(Where(s, walker.offset()) + ": " + kTooManySheets);
        g->sheets.push_back(
            {ReadU32(d), d[4], d[5], std::string(reinterpret_cast<const char*>(d + 6), n - 6)});
        break;
      default: break;
    }
  }
  if (!ended && walker.cutShort() && g->sheets.empty() && !wholeStream)
    return Status::Error(Where(s, walker.offset()) + ": the workbook globals are cut short" +
                         (s.damage.empty() ? std::string() : " (" + s.damage + ")"));
  return Status::Ok();
}

// True when a BOF record starts at `offset`.
bool BofAt(const BiffStream& s, uint64_t offset) {
  uint8_t head[4];
  size_t got = 0;
  if (!s.bytes.Read(offset, head, 4, &got).ok() || got < 4) return false;
  uint16_t length = ReadU16(head + 2);
  return IsBof(ReadU16(head)) && length >= 4 && length <= 32;
}

// Where the substreams after the globals start, in stream order.
std::vector<uint64_t> SubstreamsAfter(const BiffStream& s, uint64_t from) {
  std::vector<uint64_t> starts;
  RecordWalker walker(s.bytes, from);
  Record r;
  int depth = 0;
  while (walker.Next(&r)) {
    if (IsBof(r.type)) {
      if (depth++ == 0) starts.push_back(r.offset);
    } else if (r.type == kEof && depth > 0) {
      --depth;
    }
  }
  return starts;
}

// Writers that rewrite a workbook sometimes leave the BOUNDSHEET positions
// of the old file. When a position holds no BOF but the stream has exactly
// one substream per sheet after the globals, the sheets are those
// substreams in order.
void RepairSheetPositions(const BiffStream& s, Globals* g) {
  bool anyBad = false;
  for (const RawSheet& raw : g->sheets) anyBad = anyBad || !BofAt(s, raw.position);
  if (!anyBad || g->end == 0) return;
  std::vector<uint64_t> starts = SubstreamsAfter(s, g->end);
  if (starts.size() != g->sheets.size()) return;
  for (size_t i = 0; i < starts.size(); ++i)
    if (!BofAt(s, g->sheets[i].position)) g->sheets[i].position = static_cast<uint32_t>(starts[i]);
}

std::string DecodeBytes(const BiffStream& s, const std::string& bytes) {
  std::string out;
  s.decoder.Append(out, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  return out;
}

}  // namespace

Status LoadBiff(std::shared_ptr<BiffStream> stream, XlBook& book, BookBuilder& builder) {
  BiffStream& s = *stream;
  RecordWalker walker(s.bytes, 0);
  Record bof;
  if (!walker.Next(&bof) || !IsBof(bof.type))
    return Status::Error(s.name + ": the stream does not start with a BOF record" +
                         (s.damage.empty() ? std::string() : " (" + s.damage + ")"));
  s.version = VersionOf(bof, s.name);
  uint16_t kind = bof.length >= 4 ? ReadU16(bof.data + 2) : 0x0010;
  if (kind == kBiff4WorkbookSubstream)
    return Status::Error(s.name + ": Excel 4 workbooks (several sheets in one BIFF4 file) are not supported");
  bool wholeStream = kind != kGlobalsSubstream;

  Globals g;
  uint32_t sstCount = 0;
  READER_RETURN_IF_ERROR(ReadGlobals(s, wholeStream, &g, builder.sharedStrings(), &sstCount));
  s.sharedStrings = sstCount;
  // BIFF8 stores 8-bit text as Latin-1 whatever CODEPAGE says; earlier
  // versions use the code page.
  s.decoder = CodePageDecoder(s.version >= 8 ? 1200 : CodePageOfGlobals(g));
  builder.SetDate1904(g.date1904);

  // Number formats: by identifier, or numbered by position (BIFF2-4).
  std::vector<int> orderedIds;
  int nextCustom = kFirstCustomNumFormat;
  for (RawFormat& f : g.formats) {
    if (f.encoded) f.text = DecodeBytes(s, f.text);
    if (f.ordered) {
      int id = IdForOrderedFormat(orderedIds.size(), f.text, &nextCustom);
      orderedIds.push_back(id);
      if (id >= kFirstCustomNumFormat) builder.DefineNumFormat(id, f.text);
    } else {
      builder.DefineNumFormat(f.id, f.text);
    }
  }
  auto orderedId = [&](int position) {
    return position >= 0 && static_cast<size_t>(position) < orderedIds.size() ? orderedIds[position] : 0;
  };
  if (s.version == 2 && wholeStream) {
    // BIFF2 cells name their number format directly: one style per format.
    s.formatIndexStyles = true;
    for (size_t i = 0; i < orderedIds.size() && i < 64; ++i) builder.AddStyle(orderedIds[i]);
  } else {
    for (const Globals::Xf& xf : g.xfs) builder.AddStyle(xf.ordered ? orderedId(xf.format) : xf.format);
  }

  // A sheet's records are read on the thread that asks for them, with no
  // read-ahead of their own: a streamed sheet of at least this many bytes
  // has them parsed on a second thread (parseAside). Below it, starting the
  // thread costs about what it saves.
  constexpr uint64_t kParseAsideFrom = uint64_t(1) << 20;
  auto loaderAt = [stream](uint64_t position) -> SheetLoader {
    return [stream, position](SheetBuilder& cells, StringPool& strings) {
      return ReadSheetCells(*stream, position, cells, strings);
    };
  };
  if (wholeStream) {
    // A single worksheet (BIFF2-4, or a BIFF5/8 sheet without globals).
    if (kind == kChartSubstream)
      builder.AddSheet("Sheet1", SheetKind::Chartsheet);
    else if (kind == kMacroSubstream)
      builder.AddSheet("Sheet1", SheetKind::Macrosheet);
    else
      builder.AddSheet("Sheet1", SheetKind::Worksheet, Visibility::Visible, loaderAt(0)).parseAside =
          stream->bytes.size() >= kParseAsideFrom;
  } else {
    RepairSheetPositions(s, &g);
    // A sheet's records run to the next sheet's start or the stream's end.
    std::vector<uint64_t> starts;
    starts.reserve(g.sheets.size());
    for (const RawSheet& raw : g.sheets) starts.push_back(raw.position);
    std::sort(starts.begin(), starts.end());
    auto sheetBytes = [&](uint64_t position) -> uint64_t {
      auto next = std::upper_bound(starts.begin(), starts.end(), position);
      const uint64_t end = next == starts.end() ? stream->bytes.size() : *next;
      return end > position ? end - position : 0;
    };
    for (size_t i = 0; i < g.sheets.size(); ++i) {
      const RawSheet& raw = g.sheets[i];
      std::string name;
      const uint8_t* p = reinterpret_cast<const uint8_t*>(raw.name.data());
      if (s.version >= 8)
        ReadUnicodeString(p, raw.name.size(), 1, name);
      else
        ReadByteString(p, raw.name.size(), 1, s.decoder, name);
      if (name.empty()) name = "Sheet" + std::to_string(i + 1);
      Visibility visibility = (raw.visibility & 3) == 1   ? Visibility::Hidden
                              : (raw.visibility & 3) == 2 ? Visibility::VeryHidden
                                                          : Visibility::Visible;
      switch (raw.type) {
        case 0:
          builder.AddSheet(std::move(name), SheetKind::Worksheet, visibility, loaderAt(raw.position)).parseAside =
              sheetBytes(raw.position) >= kParseAsideFrom;
          break;
        case 2: builder.AddSheet(std::move(name), SheetKind::Chartsheet, visibility); break;
        default:
          // Excel 4 macro sheets (1) and Visual Basic modules (6): listed,
          // without cells.
          builder.AddSheet(std::move(name), SheetKind::Macrosheet, visibility);
          break;
      }
    }
  }
  book.parserState = stream;
  return Status::Ok();
}

}  // namespace biff

Status LoadCompoundFile(XlBook& book, BookBuilder& builder) {
  CompoundFile cf;
  READER_RETURN_IF_ERROR(cf.Open(*book.source));
  // A password-protected OOXML package is a compound file too ([MS-OFFCRYPTO] 2.3.4.4).
  if (cf.FindStream("EncryptedPackage") || cf.FindStream("EncryptionInfo"))
    return Status::Error("the workbook is encrypted (password-protected) and cannot be read");
  const CompoundFile::Entry* entry = cf.FindStream("Workbook");
  if (!entry) entry = cf.FindStream("Book");
  if (!entry)
    return Status::Error("the compound file holds no Workbook or Book stream: not an .xls workbook");
  auto stream = std::make_shared<biff::BiffStream>();
  stream->name = entry->name;
  READER_RETURN_IF_ERROR(cf.StreamBytesOf(*entry, *book.source, &stream->bytes, &stream->damage)
                             .Prefix(stream->name + " stream"));
  return biff::LoadBiff(std::move(stream), book, builder);
}

Status LoadBiffStream(XlBook& book, BookBuilder& builder) {
  auto stream = std::make_shared<biff::BiffStream>();
  stream->name = "BIFF stream";
  stream->bytes.SetFile(book.source.get(), {{0, book.source->size()}});
  return biff::LoadBiff(std::move(stream), book, builder);
}

}  // namespace reader
