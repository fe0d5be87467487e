// The cells of an .xlsb sheet part: a row header starts each row, then one
// record per cell (a string cell with formatting runs is a record of its own,
// as some writers store text in the sheet rather than in the shared strings). The long cell records carry
// their column; the short ones leave it out and stand in the column after the previous cell.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

#include "reader/xls/biff_records.h"
#include "reader/xlsb/xlsb_package.h"

namespace reader::xlsb {

namespace {

// Collects what the first damaged cell looked like and how many there were.
struct Damage {
  uint64_t count = 0;
  std::string first;
  void Note(const RecordReader& r, const std::string& what) {
    if (count++ == 0) first = "offset " + std::to_string(r.offset()) + ": " + what;
  }
};

constexpr bool IsShort(uint32_t type) { return type >= kShortBlank && type <= kShortIsst; }

// Reads the records that make up the bulk of a sheet in place: number,
// boolean, error, blank and shared string cells (formula results too), each
// with a one-byte type and size and whole in the reader's bytes. The first
// record it does not take (a row header, a string stored in the sheet, a
// header of more bytes, anything damaged or outside the sheet) is left for
// the general loop, which reads it as it reads every record; what is taken
// here is stored exactly as that loop would store it.
void ReadCommonCells(RecordReader& records, const XlBook& book, uint32_t sharedCount, uint32_t row,
                     int64_t& prevCol, SheetBuilder& cells) {
  // The fewest payload bytes of each record type taken here: the column
  // (long records only), style and flags, then the value. 0xFF for every
  // other type byte, a row header and strings stored in the sheet among
  // them (and for the first byte of a two-byte type).
  static constexpr std::array<uint8_t, 256> kLeast = [] {
    std::array<uint8_t, 256> least{};
    least.fill(0xFF);
    const uint8_t valueBytes[][2] = {{kCellBlank, 0}, {kCellRk, 4},    {kCellError, 1}, {kCellBool, 1},
                                     {kCellReal, 8},  {kCellIsst, 4},  {kFmlaNum, 8},   {kFmlaBool, 1},
                                     {kFmlaError, 1}, {kShortBlank, 0}, {kShortRk, 4},   {kShortError, 1},
                                     {kShortBool, 1}, {kShortReal, 8},  {kShortIsst, 4}};
    for (const auto& [type, bytes] : valueBytes)
      least[type] = static_cast<uint8_t>((IsShort(type) ? 4 : 8) + bytes);
    return least;
  }();
  size_t n = 0;
  const uint8_t* p = records.InHand(&n);
  size_t at = 0;
  SheetBuilder::Run run;
  bool inRun = false;
  while (n - at >= 2) {
    const uint8_t* h = p + at;
    const uint32_t type = h[0], size = h[1];
    // A size below 0x80 is one byte; the payload is whole in hand.
    if (size < kLeast[type] || size >= 0x80 || n - at - 2 < size) break;
    const bool isShort = IsShort(type);
    const size_t head = isShort ? 4 : 8;
    const uint8_t* d = h + 2;
    const uint64_t col = isShort ? static_cast<uint64_t>(prevCol + 1) : ReadU32(d);
    if (col >= kMaxCols) break;
    const uint8_t* v = d + head;
    StoredCell cell;
    cell.style = ReadU32(d + head - 4) & 0xFFFFFF;
    cell.col = static_cast<uint16_t>(col);
    cell.pool = StringPoolId::Shared;
    switch (type) {
      case kCellBlank:
      case kShortBlank:  // a style alone: nothing is stored
        cell.kind = CellKind::Empty;
        break;
      case kCellRk:
      case kShortRk: {
        const double value = biff::DecodeRk(ReadU32(v));
        std::memcpy(&cell.value, &value, sizeof value);
        cell.kind = CellKind::Number;
        break;
      }
      case kCellReal:
      case kShortReal:
      case kFmlaNum: {
        cell.value = ReadU64(v);
        double value;
        std::memcpy(&value, &cell.value, sizeof value);
        cell.kind = std::isfinite(value) ? CellKind::Number : CellKind::Empty;
        break;
      }
      case kCellBool:
      case kShortBool:
      case kFmlaBool:
        cell.value = v[0] != 0 ? 1 : 0;
        cell.kind = CellKind::Boolean;
        break;
      case kCellError:
      case kShortError:
      case kFmlaError:
        cell.value = v[0];
        cell.kind = CellKind::Error;
        break;
      default:  // kCellIsst, kShortIsst
        cell.value = ReadU32(v);
        cell.kind = cell.value < sharedCount ? CellKind::String : CellKind::Empty;
        if (cell.kind == CellKind::String) book.sharedStrings.Prefetch(static_cast<uint32_t>(cell.value));
        break;
    }
    if (cell.kind == CellKind::Empty) {
      // A number that is not finite or a string past the shared ones: the
      // general loop reads and reports the record.
      if (type != kCellBlank && type != kShortBlank) break;
    } else if (inRun && col > run.lastCol && run.next < run.end) {
      (run.next++)->StoreFrom(cell, cell.col);
      run.lastCol = static_cast<uint32_t>(col);
    } else {
      if (inRun) cells.EndRun(run);
      cells.AddCell(row, static_cast<uint32_t>(col), cell);
      inRun = cells.BeginRun(row, &run);
    }
    prevCol = static_cast<int64_t>(col);
    at += 2 + size;
  }
  if (inRun) cells.EndRun(run);
  records.Advance(at);
}

}  // namespace

Status ParseSheet(RecordReader& records, const XlBook& book, SheetBuilder& cells, StringPool& sheetStrings) {
  const uint32_t sharedCount = static_cast<uint32_t>(std::min<size_t>(book.sharedStrings.size(), UINT32_MAX));
  Damage damage;
  Status status;
  std::string text;
  uint32_t row = 0;
  bool rowOutside = false;
  // The column of the previous cell of the row; the next short record's is one more.
  int64_t prevCol = -1;

  for (;;) {
    if (!rowOutside) ReadCommonCells(records, book, sharedCount, row, prevCol, cells);
    bool have = false;
    if (Status next = records.Next(&have); !next.ok()) {
      status = std::move(next);
      break;
    }
    if (!have) break;
    uint32_t type = records.type();
    // Nothing of interest follows the cell data.
    if (type == kEndSheetData) break;
    if (type == kWsDim) {
      // The extent the writer states (first and last row and column), a hint.
      FieldReader d(records.data(), records.size());
      uint32_t firstRow = 0, lastRow = 0, firstCol = 0, lastCol = 0;
      if (d.U32(&firstRow) && d.U32(&lastRow) && d.U32(&firstCol) && d.U32(&lastCol) && lastRow < kMaxRows &&
          lastCol < kMaxCols)
        cells.StateExtent(lastRow + 1, lastCol + 1);
      continue;
    }
    if (type > kShortIsst && type != kCellRString) continue;
    FieldReader f(records.data(), records.size());
    if (type == kRowHdr) {
      if (cells.stopped()) break;  // the rows are no longer wanted
      uint32_t r = 0;
      if (!f.U32(&r)) {
        damage.Note(records, "a row header too short for its row number");
        rowOutside = true;
        continue;
      }
      rowOutside = r >= kMaxRows;
      if (rowOutside) damage.Note(records, "a row outside the largest sheet");
      row = r;
      prevCol = -1;
      continue;
    }

    // Every cell: column (long records only), then 24 bits of style and 8 of flags.
    uint64_t col = static_cast<uint64_t>(prevCol + 1);
    uint32_t c32 = 0, styleAndFlags = 0;
    if (!IsShort(type)) {
      if (!f.U32(&c32)) {
        damage.Note(records, "a cell record too short for its column");
        continue;
      }
      col = c32;
    }
    if (!f.U32(&styleAndFlags)) {
      damage.Note(records, "a cell record too short for its style");
      continue;
    }
    prevCol = static_cast<int64_t>(std::min<uint64_t>(col, kMaxCols));
    uint32_t style = styleAndFlags & 0xFFFFFF;
    if (rowOutside) continue;  // counted once, with the row
    if (col >= kMaxCols) {
      damage.Note(records, "a cell outside the largest sheet");
      continue;
    }
    uint32_t c = static_cast<uint32_t>(col);
    bool ok = true;
    switch (type) {
      case kCellBlank:
      case kShortBlank: cells.AddBlank(row, c, style); break;
      case kCellRk:
      case kShortRk: {
        uint32_t rk = 0;
        ok = f.U32(&rk);
        if (ok) cells.AddNumber(row, c, style, biff::DecodeRk(rk));
        break;
      }
      case kCellReal:
      case kShortReal:
      case kFmlaNum: {
        double v = 0;
        ok = f.F64(&v);
        if (ok && !std::isfinite(v)) {
          damage.Note(records, "a number cell whose value is not a finite number");
          continue;
        }
        if (ok) cells.AddNumber(row, c, style, v);
        break;
      }
      case kCellBool:
      case kShortBool:
      case kFmlaBool: {
        uint8_t v = 0;
        ok = f.U8(&v);
        if (ok) cells.AddBoolean(row, c, style, v != 0);
        break;
      }
      case kCellError:
      case kShortError:
      case kFmlaError: {
        uint8_t code = 0;
        ok = f.U8(&code);
        if (ok) cells.AddError(row, c, style, code);
        break;
      }
      case kCellSt:
      case kShortSt:
      case kFmlaString:
        ok = f.WideString(&text);
        if (ok) cells.AddSheetString(row, c, style, sheetStrings.Add(text));
        break;
      case kCellRString: {
        // Flags (runs, phonetic text), the text, then the runs: only the text is kept.
        uint8_t flags = 0;
        ok = f.U8(&flags) && f.WideString(&text);
        if (ok) cells.AddSheetString(row, c, style, sheetStrings.Add(text));
        break;
      }
      case kCellIsst:
      case kShortIsst: {
        uint32_t index = 0;
        ok = f.U32(&index);
        if (ok && index >= sharedCount) {
          damage.Note(records, "a cell refers to shared string " + std::to_string(index) +
                                   ", but there are only " + std::to_string(sharedCount));
          continue;
        }
        if (ok) {
          cells.AddSharedString(row, c, style, index);
          book.sharedStrings.Prefetch(index);
        }
        break;
      }
      default: break;
    }
    if (!ok) damage.Note(records, "a cell record too short for its value");
  }

  if (damage.count == 0) return status;
  std::string note = std::to_string(damage.count) + (damage.count == 1 ? " cell" : " cells") +
                     " skipped (first at " + damage.first + ")";
  if (!status.ok()) return Status::Error(status.message() + "; also " + note);
  return Status::Error(records.part() + ": " + note);
}

}  // namespace reader::xlsb
