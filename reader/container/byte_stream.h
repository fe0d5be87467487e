// Sequential byte streams: what the XML scanner reads from.
//
// A ZIP entry (inflated as it is read), bytes in memory, or a read-ahead
// wrapper that produces another stream's bytes on a second thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "reader/core/status.h"

namespace reader {

class ByteStream {
 public:
  virtual ~ByteStream() = default;
  // Fills up to `capacity` bytes of `buffer`; *got is 0 only at the end of
  // the stream. A failed status means the data is damaged; the bytes
  // delivered before it stay valid.
  virtual Status Read(char* buffer, size_t capacity, size_t* got) = 0;
  // A stream that reads ahead into blocks of its own can hand over its next
  // bytes in place rather than copy them. On true, [*begin, *begin + *size)
  // holds the bytes of `keep` (the caller's unread bytes, copied first)
  // followed by bytes not delivered before, and stays valid until the next
  // call of LendNext or Read. False when it cannot (no blocks, too much to
  // keep, or no more bytes): the caller then copies `keep` out before it
  // calls Read, which also tells the end of the stream and its status.
  virtual bool LendNext(std::string_view keep, const char** begin, size_t* size) {
    (void)keep, (void)begin, (void)size;
    return false;
  }
};

// Bytes in memory (tests, parts already read).
class MemoryStream final : public ByteStream {
 public:
  explicit MemoryStream(std::string_view bytes, size_t maxChunk = SIZE_MAX)
      : bytes_(bytes), maxChunk_(maxChunk ? maxChunk : 1) {}
  Status Read(char* buffer, size_t capacity, size_t* got) override;

 private:
  std::string_view bytes_;
  size_t pos_ = 0;
  size_t maxChunk_;
};

// Reads `inner` ahead on a second thread in large blocks, so that
// inflating a part and scanning its XML overlap. The inner stream is used
// by that thread only, from the first Read until the end or destruction.
class ReadAheadStream final : public ByteStream {
 public:
  ReadAheadStream(std::unique_ptr<ByteStream> inner, size_t blockBytes = size_t(256) << 10);
  ~ReadAheadStream() override;
  Status Read(char* buffer, size_t capacity, size_t* got) override;
  bool LendNext(std::string_view keep, const char** begin, size_t* size) override;
  // Room in front of every block for the bytes a borrower keeps.
  static constexpr size_t kKeepRoom = size_t(64) << 10;

 private:
  struct Shared;
  std::unique_ptr<Shared> shared_;
};

}  // namespace reader
