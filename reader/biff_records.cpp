#include "biff_records.h"

#include <cstring>

namespace reader::biff {

void ContinuedRecord::Gather(const Record& first, RecordWalker& walker) {
  pieces_.clear();
  piece_ = 0;
  pos_ = 0;
  pieces_.push_back({first.data, first.length, first.offset + 4});
  Record r;
  while (walker.PeekType() == kContinue && walker.Next(&r)) pieces_.push_back({r.data, r.length, r.offset + 4});
}

bool ContinuedRecord::AtEnd() const {
  size_t p = piece_, pos = pos_;
  while (p < pieces_.size() && pos >= pieces_[p].size) {
    ++p;
    pos = 0;
  }
  return p >= pieces_.size();
}

size_t ContinuedRecord::StreamOffset() const {
  if (piece_ >= pieces_.size()) return pieces_.empty() ? 0 : pieces_.back().offset + pieces_.back().size;
  return pieces_[piece_].offset + pos_;
}

// Pieces are left at their end rather than stepped over, so ReadChars can
// tell that its characters cross into the next piece.
bool ContinuedRecord::Read(void* out, size_t n) {
  uint8_t* o = static_cast<uint8_t*>(out);
  while (n > 0) {
    if (piece_ >= pieces_.size()) return false;
    const Piece& p = pieces_[piece_];
    if (pos_ >= p.size) {
      ++piece_;
      pos_ = 0;
      continue;
    }
    size_t take = p.size - pos_ < n ? p.size - pos_ : n;
    std::memcpy(o, p.data + pos_, take);
    o += take;
    n -= take;
    pos_ += take;
  }
  return true;
}

bool ContinuedRecord::ReadU16(uint16_t* v) {
  uint8_t b[2];
  if (!Read(b, 2)) return false;
  *v = reader::ReadU16(b);
  return true;
}

bool ContinuedRecord::ReadU32(uint32_t* v) {
  uint8_t b[4];
  if (!Read(b, 4)) return false;
  *v = reader::ReadU32(b);
  return true;
}

bool ContinuedRecord::Skip(uint64_t n) {
  while (n > 0) {
    if (piece_ >= pieces_.size()) return false;
    size_t left = pieces_[piece_].size - pos_;
    if (n <= left) {
      pos_ += static_cast<size_t>(n);
      return true;
    }
    n -= left;
    ++piece_;
    pos_ = 0;
  }
  return true;
}

bool ContinuedRecord::ReadChars(size_t chars, bool highByte, std::string& out) {
  while (chars > 0) {
    if (piece_ >= pieces_.size()) return false;
    if (pos_ >= pieces_[piece_].size) {
      // The characters go on in the next CONTINUE record, whose first byte
      // gives their width from here.
      if (++piece_ >= pieces_.size()) return false;
      pos_ = 0;
      if (pieces_[piece_].size == 0) continue;
      highByte = (pieces_[piece_].data[0] & 1) != 0;
      pos_ = 1;
      continue;
    }
    const Piece& p = pieces_[piece_];
    size_t width = highByte ? 2 : 1;
    size_t fit = (p.size - pos_) / width;
    if (fit == 0) {
      // Half a UTF-16 character before a boundary: damaged, drop the byte.
      pos_ = p.size;
      continue;
    }
    size_t take = fit < chars ? fit : chars;
    if (highByte) AppendUtf16Le(out, p.data + pos_, take);
    else AppendLatin1(out, p.data + pos_, take);
    pos_ += take * width;
    chars -= take;
  }
  return true;
}

double DecodeRk(uint32_t rk) {
  double value;
  if (rk & 2) {
    value = static_cast<double>(static_cast<int32_t>(rk) >> 2);
  } else {
    uint64_t bits = static_cast<uint64_t>(rk & 0xFFFFFFFCu) << 32;
    std::memcpy(&value, &bits, sizeof value);
  }
  return (rk & 1) ? value / 100.0 : value;
}

size_t ReadUnicodeString(const uint8_t* p, size_t n, size_t countBytes, std::string& out) {
  if (n < countBytes + 1) return 0;
  size_t chars = countBytes == 1 ? p[0] : reader::ReadU16(p);
  uint8_t flags = p[countBytes];
  size_t width = (flags & 1) ? 2 : 1;
  size_t used = countBytes + 1;
  if (!RangeFits(used, chars * width, n)) return 0;
  if (width == 2) AppendUtf16Le(out, p + used, chars);
  else AppendLatin1(out, p + used, chars);
  return used + chars * width;
}

size_t ReadByteString(const uint8_t* p, size_t n, size_t countBytes, const CodePageDecoder& decoder,
                      std::string& out) {
  if (n < countBytes) return 0;
  size_t chars = countBytes == 1 ? p[0] : reader::ReadU16(p);
  if (!RangeFits(countBytes, chars, n)) return 0;
  decoder.Append(out, p + countBytes, chars);
  return countBytes + chars;
}

}  // namespace reader::biff
