// A compact list of UTF-8 strings: one byte buffer and one end offset per
// string.
// The bytes grow without a second copy (see ByteBuffer), so a pool's peak is
// about what it holds.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "reader/core/byte_buffer.h"

namespace reader {

class StringPool {
 public:
  StringPool() { narrow_.push_back(0); }

  // Appends a string and returns its index.
  uint32_t Add(std::string_view text) {
    bytes_.Append(text);
    return Close();
  }

  // Builds a string piece by piece (rich text runs, text split across
  // buffers): Append to the open string, then Close it to get its index.
  void Append(std::string_view piece) { bytes_.Append(piece); }
  uint32_t Close() {
    size_t end = bytes_.size();
    if (wide_.empty() && end <= UINT32_MAX) {
      narrow_.push_back(static_cast<uint32_t>(end));
    } else {
      Widen();
      wide_.push_back(end);
    }
    return static_cast<uint32_t>(size() - 1);
  }
  // Drops whatever was appended since the last Close.
  void DiscardOpen() { bytes_.Truncate(End(size())); }

  size_t size() const { return (wide_.empty() ? narrow_.size() : wide_.size()) - 1; }
  bool empty() const { return size() == 0; }
  std::string_view Get(uint32_t index) const {
    if (index >= size()) return {};
    size_t from = End(index);
    return std::string_view(bytes_.data() + from, End(index + 1) - from);
  }
  // Asks the processor to fetch where string `index` lies, ahead of a Get:
  // the shared strings are wanted in no order, a little after their cells
  // are read, and a large pool is mostly outside the caches. Always inlined:
  // a call left standing would look to the compiler like one without any
  // effect, and be dropped with the fetch in it.
#if defined(__GNUC__)
  __attribute__((always_inline))
#endif
  void Prefetch(uint32_t index) const {
    if (index >= size()) return;
    if (wide_.empty())
      __builtin_prefetch(narrow_.data() + index);
    else
      __builtin_prefetch(wide_.data() + index);
  }
  size_t byteSize() const { return bytes_.size(); }
  void Reserve(size_t strings, size_t bytes) {
    if (wide_.empty()) narrow_.reserve(strings + 1);
    bytes_.Reserve(bytes);
  }
  // Empties the pool and keeps its memory for the next strings.
  void Reset() {
    bytes_.Clear();
    narrow_.resize(1);
    wide_.clear();
  }
  void Clear() {
    bytes_.Release();
    narrow_.assign(1, 0);
    narrow_.shrink_to_fit();
    wide_.clear();
    wide_.shrink_to_fit();
  }

 private:
  // Where string `index` starts (the end of the one before it).
  size_t End(size_t index) const { return wide_.empty() ? narrow_[index] : wide_[index]; }
  // Moves the offsets to 64 bits once the bytes pass 4 GiB.
  void Widen() {
    if (!wide_.empty()) return;
    wide_.assign(narrow_.begin(), narrow_.end());
    narrow_.clear();
    narrow_.shrink_to_fit();
  }

  ByteBuffer bytes_;
  // Each string's end offset, 4 bytes a string while the bytes stay below
  // 4 GiB, 8 bytes after; offset 0 comes first. Exactly one is in use.
  std::vector<uint32_t> narrow_;
  std::vector<uint64_t> wide_;
};

}  // namespace reader
