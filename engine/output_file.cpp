#include "output_file.h"

#include "../platform/platform.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>
#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace {

bool Seek(std::FILE* f, uint64_t position) {
#ifdef _WIN32
  return _fseeki64(f, static_cast<long long>(position), SEEK_SET) == 0;
#else
  return fseeko(f, static_cast<off_t>(position), SEEK_SET) == 0;
#endif
}

bool SeekEnd(std::FILE* f, uint64_t* position) {
#ifdef _WIN32
  if (_fseeki64(f, 0, SEEK_END) != 0) return false;
  long long at = _ftelli64(f);
#else
  if (fseeko(f, 0, SEEK_END) != 0) return false;
  off_t at = ftello(f);
#endif
  if (at < 0) return false;
  *position = static_cast<uint64_t>(at);
  return true;
}

// A regular file, whose bytes can be cut and rewritten (not a pipe or a
// device).
bool IsRegularFile(std::FILE* f) {
#ifdef _WIN32
  struct _stat64 st;
  return _fstat64(_fileno(f), &st) == 0 && (st.st_mode & _S_IFMT) == _S_IFREG;
#else
  struct stat st;
  return fstat(fileno(f), &st) == 0 && S_ISREG(st.st_mode);
#endif
}

bool Truncate(std::FILE* f, uint64_t size) {
  std::fflush(f);
#ifdef _WIN32
  return _chsize_s(_fileno(f), static_cast<long long>(size)) == 0;
#else
  return ftruncate(fileno(f), static_cast<off_t>(size)) == 0;
#endif
}

}  // namespace

// Writes one buffer at a time to the file on a thread of its own. The file
// is used by this thread alone while a buffer is in hand.
struct OutputFile::Writer {
  Writer(std::FILE* f, int replacedFile) : file(f), replaced(replacedFile), thread([this] { Run(); }) {}
  ~Writer() {
    {
      std::lock_guard<std::mutex> lock(mutex);
      quit = true;
    }
    changed.notify_all();
    thread.join();
  }

  void Post(const char* bytes, size_t n) {
    {
      std::lock_guard<std::mutex> lock(mutex);
      data = bytes;
      size = n;
      busy = true;
    }
    changed.notify_all();
  }
  // False when a write failed; `error` then holds its errno.
  bool Wait() {
    std::unique_lock<std::mutex> lock(mutex);
    changed.wait(lock, [&] { return !busy; });
    return ok;
  }

  void Run() {
    platform::CloseHeldFile(replaced);
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
      changed.wait(lock, [&] { return busy || quit; });
      if (!busy) return;  // a buffer in hand is written before quitting
      lock.unlock();
      bool written = std::fwrite(data, 1, size, file) == size;
      int code = errno;
      lock.lock();
      if (!written && ok) {
        ok = false;
        error = code;
      }
      busy = false;
      changed.notify_all();
    }
  }

  std::FILE* const file;
  const int replaced;  // let go of as the thread starts
  std::mutex mutex;
  std::condition_variable changed;
  const char* data = nullptr;
  size_t size = 0;
  bool busy = false;
  bool quit = false;
  bool ok = true;
  int error = 0;
  std::thread thread;  // last: started once the rest is set up
};

OutputFile::OutputFile() = default;
OutputFile::~OutputFile() { Close(); }

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
  path_ = path;
  written_ = 0;
  rewritable_ = IsRegularFile(file_) && SeekEnd(file_, &base_);
  if (!rewritable_) base_ = 0;
  if (!buffer_) buffer_.reset(new char[kBufferSize]);
  used_ = 0;
  return true;
}

bool OutputFile::OpenStandardOutput() {
  Close();
  failed_ = false;
  error_.clear();
  rewritable_ = false;
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
  Settle();
  if (!failed_) {
    if (!writer_) {
      try {
        if (!spare_) spare_.reset(new char[kBufferSize]);
        writer_ = std::make_unique<Writer>(file_, replaced_);
        replaced_ = -1;
      } catch (const std::system_error&) {
        // No thread to be had: written here.
      }
      if (!writer_) {
        platform::CloseHeldFile(replaced_);
        replaced_ = -1;
      }
    }
    if (writer_) {
      writer_->Post(buffer_.get(), used_);
      std::swap(buffer_, spare_);
    } else if (std::fwrite(buffer_.get(), 1, used_, file_) != used_) {
      failed_ = true;
      error_ = std::strerror(errno);
    }
  }
  written_ += used_;
  used_ = 0;
}

void OutputFile::Settle() {
  if (writer_ && !writer_->Wait() && !failed_) {
    failed_ = true;
    error_ = std::strerror(writer_->error);
  }
}

bool OutputFile::TruncateTo(uint64_t position) {
  if (!file_ || failed_ || !rewritable_) return false;
  Flush();
  Settle();
  if (failed_) return false;
  if (position > Position() || !Truncate(file_, position)) {
    failed_ = true;
    error_ = std::strerror(errno);
    return false;
  }
  base_ = position;
  written_ = 0;
  return true;
}

bool OutputFile::CutFromEachPiece(uint64_t start, const PieceLengths& lengths, size_t cut, size_t keepAtEnd) {
  if (!file_ || failed_ || !rewritable_) return false;
  Flush();
  Settle();
  if (failed_) return false;
  // A second handle reads and writes in place: what is kept moves towards
  // the start, so the writing never overtakes the reading.
  std::FILE* f = std::fopen(path_.c_str(), "r+b");
  if (!f) {
    failed_ = true;
    error_ = std::strerror(errno);
    return false;
  }
  std::setvbuf(f, nullptr, _IONBF, 0);
  std::unique_ptr<char[]> in(new char[kBufferSize]);
  uint64_t readAt = start, writeAt = start;
  size_t have = 0, next = 0;  // bytes in `in`, and the next one to take
  bool ok = true;
  // What is kept gathers in the output buffer and goes out in large writes,
  // never past what was read.
  auto writeOut = [&]() {
    if (used_ == 0 || !ok) return;
    ok = Seek(f, writeAt) && std::fwrite(buffer_.get(), 1, used_, f) == used_;
    writeAt += used_;
    used_ = 0;
  };
  // Takes `n` bytes from the reading position, keeping them or dropping them.
  auto take = [&](uint64_t n, bool keep) {
    while (n > 0 && ok) {
      if (next == have) {
        ok = Seek(f, readAt);
        have = ok ? std::fread(in.get(), 1, kBufferSize, f) : 0;
        next = 0;
        if (have == 0) {
          ok = false;
          break;
        }
        readAt += have;
      }
      size_t step = have - next < n ? have - next : static_cast<size_t>(n);
      if (keep) {
        if (step > kBufferSize - used_) step = kBufferSize - used_;
        std::memcpy(buffer_.get() + used_, in.get() + next, step);
        used_ += step;
        if (used_ == kBufferSize) writeOut();
      }
      next += step;
      n -= step;
    }
  };
  lengths.ForEach([&](uint64_t length) {
    uint64_t tail = cut + keepAtEnd;
    if (length < tail) {
      ok = false;  // not a piece of the expected shape: leave the rest alone
      return;
    }
    take(length - tail, true);
    take(cut, false);
    take(keepAtEnd, true);
  });
  writeOut();
  used_ = 0;
  ok = ok && Truncate(f, writeAt);
  if (std::fclose(f) != 0) ok = false;
  if (!ok) {
    failed_ = true;
    error_ = std::strerror(errno);
    return false;
  }
  base_ = writeAt;
  written_ = 0;
  return true;
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

void OutputFile::LetGoOfReplaced(int held) {
  platform::CloseHeldFile(replaced_);
  replaced_ = held;
}

bool OutputFile::Close() {
  platform::CloseHeldFile(replaced_);
  replaced_ = -1;
  if (!file_) return !failed_;
  Flush();
  Settle();
  writer_.reset();
  if (std::fclose(file_) != 0 && !failed_) {
    failed_ = true;
    error_ = std::strerror(errno);
  }
  file_ = nullptr;
  return !failed_;
}
