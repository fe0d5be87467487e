// The compact in-memory sheet model that every format parser fills.
//
// One 16-byte record per cell that holds a value, kept in row-major order in
// fixed-size chunks (no copy when the store grows), plus one small entry per
// row that has cells. Cells that carry only a style are not stored: they have
// no content and must not widen the sheet.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>
#include <vector>

namespace reader {

struct SheetBuilderPending;
class StringPool;

enum class CellKind : uint8_t {
  Empty = 0,
  Number = 1,
  String = 2,
  Boolean = 3,
  Error = 5,
};

// Where a string cell's text lives.
enum class StringPoolId : uint8_t { Shared = 0, Sheet = 1 };

struct StoredCell {
  uint64_t value;  // bits of the double, string index, 0/1, or the error code
  uint32_t style;  // index into the book's formats
  uint16_t col;
  CellKind kind;
  StringPoolId pool;

  double number() const {
    double d;
    std::memcpy(&d, &value, sizeof d);
    return d;
  }
  // Stores a cell just built from its parts, field by field: a copy of the
  // whole would first wait for those parts to be stored.
  void StoreFrom(const StoredCell& cell, uint16_t column) {
    value = cell.value;
    style = cell.style;
    col = column;
    kind = cell.kind;
    pool = cell.pool;
  }
};
static_assert(sizeof(StoredCell) == 16, "cells must stay compact");

// The largest sheet any of the formats can describe.
inline constexpr uint32_t kMaxRows = 1048576;
inline constexpr uint32_t kMaxCols = 16384;

class CellStore {
 public:
  CellStore();
  CellStore(CellStore&&) noexcept;
  CellStore& operator=(CellStore&&) noexcept;
  ~CellStore();

  // One past the last row and column that hold a value; 0 when empty.
  uint32_t lastRow() const { return lastRow_; }
  uint32_t lastCol() const { return lastCol_; }
  size_t cellCount() const { return count_; }

  // The cell at (row, col), or null. Fast for the row-major walk of an
  // export: the last position is remembered.
  const StoredCell* Find(uint32_t row, uint32_t col) const;

  // The column of the first stored cell of `row` at or right of `col`, or
  // kNoColumn when the row has none there. Leaves the lookup cursor on that
  // cell, so that the Find which follows costs one step.
  static constexpr uint32_t kNoColumn = UINT32_MAX;
  uint32_t NextColumn(uint32_t row, uint32_t col) const;

  // Calls f(row, cell) for every cell in row-major order.
  template <typename F>
  void ForEach(F&& f) const {
    for (size_t r = 0; r < rows_.size(); ++r) {
      size_t end = r + 1 < rows_.size() ? rows_[r + 1].begin : count_;
      for (size_t i = rows_[r].begin; i < end; ++i) f(rows_[r].row, At(i));
    }
  }

  void Clear();
  size_t memoryBytes() const;

 private:
  friend class SheetBuilder;
  static constexpr unsigned kChunkBits = 14;
  static constexpr size_t kChunkCells = size_t(1) << kChunkBits;

  struct RowSpan {
    uint32_t row;
    uint32_t begin;  // index of the row's first cell
  };

  const StoredCell& At(size_t i) const { return chunks_[i >> kChunkBits][i & (kChunkCells - 1)]; }
  StoredCell& At(size_t i) { return chunks_[i >> kChunkBits][i & (kChunkCells - 1)]; }
  size_t RowEnd(size_t rowIndex) const {
    return rowIndex + 1 < rows_.size() ? rows_[rowIndex + 1].begin : count_;
  }
  void Push(const StoredCell& cell);
  void GrowFirstChunk();
  const StoredCell* FindUncached(uint32_t row, uint32_t col) const;
  bool SeekRow(uint32_t row, size_t* index) const;

  std::vector<std::unique_ptr<StoredCell[]>> chunks_;
  // The first chunk starts small and grows to full size, so a sheet of a
  // few cells (a workbook may have thousands) costs little.
  size_t firstChunkCells_ = 0;
  std::vector<RowSpan> rows_;
  size_t count_ = 0;
  size_t capacity_ = 0;  // cells allocated in chunks_ (never more than 2^32 - 1 used)
  uint32_t lastRow_ = 0;
  uint32_t lastCol_ = 0;

  // Lookup cursor (the store belongs to one book, read by one thread at a time).
  mutable size_t cursorRow_ = 0;
  mutable size_t cursorCell_ = 0;
  mutable bool haveLastQuery_ = false;
  mutable uint32_t lastQueryRow_ = 0;
  mutable uint32_t lastQueryCol_ = 0;
  mutable const StoredCell* lastQueryCell_ = nullptr;
};

// Takes a sheet's rows one at a time as a parser reads them (the streaming
// mode of SheetBuilder), so that no more than one row is ever held.
class RowSink {
 public:
  virtual ~RowSink() = default;
  // The extent the file states for the sheet (one past its last row and
  // column), as the parser meets it, normally before the first cell. Files
  // may state none, or a wrong one. False stops the reading.
  virtual bool StatedExtent(uint32_t rows, uint32_t cols) = 0;
  // One row that holds at least one cell with a value, its cells in
  // ascending columns; rows come in ascending order. The strings of the
  // sheet's own pool (`sheetStrings`) stay valid until this returns. False
  // stops the reading.
  virtual bool Row(uint32_t row, const StoredCell* cells, size_t count, const StringPool& sheetStrings) = 0;
};

// Fills a CellStore. Cells may come in any order; the common case (row-major,
// as every format writes them) costs one append each, anything else is
// sorted once in Finish. A later cell at the same position replaces the
// earlier one.
//
// Streaming mode (a RowSink given): the store holds only the row being
// read, which goes to the sink when the next row starts, and the sheet's own
// string pool is emptied after each row. A cell out of row-major order (or
// at a position already filled) cannot be streamed: the builder then stops
// taking cells and disordered() tells why.
class SheetBuilder {
 public:
  explicit SheetBuilder(CellStore& store);
  SheetBuilder(CellStore& store, RowSink& sink, StringPool& sheetStrings);
  SheetBuilder(const SheetBuilder&) = delete;
  SheetBuilder& operator=(const SheetBuilder&) = delete;
  ~SheetBuilder();

  // Each returns false (and stores nothing) for a position outside the
  // largest sheet (kMaxRows x kMaxCols).
  bool AddNumber(uint32_t row, uint32_t col, uint32_t style, double value) {
    StoredCell c;
    std::memcpy(&c.value, &value, sizeof value);
    c.style = style;
    c.col = 0;
    c.kind = CellKind::Number;
    c.pool = StringPoolId::Shared;
    return Add(row, col, c);
  }
  bool AddSharedString(uint32_t row, uint32_t col, uint32_t style, uint32_t index) {
    StoredCell c;
    c.value = index;
    c.style = style;
    c.col = 0;
    c.kind = CellKind::String;
    c.pool = StringPoolId::Shared;
    return Add(row, col, c);
  }
  bool AddSheetString(uint32_t row, uint32_t col, uint32_t style, uint32_t index);
  bool AddBoolean(uint32_t row, uint32_t col, uint32_t style, bool value);
  bool AddError(uint32_t row, uint32_t col, uint32_t style, uint8_t code);
  // A cell with a style and no value: checked, not stored.
  bool AddBlank(uint32_t row, uint32_t col, uint32_t style);

  // Cells stored in place, for a parser that reads many in a row: when the
  // row already has a cell and the cells so far are in order, BeginRun
  // gives room in the store. The parser then writes whole cells (the column
  // set) of columns above `lastCol`, raising it, while `next` < `end`, and
  // EndRun takes them in, as Add would have one by one. Nothing else may be
  // added in between.
  struct Run {
    StoredCell* begin = nullptr;
    StoredCell* next = nullptr;
    StoredCell* end = nullptr;
    uint32_t lastCol = 0;
  };
  bool BeginRun(uint32_t row, Run* run) {
    if (row != lastRowAdded_ || !ordered_ || !haveLast_ || finished_ || store_.count_ >= store_.capacity_)
      return false;
    const size_t i = store_.count_;
    const size_t chunkEnd = ((i >> CellStore::kChunkBits) + 1) << CellStore::kChunkBits;
    run->begin = run->next = &store_.At(i);
    run->end = run->begin + ((chunkEnd < store_.capacity_ ? chunkEnd : store_.capacity_) - i);
    run->lastCol = lastColAdded_;
    return true;
  }
  void EndRun(const Run& run) {
    const size_t added = static_cast<size_t>(run.next - run.begin);
    if (added == 0) return;
    store_.count_ += added;
    lastColAdded_ = run.lastCol;
    if (run.lastCol + 1 > maxCol_) maxCol_ = run.lastCol + 1;
  }
  // A cell built by the caller (its column is set here).
  bool AddCell(uint32_t row, uint32_t col, const StoredCell& cell) { return Add(row, col, cell); }

  // The extent the file states, one past the last row and column: a hint,
  // passed on to a RowSink and otherwise unused.
  void StateExtent(uint32_t rows, uint32_t cols) {
    if (sink_ && !stopped_ && !sink_->StatedExtent(rows, cols)) Stop();
  }

  // Streaming mode: true once the builder takes no more cells (the sink
  // said stop, or a cell came out of order). Parsers may end early then.
  bool stopped() const { return stopped_; }
  bool disordered() const { return disordered_; }

  // Sorts when needed and computes the extent; streaming, hands the last
  // row to the sink. Called once; for a loaded sheet the destructor calls it
  // when the parser did not (also on a parse error, so the cells read so far
  // stay usable); a streamed sheet's last row goes only through this call.
  void Finish();

 private:
  // The common case inline: the next cell of the current row, with room in
  // the current chunk.
  bool Add(uint32_t row, uint32_t col, const StoredCell& cell) {
    if (row == lastRowAdded_ && col > lastColAdded_ && col < kMaxCols && ordered_ && haveLast_ &&
        !finished_ && store_.count_ < store_.capacity_) {
      store_.At(store_.count_++).StoreFrom(cell, static_cast<uint16_t>(col));
      lastColAdded_ = col;
      if (col + 1 > maxCol_) maxCol_ = col + 1;
      return true;
    }
    return AddSlow(row, col, cell);
  }
  bool AddSlow(uint32_t row, uint32_t col, const StoredCell& cell);
  bool AddStreamed(uint32_t row, uint32_t col, const StoredCell& cell);
  bool DeliverRow(StoredCell* incoming);
  void Stop() {
    stopped_ = true;
    finished_ = true;  // keeps the inline road away
  }
  void SortAndRebuild();

  CellStore& store_;
  std::unique_ptr<SheetBuilderPending> pending_;
  bool finished_ = false;
  bool ordered_ = true;
  bool haveLast_ = false;
  uint32_t lastRowAdded_ = 0;
  uint32_t lastColAdded_ = 0;
  uint32_t maxCol_ = 0;
  RowSink* sink_ = nullptr;
  StringPool* sheetStrings_ = nullptr;
  bool stopped_ = false;
  bool disordered_ = false;
};

}  // namespace reader
