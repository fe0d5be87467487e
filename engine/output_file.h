// An output text file opened for appending without newline translation,
// written through a buffer. A full buffer is written by a thread of the
// file's own while the next one fills, so that rendering the rows and the
// system's copying of them overlap.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class OutputFile {
 public:
  OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;
  ~OutputFile();

  // Opens `path` in mode "ab". False with the reason in error() on failure.
  bool Open(const std::string& path);
  // Writes to a duplicate of the process's standard output, so that closing
  // this file leaves the process's own standard output open for the next
  // sheet. False with the reason in error() when there is none.
  bool OpenStandardOutput();
  bool isOpen() const { return file_ != nullptr; }
  // Takes the file this one replaces, still held after its deletion
  // (platform::RemoveFileHeld), and lets go of it off the rendering thread:
  // on the writing thread as it starts, before its first write, or else in
  // Close before the last write. Either way the old file's storage is free
  // before any byte of the new one is written.
  void LetGoOfReplaced(int held);

  void Append(const char* data, size_t n) {
    if (n <= kBufferSize - used_) {
      std::memcpy(buffer_.get() + used_, data, n);
      used_ += n;
    } else {
      AppendSlow(data, n);
    }
  }
  void Append(std::string_view s) { Append(s.data(), s.size()); }
  void Put(char c) {
    if (used_ == kBufferSize) Flush();
    buffer_[used_++] = c;
  }

  // Writes `unit` `count` times over: a run of empty fields is one fill of
  // the buffer, not a call per field. Stops early once a write has failed.
  void Repeat(std::string_view unit, size_t count);

  // Room for `n` bytes written in place (n <= kBufferSize): returns where
  // to write; Commit then takes the end of what was written.
  char* Room(size_t n) {
    if (n > kBufferSize - used_) Flush();
    return buffer_.get() + used_;
  }
  void Commit(char* end) { used_ = static_cast<size_t>(end - buffer_.get()); }

  // Writes what is buffered and closes the file. False when any write or the
  // close failed (a full disk); the reason is in error().
  bool Close();
  // True once a write has failed (seen at the latest one buffer later):
  // everything after it is dropped, so the writer stops instead of
  // rendering text that can no longer be stored.
  bool failed() const { return failed_; }

  // True for a regular file opened by Open: what was written can be cut
  // back or rewritten (TruncateTo, CutFromEachPiece).
  bool rewritable() const { return rewritable_; }
  // Where the next byte goes: the file's size when it was opened plus what
  // was written since.
  uint64_t Position() const { return base_ + written_ + used_; }
  // Writes what is buffered and cuts the file back to `position` (at most
  // Position()); what follows is written from there. False on failure.
  bool TruncateTo(uint64_t position);
  // Removes bytes inside what the file holds from `start` on, in one pass:
  // the file is read as a sequence of pieces (`lengths`, as many as given),
  // and from each piece `cut` bytes are removed that end `keepAtEnd` bytes
  // before the end of the piece. The file then ends after the last piece.
  class PieceLengths;
  bool CutFromEachPiece(uint64_t start, const PieceLengths& lengths, size_t cut, size_t keepAtEnd);

  // The lengths of consecutive pieces of the file (rows), a byte or two
  // each for the common lengths.
  class PieceLengths {
   public:
    void Add(uint64_t n) {
      while (n >= 0x80) {
        bytes_.push_back(static_cast<uint8_t>(n | 0x80));
        n >>= 7;
      }
      bytes_.push_back(static_cast<uint8_t>(n));
      ++count_;
    }
    size_t count() const { return count_; }
    size_t memoryBytes() const { return bytes_.capacity(); }
    // Calls f(length) for each piece in order.
    template <typename F>
    void ForEach(F&& f) const {
      uint64_t n = 0;
      unsigned shift = 0;
      for (uint8_t b : bytes_) {
        n |= static_cast<uint64_t>(b & 0x7F) << shift;
        if (b & 0x80) {
          shift += 7;
          continue;
        }
        f(n);
        n = 0;
        shift = 0;
      }
    }

   private:
    std::vector<uint8_t> bytes_;
    size_t count_ = 0;
  };
  const std::string& error() const { return error_; }

  // Small enough to stay in the processors' second-level caches between
  // its filling and its writing, and below the allocator's threshold for a
  // mapping of its own: each sheet's file reuses the memory of the one
  // before instead of faulting in fresh pages.
  static constexpr size_t kBufferSize = size_t(256) << 10;

 private:
  void Flush();
  // Waits for the buffer being written, and takes over its failure.
  void Settle();
  void AppendSlow(const char* data, size_t n);
  struct Writer;

  std::string path_;
  bool rewritable_ = false;
  uint64_t base_ = 0;     // the file's size when opened (or after a cut)
  uint64_t written_ = 0;  // bytes written since
  std::FILE* file_ = nullptr;
  std::unique_ptr<char[]> buffer_;  // the one being filled
  std::unique_ptr<char[]> spare_;   // the one being written, or free
  std::unique_ptr<Writer> writer_;  // started by the first full buffer
  int replaced_ = -1;               // the held file this one replaces
  size_t used_ = 0;
  bool failed_ = false;
  std::string error_;
};
