// Text decoding to UTF-8: UTF-16LE, Latin-1 and the 8-bit code pages of
// BIFF2 to BIFF7 workbooks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace reader {

// ASCII-only case folding: part, stream and entry names and format keywords
// compare without regard to case, and nothing outside A-Z is touched.
inline char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

inline bool EqualsAsciiNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  return true;
}

inline bool EndsWithAsciiNoCase(std::string_view s, std::string_view suffix) {
  return s.size() >= suffix.size() && EqualsAsciiNoCase(s.substr(s.size() - suffix.size()), suffix);
}

// Appends code point `cp` as UTF-8 (U+FFFD for values outside Unicode and
// for lone surrogates).
void AppendUtf8(std::string& out, uint32_t cp);

// Appends `chars` UTF-16LE code units from `p`; surrogate pairs are joined,
// lone surrogates become U+FFFD.
void AppendUtf16Le(std::string& out, const uint8_t* p, size_t chars);

// Appends `n` bytes each taken as the code point of its value (BIFF8's
// compressed strings, [MS-XLS] 2.5.293).
void AppendLatin1(std::string& out, const uint8_t* p, size_t n);

// Decodes 8-bit text in the code page a workbook's CODEPAGE record names
// ([MS-XLS] 2.4.52). Single-byte code pages use the reader's own tables, so
// the result is the same on every platform; the East Asian double-byte code
// pages (932, 936, 949, 950, 1361) use the platform's converter. Unknown
// code pages decode as Windows-1252.
class CodePageDecoder {
 public:
  explicit CodePageDecoder(int codePage = 1252);
  int codePage() const { return codePage_; }
  // True when the decoder has a table or converter for the code page it
  // was made for (false: it fell back to Windows-1252).
  bool exact() const { return exact_; }
  void Append(std::string& out, const uint8_t* p, size_t n) const;

 private:
  int codePage_;
  bool exact_ = true;
  bool doubleByte_ = false;
  const uint16_t* high_ = nullptr;  // code points of bytes 0x80..0xFF
};

}  // namespace reader
