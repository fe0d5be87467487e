// A compact list of UTF-8 strings: one byte buffer and one offset per string.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace reader {

class StringPool {
 public:
  StringPool() { offsets_.push_back(0); }

  // Appends a string and returns its index.
  uint32_t Add(std::string_view text) {
    bytes_.insert(bytes_.end(), text.begin(), text.end());
    offsets_.push_back(bytes_.size());
    return static_cast<uint32_t>(offsets_.size() - 2);
  }

  // Builds a string piece by piece (rich text runs, text split across
  // buffers): Append to the open string, then Close it to get its index.
  void Append(std::string_view piece) { bytes_.insert(bytes_.end(), piece.begin(), piece.end()); }
  uint32_t Close() {
    offsets_.push_back(bytes_.size());
    return static_cast<uint32_t>(offsets_.size() - 2);
  }
  // Drops whatever was appended since the last Close.
  void DiscardOpen() { bytes_.resize(offsets_.back()); }

  size_t size() const { return offsets_.size() - 1; }
  bool empty() const { return size() == 0; }
  std::string_view Get(uint32_t index) const {
    if (index >= size()) return {};
    return std::string_view(bytes_.data() + offsets_[index],
                            static_cast<size_t>(offsets_[index + 1] - offsets_[index]));
  }
  size_t byteSize() const { return bytes_.size(); }
  void Reserve(size_t strings, size_t bytes) {
    offsets_.reserve(strings + 1);
    bytes_.reserve(bytes);
  }
  // Empties the pool and keeps its memory for the next strings.
  void Reset() {
    bytes_.clear();
    offsets_.resize(1);
  }
  void Clear() {
    bytes_.clear();
    bytes_.shrink_to_fit();
    offsets_.assign(1, 0);
    offsets_.shrink_to_fit();
  }

 private:
  std::vector<char> bytes_;
  std::vector<uint64_t> offsets_;
};

}  // namespace reader
