// The string pool and the byte buffer beneath it: content survives every
// growth, including the move from the heap to a mapping of its own.
#include <gtest/gtest.h>

#include <string>

#include "reader/core/byte_buffer.h"
#include "reader/core/string_pool.h"

namespace {

// A deterministic text of `n` bytes that differs with `seed`.
std::string Text(size_t n, unsigned seed) {
  std::string s(n, ' ');
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>('a' + (i * 7 + seed) % 26);
  return s;
}

TEST(ByteBuffer, KeepsItsContentThroughGrowthTruncationAndMoves) {
  reader::ByteBuffer b;
  std::string expected;
  // Small appends take the buffer from the heap past the point where it is
  // mapped, and then through several remappings.
  for (unsigned i = 0; expected.size() < (size_t(3) << 20); ++i) {
    std::string piece = Text(1 + i % 5000, i);
    b.Append(piece);
    expected += piece;
  }
  ASSERT_EQ(b.size(), expected.size());
  EXPECT_EQ(std::string(b.data(), b.size()), expected);

  b.Truncate(100);
  b.Truncate(1000);  // past the end: ignored
  ASSERT_EQ(b.size(), 100u);
  b.Append("tail");
  EXPECT_EQ(std::string(b.data(), b.size()), expected.substr(0, 100) + "tail");

  reader::ByteBuffer moved(std::move(b));
  EXPECT_EQ(b.size(), 0u);
  EXPECT_EQ(std::string(moved.data(), moved.size()), expected.substr(0, 100) + "tail");
  reader::ByteBuffer other;
  other.Append("x");
  other = std::move(moved);
  EXPECT_EQ(other.size(), 104u);

  other.Release();
  EXPECT_EQ(other.size(), 0u);
  other.Append("again");
  EXPECT_EQ(std::string(other.data(), other.size()), "again");
}

TEST(StringPool, StringsBuiltWholeAndInPiecesComeBackAcrossGrowth) {
  reader::StringPool pool;
  std::vector<std::string> expected;
  for (unsigned i = 0; i < 3000; ++i) {
    std::string s = Text(i % 3 == 0 ? 0 : 200 + i % 1500, i);
    if (i % 2) {
      EXPECT_EQ(pool.Add(s), i);
    } else {
      // A string built in two pieces after a discarded attempt.
      pool.Append("thrown away");
      pool.DiscardOpen();
      pool.Append(std::string_view(s).substr(0, s.size() / 2));
      pool.Append(std::string_view(s).substr(s.size() / 2));
      EXPECT_EQ(pool.Close(), i);
    }
    expected.push_back(s);
  }
  ASSERT_EQ(pool.size(), expected.size());
  for (uint32_t i = 0; i < expected.size(); ++i) ASSERT_EQ(pool.Get(i), expected[i]) << i;
  EXPECT_EQ(pool.Get(3000), "");  // past the end

  pool.Reset();
  EXPECT_TRUE(pool.empty());
  EXPECT_EQ(pool.Add("one"), 0u);
  EXPECT_EQ(pool.Get(0), "one");
  pool.Clear();
  EXPECT_TRUE(pool.empty());
  EXPECT_EQ(pool.Add(""), 0u);
  EXPECT_EQ(pool.Get(0), "");
}

}  // namespace
