#include "reader/core/text_encoding.h"

#include <algorithm>
#include <cstring>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#ifdef _WIN32
#include <windows.h>
#else
#include <iconv.h>

#include <cerrno>
#endif

namespace reader {

namespace {

struct SingleByteTable {
  int codePage;
  uint16_t high[128];
};

const SingleByteTable kTables[] = {
#include "reader/core/code_page_tables.inc"
};

const uint16_t* FindTable(int codePage) {
  for (const SingleByteTable& t : kTables)
    if (t.codePage == codePage) return t.high;
  return nullptr;
}

bool IsDoubleByte(int codePage) {
  return codePage == 932 || codePage == 936 || codePage == 949 || codePage == 950 || codePage == 1361;
}

#ifndef _WIN32
const char* IconvName(int codePage) {
  switch (codePage) {
    case 932: return "CP932";
    case 936: return "CP936";
    case 949: return "CP949";
    case 950: return "CP950";
    case 1361: return "JOHAB";
    default: return nullptr;
  }
}
#endif

// Double-byte text through the platform's converter; bytes it cannot
// convert become U+FFFD so the rest of the text survives.
void AppendDoubleByte(std::string& out, const uint8_t* p, size_t n, int codePage) {
#ifdef _WIN32
  if (n > 0x3FFFFFFF) n = 0x3FFFFFFF;
  int wide = MultiByteToWideChar(static_cast<UINT>(codePage), 0, reinterpret_cast<const char*>(p),
                                 static_cast<int>(n), nullptr, 0);
  if (wide <= 0) {
    AppendLatin1(out, p, n);
    return;
  }
  std::wstring w(static_cast<size_t>(wide), L'\0');
  MultiByteToWideChar(static_cast<UINT>(codePage), 0, reinterpret_cast<const char*>(p), static_cast<int>(n),
                      w.data(), wide);
  for (size_t i = 0; i < w.size(); ++i) {
    uint32_t c = static_cast<uint16_t>(w[i]);
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < w.size()) {
      uint32_t d = static_cast<uint16_t>(w[i + 1]);
      if (d >= 0xDC00 && d < 0xE000) {
        c = 0x10000 + ((c - 0xD800) << 10) + (d - 0xDC00);
        ++i;
      }
    }
    AppendUtf8(out, c);
  }
#else
  iconv_t cd = iconv_open("UTF-8", IconvName(codePage));
  if (cd == reinterpret_cast<iconv_t>(-1)) {
    AppendLatin1(out, p, n);
    return;
  }
  char buffer[1024];
  char* in = reinterpret_cast<char*>(const_cast<uint8_t*>(p));
  size_t inLeft = n;
  while (inLeft > 0) {
    char* o = buffer;
    size_t outLeft = sizeof buffer;
    size_t r = iconv(cd, &in, &inLeft, &o, &outLeft);
    out.append(buffer, static_cast<size_t>(o - buffer));
    if (r == static_cast<size_t>(-1) && errno != E2BIG) {
      AppendUtf8(out, 0xFFFD);  // an invalid or cut-off sequence: skip one byte
      ++in;
      --inLeft;
    }
  }
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  iconv_close(cd);
#endif
}

}  // namespace

void AppendUtf8(std::string& out, uint32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
    return;
  }
  if ((cp >= 0xD800 && cp < 0xE000) || cp > 0x10FFFF) cp = 0xFFFD;
  char b[4];
  size_t n;
  if (cp < 0x800) {
    b[0] = static_cast<char>(0xC0 | (cp >> 6));
    b[1] = static_cast<char>(0x80 | (cp & 0x3F));
    n = 2;
  } else if (cp < 0x10000) {
    b[0] = static_cast<char>(0xE0 | (cp >> 12));
    b[1] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    b[2] = static_cast<char>(0x80 | (cp & 0x3F));
    n = 3;
  } else {
    b[0] = static_cast<char>(0xF0 | (cp >> 18));
    b[1] = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    b[2] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    b[3] = static_cast<char>(0x80 | (cp & 0x3F));
    n = 4;
  }
  out.append(b, n);
}

void AppendUtf16Le(std::string& out, const uint8_t* p, size_t chars) {
  // The ASCII run at the start (often the whole text) is narrowed as it is
  // checked, eight code units at a time where SSE2 is at hand, into room
  // made for all of them; what is not used is cut off again.
  const size_t at = out.size();
  out.resize(at + chars);
  char* to = out.data() + at;
  size_t ascii = 0;
#ifdef __SSE2__
  const __m128i high = _mm_set1_epi16(static_cast<short>(0xFF80));
  for (; chars - ascii >= 8; ascii += 8) {
    __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 2 * ascii));
    if (_mm_movemask_epi8(_mm_cmpeq_epi16(_mm_and_si128(units, high), _mm_setzero_si128())) != 0xFFFF) break;
    _mm_storel_epi64(reinterpret_cast<__m128i*>(to + ascii), _mm_packus_epi16(units, units));
  }
#endif
  for (; chars - ascii >= 4; ascii += 4) {
    uint64_t w;
    std::memcpy(&w, p + 2 * ascii, 8);
    if (w & 0xFF80FF80FF80FF80u) break;
    for (size_t i = 0; i < 4; ++i) to[ascii + i] = static_cast<char>(p[2 * (ascii + i)]);
  }
  for (; ascii < chars && p[2 * ascii] < 0x80 && p[2 * ascii + 1] == 0; ++ascii)
    to[ascii] = static_cast<char>(p[2 * ascii]);
  out.resize(at + ascii);
  for (size_t i = ascii; i < chars; ++i) {
    uint32_t c = static_cast<uint32_t>(p[2 * i] | (p[2 * i + 1] << 8));
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
      continue;
    }
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < chars) {
      uint32_t d = static_cast<uint32_t>(p[2 * i + 2] | (p[2 * i + 3] << 8));
      if (d >= 0xDC00 && d < 0xE000) {
        c = 0x10000 + ((c - 0xD800) << 10) + (d - 0xDC00);
        ++i;
      }
    }
    AppendUtf8(out, c);
  }
}

void AppendLatin1(std::string& out, const uint8_t* p, size_t n) {
  // The ASCII run at the start (often the whole text) is the same in UTF-8.
  size_t ascii = 0;
  while (ascii < n && p[ascii] < 0x80) ++ascii;
  out.append(reinterpret_cast<const char*>(p), ascii);
  if (ascii == n) return;
  out.reserve(out.size() + 2 * (n - ascii));
  for (size_t i = ascii; i < n; ++i) {
    uint8_t c = p[i];
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
    } else {
      out.push_back(static_cast<char>(0xC0 | (c >> 6)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
  }
}

CodePageDecoder::CodePageDecoder(int codePage) : codePage_(codePage) {
  // BIFF2 to BIFF4 name the Mac and Windows character sets with their own
  // numbers ([MS-XLS] 2.4.52): 32768 is Mac Roman, 32769 Windows-1252.
  int cp = codePage;
  if (cp == 32768) cp = 10000;
  if (cp == 32769 || cp == 0) cp = 1252;
  if (cp == 367 || cp == 20127 || cp == 28591 || cp == 1200) {
    // ASCII, ISO-8859-1, and UTF-16 (whose 8-bit strings are Latin-1).
    high_ = nullptr;
    return;
  }
  if (IsDoubleByte(cp)) {
    doubleByte_ = true;
    codePage_ = cp;
    return;
  }
  high_ = FindTable(cp);
  if (!high_) {
    exact_ = false;
    high_ = FindTable(1252);
  }
}

void CodePageDecoder::Append(std::string& out, const uint8_t* p, size_t n) const {
  size_t ascii = 0;
  while (ascii < n && p[ascii] < 0x80) ++ascii;
  out.append(reinterpret_cast<const char*>(p), ascii);
  if (ascii == n) return;
  if (doubleByte_) {
    AppendDoubleByte(out, p + ascii, n - ascii, codePage_);
    return;
  }
  if (!high_) {
    AppendLatin1(out, p + ascii, n - ascii);
    return;
  }
  for (size_t i = ascii; i < n; ++i) {
    uint8_t c = p[i];
    if (c < 0x80) out.push_back(static_cast<char>(c));
    else AppendUtf8(out, high_[c - 0x80]);
  }
}

}  // namespace reader
