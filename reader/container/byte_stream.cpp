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
}

struct ReadAheadStream::Shared {
  std::unique_ptr<ByteStream> inner;
  size_t blockBytes = 0;

  struct Block {
    std::unique_ptr<char[]> bytes;
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
        freed.wait(lock, [&] { return stop || n - consumed < kBlocks; });
        if (stop) return;
      }
      Block& b = blocks[n % kBlocks];
      b.size = 0;
      b.last = false;
      b.status = Status::Ok();
      try {
        if (!b.bytes) b.bytes.reset(new char[blockBytes]);
        while (b.size < blockBytes) {
          size_t got = 0;
          Status s = inner->Read(b.bytes.get() + b.size, blockBytes - b.size, &got);
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
      bool last = b.last;
      {
        std::lock_guard<std::mutex> lock(mutex);
        produced = n + 1;
      }
      filled.notify_one();
      if (last) return;
    }
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
  if (s.threadless) return s.inner->Read(buffer, capacity, got);
  if (!s.started) {
    try {
      s.thread = std::thread([&s] { s.Produce(); });
      s.started = true;
    } catch (const std::system_error&) {
      s.threadless = true;
      return s.inner->Read(buffer, capacity, got);
    }
  }
  while (!s.finished && capacity > 0) {
    if (!s.haveBlock) {
      std::unique_lock<std::mutex> lock(s.mutex);
      s.filled.wait(lock, [&] { return s.produced > s.consumed; });
      s.haveBlock = true;
      s.readPos = 0;
    }
    Shared::Block& b = s.blocks[s.consumed % kBlocks];
    size_t n = std::min(capacity, b.size - s.readPos);
    if (n) {
      std::memcpy(buffer, b.bytes.get() + s.readPos, n);
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
    {
      std::lock_guard<std::mutex> lock(s.mutex);
      ++s.consumed;
      s.haveBlock = false;
    }
    s.freed.notify_one();
  }
  return s.finalStatus;
}

}  // namespace reader
