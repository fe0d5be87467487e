#include "reader/xlsx/xml_scanner.h"

#include <algorithm>
#include <cstring>

#include "reader/xlsx/byte_scan.h"

namespace reader {

namespace {

// The buffer starts small, since most parts of a package are (a workbook of
// a thousand small sheets reads a thousand parts), and grows to its full
// size while a part keeps filling it.
constexpr size_t kInitialBuffer = size_t(16) << 10;
constexpr size_t kFullBuffer = size_t(512) << 10;
constexpr size_t kRawChunk = size_t(128) << 10;

inline bool IsSpace(char c) { return c == ' ' || c == '\n' || c == '\t' || c == '\r'; }

// What ends a name inside a tag, by byte: one table lookup a byte rather
// than four or five comparisons.
enum : uint8_t { kSpace = 1, kSlashOrGt = 2, kEquals = 4 };
struct ByteClasses {
  uint8_t of[256] = {};
  constexpr ByteClasses() {
    of[uint8_t(' ')] = of[uint8_t('\n')] = of[uint8_t('\t')] = of[uint8_t('\r')] = kSpace;
    of[uint8_t('/')] = of[uint8_t('>')] = kSlashOrGt;
    of[uint8_t('=')] = kEquals;
  }
};
constexpr ByteClasses kClasses;
inline uint8_t ClassOf(char c) { return kClasses.of[static_cast<uint8_t>(c)]; }

inline std::string_view LocalName(const char* p, size_t n) {
  for (size_t i = n; i-- > 0;)
    if (p[i] == ':') return std::string_view(p + i + 1, n - i - 1);
  return std::string_view(p, n);
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// One reference starting at raw[i] == '&'; appends its text and returns
// the bytes used, or 0 when it is no reference we resolve.
size_t DecodeReference(std::string_view raw, size_t i, std::string* out) {
  // The three that text is full of, without a search for the semicolon.
  const char* p = raw.data() + i + 1;
  const size_t left = raw.size() - i - 1;
  if (left >= 3 && p[2] == ';' && p[1] == 't' && (p[0] == 'l' || p[0] == 'g')) {
    out->push_back(p[0] == 'l' ? '<' : '>');
    return 4;
  }
  if (left >= 4 && p[3] == ';' && p[0] == 'a' && p[1] == 'm' && p[2] == 'p') {
    out->push_back('&');
    return 5;
  }
  size_t semi = raw.find(';', i + 1);
  // References are short; a far semicolon belongs to other text.
  if (semi == std::string_view::npos || semi - i > 12) return 0;
  std::string_view body = raw.substr(i + 1, semi - i - 1);
  if (body.size() >= 2 && body[0] == '#') {
    uint32_t cp = 0;
    bool hex = body[1] == 'x' || body[1] == 'X';
    size_t k = hex ? 2 : 1;
    if (k == body.size()) return 0;
    for (; k < body.size(); ++k) {
      int d = hex ? HexValue(body[k]) : (body[k] >= '0' && body[k] <= '9' ? body[k] - '0' : -1);
      if (d < 0) return 0;
      cp = cp * (hex ? 16 : 10) + static_cast<uint32_t>(d);
      if (cp > 0x10FFFF) return 0;
    }
    if (cp == 0 || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    AppendUtf8(cp, out);
    return semi - i + 1;
  }
  char c = 0;
  if (body == "lt")
    c = '<';
  else if (body == "gt")
    c = '>';
  else if (body == "amp")
    c = '&';
  else if (body == "quot")
    c = '"';
  else if (body == "apos")
    c = '\'';
  else
    return 0;
  out->push_back(c);
  return semi - i + 1;
}

// The offset of the first byte from i on that needs decoding, or n.
size_t FindDecodable(const char* p, size_t i, size_t n, bool attribute) {
  // Outside attribute values only references and carriage returns count.
  const char c = attribute ? '\n' : '&', d = attribute ? '\t' : '\r';
#ifdef __SSE2__
  // A text of a block or more: its rest after the whole blocks is looked at
  // in the block that ends with the text (the bytes before i left out), not
  // byte by byte; texts are searched again after each reference in them.
  if (n >= 16) {
    const __m128i va = _mm_set1_epi8('&'), vb = _mm_set1_epi8('\r'), vc = _mm_set1_epi8(c), vd = _mm_set1_epi8(d);
    for (; n - i >= 16; i += 16)
      if (unsigned mask = AnyOfMask16(p + i, va, vb, vc, vd)) return i + static_cast<size_t>(__builtin_ctz(mask));
    if (i == n) return n;
    const unsigned mask = AnyOfMask16(p + n - 16, va, vb, vc, vd) >> (i - (n - 16));
    return mask ? i + static_cast<size_t>(__builtin_ctz(mask)) : n;
  }
#endif
  return static_cast<size_t>(FindAnyOf(p + i, p + n, '&', '\r', c, d) - p);
}

bool NeedsDecoding(const char* p, size_t n, bool attribute) { return FindDecodable(p, 0, n, attribute) < n; }

// "name" at q, for the short names of the cell shortcut.
inline bool SameBytes(const char* q, std::string_view name) {
  for (size_t k = 0; k < name.size(); ++k)
    if (q[k] != name[k]) return false;
  return true;
}

}  // namespace

void AppendUtf8(uint32_t cp, std::string* out) {
  if (cp < 0x80) {
    out->push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out->push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out->push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

void AppendXmlDecoded(std::string_view raw, bool attribute, std::string* out) {
  size_t i = 0;
  while (i < raw.size()) {
    // Copy the run up to the next byte that needs attention.
    size_t j = FindDecodable(raw.data(), i, raw.size(), attribute);
    out->append(raw.data() + i, j - i);
    if (j == raw.size()) break;
    char c = raw[j];
    if (c == '&') {
      size_t used = DecodeReference(raw, j, out);
      if (used == 0) {
        out->push_back('&');
        used = 1;
      }
      i = j + used;
      continue;
    }
    // Line ends: CR LF and a lone CR read as LF (XML 1.0 section 2.11);
    // in attribute values tabs and line ends then read as spaces (3.3.3).
    if (c == '\r' && j + 1 < raw.size() && raw[j + 1] == '\n') ++j;
    out->push_back(attribute ? ' ' : '\n');
    i = j + 1;
  }
}

void AppendXEscapesDecoded(std::string_view s, std::string* out) {
  auto unitAt = [&](size_t i, uint32_t* unit) {
    if (i + 7 > s.size() || s[i] != '_' || s[i + 1] != 'x' || s[i + 6] != '_') return false;
    uint32_t u = 0;
    for (size_t k = 2; k < 6; ++k) {
      int d = HexValue(s[i + k]);
      if (d < 0) return false;
      u = u * 16 + static_cast<uint32_t>(d);
    }
    *unit = u;
    return true;
  };
  size_t i = 0;
  while (i < s.size()) {
    size_t at = s.find("_x", i);
    if (at == std::string_view::npos) {
      out->append(s.data() + i, s.size() - i);
      return;
    }
    out->append(s.data() + i, at - i);
    uint32_t u = 0, low = 0;
    if (!unitAt(at, &u)) {
      out->push_back('_');
      i = at + 1;
      continue;
    }
    if (u >= 0xD800 && u <= 0xDBFF && unitAt(at + 7, &low) && low >= 0xDC00 && low <= 0xDFFF) {
      AppendUtf8(0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00), out);
      i = at + 14;
    } else if (u >= 0xD800 && u <= 0xDFFF) {
      out->append(s.data() + at, 7);  // half a pair: leave it as written
      i = at + 7;
    } else {
      AppendUtf8(u, out);
      i = at + 7;
    }
  }
}

// ---------------------------------------------------------------------------

XmlScanner::XmlScanner(ByteStream& in, std::string partName) : in_(in), part_(std::move(partName)) {
  cap_ = kInitialBuffer;
  own_.reset(new char[cap_]);
  base_ = own_.get();
  attrs_.reserve(8);
}

XmlScanner::~XmlScanner() = default;

Status XmlScanner::Error(const std::string& what) const {
  return Status::Error(part_ + ": offset " + std::to_string(offset()) + ": " + what);
}

Status XmlScanner::ReadDecoded(char* dst, size_t capacity, size_t* got) {
  *got = 0;
  if (encoding_ != Encoding::Utf16LE && encoding_ != Encoding::Utf16BE) return in_.Read(dst, capacity, got);
  bool little = encoding_ == Encoding::Utf16LE;
  std::string out;
  size_t produced = 0;
  bool innerEnd = false;
  while (produced == 0) {
    if (raw_.size() - rawPos_ < 4 && !innerEnd) {
      raw_.erase(0, rawPos_);
      rawPos_ = 0;
      size_t old = raw_.size();
      raw_.resize(old + kRawChunk);
      size_t n = 0;
      Status s = in_.Read(&raw_[old], kRawChunk, &n);
      raw_.resize(old + n);
      if (!s.ok()) return s;
      if (n == 0) innerEnd = true;
    }
    // Each UTF-16 unit becomes at most 3 bytes, a pair at most 4.
    while (rawPos_ + 2 <= raw_.size() && produced + 4 <= capacity) {
      const uint8_t* p = reinterpret_cast<const uint8_t*>(raw_.data()) + rawPos_;
      uint32_t u = little ? (p[0] | (p[1] << 8)) : ((p[0] << 8) | p[1]);
      uint32_t cp = u;
      size_t used = 2;
      if (u >= 0xD800 && u <= 0xDBFF) {
        if (rawPos_ + 4 > raw_.size()) {
          if (!innerEnd) break;  // the other half is still to come
          cp = 0xFFFD;
        } else {
          uint32_t v = little ? (p[2] | (p[3] << 8)) : ((p[2] << 8) | p[3]);
          if (v >= 0xDC00 && v <= 0xDFFF) {
            cp = 0x10000 + ((u - 0xD800) << 10) + (v - 0xDC00);
            used = 4;
          } else {
            cp = 0xFFFD;
          }
        }
      } else if (u >= 0xDC00 && u <= 0xDFFF) {
        cp = 0xFFFD;
      }
      out.clear();
      AppendUtf8(cp, &out);
      std::memcpy(dst + produced, out.data(), out.size());
      produced += out.size();
      rawPos_ += used;
    }
    if (produced == 0 && innerEnd) break;  // an odd last byte is dropped
    if (produced == 0 && capacity < 4) break;
  }
  *got = produced;
  return Status::Ok();
}

Status XmlScanner::DetectEncoding() {
  // Called once, with the first bytes of the part in the buffer.
  encoding_ = Encoding::Utf8;
  const unsigned char* p = reinterpret_cast<const unsigned char*>(base_) + pos_;
  size_t n = end_ - pos_;
  size_t bom = 0;
  if (n >= 3 && p[0] == 0xEF && p[1] == 0xBB && p[2] == 0xBF) {
    pos_ += 3;
    tokenStart_ = pos_;
    return Status::Ok();
  }
  if (n >= 2 && p[0] == 0xFF && p[1] == 0xFE) {
    encoding_ = Encoding::Utf16LE;
    bom = 2;
  } else if (n >= 2 && p[0] == 0xFE && p[1] == 0xFF) {
    encoding_ = Encoding::Utf16BE;
    bom = 2;
  } else if (n >= 4 && p[0] == '<' && p[1] == 0 && p[2] != 0 && p[3] == 0) {
    encoding_ = Encoding::Utf16LE;
  } else if (n >= 4 && p[0] == 0 && p[1] == '<' && p[2] == 0 && p[3] != 0) {
    encoding_ = Encoding::Utf16BE;
  }
  if (encoding_ == Encoding::Utf8) return Status::Ok();
  // Move what was read to the UTF-16 side and convert from there.
  raw_.assign(base_ + pos_ + bom, n - bom);
  rawPos_ = 0;
  pos_ = end_ = tokenStart_ = 0;
  return Status::Ok();
}

Status XmlScanner::More(bool* gotMore) {
  *gotMore = false;
  if (eof_) return Status::Ok();
  // The unread bytes go to the front, of the stream's next block where it
  // lends its blocks (no copy of the part's bytes), else of the own buffer.
  const std::string_view keep(base_ + pos_, end_ - pos_);
  const char* lentBegin = nullptr;
  size_t lentSize = 0;
  const bool lend = encoding_ == Encoding::Utf8 && in_.LendNext(keep, &lentBegin, &lentSize);
  consumed_ += pos_;
  tokenStart_ = tokenStart_ >= pos_ ? tokenStart_ - pos_ : 0;
  pos_ = 0;
  if (lend) {
    base_ = const_cast<char*>(lentBegin);
    end_ = lentSize;
    lent_ = true;
    *gotMore = true;
    return Status::Ok();
  }
  if (lent_) {
    // Back to the own buffer, before the stream is read and its block goes back.
    if (cap_ < keep.size() + 16) {
      if (keep.size() + 16 > kMaxTokenBytes) return Error("a tag or text longer than 64 MiB");
      cap_ = std::min(std::max(cap_ * 2, keep.size() + keep.size() / 2 + 16), kMaxTokenBytes);
      own_.reset(new char[cap_]);
    }
    std::memcpy(own_.get(), keep.data(), keep.size());
    base_ = own_.get();
    end_ = keep.size();
    lent_ = false;
  } else if (keep.data() != base_) {
    std::memmove(base_, keep.data(), keep.size());
    end_ = keep.size();
  }
  // UTF-16 conversion needs room for a whole character.
  const bool longPart = cap_ < kFullBuffer && consumed_ + end_ >= cap_;
  if (cap_ - end_ < 16 || longPart) {
    if (cap_ >= kMaxTokenBytes) return Error("a tag or text longer than 64 MiB");
    size_t bigger = std::min(longPart ? std::min(cap_ * 4, kFullBuffer) : cap_ * 2, kMaxTokenBytes);
    std::unique_ptr<char[]> grown(new char[bigger]);
    std::memcpy(grown.get(), own_.get(), end_);
    own_ = std::move(grown);
    base_ = own_.get();
    cap_ = bigger;
  }
  for (;;) {
    size_t got = 0;
    Status s = ReadDecoded(base_ + end_, cap_ - end_, &got);
    if (!s.ok()) return s;
    end_ += got;
    if (got == 0) {
      eof_ = true;
      return Status::Ok();
    }
    *gotMore = true;
    if (encoding_ == Encoding::Unknown) {
      if (end_ - pos_ < 4) continue;  // need four bytes to tell the encoding
      READER_RETURN_IF_ERROR(DetectEncoding());
      if (end_ == pos_) continue;  // everything went to the UTF-16 side
    }
    return Status::Ok();
  }
}

XmlScanner::Parse XmlScanner::ParseStartTag(const char* p, size_t n, size_t* length) {
  size_t i = 1;
  while (i < n && !(ClassOf(p[i]) & (kSpace | kSlashOrGt))) ++i;
  if (i == n) return Parse::NeedMore;
  if (i == 1) return Parse::Bad;
  name_ = LocalName(p + 1, i - 1);
  attrs_.clear();
  for (;;) {
    while (i < n && IsSpace(p[i])) ++i;
    if (i == n) return Parse::NeedMore;
    if (p[i] == '>') {
      *length = i + 1;
      selfClosing_ = false;
      return Parse::Done;
    }
    if (p[i] == '/') {
      if (i + 1 == n) return Parse::NeedMore;
      if (p[i + 1] != '>') return Parse::Bad;
      *length = i + 2;
      selfClosing_ = true;
      return Parse::Done;
    }
    size_t nameStart = i;
    while (i < n && !ClassOf(p[i])) ++i;
    if (i == n) return Parse::NeedMore;
    size_t nameEnd = i;
    while (i < n && IsSpace(p[i])) ++i;
    if (i == n) return Parse::NeedMore;
    if (p[i] != '=' || nameEnd == nameStart) return Parse::Bad;
    ++i;
    while (i < n && IsSpace(p[i])) ++i;
    if (i == n) return Parse::NeedMore;
    char quote = p[i];
    if (quote != '"' && quote != '\'') return Parse::Bad;
    ++i;
    const char* close = static_cast<const char*>(std::memchr(p + i, quote, n - i));
    if (!close) return Parse::NeedMore;
    size_t valueEnd = static_cast<size_t>(close - p);
    size_t nameLength = nameEnd - nameStart;
    // Namespace declarations are no attributes of the element.
    bool xmlns = nameLength >= 5 && p[nameStart] == 'x' && std::memcmp(p + nameStart, "xmlns", 5) == 0 &&
                 (nameLength == 5 || p[nameStart + 5] == ':');
    if (!xmlns) {
      Attribute a;
      a.name = LocalName(p + nameStart, nameLength);
      a.value = std::string_view(p + i, valueEnd - i);
      attrs_.push_back(a);
    }
    i = valueEnd + 1;
  }
}

Status XmlScanner::SkipPast(std::string_view terminator) {
  size_t from = pos_;
  for (;;) {
    std::string_view window(base_ + from, end_ - from);
    size_t at = window.find(terminator);
    if (at != std::string_view::npos) {
      pos_ = from + at + terminator.size();
      return Status::Ok();
    }
    // Keep only what could be the start of the terminator.
    size_t keep = std::min(end_ - pos_, terminator.size() - 1);
    pos_ = end_ - keep;
    tokenStart_ = pos_;
    bool more = false;
    READER_RETURN_IF_ERROR(More(&more));
    if (!more) return Error("the part ends inside a comment or processing instruction");
    from = pos_;
  }
}

Status XmlScanner::SkipDeclaration() {
  // <!DOCTYPE ...> and the like, with an internal subset in brackets that
  // may hold quoted text, comments and '>' characters.
  int brackets = 0;
  char quote = 0;
  bool comment = false;
  size_t i = pos_ + 2;
  for (;;) {
    // Stop three bytes short of the end so that "<!--" and "-->" are seen
    // whole; at the end of the part look at every byte.
    size_t limit = eof_ ? end_ : (end_ >= 3 ? end_ - 3 : 0);
    for (; i < limit || (eof_ && i < end_); ++i) {
      char c = base_[i];
      if (comment) {
        if (c == '-' && i + 2 < end_ && base_[i + 1] == '-' && base_[i + 2] == '>') {
          comment = false;
          i += 2;
        }
      } else if (quote) {
        if (c == quote) quote = 0;
      } else if (c == '"' || c == '\'') {
        quote = c;
      } else if (c == '<' && i + 3 < end_ && std::memcmp(&base_[i], "<!--", 4) == 0) {
        comment = true;
        i += 3;
      } else if (c == '[') {
        ++brackets;
      } else if (c == ']') {
        if (brackets > 0) --brackets;
      } else if (c == '>' && brackets == 0) {
        pos_ = i + 1;
        return Status::Ok();
      }
    }
    if (eof_) return Error("the part ends inside a declaration");
    pos_ = i;
    tokenStart_ = pos_;
    bool more = false;
    READER_RETURN_IF_ERROR(More(&more));
    if (!more && end_ - pos_ == 0) return Error("the part ends inside a declaration");
    i = pos_;
  }
}

Status XmlScanner::Next() {
  if (pendingEnd_) {
    // The end of a self-closing tag; its name is still in the buffer.
    pendingEnd_ = false;
    token_ = Token::EndElement;
    selfClosing_ = false;
    attrs_.clear();
    --depth_;
    return Status::Ok();
  }
  for (;;) {
    tokenStart_ = pos_;
    if (pos_ == end_) {
      bool more = false;
      READER_RETURN_IF_ERROR(More(&more));
      if (!more) {
        token_ = Token::End;
        name_ = {};
        attrs_.clear();
        return Status::Ok();
      }
      continue;
    }
    if (base_[pos_] != '<') {
      // Text up to the next tag (or the end of the part).
      size_t searched = 0;
      for (;;) {
        const char* p = base_ + pos_;
        size_t n = end_ - pos_;
        const char* lt = static_cast<const char*>(std::memchr(p + searched, '<', n - searched));
        size_t length = lt ? static_cast<size_t>(lt - p) : n;
        if (!lt && !eof_) {
          searched = n;
          bool more = false;
          READER_RETURN_IF_ERROR(More(&more));
          if (more) continue;
          length = end_ - pos_;
        }
        p = base_ + pos_;
        rawText_ = std::string_view(p, length);
        textPlain_ = false;  // text() looks when asked
        textIsCdata_ = false;
        pos_ += length;
        token_ = Token::Text;
        return Status::Ok();
      }
    }
    // Markup. Make sure the few bytes that tell its kind are here.
    if (end_ - pos_ < 9 && !eof_) {
      bool more = false;
      READER_RETURN_IF_ERROR(More(&more));
      if (more) continue;
    }
    const char* p = base_ + pos_;
    size_t n = end_ - pos_;
    if (n < 2) return Error("the part ends inside a tag");
    if (p[1] == '/') {
      const char* gt = static_cast<const char*>(std::memchr(p, '>', n));
      if (!gt) {
        bool more = false;
        READER_RETURN_IF_ERROR(More(&more));
        if (!more) return Error("the part ends inside an end tag");
        continue;
      }
      size_t length = static_cast<size_t>(gt - p);
      size_t e = length;
      while (e > 2 && IsSpace(p[e - 1])) --e;
      name_ = LocalName(p + 2, e - 2);
      if (depth_ == 0) return Error("an end tag without a start tag");
      --depth_;
      attrs_.clear();
      selfClosing_ = false;
      pos_ += length + 1;
      token_ = Token::EndElement;
      return Status::Ok();
    }
    if (p[1] == '?') {
      READER_RETURN_IF_ERROR(SkipPast("?>"));
      continue;
    }
    if (p[1] == '!') {
      if (n >= 4 && std::memcmp(p, "<!--", 4) == 0) {
        pos_ += 4;
        READER_RETURN_IF_ERROR(SkipPast("-->"));
        continue;
      }
      if (n >= 9 && std::memcmp(p, "<![CDATA[", 9) == 0) {
        size_t searched = 9;
        for (;;) {
          std::string_view window(base_ + pos_, end_ - pos_);
          size_t at = window.find("]]>", searched);
          if (at == std::string_view::npos) {
            searched = window.size() >= 2 ? window.size() - 2 : 0;
            bool more = false;
            READER_RETURN_IF_ERROR(More(&more));
            if (!more) return Error("the part ends inside a CDATA section");
            continue;
          }
          const char* start = base_ + pos_ + 9;
          rawText_ = std::string_view(start, at - 9);
          textPlain_ = std::memchr(start, '\r', at - 9) == nullptr;
          textIsCdata_ = true;
          pos_ += at + 3;
          token_ = Token::Text;
          return Status::Ok();
        }
      }
      READER_RETURN_IF_ERROR(SkipDeclaration());
      continue;
    }
    size_t length = 0;
    Parse r = ParseStartTag(p, n, &length);
    if (r == Parse::NeedMore) {
      bool more = false;
      READER_RETURN_IF_ERROR(More(&more));
      if (!more) return Error("the part ends inside a start tag");
      continue;
    }
    if (r == Parse::Bad) return Error("a malformed start tag");
    pos_ += length;
    ++depth_;
    token_ = Token::StartElement;
    pendingEnd_ = selfClosing_;
    return Status::Ok();
  }
}

bool XmlScanner::TakeSimpleText(std::string_view inner, std::string_view close, std::string_view skippable,
                                std::string_view* text, bool* needsDecoding) {
  if (token_ != Token::StartElement || selfClosing_ || pendingEnd_) return false;
  const char* p = base_ + pos_;
  const char* e = base_ + end_;
  // "<name>" at q, with nothing between the name and '>'.
  auto opens = [&](const char* q, std::string_view name) {
    return static_cast<size_t>(e - q) >= name.size() + 2 && q[0] == '<' && SameBytes(q + 1, name) &&
           q[1 + name.size()] == '>';
  };
  // "</name>" at q.
  auto closes = [&](const char* q, std::string_view name) {
    return static_cast<size_t>(e - q) >= name.size() + 3 && q[0] == '<' && q[1] == '/' &&
           SameBytes(q + 2, name) && q[2 + name.size()] == '>';
  };
  const char* q = p;
  if (!skippable.empty() && opens(q, skippable)) {
    const char* f = q + 2 + skippable.size();
    const char* lt = static_cast<const char*>(std::memchr(f, '<', static_cast<size_t>(e - f)));
    if (!lt || !closes(lt, skippable)) return false;
    q = lt + 3 + skippable.size();
  }
  if (!opens(q, inner)) return false;
  const char* t = q + 2 + inner.size();
  const char* lt = static_cast<const char*>(std::memchr(t, '<', static_cast<size_t>(e - t)));
  if (!lt || !closes(lt, inner)) return false;
  const char* c = lt + 3 + inner.size();
  if (!closes(c, close)) return false;
  size_t textLength = static_cast<size_t>(lt - t);
  bool decode = NeedsDecoding(t, textLength, false);
  if (decode && !needsDecoding) return false;
  if (needsDecoding) *needsDecoding = decode;
  *text = std::string_view(t, textLength);
  tokenStart_ = pos_;
  pos_ = static_cast<size_t>(c + 3 + close.size() - base_);
  --depth_;
  token_ = Token::EndElement;
  name_ = std::string_view(c + 2, close.size());
  attrs_.clear();
  return true;
}

const XmlScanner::Attribute* XmlScanner::FindAttribute(std::string_view localName) const {
  for (const Attribute& a : attrs_)
    if (a.name == localName) return &a;
  return nullptr;
}

std::string_view XmlScanner::Value(const Attribute& a, std::string* scratch) {
  if (!NeedsDecoding(a.value.data(), a.value.size(), true)) return a.value;
  scratch->clear();
  AppendXmlDecoded(a.value, true, scratch);
  return *scratch;
}

bool XmlScanner::GetAttribute(std::string_view localName, std::string* out) const {
  const Attribute* a = FindAttribute(localName);
  if (!a) return false;
  out->clear();
  if (!NeedsDecoding(a->value.data(), a->value.size(), true))
    out->assign(a->value);
  else
    AppendXmlDecoded(a->value, true, out);
  return true;
}

std::string_view XmlScanner::text() {
  if (token_ != Token::Text) return {};
  if (textPlain_ || (!textIsCdata_ && !NeedsDecoding(rawText_.data(), rawText_.size(), false)))
    return rawText_;
  textScratch_.clear();
  if (textIsCdata_) {
    // Only line ends are normalised inside CDATA.
    for (size_t i = 0; i < rawText_.size(); ++i) {
      char c = rawText_[i];
      if (c != '\r') {
        textScratch_.push_back(c);
        continue;
      }
      if (i + 1 < rawText_.size() && rawText_[i + 1] == '\n') ++i;
      textScratch_.push_back('\n');
    }
  } else {
    AppendXmlDecoded(rawText_, false, &textScratch_);
  }
  return textScratch_;
}

Status XmlScanner::SkipElement() {
  if (token_ != Token::StartElement) return Status::Ok();
  int target = depth_ - 1;
  for (;;) {
    READER_RETURN_IF_ERROR(Next());
    if (token_ == Token::End) return Error("the part ends inside an element");
    if (token_ == Token::EndElement && depth_ == target) return Status::Ok();
  }
}

Status XmlScanner::AppendElementText(std::string* out) {
  if (token_ != Token::StartElement) return Status::Ok();
  int target = depth_ - 1;
  for (;;) {
    READER_RETURN_IF_ERROR(Next());
    if (token_ == Token::Text) {
      std::string_view t = text();
      out->append(t.data(), t.size());
    } else if (token_ == Token::End) {
      return Error("the part ends inside an element");
    } else if (token_ == Token::EndElement && depth_ == target) {
      return Status::Ok();
    }
  }
}

}  // namespace reader
