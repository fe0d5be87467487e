#include "reader/xls/biff_records.h"

#include <algorithm>
#include <cstring>

namespace reader::biff {

void StreamBytes::SetMemory(std::vector<uint8_t> bytes) {
  memory_ = std::move(bytes);
  file_ = nullptr;
  extents_.clear();
  starts_.clear();
  size_ = memory_.size();
}

void StreamBytes::SetFile(ByteSource* file, std::vector<Extent> extents) {
  memory_.clear();
  file_ = file;
  extents_ = std::move(extents);
  starts_.clear();
  size_ = 0;
  for (const Extent& e : extents_) {
    starts_.push_back(size_);
    size_ += e.length;
  }
}

Status StreamBytes::Read(uint64_t offset, uint8_t* out, size_t n, size_t* got) const {
  *got = 0;
  if (offset >= size_) return Status::Ok();
  if (n > size_ - offset) n = static_cast<size_t>(size_ - offset);
  if (!file_) {
    std::memcpy(out, memory_.data() + offset, n);
    *got = n;
    return Status::Ok();
  }
  size_t i = static_cast<size_t>(std::upper_bound(starts_.begin(), starts_.end(), offset) - starts_.begin()) - 1;
  while (*got < n && i < extents_.size()) {
    uint64_t within = offset + *got - starts_[i];
    uint64_t take = extents_[i].length - within;
    if (take > n - *got) take = n - *got;
    READER_RETURN_IF_ERROR(file_->ReadAt(extents_[i].fileOffset + within, out + *got, static_cast<size_t>(take)));
    *got += static_cast<size_t>(take);
    ++i;
  }
  return Status::Ok();
}

RecordWalker::RecordWalker(const uint8_t* stream, size_t size, size_t offset)
    : data_(stream), size_(size), pos_(offset <= size ? offset : size), streamSize_(size) {}

RecordWalker::RecordWalker(const StreamBytes& stream, uint64_t offset)
    : source_(&stream), windowOffset_(offset <= stream.size() ? offset : stream.size()),
      streamSize_(stream.size()) {}

bool RecordWalker::Have(size_t n) {
  if (size_ - pos_ >= n) return true;
  uint64_t windowEnd = windowOffset_ + size_;
  if (!source_ || windowEnd >= streamSize_ || !readError_.empty()) return false;
  // Slide the window: keep the bytes from the next record on, then fill
  // up from the stream.
  // A megabyte is well above the largest record (4 + 65535 bytes); a
  // smaller stream fits whole.
  constexpr uint64_t kWindow = uint64_t(1) << 20;
  size_t capacity = static_cast<size_t>(streamSize_ < kWindow ? streamSize_ : kWindow);
  if (buffer_.size() < capacity) buffer_.resize(capacity);
  size_t tail = size_ - pos_;
  if (tail) std::memmove(buffer_.data(), data_ + pos_, tail);
  windowOffset_ += pos_;
  pos_ = 0;
  size_t got = 0;
  Status s = source_->Read(windowOffset_ + tail, buffer_.data() + tail, buffer_.size() - tail, &got);
  if (!s.ok()) readError_ = s.message();
  data_ = buffer_.data();
  size_ = tail + got;
  return size_ - pos_ >= n;
}

bool RecordWalker::NextSlow(Record* r) {
  if (!Have(4)) {
    cutShort_ = pos_ < size_ || !readError_.empty();
    return false;
  }
  uint16_t length = ReadU16(data_ + pos_ + 2);
  if (!Have(4 + static_cast<size_t>(length))) {
    cutShort_ = true;
    return false;
  }
  const uint8_t* p = data_ + pos_;
  r->type = ReadU16(p);
  r->length = length;
  r->offset = windowOffset_ + pos_;
  r->data = p + 4;
  pos_ += 4 + static_cast<size_t>(length);
  return true;
}

int RecordWalker::PeekType() {
  if (!Have(4)) return -1;
  return ReadU16(data_ + pos_);
}

uint64_t RecordWalker::ContinueBytesAhead() const {
  uint64_t total = 0;
  for (uint64_t at = windowOffset_ + pos_; at < streamSize_;) {
    uint8_t head[4];
    const uint64_t inWindow = at - windowOffset_;
    if (inWindow + 4 <= size_) {
      std::memcpy(head, data_ + inWindow, 4);
    } else {
      size_t got = 0;
      if (!source_ || !source_->Read(at, head, 4, &got).ok() || got < 4) break;
    }
    if (ReadU16(head) != kContinue) break;
    total += ReadU16(head + 2);
    at += 4 + ReadU16(head + 2);
  }
  return total;
}

void ContinuedRecord::Gather(const Record& first, RecordWalker& walker) {
  // Sized once: a string table of megabytes grown by doubling would be
  // copied, and its pages touched, twice over.
  bytes_.clear();
  bytes_.reserve(first.length + walker.ContinueBytesAhead());
  bytes_.insert(bytes_.end(), first.data, first.data + first.length);
  pieces_.assign(1, {0, first.length});
  piece_ = 0;
  pos_ = 0;
  Record r;
  while (walker.PeekType() == kContinue && walker.Next(&r)) {
    pieces_.push_back({bytes_.size(), r.length});
    bytes_.insert(bytes_.end(), r.data, r.data + r.length);
  }
}

bool ContinuedRecord::AtEndAcross() const {
  size_t p = piece_, pos = pos_;
  while (p < pieces_.size() && pos >= pieces_[p].size) {
    ++p;
    pos = 0;
  }
  return p >= pieces_.size();
}

// Pieces are left at their end rather than stepped over, so ReadChars can
// tell that its characters cross into the next piece.
bool ContinuedRecord::ReadAcross(void* out, size_t n) {
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
    std::memcpy(o, PieceData(piece_) + pos_, take);
    o += take;
    n -= take;
    pos_ += take;
  }
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
      highByte = (PieceData(piece_)[0] & 1) != 0;
      pos_ = 1;
      continue;
    }
    const Piece& p = pieces_[piece_];
    const uint8_t* data = PieceData(piece_);
    size_t width = highByte ? 2 : 1;
    size_t fit = (p.size - pos_) / width;
    if (fit == 0) {
      // Half a UTF-16 character before a boundary: damaged, drop the byte.
      pos_ = p.size;
      continue;
    }
    size_t take = fit < chars ? fit : chars;
    if (highByte) AppendUtf16Le(out, data + pos_, take);
    else AppendLatin1(out, data + pos_, take);
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
