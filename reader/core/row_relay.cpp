#include "reader/core/row_relay.h"

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

namespace reader {
namespace {

// A batch goes over once it holds this many cells (or at the end): large
// enough that handing it over costs little against its rows, small enough
// to stay in the caches between the two threads.
constexpr size_t kBatchCells = 4096;
constexpr size_t kSlots = 4;

// What the parser met, in order: the stated extent or a row, whose cells
// are cells[begin, begin + count).
struct Event {
  bool extent;
  uint32_t a;  // rows of the extent, or the row's number
  uint32_t b;  // columns of the extent
  size_t begin;
  size_t count;
};

struct Batch {
  std::vector<StoredCell> cells;
  std::vector<Event> events;
  StringPool strings;  // the sheet's own strings its cells name, renumbered
  void Reset() {
    cells.clear();
    events.clear();
    strings.Reset();
  }
};

struct Shared {
  std::mutex mutex;
  std::condition_variable ready;  // the sink's side waits for a batch
  std::condition_variable freed;  // the parser waits for a free slot
  Batch slots[kSlots];
  size_t filled = 0;   // batches handed over
  size_t taken = 0;    // batches given back
  bool parsedAll = false;  // the parser is done: no batch follows
  bool sinkWaits = false;
  bool parserWaits = false;
  std::atomic<bool> stop{false};  // the sink said stop (or failed)

  StreamOutcome parsed;  // the parser's side, once `parsedAll`
};

// The sink the parser feeds, on the parser's thread.
class ParserSide final : public RowSink {
 public:
  explicit ParserSide(Shared& s) : s_(s), batch_(&s.slots[0]) {}

  bool StatedExtent(uint32_t rows, uint32_t cols) override {
    if (s_.stop.load(std::memory_order_relaxed)) return false;
    batch_->events.push_back({true, rows, cols, 0, 0});
    return true;
  }

  bool Row(uint32_t row, const StoredCell* cells, size_t count, const StringPool& sheetStrings) override {
    if (s_.stop.load(std::memory_order_relaxed)) return false;
    const size_t begin = batch_->cells.size();
    batch_->cells.insert(batch_->cells.end(), cells, cells + count);
    for (size_t i = begin; i < begin + count; ++i) {
      StoredCell& c = batch_->cells[i];
      if (c.kind == CellKind::String && c.pool == StringPoolId::Sheet)
        c.value = batch_->strings.Add(sheetStrings.Get(static_cast<uint32_t>(c.value)));
    }
    batch_->events.push_back({false, row, 0, begin, count});
    return batch_->cells.size() < kBatchCells || HandOver();
  }

  // Hands the batch being filled over and takes the next free slot. False
  // once the sink said stop.
  bool HandOver() {
    std::unique_lock<std::mutex> lock(s_.mutex);
    ++s_.filled;
    if (s_.sinkWaits) s_.ready.notify_one();
    if (s_.filled - s_.taken == kSlots && !s_.stop.load()) {
      s_.parserWaits = true;
      s_.freed.wait(lock, [&] { return s_.filled - s_.taken < kSlots || s_.stop.load(); });
      s_.parserWaits = false;
    }
    batch_ = &s_.slots[s_.filled % kSlots];
    lock.unlock();
    batch_->Reset();
    return !s_.stop.load();
  }

  bool empty() const { return batch_->events.empty(); }

 private:
  Shared& s_;
  Batch* batch_;
};

void Parse(const SheetLoader& loader, Shared& s) {
  ParserSide side(s);
  s.parsed = StreamHere(loader, side);
  if (!s.parsed.outOfMemory && !side.empty() && !s.stop.load()) side.HandOver();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.parsedAll = true;
  if (s.sinkWaits) s.ready.notify_one();
}

}  // namespace

XlSheet::StreamResult StreamOutcome::result() const {
  if (outOfMemory) return XlSheet::StreamResult::Damaged;
  if (sinkStopped) return XlSheet::StreamResult::Stopped;
  if (disordered) return XlSheet::StreamResult::Disordered;
  return status.ok() ? XlSheet::StreamResult::Done : XlSheet::StreamResult::Damaged;
}

StreamOutcome StreamHere(const SheetLoader& loader, RowSink& sink) {
  StreamOutcome o;
  try {
    CellStore row;
    StringPool rowStrings;
    SheetBuilder builder(row, sink, rowStrings);
    o.status = loader(builder, rowStrings);
    builder.Finish();
    o.disordered = builder.disordered();
    o.sinkStopped = builder.stopped() && !o.disordered;  // a disorder stops the builder too
  } catch (const std::bad_alloc&) {
    o.outOfMemory = true;
  }
  return o;
}

std::optional<XlSheet::StreamResult> RelayRows(const SheetLoader& loader, RowSink& sink) {
  Shared s;
  std::thread parser;
  try {
    parser = std::thread([&] { Parse(loader, s); });
  } catch (const std::system_error&) {
    return std::nullopt;
  }
  bool sinkStopped = false, sinkFailed = false;
  // Anything else the sink throws goes on to the caller once the parser
  // has been told to stop and has ended.
  struct Joiner {
    Shared& s;
    std::thread& parser;
    ~Joiner() {
      if (!parser.joinable()) return;
      {
        std::lock_guard<std::mutex> lock(s.mutex);
        s.stop.store(true);
        s.freed.notify_one();
      }
      parser.join();
    }
  } joiner{s, parser};
  for (;;) {
    Batch* batch;
    {
      std::unique_lock<std::mutex> lock(s.mutex);
      if (s.filled == s.taken && !s.parsedAll) {
        s.sinkWaits = true;
        s.ready.wait(lock, [&] { return s.filled > s.taken || s.parsedAll; });
        s.sinkWaits = false;
      }
      if (s.filled == s.taken) break;  // parsed, and every batch given back
      batch = &s.slots[s.taken % kSlots];
    }
    // After a stop the batches still coming are only given back.
    if (!sinkStopped && !sinkFailed) {
      try {
        for (const Event& e : batch->events) {
          const bool goOn = e.extent ? sink.StatedExtent(e.a, e.b)
                                     : sink.Row(e.a, batch->cells.data() + e.begin, e.count, batch->strings);
          if (!goOn) {
            sinkStopped = true;
            break;
          }
        }
      } catch (const std::bad_alloc&) {
        sinkFailed = true;
      }
      if (sinkStopped || sinkFailed) s.stop.store(true);
    }
    std::lock_guard<std::mutex> lock(s.mutex);
    ++s.taken;
    if (s.parserWaits) s.freed.notify_one();
  }
  parser.join();
  StreamOutcome o = s.parsed;
  o.outOfMemory |= sinkFailed;
  o.sinkStopped |= sinkStopped;
  return o.result();
}

}  // namespace reader
