// An output text file opened for appending without newline translation,
// written through one large buffer.
#pragma once

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

class OutputFile {
 public:
  OutputFile() = default;
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;
  ~OutputFile() { Close(); }

  // Opens `path` in mode "ab". False with the reason in error() on failure.
  bool Open(const std::string& path);
  // Writes to a duplicate of the process's standard output, so that closing
  // this file leaves the process's own standard output open for the next
  // sheet. False with the reason in error() when there is none.
  bool OpenStandardOutput();
  bool isOpen() const { return file_ != nullptr; }

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
  // True once a write has failed: everything after it is dropped, so the
  // writer stops instead of rendering text that can no longer be stored.
  bool failed() const { return failed_; }
  const std::string& error() const { return error_; }

  static constexpr size_t kBufferSize = size_t(1) << 20;

 private:
  void Flush();
  void AppendSlow(const char* data, size_t n);

  std::FILE* file_ = nullptr;
  std::unique_ptr<char[]> buffer_;
  size_t used_ = 0;
  bool failed_ = false;
  std::string error_;
};
