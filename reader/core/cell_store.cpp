#include "reader/core/cell_store.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "reader/core/string_pool.h"

namespace reader {

CellStore::CellStore() = default;
CellStore::CellStore(CellStore&&) noexcept = default;
CellStore& CellStore::operator=(CellStore&&) noexcept = default;
CellStore::~CellStore() = default;

void CellStore::Clear() {
  chunks_.clear();
  chunks_.shrink_to_fit();
  firstChunkCells_ = 0;
  capacity_ = 0;
  rows_.clear();
  rows_.shrink_to_fit();
  count_ = 0;
  lastRow_ = lastCol_ = 0;
  cursorRow_ = cursorCell_ = 0;
  haveLastQuery_ = false;
}

size_t CellStore::memoryBytes() const {
  size_t cells = chunks_.empty() ? 0 : (chunks_.size() - 1) * kChunkCells + firstChunkCells_;
  return cells * sizeof(StoredCell) + rows_.capacity() * sizeof(RowSpan);
}

void CellStore::GrowFirstChunk() {
  size_t cells = firstChunkCells_ ? firstChunkCells_ * 4 : 64;
  if (cells > kChunkCells) cells = kChunkCells;
  std::unique_ptr<StoredCell[]> bigger(new StoredCell[cells]);
  if (count_) std::memcpy(bigger.get(), chunks_[0].get(), count_ * sizeof(StoredCell));
  if (chunks_.empty())
    chunks_.push_back(std::move(bigger));
  else
    chunks_[0] = std::move(bigger);
  firstChunkCells_ = cells;
  capacity_ = cells;
}

void CellStore::Push(const StoredCell& cell) {
  if (count_ < kChunkCells) {
    if (count_ == firstChunkCells_) GrowFirstChunk();
  } else if ((count_ & (kChunkCells - 1)) == 0 && (count_ >> kChunkBits) == chunks_.size()) {
    chunks_.emplace_back(new StoredCell[kChunkCells]);
    capacity_ = std::min<size_t>(chunks_.size() * kChunkCells, UINT32_MAX - 1);
  }
  At(count_++) = cell;
}

const StoredCell* CellStore::Find(uint32_t row, uint32_t col) const {
  // The export asks several questions about each cell in turn.
  if (row == lastQueryRow_ && col == lastQueryCol_ && haveLastQuery_) return lastQueryCell_;
  const StoredCell* found = FindUncached(row, col);
  haveLastQuery_ = true;
  lastQueryRow_ = row;
  lastQueryCol_ = col;
  lastQueryCell_ = found;
  return found;
}

// Puts the cursor on `row` (the cursor's row, the next one, or found by a
// binary search), its cell cursor at the row's first cell when the row
// changes. False when no cell lies in that row. The store is not empty.
bool CellStore::SeekRow(uint32_t row, size_t* index) const {
  size_t r = cursorRow_;
  if (rows_[r].row != row) {
    if (r + 1 < rows_.size() && rows_[r + 1].row == row) {
      ++r;
    } else {
      auto it = std::lower_bound(rows_.begin(), rows_.end(), row,
                                 [](const RowSpan& s, uint32_t v) { return s.row < v; });
      if (it == rows_.end() || it->row != row) return false;
      r = static_cast<size_t>(it - rows_.begin());
    }
    cursorRow_ = r;
    cursorCell_ = rows_[r].begin;
  }
  *index = r;
  return true;
}

uint32_t CellStore::NextColumn(uint32_t row, uint32_t col) const {
  if (rows_.empty()) return kNoColumn;
  size_t r;
  if (!SeekRow(row, &r)) return kNoColumn;
  size_t lo = cursorCell_;
  size_t hi = RowEnd(r);
  if (lo < rows_[r].begin || lo >= hi || At(lo).col > col) lo = rows_[r].begin;
  // In a row-major walk the answer is the cursor's cell or the next one.
  if (At(lo).col < col && lo + 1 < hi && At(lo + 1).col >= col) ++lo;
  if (At(lo).col < col) {
    while (lo < hi) {
      size_t mid = lo + (hi - lo) / 2;
      if (At(mid).col < col)
        lo = mid + 1;
      else
        hi = mid;
    }
  }
  if (lo >= RowEnd(r)) return kNoColumn;
  cursorCell_ = lo;
  return At(lo).col;
}

const StoredCell* CellStore::FindUncached(uint32_t row, uint32_t col) const {
  if (rows_.empty()) return nullptr;
  // A row-major walk over a dense sheet asks for the cell after the cursor,
  // or the first cell of the next row.
  size_t r0 = cursorRow_;
  if (rows_[r0].row == row) {
    size_t next = cursorCell_ + 1;
    if (next < RowEnd(r0) && At(next).col == col) {
      cursorCell_ = next;
      return &At(next);
    }
  } else if (r0 + 1 < rows_.size() && rows_[r0 + 1].row == row) {
    size_t first = rows_[r0 + 1].begin;
    if (At(first).col == col) {
      cursorRow_ = r0 + 1;
      cursorCell_ = first;
      return &At(first);
    }
  }
  size_t r;
  if (!SeekRow(row, &r)) return nullptr;
  size_t begin = rows_[r].begin;
  size_t end = RowEnd(r);
  size_t i = cursorCell_;
  if (i < begin || i >= end || At(i).col > col) i = begin;
  // Walk forward from the cursor: in a row-major walk the next cell is at
  // most one step away. Long jumps fall back to a binary search.
  for (int steps = 0; i < end && At(i).col < col; ++i) {
    if (++steps == 8) {
      size_t lo = i, hi = end;
      while (lo < hi) {
        size_t mid = lo + (hi - lo) / 2;
        if (At(mid).col < col)
          lo = mid + 1;
        else
          hi = mid;
      }
      i = lo;
      break;
    }
  }
  if (i >= end) {
    cursorCell_ = end - 1;
    return nullptr;
  }
  cursorCell_ = i;
  const StoredCell& c = At(i);
  return c.col == col ? &c : nullptr;
}

// ---------------------------------------------------------------------------

namespace {
struct PendingCell {
  uint32_t row;
  uint32_t order;  // arrival order among cells, so a later duplicate wins
  StoredCell cell;
};
}  // namespace

// Cells that arrived out of order wait here until Finish sorts them.
struct SheetBuilderPending {
  std::vector<PendingCell> cells;
};

SheetBuilder::SheetBuilder(CellStore& store) : store_(store) {}

SheetBuilder::SheetBuilder(CellStore& store, RowSink& sink, StringPool& sheetStrings)
    : store_(store), sink_(&sink), sheetStrings_(&sheetStrings) {
  store_.Clear();
}

SheetBuilder::~SheetBuilder() {
  // A streamed sheet's last row goes to the sink in Finish only. Here an
  // error may be unwinding (the sink itself out of memory, say), and the
  // sink called again would throw out of a destructor, which ends the
  // process.
  if (!finished_ && !sink_) Finish();
}

bool SheetBuilder::AddSheetString(uint32_t row, uint32_t col, uint32_t style, uint32_t index) {
  StoredCell c{};
  c.value = index;
  c.style = style;
  c.kind = CellKind::String;
  c.pool = StringPoolId::Sheet;
  return Add(row, col, c);
}

bool SheetBuilder::AddBoolean(uint32_t row, uint32_t col, uint32_t style, bool value) {
  StoredCell c{};
  c.value = value ? 1 : 0;
  c.style = style;
  c.kind = CellKind::Boolean;
  return Add(row, col, c);
}

bool SheetBuilder::AddError(uint32_t row, uint32_t col, uint32_t style, uint8_t code) {
  StoredCell c{};
  c.value = code;
  c.style = style;
  c.kind = CellKind::Error;
  return Add(row, col, c);
}

bool SheetBuilder::AddBlank(uint32_t row, uint32_t col, uint32_t /*style*/) {
  return row < kMaxRows && col < kMaxCols;
}

bool SheetBuilder::AddSlow(uint32_t row, uint32_t col, const StoredCell& cellIn) {
  if (row >= kMaxRows || col >= kMaxCols || finished_) return false;
  if (sink_) return AddStreamed(row, col, cellIn);
  StoredCell cell = cellIn;
  cell.col = static_cast<uint16_t>(col);
  if (col + 1 > maxCol_) maxCol_ = col + 1;
  auto& rows = store_.rows_;
  if (ordered_) {
    if (!haveLast_ || row > lastRowAdded_) {
      if (store_.count_ > UINT32_MAX - 1) return false;
      rows.push_back({row, static_cast<uint32_t>(store_.count_)});
      store_.Push(cell);
    } else if (row == lastRowAdded_ && col > lastColAdded_) {
      if (store_.count_ > UINT32_MAX - 1) return false;
      store_.Push(cell);
    } else if (row == lastRowAdded_ && col == lastColAdded_) {
      store_.At(store_.count_ - 1) = cell;  // the same cell again: the later one wins
    } else {
      ordered_ = false;
    }
    if (ordered_) {
      haveLast_ = true;
      lastRowAdded_ = row;
      lastColAdded_ = col;
      return true;
    }
    // Out of order: move what we have into the pending list and go on there.
    pending_.reset(new SheetBuilderPending());
    auto& p = pending_->cells;
    p.reserve(store_.count_ + 1);
    uint32_t order = 0;
    store_.ForEach([&](uint32_t r, const StoredCell& c) { p.push_back({r, order++, c}); });
    store_.Clear();
  }
  auto& p = pending_->cells;
  if (p.size() >= UINT32_MAX - 1) return false;
  p.push_back({row, static_cast<uint32_t>(p.size()), cell});
  return true;
}

bool SheetBuilder::AddStreamed(uint32_t row, uint32_t col, const StoredCell& cellIn) {
  StoredCell cell = cellIn;
  cell.col = static_cast<uint16_t>(col);
  if (haveLast_ && (row < lastRowAdded_ || (row == lastRowAdded_ && col <= lastColAdded_))) {
    // Sorting (or letting a later cell win) needs the whole sheet.
    disordered_ = true;
    Stop();
    return false;
  }
  if (haveLast_ && row > lastRowAdded_ && !DeliverRow(&cell)) return false;
  if (col + 1 > maxCol_) maxCol_ = col + 1;
  store_.Push(cell);
  haveLast_ = true;
  lastRowAdded_ = row;
  lastColAdded_ = col;
  return true;
}

// Hands the row read so far to the sink and empties the store and the
// sheet's string pool for the next one. `incoming`, the first cell of the
// next row, may already have its text in the pool: it is kept there.
bool SheetBuilder::DeliverRow(StoredCell* incoming) {
  bool goOn = sink_->Row(lastRowAdded_, &store_.At(0), store_.count_, *sheetStrings_);
  store_.count_ = 0;
  if (!goOn) {
    Stop();
    return false;
  }
  if (sheetStrings_->empty()) return true;
  if (incoming && incoming->kind == CellKind::String && incoming->pool == StringPoolId::Sheet) {
    std::string text(sheetStrings_->Get(static_cast<uint32_t>(incoming->value)));
    sheetStrings_->Reset();
    incoming->value = sheetStrings_->Add(text);
  } else {
    sheetStrings_->Reset();
  }
  return true;
}

void SheetBuilder::SortAndRebuild() {
  auto& p = pending_->cells;
  std::sort(p.begin(), p.end(), [](const PendingCell& a, const PendingCell& b) {
    if (a.row != b.row) return a.row < b.row;
    if (a.cell.col != b.cell.col) return a.cell.col < b.cell.col;
    return a.order < b.order;
  });
  auto& rows = store_.rows_;
  for (size_t i = 0; i < p.size(); ++i) {
    // Of several cells at one position keep the last one that arrived.
    if (i + 1 < p.size() && p[i + 1].row == p[i].row && p[i + 1].cell.col == p[i].cell.col) continue;
    if (rows.empty() || rows.back().row != p[i].row)
      rows.push_back({p[i].row, static_cast<uint32_t>(store_.count_)});
    store_.Push(p[i].cell);
  }
  pending_.reset();
}

void SheetBuilder::Finish() {
  if (finished_) return;
  finished_ = true;
  if (sink_) {
    if (store_.count_ > 0) DeliverRow(nullptr);
    store_.count_ = 0;
    return;
  }
  if (pending_) SortAndRebuild();
  store_.rows_.shrink_to_fit();
  if (store_.count_ == 0) {
    store_.lastRow_ = store_.lastCol_ = 0;
    return;
  }
  store_.lastRow_ = store_.rows_.back().row + 1;
  store_.lastCol_ = maxCol_;
  store_.cursorRow_ = 0;
  store_.cursorCell_ = 0;
  store_.haveLastQuery_ = false;
}

}  // namespace reader
