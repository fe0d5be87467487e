#include "output_file.h"

#include <fcntl.h>

#include <cerrno>
#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

bool OutputFile::Open(const std::string& path) {
  Close();
  failed_ = false;
  error_.clear();
  file_ = std::fopen(path.c_str(), "ab");
  if (!file_) {
    error_ = std::strerror(errno);
    return false;
  }
  // The file's own buffer would only copy our buffer once more.
  std::setvbuf(file_, nullptr, _IONBF, 0);
  if (!buffer_) buffer_.reset(new char[kBufferSize]);
  used_ = 0;
  return true;
}

bool OutputFile::OpenStandardOutput() {
  Close();
  failed_ = false;
  error_.clear();
#ifdef _WIN32
  int fd = _dup(_fileno(stdout));
  if (fd >= 0) {
    _setmode(fd, _O_BINARY);  // the record delimiter is written as given
    file_ = _fdopen(fd, "wb");
  }
#else
  // "w", not "a": append mode would set O_APPEND on the descriptor the
  // process shares with whoever started it.
  int fd = ::dup(STDOUT_FILENO);
  if (fd >= 0) file_ = ::fdopen(fd, "wb");
#endif
  if (!file_ && fd >= 0) {
    int error = errno;
#ifdef _WIN32
    _close(fd);
#else
    ::close(fd);
#endif
    errno = error;
  }
  if (!file_) {
    error_ = std::strerror(errno);
    return false;
  }
  std::setvbuf(file_, nullptr, _IONBF, 0);
  if (!buffer_) buffer_.reset(new char[kBufferSize]);
  used_ = 0;
  return true;
}

void OutputFile::Flush() {
  if (!file_ || used_ == 0) return;
  if (!failed_ && std::fwrite(buffer_.get(), 1, used_, file_) != used_) {
    failed_ = true;
    error_ = std::strerror(errno);
  }
  used_ = 0;
}

void OutputFile::AppendSlow(const char* data, size_t n) {
  while (n > 0) {
    if (used_ == kBufferSize) Flush();
    size_t take = kBufferSize - used_ < n ? kBufferSize - used_ : n;
    std::memcpy(buffer_.get() + used_, data, take);
    used_ += take;
    data += take;
    n -= take;
  }
}

void OutputFile::Repeat(std::string_view unit, size_t count) {
  const size_t size = unit.size();
  if (size == 0 || count == 0) return;
  if (size > kBufferSize) {  // never for delimiters, which are short
    while (count-- > 0 && !failed_) AppendSlow(unit.data(), size);
    return;
  }
  while (count > 0 && !failed_) {
    size_t fit = (kBufferSize - used_) / size;
    if (fit == 0) {
      Flush();
      continue;
    }
    size_t take = fit < count ? fit : count;
    char* to = buffer_.get() + used_;
    const size_t total = take * size;
    if (size == 1) {
      std::memset(to, unit[0], total);
    } else {
      // One copy of the unit, then the filled part doubled until done.
      std::memcpy(to, unit.data(), size);
      for (size_t done = size; done < total;) {
        size_t copy = done < total - done ? done : total - done;
        std::memcpy(to + done, to, copy);
        done += copy;
      }
    }
    used_ += total;
    count -= take;
  }
}

bool OutputFile::Close() {
  if (!file_) return !failed_;
  Flush();
  if (std::fclose(file_) != 0 && !failed_) {
    failed_ = true;
    error_ = std::strerror(errno);
  }
  file_ = nullptr;
  return !failed_;
}
