// Bounds checks for everything read from a file.
//
// Every length, offset, count and index that comes from a workbook passes one
// of these before it is used, and nothing is allocated from a size that a
// file declares without a cap.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>

namespace reader {

// True when [offset, offset + length) lies inside a buffer of `size` bytes;
// safe against overflow of offset + length.
constexpr bool RangeFits(uint64_t offset, uint64_t length, uint64_t size) {
  return offset <= size && length <= size - offset;
}

// True when a + b does not overflow, with the sum in *sum.
constexpr bool CheckedAdd(uint64_t a, uint64_t b, uint64_t* sum) {
  if (a > std::numeric_limits<uint64_t>::max() - b) return false;
  *sum = a + b;
  return true;
}

// True when a * b does not overflow, with the product in *product.
constexpr bool CheckedMul(uint64_t a, uint64_t b, uint64_t* product) {
  if (a != 0 && b > std::numeric_limits<uint64_t>::max() / a) return false;
  *product = a * b;
  return true;
}

// A count declared by a file, limited to what can be true: a count of items
// of at least `minItemBytes` each can never exceed the bytes available.
// Use the result only to reserve; always stop at the real end of the data.
constexpr size_t CappedReserve(uint64_t declared, uint64_t bytesAvailable, uint64_t minItemBytes,
                               uint64_t hardCap = uint64_t(1) << 24) {
  uint64_t possible = minItemBytes ? bytesAvailable / minItemBytes : bytesAvailable;
  uint64_t n = declared < possible ? declared : possible;
  return static_cast<size_t>(n < hardCap ? n : hardCap);
}

// Little-endian reads from a buffer the caller has checked with RangeFits.
inline uint16_t ReadU16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t ReadU32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline uint64_t ReadU64(const uint8_t* p) {
  return static_cast<uint64_t>(ReadU32(p)) | (static_cast<uint64_t>(ReadU32(p + 4)) << 32);
}

}  // namespace reader
