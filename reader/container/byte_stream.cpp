#include "reader/container/byte_stream.h"

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

namespace reader {

Status MemoryStream::Read(char* buffer, size_t capacity, size_t* got) {
  size_t n = std::min({capacity, bytes_.size() - pos_, maxChunk_});
  if (n) std::memcpy(buffer, bytes_.data() + pos_, n);
  pos_ += n;
  *got = n;
  return Status::Ok();
}

// ---------------------------------------------------------------------------

namespace {
constexpr size_t kBlocks = 4;
// A thread that waits for the other sleeps until this many blocks are ready
// (or free), not one: each wake-up then carries two blocks, and the threads
// switch about half as often, which matters most when the system runs both
// on one processor.
constexpr size_t kBatch = 2;
}

struct ReadAheadStream::Shared {
  std::unique_ptr<ByteStream> inner;
  size_t blockBytes = 0;

  struct Block {
    std::unique_ptr<char[]> bytes;  // kKeepRoom bytes, then the block's
    char* data() const { return bytes.get() + kKeepRoom; }
    size_t size = 0;
    bool last = false;  // the stream ends (or failed) after this block
    Status status;
  };
  Block blocks[kBlocks];

  std::mutex mutex;
  std::condition_variable filled;  // the reader waits for the producer
  std::condition_variable freed;   // the producer waits for the reader
  size_t produced = 0;             // blocks filled so far
  size_t consumed = 0;             // blocks the reader has finished with
  bool producedLast = false;       // the block marked last is among those filled
  size_t readerNeeds = 0;          // while the reader sleeps: the `produced` it waits for
  size_t producerNeeds = 0;        // while the producer sleeps: the `consumed` it waits for
  bool stop = false;
  bool started = false;
  bool threadless = false;  // no thread could be started: read directly
  std::thread thread;

  // The reader's position in the current block.
  size_t readPos = 0;
  bool haveBlock = false;
  bool finished = false;
  Status finalStatus;

  void Produce() {
    for (size_t n = 0;; ++n) {
      {
        std::unique_lock<std::mutex> lock(mutex);
        if (!stop && n - consumed >= kBlocks) {
          producerNeeds = n - kBlocks + kBatch;
          freed.wait(lock, [&] { return stop || consumed >= producerNeeds; });
          producerNeeds = 0;
        }
        if (stop) return;
      }
      Block& b = blocks[n % kBlocks];
      b.size = 0;
      b.last = false;
      b.status = Status::Ok();
      try {
        if (!b.bytes) b.bytes.reset(new char[kKeepRoom + blockBytes]);
        while (b.size < blockBytes) {
          size_t got = 0;
          Status s = inner->Read(b.data() + b.size, blockBytes - b.size, &got);
          b.size += got;
          if (!s.ok()) {
            b.status = s;
            b.last = true;
            break;
          }
          if (got == 0) {
            b.last = true;
            break;
          }
        }
      } catch (const std::bad_alloc&) {
        b.status = Status::Error("out of memory while reading a part");
        b.last = true;
      }
      const bool last = b.last;
      bool wake;
      {
        std::lock_guard<std::mutex> lock(mutex);
        produced = n + 1;
        producedLast = last;
        wake = readerNeeds != 0 && (produced >= readerNeeds || last);
      }
      if (wake) filled.notify_one();
      if (last) return;
    }
  }

  // Starts the producer on first use; false when no thread can be started
  // (the stream is then read directly).
  bool Start() {
    if (started) return true;
    if (threadless) return false;
    try {
      thread = std::thread([this] { Produce(); });
      started = true;
      return true;
    } catch (const std::system_error&) {
      threadless = true;
      return false;
    }
  }

  // Waits until block `n` has been produced (`n` is the reader's block or
  // the one after it). Once asleep, the reader sleeps until kBatch blocks
  // from `n` on are there, or the last one: the producer can always fill
  // them, as it is kept at most kBlocks ahead of the reader's block. The
  // stream's first block wakes it alone: at the start the reader has
  // nothing else to do, and a workbook of many sheets of a few blocks each
  // would wait for a second block at the start of every sheet.
  void WaitFor(size_t n) {
    std::unique_lock<std::mutex> lock(mutex);
    if (produced > n) return;
    readerNeeds = n == 0 ? 1 : n + kBatch;
    filled.wait(lock, [&] { return produced >= readerNeeds || producedLast; });
    readerNeeds = 0;
  }

  // Gives the reader's block back to the producer.
  void Release() {
    bool wake;
    {
      std::lock_guard<std::mutex> lock(mutex);
      ++consumed;
      haveBlock = false;
      wake = producerNeeds != 0 && consumed >= producerNeeds;
    }
    if (wake) freed.notify_one();
  }
};

ReadAheadStream::ReadAheadStream(std::unique_ptr<ByteStream> inner, size_t blockBytes)
    : shared_(new Shared()) {
  shared_->inner = std::move(inner);
  shared_->blockBytes = std::max<size_t>(blockBytes, 4096);
}

ReadAheadStream::~ReadAheadStream() {
  if (shared_->started) {
    {
      std::lock_guard<std::mutex> lock(shared_->mutex);
      shared_->stop = true;
    }
    shared_->freed.notify_one();
    shared_->thread.join();
  }
}

Status ReadAheadStream::Read(char* buffer, size_t capacity, size_t* got) {
  Shared& s = *shared_;
  *got = 0;
  if (!s.Start()) return s.inner->Read(buffer, capacity, got);
  while (!s.finished && capacity > 0) {
    if (!s.haveBlock) {
      s.WaitFor(s.consumed);
      s.haveBlock = true;
      s.readPos = 0;
    }
    Shared::Block& b = s.blocks[s.consumed % kBlocks];
    size_t n = std::min(capacity, b.size - s.readPos);
    if (n) {
      std::memcpy(buffer, b.data() + s.readPos, n);
      s.readPos += n;
      *got = n;
      return Status::Ok();
    }
    // This block is used up: hand it back, or end.
    if (b.last) {
      s.finished = true;
      s.finalStatus = b.status;
      break;
    }
    s.Release();
  }
  return s.finalStatus;
}

// Lends the rest of the reader's block, or the whole of the next one, with
// `keep` copied into the room in front of it. A block lent whole counts as
// read: the next call gives it back.
bool ReadAheadStream::LendNext(std::string_view keep, const char** begin, size_t* size) {
  Shared& s = *shared_;
  if (s.finished || keep.size() > kKeepRoom || !s.Start()) return false;
  if (!s.haveBlock) {
    s.WaitFor(s.consumed);
    s.haveBlock = true;
    s.readPos = 0;
  }
  Shared::Block& current = s.blocks[s.consumed % kBlocks];
  if (s.readPos < current.size) {
    // `keep` is in the caller's own buffer; the bytes in front of readPos
    // were read already.
    char* to = current.data() + s.readPos - keep.size();
    if (!keep.empty()) std::memmove(to, keep.data(), keep.size());
    *begin = to;
    *size = keep.size() + current.size - s.readPos;
    s.readPos = current.size;
    return true;
  }
  if (current.last) return false;  // Read ends the stream with its status
  // The producer can always fill the block after the reader's: it has
  // kBlocks of them.
  s.WaitFor(s.consumed + 1);
  Shared::Block& next = s.blocks[(s.consumed + 1) % kBlocks];
  if (next.size == 0) return false;  // an empty last block: Read ends the stream
  // `keep` may lie in the current block: copied before that goes back.
  char* to = next.data() - keep.size();
  if (!keep.empty()) std::memmove(to, keep.data(), keep.size());
  s.Release();
  s.haveBlock = true;
  s.readPos = next.size;
  *begin = to;
  *size = keep.size() + next.size;
  return true;
}

}  // namespace reader
