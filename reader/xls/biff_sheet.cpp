// The cell records of one BIFF worksheet substream.
#include <cstring>
#include <string>

#include "reader/xls/biff_records.h"
#include "reader/xls/biff_workbook.h"

namespace reader::biff {

namespace {

double ReadDouble(const uint8_t* p) {
  uint64_t bits = ReadU64(p);
  double d;
  std::memcpy(&d, &bits, sizeof d);
  return d;
}

// Counts records that could not be used and remembers the first one, so
// one bad record does not end the sheet but is still reported.
class Damage {
 public:
  explicit Damage(const BiffStream& stream) : stream_(stream) {}
  void Note(uint64_t offset, const std::string& what) {
    if (count_++ == 0) first_ = stream_.name + ": offset " + std::to_string(offset) + ": " + what;
  }
  void NoteShort(const Record& r, const char* name) {
    Note(r.offset, std::string(name) + " record too short (" + std::to_string(r.length) + " bytes)");
  }
  Status Result() const {
    if (count_ == 0) return Status::Ok();
    if (count_ == 1) return Status::Error(first_);
    return Status::Error(first_ + " (and " + std::to_string(count_ - 1) + " more damaged records skipped)");
  }
  bool any() const { return count_ > 0; }

 private:
  const BiffStream& stream_;
  size_t count_ = 0;
  std::string first_;
};

// A formula whose cached result is a string waits for the STRING record
// that follows it ([MS-XLS] 2.4.127, 2.4.268).
struct PendingString {
  bool active = false;
  uint32_t row = 0, col = 0, style = 0;
};

}  // namespace

Status ReadSheetCells(const BiffStream& stream, uint64_t offset, SheetBuilder& cells, StringPool& strings) {
  Damage damage(stream);
  RecordWalker walker(stream.bytes, offset);
  Record r;
  if (!walker.Next(&r) || !IsBof(r.type))
    return Status::Error(stream.name + ": offset " + std::to_string(offset) +
                         ": the sheet's position does not hold a BOF record");
  const int version = stream.version;
  const bool biff8 = version >= 8;
  const CodePageDecoder& decoder = stream.decoder;
  // BIFF2 cells: attribute byte 1 holds the number format index, which
  // the loader made a style of; in other streams the BIFF2-form records
  // name an XF in attribute byte 0.
  auto biff2Style = [&](const uint8_t* attr) -> uint32_t {
    return stream.formatIndexStyles ? (attr[1] & 0x3Fu) : (attr[0] & 0x3Fu);
  };
  std::string text;
  PendingString pending;
  ContinuedRecord continued;
  int depth = 0;  // embedded substreams (charts in a worksheet)
  bool ended = false;

  while (walker.Next(&r)) {
    if (cells.stopped()) return Status::Ok();  // the rows are no longer wanted
    const uint8_t* d = r.data;
    const size_t n = r.length;
    if (IsBof(r.type)) {
      // Charts embed their own substream. A worksheet or globals BOF
      // instead means this sheet lost its EOF record: it ends here.
      if (depth == 0 && r.type == kBof && n >= 4) {
        uint16_t kind = ReadU16(d + 2);
        if (kind == 0x0005 || kind == 0x0010 || kind == 0x0040) {
          damage.Note(r.offset, "the sheet has no EOF record");
          ended = true;
          break;
        }
      }
      ++depth;
      continue;
    }
    if (r.type == kEof) {
      if (depth == 0) {
        ended = true;
        break;
      }
      --depth;
      continue;
    }
    if (depth > 0) continue;
    if (pending.active && r.type != kString && r.type != kString2) {
      // Shared and array formula records may stand between a formula and
      // its STRING record; any other record means the string is missing.
      if (r.type != 0x04BC && r.type != 0x0221 && r.type != 0x0236 && r.type != kContinue) {
        pending.active = false;
        damage.Note(r.offset, "a string formula result has no STRING record");
      }
    }
    switch (r.type) {
      case kNumber:
        if (n < 14) { damage.NoteShort(r, "NUMBER"); break; }
        cells.AddNumber(ReadU16(d), ReadU16(d + 2), ReadU16(d + 4), ReadDouble(d + 6));
        break;
      case kRk:
        if (n < 10) { damage.NoteShort(r, "RK"); break; }
        cells.AddNumber(ReadU16(d), ReadU16(d + 2), ReadU16(d + 4), DecodeRk(ReadU32(d + 6)));
        break;
      case kMulRk: {
        // row, first column, then (XF, RK) pairs, then the last column.
        if (n < 12) { damage.NoteShort(r, "MULRK"); break; }
        uint32_t row = ReadU16(d), col = ReadU16(d + 2);
        size_t count = (n - 6) / 6;
        for (size_t i = 0; i < count; ++i) {
          const uint8_t* e = d + 4 + 6 * i;
          cells.AddNumber(row, col + static_cast<uint32_t>(i), ReadU16(e), DecodeRk(ReadU32(e + 2)));
        }
        break;
      }
      case kLabelSst: {
        if (n < 10) { damage.NoteShort(r, "LABELSST"); break; }
        uint32_t index = ReadU32(d + 6);
        if (index >= stream.sharedStrings) {
          damage.Note(r.offset, "LABELSST names string " + std::to_string(index) + " of " +
                                    std::to_string(stream.sharedStrings));
          break;
        }
        cells.AddSharedString(ReadU16(d), ReadU16(d + 2), ReadU16(d + 4), index);
        break;
      }
      case kLabel:
      case kRString: {
        // BIFF8: a Unicode string; BIFF3-7: a byte string with a 16-bit
        // count. RSTRING's formatting runs follow the text and are skipped.
        text.clear();
        size_t used = n >= 6 ? (biff8 ? ReadUnicodeString(d + 6, n - 6, 2, text)
                                      : ReadByteString(d + 6, n - 6, 2, decoder, text))
                             : 0;
        if (used == 0) { damage.NoteShort(r, r.type == kLabel ? "LABEL" : "RSTRING"); break; }
        cells.AddSheetString(ReadU16(d), ReadU16(d + 2), ReadU16(d + 4), strings.Add(text));
        break;
      }
      case kBoolErr:
        if (n < 8) { damage.NoteShort(r, "BOOLERR"); break; }
        if (d[7]) cells.AddError(ReadU16(d), ReadU16(d + 2), ReadU16(d + 4), d[6]);
        else cells.AddBoolean(ReadU16(d), ReadU16(d + 2), ReadU16(d + 4), d[6] != 0);
        break;
      case kFormula:
      case kFormula3:
      case kFormula4: {
        // The cached result: a double, or when its top two bytes are 0xFFFF
        // a typed value: 0 string (in the next STRING record), 1 boolean,
        // 2 error, 3 empty string ([MS-XLS] 2.5.133). BIFF2 puts three
        // attribute bytes where later versions have the XF index.
        bool biff2Form = r.type == kFormula && version == 2;
        size_t head = biff2Form ? 7 : 6;
        if (n < head + 8) { damage.NoteShort(r, "FORMULA"); break; }
        uint32_t row = ReadU16(d), col = ReadU16(d + 2);
        uint32_t style = biff2Form ? biff2Style(d + 4) : ReadU16(d + 4);
        const uint8_t* v = d + head;
        if (v[6] != 0xFF || v[7] != 0xFF) {
          cells.AddNumber(row, col, style, ReadDouble(v));
          break;
        }
        switch (v[0]) {
          case 0: pending = {true, row, col, style}; break;
          case 1: cells.AddBoolean(row, col, style, v[2] != 0); break;
          case 2: cells.AddError(row, col, style, v[2]); break;
          case 3: cells.AddSheetString(row, col, style, strings.Add("")); break;
          default: damage.Note(r.offset, "FORMULA has an unknown result type " + std::to_string(v[0])); break;
        }
        break;
      }
      case kString:
      case kString2: {
        if (!pending.active) break;  // a STRING without its formula: nothing to attach it to
        pending.active = false;
        text.clear();
        bool ok;
        if (r.type == kString2) {
          ok = ReadByteString(d, n, 1, decoder, text) != 0;
        } else if (!biff8) {
          ok = ReadByteString(d, n, 2, decoder, text) != 0;
        } else {
          // A long result goes on in CONTINUE records, where the width of
          // the characters may change.
          continued.Gather(r, walker);
          uint16_t chars = 0;
          uint8_t flags = 0;
          ok = continued.ReadU16(&chars) && continued.ReadU8(&flags) &&
               continued.ReadChars(chars, (flags & 1) != 0, text);
        }
        if (!ok) { damage.NoteShort(r, "STRING"); break; }
        cells.AddSheetString(pending.row, pending.col, pending.style, strings.Add(text));
        break;
      }
      // BIFF2 cell records: row, column, three attribute bytes, value.
      case kInteger2:
        if (n < 9) { damage.NoteShort(r, "INTEGER"); break; }
        cells.AddNumber(ReadU16(d), ReadU16(d + 2), biff2Style(d + 4), ReadU16(d + 7));
        break;
      case kNumber2:
        if (n < 15) { damage.NoteShort(r, "NUMBER"); break; }
        cells.AddNumber(ReadU16(d), ReadU16(d + 2), biff2Style(d + 4), ReadDouble(d + 7));
        break;
      case kLabel2: {
        text.clear();
        if (n < 8 || ReadByteString(d + 7, n - 7, 1, decoder, text) == 0) { damage.NoteShort(r, "LABEL"); break; }
        cells.AddSheetString(ReadU16(d), ReadU16(d + 2), biff2Style(d + 4), strings.Add(text));
        break;
      }
      case kBoolErr2:
        if (n < 9) { damage.NoteShort(r, "BOOLERR"); break; }
        if (d[8]) cells.AddError(ReadU16(d), ReadU16(d + 2), biff2Style(d + 4), d[7]);
        else cells.AddBoolean(ReadU16(d), ReadU16(d + 2), biff2Style(d + 4), d[7] != 0);
        break;
      case kDimensions2:
      case kDimensions: {
        // The extent the writer states, one past the last row and column
        // ([MS-XLS] 2.4.90): 32-bit rows in BIFF8, 16-bit before. A hint.
        if ((r.type == kDimensions2) != (version == 2)) break;
        uint32_t rows, cols;
        if (biff8 && n >= 12) {
          rows = ReadU32(d + 4);
          cols = ReadU16(d + 10);
        } else if (!biff8 && n >= 8) {
          rows = ReadU16(d + 2);
          cols = ReadU16(d + 6);
        } else {
          break;
        }
        if (rows <= kMaxRows && cols <= kMaxCols) cells.StateExtent(rows, cols);
        break;
      }
      case kFilePass:
        return Status::Error(stream.name + ": offset " + std::to_string(r.offset) +
                             ": the workbook is encrypted (password-protected)");
      default:
        // BLANK, MULBLANK (styled empty cells: no value, no extent),
        // DIMENSIONS (a hint only), ROW and everything else.
        break;
    }
  }
  if (!ended) {
    if (!walker.readError().empty()) damage.Note(walker.offset(), walker.readError());
    else if (!stream.damage.empty()) damage.Note(walker.offset(), "the sheet is cut short: " + stream.damage);
    else if (walker.cutShort()) damage.Note(walker.offset(), "the stream ends inside a record");
  }
  return damage.Result();
}

}  // namespace reader::biff
