// The record stream of the binary workbook parts (.xlsb): each record is a
// type and a size, both written 7 bits a byte with the high bit saying
// "more follows" (a type takes at most 2 bytes, a size at most 4), then
// `size` bytes of payload.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "reader/container/byte_stream.h"
#include "reader/core/safety.h"
#include "reader/core/status.h"

namespace reader::xlsb {

// Record types the reader uses.
enum RecordType : uint32_t {
  kRowHdr = 0,
  kCellBlank = 1,
  kCellRk = 2,
  kCellError = 3,
  kCellBool = 4,
  kCellReal = 5,
  kCellSt = 6,
  kCellIsst = 7,
  kFmlaString = 8,
  kFmlaNum = 9,
  kFmlaBool = 10,
  kFmlaError = 11,
  kShortBlank = 12,
  kShortRk = 13,
  kShortError = 14,
  kShortBool = 15,
  kShortReal = 16,
  kShortSt = 17,
  kShortIsst = 18,
  kSstItem = 19,
  kFmt = 44,
  kCellRString = 62,
  kXf = 47,
  kWsDim = 148,
  kBeginSheetData = 145,
  kEndSheetData = 146,
  kWbProp = 153,
  kBundleSh = 156,
  kBeginSst = 159,
  kBeginCellXfs = 617,
  kEndCellXfs = 618,
};

// Reads records one after the other from a part's byte stream. A record
// whose header or payload is cut off by the end of the part, or whose size
// runs past the part's declared size, is an error naming the part and the
// record's offset. The buffer grows only as payload bytes really arrive, so
// a size that a damaged file declares costs no memory up front.
class RecordReader {
 public:
  RecordReader(ByteStream& stream, std::string part, uint64_t partBytes);

  // Reads the next record; *have is false at the end of the part.
  Status Next(bool* have) {
    // Most records: a type and a size of one byte each, the whole record
    // already in the buffer and inside the part.
    if (end_ - pos_ >= 2) {
      const uint8_t* h = base_ + pos_;
      size_t size = h[1];
      if (((h[0] | h[1]) & 0x80) == 0 && end_ - pos_ >= 2 + size && consumed_ + pos_ + 2 + size <= partBytes_) {
        recordOffset_ = consumed_ + pos_;
        type_ = h[0];
        payload_ = pos_ + 2;
        size_ = size;
        pos_ += 2 + size;
        *have = true;
        return Status::Ok();
      }
    }
    return NextSlow(have);
  }

  // The unread bytes in hand that lie inside the part, for a parser that
  // reads the common records in place: it checks each header and size as
  // Next would, and passes over the whole records it took with Advance.
  // The accessors below keep describing the record Next read last.
  const uint8_t* InHand(size_t* n) const {
    *n = static_cast<size_t>(std::min<uint64_t>(end_ - pos_, partBytes_ - consumed_ - pos_));
    return base_ + pos_;
  }
  void Advance(size_t n) { pos_ += n; }

  uint32_t type() const { return type_; }
  const uint8_t* data() const { return base_ + payload_; }
  size_t size() const { return size_; }
  // Offset of the current record's header in the part.
  uint64_t offset() const { return recordOffset_; }
  const std::string& part() const { return part_; }

  // "part: offset N: what".
  Status Error(const std::string& what) const;

 private:
  // Makes at least `n` unread bytes available; *got tells how many are.
  Status Fill(size_t n, size_t* got);
  Status NextSlow(bool* have);

  ByteStream& stream_;
  std::string part_;
  uint64_t partBytes_;
  std::vector<uint8_t> buffer_;     // the reader's own bytes
  const uint8_t* base_ = nullptr;  // the bytes read: buffer_'s, or a block the stream lends
  bool lent_ = false;
  size_t pos_ = 0;         // next unread byte at base_
  size_t end_ = 0;         // one past the last valid byte at base_
  uint64_t consumed_ = 0;  // part offset of base_[0]
  bool streamEnded_ = false;
  uint32_t type_ = 0;
  size_t payload_ = 0;
  size_t size_ = 0;
  uint64_t recordOffset_ = 0;
};

// Reads the fields of one record's payload, little-endian, each checked
// against the payload's end.
class FieldReader {
 public:
  FieldReader(const uint8_t* p, size_t n) : p_(p), n_(n) {}
  bool U8(uint8_t* v) {
    if (remaining() < 1) return false;
    *v = p_[pos_++];
    return true;
  }
  bool U16(uint16_t* v) {
    if (remaining() < 2) return false;
    *v = ReadU16(p_ + pos_);
    pos_ += 2;
    return true;
  }
  bool U32(uint32_t* v) {
    if (remaining() < 4) return false;
    *v = ReadU32(p_ + pos_);
    pos_ += 4;
    return true;
  }
  bool F64(double* v) {
    if (remaining() < 8) return false;
    uint64_t bits = ReadU64(p_ + pos_);
    std::memcpy(v, &bits, sizeof *v);
    pos_ += 8;
    return true;
  }
  bool Skip(size_t n) {
    if (remaining() < n) return false;
    pos_ += n;
    return true;
  }
  // A string of UTF-16LE code units after a 4-byte count, into UTF-8.
  bool WideString(std::string* out);
  // The same, where the count 0xFFFFFFFF stands for no string at all.
  bool NullableWideString(std::string* out, bool* isNull);
  size_t remaining() const { return n_ - pos_; }

 private:
  const uint8_t* p_;
  size_t n_;
  size_t pos_ = 0;
};

}  // namespace reader::xlsb
