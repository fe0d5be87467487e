// The read-ahead stream's hand-over between its two threads: every length
// of stream around the block and batch boundaries, read by copy and by
// borrowed blocks, with a reader that keeps the producer waiting and one
// that waits for the producer.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "reader/container/byte_stream.h"

namespace {

constexpr size_t kBlock = 4096;

std::string Bytes(size_t n) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>('a' + (i * 7 + i / 251) % 26);
  return s;
}

// A stream that gives a few bytes at a time and pauses now and then, so
// that the reader catches up with the producer and sleeps.
class SlowStream final : public reader::ByteStream {
 public:
  explicit SlowStream(std::string_view bytes) : bytes_(bytes) {}
  reader::Status Read(char* buffer, size_t capacity, size_t* got) override {
    size_t n = std::min({capacity, bytes_.size() - pos_, size_t(1500)});
    if (n) std::memcpy(buffer, bytes_.data() + pos_, n);
    pos_ += n;
    *got = n;
    if (++calls_ % 4 == 0) std::this_thread::sleep_for(std::chrono::microseconds(200));
    return reader::Status::Ok();
  }

 private:
  std::string_view bytes_;
  size_t pos_ = 0;
  size_t calls_ = 0;
};

std::unique_ptr<reader::ByteStream> Inner(const std::string& bytes, bool slowProducer) {
  if (slowProducer) return std::make_unique<SlowStream>(bytes);
  return std::make_unique<reader::MemoryStream>(bytes, 3000);
}

// Reads the whole stream by copy; a slow reader pauses first, so the
// producer fills every block and sleeps until the reader frees some.
std::string ReadByCopy(reader::ByteStream& s, bool slowReader) {
  std::string out, buffer(1000, '\0');
  for (size_t step = 0;; ++step) {
    if (slowReader && step % 8 == 0) std::this_thread::sleep_for(std::chrono::microseconds(300));
    size_t got = 0;
    EXPECT_TRUE(s.Read(&buffer[0], buffer.size(), &got).ok());
    if (got == 0) return out;
    out.append(buffer, 0, got);
  }
}

// Reads the whole stream through borrowed blocks, keeping a few bytes of
// each for the next, as a record reader does with a record cut by a block's
// end; what cannot be borrowed is read by copy.
std::string ReadByBorrowing(reader::ByteStream& s, bool slowReader) {
  std::string out, keep;
  for (size_t step = 0;; ++step) {
    if (slowReader && step % 2 == 0) std::this_thread::sleep_for(std::chrono::microseconds(300));
    const char* begin = nullptr;
    size_t size = 0;
    if (!s.LendNext(keep, &begin, &size)) break;
    EXPECT_GE(size, keep.size());
    EXPECT_EQ(std::string_view(begin, keep.size()), keep);
    // The bytes kept last time open the window again; the last few of it
    // are kept now.
    size_t kept = std::min<size_t>(size, 17);
    out.append(begin, size - kept);
    keep.assign(begin + size - kept, kept);
  }
  out += keep;
  out += ReadByCopy(s, false);
  return out;
}

TEST(ReadAhead, EveryLengthAroundBlocksAndBatchesArrivesWhole) {
  for (size_t blocks = 0; blocks <= 7; ++blocks) {
    for (size_t extra : {size_t(0), size_t(1), kBlock - 1}) {
      if (blocks == 0 && extra == kBlock - 1) continue;
      const std::string bytes = Bytes(blocks * kBlock + extra);
      for (int mode = 0; mode < 4; ++mode) {
        const bool slowProducer = mode & 1, slowReader = mode & 2;
        reader::ReadAheadStream byCopy(Inner(bytes, slowProducer), kBlock);
        ASSERT_TRUE(ReadByCopy(byCopy, slowReader) == bytes) << bytes.size() << " mode " << mode;
        reader::ReadAheadStream byBorrowing(Inner(bytes, slowProducer), kBlock);
        ASSERT_TRUE(ReadByBorrowing(byBorrowing, slowReader) == bytes) << bytes.size() << " mode " << mode;
      }
    }
  }
}

// A reader that stops early, while the producer sleeps on a full queue or
// is still filling, ends the producer's thread when it goes.
TEST(ReadAhead, ReaderLeavingEarlyEndsTheProducer) {
  const std::string bytes = Bytes(20 * kBlock);
  for (bool slowProducer : {false, true}) {
    for (size_t read : {size_t(0), size_t(1), kBlock, 3 * kBlock}) {
      auto s = std::make_unique<reader::ReadAheadStream>(Inner(bytes, slowProducer), kBlock);
      std::string buffer(read + 1, '\0');
      size_t done = 0;
      while (done < read) {
        size_t got = 0;
        ASSERT_TRUE(s->Read(&buffer[done], read - done, &got).ok());
        ASSERT_GT(got, 0u);
        done += got;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
      s.reset();
    }
  }
}

// A stream whose bytes after the first block come only once the reader has
// had some: it waits (at most a few seconds) and notes whether it had to
// give up.
class HeldAfterFirstBlock final : public reader::ByteStream {
 public:
  explicit HeldAfterFirstBlock(std::string_view bytes) : bytes_(bytes) {}
  reader::Status Read(char* buffer, size_t capacity, size_t* got) override {
    if (pos_ >= kBlock) {
      std::unique_lock<std::mutex> lock(mutex_);
      if (!changed_.wait_for(lock, std::chrono::seconds(5), [&] { return readerHasBytes_; })) gaveUp_ = true;
    }
    size_t n = std::min({capacity, bytes_.size() - pos_, kBlock - pos_ % kBlock});
    std::memcpy(buffer, bytes_.data() + pos_, n);
    pos_ += n;
    *got = n;
    return reader::Status::Ok();
  }
  void ReaderHasBytes() {
    std::lock_guard<std::mutex> lock(mutex_);
    readerHasBytes_ = true;
    changed_.notify_all();
  }
  bool gaveUp() {
    std::lock_guard<std::mutex> lock(mutex_);
    return gaveUp_;
  }

 private:
  std::string_view bytes_;
  size_t pos_ = 0;
  std::mutex mutex_;
  std::condition_variable changed_;
  bool readerHasBytes_ = false;
  bool gaveUp_ = false;
};

// A stream's first block goes to the reader as soon as it is filled: the
// reader starts without waiting for a second one, as it does after
// catching up with the producer later on (a workbook of many sheets would
// otherwise wait at the start of each).
TEST(ReadAhead, FirstBlockReachesTheReaderAlone) {
  const std::string bytes = Bytes(6 * kBlock);
  auto inner = std::make_unique<HeldAfterFirstBlock>(bytes);
  HeldAfterFirstBlock& held = *inner;
  reader::ReadAheadStream s(std::move(inner), kBlock);
  std::string buffer(100, '\0');
  size_t got = 0;
  ASSERT_TRUE(s.Read(&buffer[0], buffer.size(), &got).ok());
  held.ReaderHasBytes();
  EXPECT_FALSE(held.gaveUp());
  std::string out(buffer, 0, got);
  out += ReadByCopy(s, false);
  EXPECT_TRUE(out == bytes);
}

}  // namespace
