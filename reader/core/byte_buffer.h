// A growable byte buffer whose growth does not hold two copies at once.
//
// A std::vector that doubles keeps the old array while it copies into the
// new one, so a pool of 10 MB peaks at 30 MB of address space and 24 MB of
// touched memory. Here a buffer past a few hundred kilobytes lives in its
// own mapping (Linux), which grows in place or is moved by the kernel's
// page tables, never copied; memory is touched only as bytes are written,
// so the process holds what the buffer holds. Elsewhere, and for small
// buffers, it grows through realloc.
#pragma once

#include <cstddef>
#include <cstring>
#include <string_view>

namespace reader {

class ByteBuffer {
 public:
  ByteBuffer() = default;
  ByteBuffer(const ByteBuffer&) = delete;
  ByteBuffer& operator=(const ByteBuffer&) = delete;
  ByteBuffer(ByteBuffer&& other) noexcept
      : data_(other.data_), size_(other.size_), capacity_(other.capacity_), mapped_(other.mapped_) {
    other.data_ = nullptr;
    other.size_ = other.capacity_ = 0;
    other.mapped_ = false;
  }
  ByteBuffer& operator=(ByteBuffer&& other) noexcept {
    if (this != &other) {
      Release();
      data_ = other.data_;
      size_ = other.size_;
      capacity_ = other.capacity_;
      mapped_ = other.mapped_;
      other.data_ = nullptr;
      other.size_ = other.capacity_ = 0;
      other.mapped_ = false;
    }
    return *this;
  }
  ~ByteBuffer() { Release(); }

  char* data() { return data_; }
  const char* data() const { return data_; }
  size_t size() const { return size_; }
  size_t capacity() const { return capacity_; }

  void Append(const char* bytes, size_t count) {
    if (count > capacity_ - size_) Grow(count);
    if (count) std::memcpy(data_ + size_, bytes, count);
    size_ += count;
  }
  void Append(std::string_view text) { Append(text.data(), text.size()); }
  // Shortens the content; a size past the end is ignored.
  void Truncate(size_t size) {
    if (size < size_) size_ = size;
  }
  void Clear() { size_ = 0; }
  // Makes room for at least `bytes` in all without a further move.
  void Reserve(size_t bytes) {
    if (bytes > capacity_) Grow(bytes - size_);
  }
  // Empties the buffer and gives its memory back.
  void Release();

 private:
  // Makes room for `more` bytes past the content.
  void Grow(size_t more);

  char* data_ = nullptr;
  size_t size_ = 0;
  size_t capacity_ = 0;
  bool mapped_ = false;  // data_ is a mapping of its own, not a heap block
};

}  // namespace reader
