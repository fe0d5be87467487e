// Finding the first of a few bytes in a text, the inner loop of the XML
// readers: sixteen bytes at a time where SSE2 is at hand, else eight.
#pragma once

#include <cstdint>
#include <cstring>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace reader {

// Whether some byte of the word is `c` (exact: a zero byte of w ^ c*8).
inline bool HasByte(uint64_t w, char c) {
  uint64_t x = w ^ (0x0101010101010101u * static_cast<uint8_t>(c));
  return ((x - 0x0101010101010101u) & ~x & 0x8080808080808080u) != 0;
}

#ifdef __SSE2__
// Of the 16 bytes at `at`, one bit for each that is a, b, c or d (each
// given in all lanes), the first byte in the lowest bit.
inline unsigned AnyOfMask16(const char* at, __m128i a, __m128i b, __m128i c, __m128i d) {
  __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
  __m128i hit = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(x, a), _mm_cmpeq_epi8(x, b)),
                             _mm_or_si128(_mm_cmpeq_epi8(x, c), _mm_cmpeq_epi8(x, d)));
  return static_cast<unsigned>(_mm_movemask_epi8(hit));
}
#endif

// The first byte in [p, end) that is a, b, c or d (name one twice to look
// for fewer), or end.
inline const char* FindAnyOf(const char* p, const char* end, char a, char b, char c, char d) {
#ifdef __SSE2__
  const __m128i va = _mm_set1_epi8(a), vb = _mm_set1_epi8(b), vc = _mm_set1_epi8(c), vd = _mm_set1_epi8(d);
  for (; end - p >= 16; p += 16)
    if (unsigned mask = AnyOfMask16(p, va, vb, vc, vd)) return p + __builtin_ctz(mask);
#endif
  for (; end - p >= 8; p += 8) {
    uint64_t w;
    std::memcpy(&w, p, 8);
    if (HasByte(w, a) || HasByte(w, b) || HasByte(w, c) || HasByte(w, d)) break;
  }
  while (p < end && *p != a && *p != b && *p != c && *p != d) ++p;
  return p;
}

}  // namespace reader
