// BIFF record walking and the string forms of BIFF2 to BIFF8 ([MS-XLS]
// 2.1.4 and 2.5.293-2.5.296; BIFF2-4 layouts from the Excel 2 to 4 file
// format notes).
//
// A BIFF stream is a run of records: a 16-bit type, a 16-bit length and
// that many bytes. Records longer than a BIFF8 record may be continue in
// CONTINUE records, and a string's characters may change width there.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "reader/container/file_source.h"
#include "reader/core/safety.h"
#include "reader/core/status.h"
#include "reader/core/text_encoding.h"

namespace reader::biff {

// Record types. BIFF2 kept the low byte only; BIFF3 and BIFF4 added 0x0200
// or 0x0400 to several of them.
enum : uint16_t {
  kDimensions2 = 0x0000,
  kBlank2 = 0x0001,
  kInteger2 = 0x0002,
  kNumber2 = 0x0003,
  kLabel2 = 0x0004,
  kBoolErr2 = 0x0005,
  kFormula = 0x0006,  // BIFF2 layout in BIFF2 streams, the BIFF5 layout after
  kString2 = 0x0007,
  kBof2 = 0x0009,
  kEof = 0x000A,
  kFormat2 = 0x001E,  // BIFF2 and BIFF3
  kDateMode = 0x0022,
  kFilePass = 0x002F,
  kFont = 0x0031,  // BIFF2 and BIFF5 to BIFF8
  kContinue = 0x003C,
  kCodePage = 0x0042,
  kXf2 = 0x0043,
  kIxfe2 = 0x0044,
  kBoundSheet = 0x0085,
  kBundleSheet4 = 0x008F,
  kMulRk = 0x00BD,
  kMulBlank = 0x00BE,
  kRString = 0x00D6,
  kXf = 0x00E0,  // BIFF5 and BIFF8
  kSst = 0x00FC,
  kLabelSst = 0x00FD,
  kDimensions = 0x0200,
  kBlank = 0x0201,
  kNumber = 0x0203,
  kLabel = 0x0204,
  kBoolErr = 0x0205,
  kFormula3 = 0x0206,
  kString = 0x0207,
  kBof3 = 0x0209,
  kXf3 = 0x0243,
  kRk = 0x027E,
  kFormula4 = 0x0406,
  kBof4 = 0x0409,
  kFormat = 0x041E,  // BIFF4 to BIFF8
  kXf4 = 0x0443,
  kBof = 0x0809,  // BIFF5 and BIFF8
};

inline bool IsBof(uint16_t type) { return type == kBof2 || type == kBof3 || type == kBof4 || type == kBof; }

// The bytes of a BIFF stream: in memory, or runs of a file (the sectors of
// a compound file stream), so a large stream is never held whole.
class StreamBytes {
 public:
  struct Extent {
    uint64_t fileOffset;
    uint64_t length;
  };
  void SetMemory(std::vector<uint8_t> bytes);
  // `file` must outlive the object (it is the book's open file).
  void SetFile(ByteSource* file, std::vector<Extent> extents);
  uint64_t size() const { return size_; }
  // Reads min(n, size - offset) bytes at `offset` into `out`.
  Status Read(uint64_t offset, uint8_t* out, size_t n, size_t* got) const;

 private:
  std::vector<uint8_t> memory_;
  ByteSource* file_ = nullptr;
  std::vector<Extent> extents_;
  std::vector<uint64_t> starts_;  // stream offset of each extent
  uint64_t size_ = 0;
};

// A record the walker has checked against the stream's bounds. `data` is
// valid until the walker's next call.
struct Record {
  uint16_t type = 0;
  uint16_t length = 0;
  uint64_t offset = 0;  // of the record header in the stream
  const uint8_t* data = nullptr;
};

// Walks records from `offset`. Next stops at the end of the stream and at a
// record whose length runs past it (then cutShort() is true). Over a
// StreamBytes it reads through a window of about a megabyte.
class RecordWalker {
 public:
  // Over bytes in memory, which must outlive the walker.
  RecordWalker(const uint8_t* stream, size_t size, size_t offset);
  RecordWalker(const StreamBytes& stream, uint64_t offset);
  bool Next(Record* r) {
    // Records inside the window: no call (this runs once per cell record).
    if (size_ - pos_ >= 4) {
      const uint8_t* p = data_ + pos_;
      uint16_t length = static_cast<uint16_t>(p[2] | (p[3] << 8));
      if (size_ - pos_ >= 4 + static_cast<size_t>(length)) {
        r->type = static_cast<uint16_t>(p[0] | (p[1] << 8));
        r->length = length;
        r->offset = windowOffset_ + pos_;
        r->data = p + 4;
        pos_ += 4 + static_cast<size_t>(length);
        return true;
      }
    }
    return NextSlow(r);
  }
  // The type of the next record without moving, or -1 at the end. Like
  // Next, it ends the validity of the last record's data.
  int PeekType();
  // The bytes in the CONTINUE records that come next, without moving (read
  // from the stream where they lie past the window): what gathering them
  // will hold.
  uint64_t ContinueBytesAhead() const;
  uint64_t offset() const { return windowOffset_ + pos_; }
  bool cutShort() const { return cutShort_; }
  // Why reading stopped early when the file itself failed, else empty.
  const std::string& readError() const { return readError_; }

 private:
  // True when `n` bytes from pos_ are in the window (reads more if it can).
  bool Have(size_t n);
  bool NextSlow(Record* r);

  const StreamBytes* source_ = nullptr;
  std::vector<uint8_t> buffer_;
  const uint8_t* data_ = nullptr;
  size_t size_ = 0;            // bytes in the window
  size_t pos_ = 0;             // next record in the window
  uint64_t windowOffset_ = 0;  // stream offset of data_[0]
  uint64_t streamSize_ = 0;
  bool cutShort_ = false;
  std::string readError_;
};

// The bytes of one record and its CONTINUE records as one sequence, with
// the piece boundaries kept: strings in an SST or a long STRING record
// start each continued run of characters with a new flags byte. The bytes
// are copied, so they stay valid while the walker moves on.
class ContinuedRecord {
 public:
  // Takes `first` and every CONTINUE record that follows it from `walker`.
  void Gather(const Record& first, RecordWalker& walker);

  // Inline when the bytes lie in the current piece (a string table reads
  // a few bytes at a time, and rarely crosses into the next piece).
  bool Read(void* out, size_t n) {
    if (piece_ < pieces_.size() && pieces_[piece_].size - pos_ >= n) {
      std::memcpy(out, PieceData(piece_) + pos_, n);
      pos_ += n;
      return true;
    }
    return ReadAcross(out, n);
  }
  bool ReadU8(uint8_t* v) { return Read(v, 1); }
  bool ReadU16(uint16_t* v) {
    uint8_t b[2];
    if (!Read(b, 2)) return false;
    *v = reader::ReadU16(b);
    return true;
  }
  bool ReadU32(uint32_t* v) {
    uint8_t b[4];
    if (!Read(b, 4)) return false;
    *v = reader::ReadU32(b);
    return true;
  }
  bool Skip(uint64_t n);
  bool AtEnd() const {
    if (piece_ < pieces_.size() && pos_ < pieces_[piece_].size) return false;
    return AtEndAcross();
  }
  size_t size() const { return bytes_.size(); }  // all pieces together

  // Reads `chars` characters that start with width `highByte`, appending
  // UTF-8 to `out`. Where the characters cross into a CONTINUE record, that
  // record's first byte gives the width of the rest ([MS-XLS] 2.4.58).
  bool ReadChars(size_t chars, bool highByte, std::string& out);

 private:
  struct Piece {
    size_t begin;  // in bytes_
    size_t size;
  };
  const uint8_t* PieceData(size_t i) const { return bytes_.data() + pieces_[i].begin; }
  bool ReadAcross(void* out, size_t n);
  bool AtEndAcross() const;
  std::vector<uint8_t> bytes_;
  std::vector<Piece> pieces_;
  size_t piece_ = 0;
  size_t pos_ = 0;
};

// RK numbers: a 30-bit integer or the top 30 bits of a double, optionally
// divided by 100 ([MS-XLS] 2.5.218).
double DecodeRk(uint32_t rk);

// Reads a BIFF8 string (XLUnicodeString, [MS-XLS] 2.5.294) from `p`
// with a character count of `countBytes` (1 or 2) bytes, appending UTF-8.
// Returns the bytes used, or 0 when the string does not fit in `n`.
size_t ReadUnicodeString(const uint8_t* p, size_t n, size_t countBytes, std::string& out);

// Reads a BIFF2-7 byte string with a count of `countBytes` bytes, decoded
// from the workbook's code page. Returns the bytes used, or 0 when it does
// not fit in `n`.
size_t ReadByteString(const uint8_t* p, size_t n, size_t countBytes, const CodePageDecoder& decoder,
                      std::string& out);

}  // namespace reader::biff
