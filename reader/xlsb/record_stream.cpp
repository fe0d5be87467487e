#include "reader/xlsb/record_stream.h"

#include <cstring>

#include "reader/core/safety.h"
#include "reader/core/text_encoding.h"

namespace reader::xlsb {

namespace {
// Bytes asked of the stream at a time.
constexpr size_t kReadChunk = size_t(64) << 10;
}  // namespace

RecordReader::RecordReader(ByteStream& stream, std::string part, uint64_t partBytes)
    : stream_(stream), part_(std::move(part)), partBytes_(partBytes) {}

Status RecordReader::Error(const std::string& what) const {
  return Status::Error(part_ + ": offset " + std::to_string(recordOffset_) + ": " + what);
}

Status RecordReader::Fill(size_t n, size_t* got) {
  while (end_ - pos_ < n && !streamEnded_) {
    // The unread bytes go to the front: of the stream's next block where it
    // lends its blocks (no copy of the part's bytes), else of the own buffer.
    const std::string_view keep =
        base_ ? std::string_view(reinterpret_cast<const char*>(base_) + pos_, end_ - pos_) : std::string_view();
    const char* lentBegin = nullptr;
    size_t lentSize = 0;
    if (stream_.LendNext(keep, &lentBegin, &lentSize)) {
      consumed_ += pos_;
      base_ = reinterpret_cast<const uint8_t*>(lentBegin);
      end_ = lentSize;
      pos_ = 0;
      lent_ = true;
      continue;
    }
    if (lent_) {
      // Back to the own buffer, before the stream is read and its block goes back.
      if (buffer_.size() < keep.size() + kReadChunk) buffer_.resize(keep.size() + kReadChunk);
      std::memcpy(buffer_.data(), keep.data(), keep.size());
      lent_ = false;
    } else if (pos_ > 0) {
      std::memmove(buffer_.data(), buffer_.data() + pos_, end_ - pos_);
    }
    consumed_ += pos_;
    end_ = keep.size();
    pos_ = 0;
    if (buffer_.size() - end_ < kReadChunk) buffer_.resize(end_ + kReadChunk);
    base_ = buffer_.data();
    size_t read = 0;
    READER_RETURN_IF_ERROR(stream_.Read(reinterpret_cast<char*>(buffer_.data() + end_), kReadChunk, &read));
    if (read == 0) streamEnded_ = true;
    end_ += read;
  }
  *got = end_ - pos_;
  return Status::Ok();
}

Status RecordReader::NextSlow(bool* have) {
  *have = false;
  recordOffset_ = consumed_ + pos_;
  // The header: at most 2 bytes of type and 4 of size.
  size_t avail = 0;
  READER_RETURN_IF_ERROR(Fill(6, &avail));
  if (avail == 0) return Status::Ok();
  const uint8_t* h = base_ + pos_;
  size_t used = 0;
  uint32_t type = 0;
  for (int i = 0;; ++i) {
    if (used >= avail) return Error("the part ends inside a record header");
    uint8_t b = h[used++];
    type |= static_cast<uint32_t>(b & 0x7F) << (7 * i);
    if (!(b & 0x80)) break;
    if (i == 1) return Error("a record type longer than 2 bytes");
  }
  uint32_t size = 0;
  for (int i = 0;; ++i) {
    if (used >= avail) return Error("the part ends inside a record header");
    uint8_t b = h[used++];
    size |= static_cast<uint32_t>(b & 0x7F) << (7 * i);
    if (!(b & 0x80)) break;
    if (i == 3) return Error("a record size longer than 4 bytes");
  }
  uint64_t payloadStart = recordOffset_ + used;
  if (!RangeFits(payloadStart, size, partBytes_))
    return Error("record " + std::to_string(type) + " declares " + std::to_string(size) +
                 " bytes, more than the part holds");
  READER_RETURN_IF_ERROR(Fill(used + size, &avail));
  if (avail < used + size)
    return Error("the part ends inside record " + std::to_string(type) + " (" + std::to_string(size) +
                 " bytes declared, " + std::to_string(avail - used) + " present)");
  type_ = type;
  payload_ = pos_ + used;
  size_ = size;
  pos_ += used + size;
  *have = true;
  return Status::Ok();
}

bool FieldReader::WideString(std::string* out) {
  bool isNull = false;
  return NullableWideString(out, &isNull) && !isNull;
}

bool FieldReader::NullableWideString(std::string* out, bool* isNull) {
  out->clear();
  uint32_t count = 0;
  size_t start = pos_;
  if (!U32(&count)) return false;
  *isNull = count == 0xFFFFFFFF;
  if (*isNull) return true;
  if (uint64_t(count) * 2 > remaining()) {
    pos_ = start;
    return false;
  }
  AppendUtf16Le(*out, p_ + pos_, count);
  pos_ += size_t(count) * 2;
  return true;
}

}  // namespace reader::xlsb
