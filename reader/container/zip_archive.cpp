#include "reader/container/zip_archive.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

#ifdef TABREVO_HAVE_ISAL
#include <isa-l/crc.h>
#include <isa-l/igzip_lib.h>
#endif

#include "reader/core/safety.h"
#include "reader/core/text_encoding.h"

namespace reader {

namespace {

constexpr uint32_t kLocalHeaderSig = 0x04034b50;
constexpr uint32_t kCentralHeaderSig = 0x02014b50;
constexpr uint32_t kEndSig = 0x06054b50;
constexpr uint32_t kZip64EndSig = 0x06064b50;
constexpr uint32_t kZip64LocatorSig = 0x07064b50;
constexpr size_t kEndBytes = 22;
constexpr size_t kZip64LocatorBytes = 20;
constexpr size_t kZip64EndBytes = 56;
constexpr size_t kCentralHeaderBytes = 46;
constexpr size_t kLocalHeaderBytes = 30;
// The comment after the end record is at most 65535 bytes long.
constexpr size_t kMaxComment = 65535;
// A central directory larger than this is not a workbook's.
constexpr uint64_t kMaxDirectoryBytes = uint64_t(256) << 20;
constexpr size_t kInputChunk = size_t(256) << 10;

struct EndRecord {
  uint64_t entries = 0;
  uint64_t dirSize = 0;
  uint64_t dirOffset = 0;
  uint64_t position = 0;  // where the end record (or the zip64 end record) starts
};

// The zip64 end record, when a locator stands right before the end record
// (APPNOTE 4.3.14, 4.3.15).
Status ReadZip64End(ByteSource& source, uint64_t endPos, EndRecord* end, bool* found) {
  *found = false;
  if (endPos < kZip64LocatorBytes) return Status::Ok();
  uint8_t loc[kZip64LocatorBytes];
  READER_RETURN_IF_ERROR(source.ReadAt(endPos - kZip64LocatorBytes, loc, sizeof loc));
  if (ReadU32(loc) != kZip64LocatorSig) return Status::Ok();
  uint64_t recordPos = ReadU64(loc + 8);
  uint8_t rec[kZip64EndBytes];
  // Some writers put the archive behind a prefix: the record then sits
  // right before the locator rather than at the offset it names.
  uint64_t candidates[2] = {recordPos, endPos - kZip64LocatorBytes >= kZip64EndBytes
                                           ? endPos - kZip64LocatorBytes - kZip64EndBytes
                                           : UINT64_MAX};
  for (uint64_t pos : candidates) {
    if (!RangeFits(pos, kZip64EndBytes, source.size())) continue;
    READER_RETURN_IF_ERROR(source.ReadAt(pos, rec, sizeof rec));
    if (ReadU32(rec) != kZip64EndSig) continue;
    end->entries = ReadU64(rec + 32);
    end->dirSize = ReadU64(rec + 40);
    end->dirOffset = ReadU64(rec + 48);
    end->position = pos;
    *found = true;
    return Status::Ok();
  }
  return Status::Error("the zip64 end-of-central-directory record is missing");
}

// Finds the end-of-central-directory record: the last one, searching back
// from the end of the file past an archive comment (APPNOTE 4.3.16).
Status FindEnd(ByteSource& source, EndRecord* end) {
  uint64_t size = source.size();
  if (size < kEndBytes) return Status::Error("too short to be a ZIP archive");
  size_t tail = static_cast<size_t>(std::min<uint64_t>(size, kEndBytes + kMaxComment));
  std::vector<uint8_t> buf(tail);
  READER_RETURN_IF_ERROR(source.ReadAt(size - tail, buf.data(), tail));
  for (size_t i = tail - kEndBytes + 1; i-- > 0;) {
    if (buf[i] != 'P' || ReadU32(&buf[i]) != kEndSig) continue;
    const uint8_t* p = &buf[i];
    uint64_t pos = size - tail + i;
    uint16_t commentLength = ReadU16(p + 20);
    // A record whose comment runs past the end of the file is a stray
    // signature inside the comment or the data; keep looking.
    if (i + kEndBytes + commentLength > tail) continue;
    end->entries = ReadU16(p + 10);
    end->dirSize = ReadU32(p + 12);
    end->dirOffset = ReadU32(p + 16);
    end->position = pos;
    bool zip64 = false;
    READER_RETURN_IF_ERROR(ReadZip64End(source, pos, end, &zip64));
    return Status::Ok();
  }
  return Status::Error("no end-of-central-directory record (not a ZIP archive, or truncated)");
}

}  // namespace

std::string ZipArchive::Key(std::string_view name) {
  std::string key;
  key.reserve(name.size());
  for (char c : name) key.push_back(c == '\\' ? '/' : LowerAscii(c));
  size_t start = 0;
  while (start < key.size() && key[start] == '/') ++start;
  return key.substr(start);
}

namespace {

// Marks the entries whose bytes (at least the local header and the
// compressed data) reach into the next entry's local header, and that next
// entry too. Writers lay entries one after another; overlapping entries
// let a small file inflate to any size, one stream read for every name.
void MarkOverlaps(std::vector<ZipEntry>* entries) {
  std::vector<size_t> order(entries->size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::sort(order.begin(), order.end(), [&](size_t a, size_t b) {
    return (*entries)[a].localHeaderOffset < (*entries)[b].localHeaderOffset;
  });
  for (size_t k = 1; k < order.size(); ++k) {
    ZipEntry& before = (*entries)[order[k - 1]];
    ZipEntry& after = (*entries)[order[k]];
    uint64_t end = 0;
    if (!CheckedAdd(before.localHeaderOffset, kLocalHeaderBytes, &end) ||
        !CheckedAdd(end, before.compressedSize, &end) || end > after.localHeaderOffset) {
      before.overlaps = true;
      after.overlaps = true;
    }
  }
}

}  // namespace

Status ZipArchive::Open(ByteSource& source, std::unique_ptr<ZipArchive>* out) {
  EndRecord end;
  READER_RETURN_IF_ERROR(FindEnd(source, &end));
  if (end.dirSize > kMaxDirectoryBytes) return Status::Error("the central directory is implausibly large");
  if (end.dirSize > end.position) return Status::Error("the central directory overlaps its end record");
  // The directory ends where the end record starts; a difference from the
  // declared offset is a prefix before the archive (APPNOTE 4.3.1).
  uint64_t dirPos = end.position - end.dirSize;
  if (dirPos < end.dirOffset) return Status::Error("the central directory offset lies past its end record");
  auto archive = std::make_unique<ZipArchive>();
  archive->prefix_ = dirPos - end.dirOffset;

  std::vector<uint8_t> dir(static_cast<size_t>(end.dirSize));
  READER_RETURN_IF_ERROR(source.ReadAt(dirPos, dir.data(), dir.size()));
  if (end.dirSize >= 4 && ReadU32(dir.data()) != kCentralHeaderSig && archive->prefix_ != 0) {
    // The declared offset may be right and the size wrong: try it.
    if (RangeFits(end.dirOffset, end.dirSize, source.size())) {
      READER_RETURN_IF_ERROR(source.ReadAt(end.dirOffset, dir.data(), dir.size()));
      archive->prefix_ = 0;
    }
  }
  archive->entries_.reserve(CappedReserve(end.entries, dir.size(), kCentralHeaderBytes));

  size_t pos = 0;
  while (RangeFits(pos, kCentralHeaderBytes, dir.size())) {
    const uint8_t* p = dir.data() + pos;
    if (ReadU32(p) != kCentralHeaderSig) break;
    ZipEntry e;
    e.flags = ReadU16(p + 8);
    e.method = ReadU16(p + 10);
    e.crc32 = ReadU32(p + 16);
    e.compressedSize = ReadU32(p + 20);
    e.uncompressedSize = ReadU32(p + 24);
    size_t nameLength = ReadU16(p + 28);
    size_t extraLength = ReadU16(p + 30);
    size_t commentLength = ReadU16(p + 32);
    e.localHeaderOffset = ReadU32(p + 42);
    size_t recordLength = kCentralHeaderBytes + nameLength + extraLength + commentLength;
    if (!RangeFits(pos, recordLength, dir.size()))
      return Status::Error("central directory entry " + std::to_string(archive->entries_.size()) +
                           " runs past the end of the directory");
    e.name.assign(reinterpret_cast<const char*>(p + kCentralHeaderBytes), nameLength);
    // Sizes and the offset that do not fit 32 bits are in the zip64 extra
    // field, in this order, each only when its 32-bit field is saturated
    // (APPNOTE 4.5.3).
    const uint8_t* extra = p + kCentralHeaderBytes + nameLength;
    for (size_t x = 0; x + 4 <= extraLength;) {
      uint16_t id = ReadU16(extra + x);
      size_t len = ReadU16(extra + x + 2);
      if (x + 4 + len > extraLength) break;
      if (id == 0x0001) {
        const uint8_t* f = extra + x + 4;
        size_t used = 0;
        auto take = [&](uint64_t* field) {
          if (*field != 0xFFFFFFFFu) return;
          if (used + 8 > len) return;
          *field = ReadU64(f + used);
          used += 8;
        };
        take(&e.uncompressedSize);
        take(&e.compressedSize);
        take(&e.localHeaderOffset);
      }
      x += 4 + len;
    }
    std::string key = Key(e.name);
    archive->byKey_.emplace(std::move(key), archive->entries_.size());
    archive->entries_.push_back(std::move(e));
    pos += recordLength;
  }
  if (archive->entries_.empty()) return Status::Error("the ZIP archive has no entries");
  MarkOverlaps(&archive->entries_);
  *out = std::move(archive);
  return Status::Ok();
}

const ZipEntry* ZipArchive::Find(std::string_view name) const {
  auto it = byKey_.find(Key(name));
  return it == byKey_.end() ? nullptr : &entries_[it->second];
}

// ---------------------------------------------------------------------------

InflateEngine DefaultInflateEngine() {
#ifdef TABREVO_HAVE_ISAL
  return InflateEngine::kIsal;
#else
  return InflateEngine::kZlib;
#endif
}

bool HaveInflateEngine(InflateEngine engine) {
#ifdef TABREVO_HAVE_ISAL
  return engine == InflateEngine::kZlib || engine == InflateEngine::kIsal;
#else
  return engine == InflateEngine::kZlib;
#endif
}

const char* InflateEngineName(InflateEngine engine) {
  return engine == InflateEngine::kIsal ? "ISA-L" : "zlib";
}

// Raw deflate data (no zlib or gzip wrapper) to bytes, fed in chunks.
class ZipEntryReader::Inflater {
 public:
  enum class Step { kMore, kEnd, kDamaged };
  virtual ~Inflater() = default;
  virtual void SetInput(const uint8_t* bytes, size_t n) = 0;
  virtual size_t InputLeft() const = 0;
  // Inflates into out[0, room): *made bytes. kEnd once the last block is
  // complete and delivered; kDamaged with the reason in *why.
  virtual Step Inflate(uint8_t* out, size_t room, size_t* made, std::string* why) = 0;
};

namespace {

class ZlibInflater final : public ZipEntryReader::Inflater {
 public:
  bool Start() {
    // Negative window bits: raw deflate data without a zlib header.
    ready_ = inflateInit2(&z_, -MAX_WBITS) == Z_OK;
    return ready_;
  }
  ~ZlibInflater() override {
    if (ready_) inflateEnd(&z_);
  }
  void SetInput(const uint8_t* bytes, size_t n) override {
    z_.next_in = const_cast<Bytef*>(bytes);
    z_.avail_in = static_cast<uInt>(n);
  }
  size_t InputLeft() const override { return z_.avail_in; }
  Step Inflate(uint8_t* out, size_t room, size_t* made, std::string* why) override {
    z_.next_out = out;
    z_.avail_out = static_cast<uInt>(room);
    int rc = inflate(&z_, Z_NO_FLUSH);
    *made = room - z_.avail_out;
    if (rc == Z_STREAM_END) return Step::kEnd;
    // Z_BUF_ERROR: no progress was possible; the caller tells why.
    if (rc == Z_OK || rc == Z_BUF_ERROR) return Step::kMore;
    *why = z_.msg ? z_.msg : "inflate failed";
    return Step::kDamaged;
  }

 private:
  z_stream z_{};
  bool ready_ = false;
};

#ifdef TABREVO_HAVE_ISAL
class IsalInflater final : public ZipEntryReader::Inflater {
 public:
  IsalInflater() {
    isal_inflate_init(&s_);
    s_.crc_flag = ISAL_DEFLATE;  // raw deflate data, no checksum of its own
  }
  void SetInput(const uint8_t* bytes, size_t n) override {
    s_.next_in = const_cast<uint8_t*>(bytes);
    s_.avail_in = static_cast<uint32_t>(n);
  }
  size_t InputLeft() const override { return s_.avail_in; }
  Step Inflate(uint8_t* out, size_t room, size_t* made, std::string* why) override {
    s_.next_out = out;
    s_.avail_out = static_cast<uint32_t>(room);
    int rc = isal_inflate(&s_);
    *made = room - s_.avail_out;
    if (rc < 0) {
      switch (rc) {
        case ISAL_INVALID_BLOCK: *why = "invalid block"; break;
        case ISAL_INVALID_SYMBOL: *why = "invalid code"; break;
        case ISAL_INVALID_LOOKBACK: *why = "invalid distance too far back"; break;
        default: *why = "inflate failed (" + std::to_string(rc) + ")"; break;
      }
      return Step::kDamaged;
    }
    if (rc == ISAL_NEED_DICT) {
      *why = "a preset dictionary is needed";
      return Step::kDamaged;
    }
    // ISAL_BLOCK_INPUT_DONE: the last block is decoded but some of it may
    // still wait in the inflater's own buffer for room.
    return s_.block_state == ISAL_BLOCK_FINISH ? Step::kEnd : Step::kMore;
  }

 private:
  inflate_state s_;
};
#endif

}  // namespace

ZipEntryReader::ZipEntryReader() = default;
ZipEntryReader::~ZipEntryReader() = default;

Status ZipEntryReader::Fail(const std::string& what) {
  failed_ = true;
  return Status::Error(name_ + ": " + what);
}

uint32_t ZipEntryReader::Crc(uint32_t crc, const char* bytes, size_t n) const {
#ifdef TABREVO_HAVE_ISAL
  if (isalCrc_) return crc32_gzip_refl(crc, reinterpret_cast<const unsigned char*>(bytes), n);
#else
  (void)isalCrc_;
#endif
  return static_cast<uint32_t>(crc32(crc, reinterpret_cast<const Bytef*>(bytes), static_cast<uInt>(n)));
}

Status ZipEntryReader::Open(ByteSource& source, const ZipArchive& archive, const ZipEntry& entry,
                            InflateEngine engine) {
  source_ = &source;
  name_ = entry.name;
  method_ = entry.method;
  expectedCrc_ = entry.crc32;
  declared_ = entry.uncompressedSize;
  // Bit 0: the entry is encrypted; bit 6: strong encryption; method 99 is
  // the AES form (APPNOTE 4.4.4, 4.4.5).
  if ((entry.flags & 0x0041) != 0 || entry.method == 99) return Fail("the part is encrypted");
  if (entry.method != 0 && entry.method != 8)
    return Fail("compression method " + std::to_string(entry.method) + " is not supported");
  if (declared_ > kMaxZipPartBytes) return Fail("the part declares more than 4 GiB");
  if (entry.overlaps) return Fail("the part's data overlaps another part's");
  if (entry.method == 0 && entry.compressedSize != entry.uncompressedSize)
    return Fail("a stored part whose sizes differ");

  uint64_t local = 0;
  if (!CheckedAdd(entry.localHeaderOffset, archive.prefixBytes(), &local) ||
      !RangeFits(local, kLocalHeaderBytes, source.size()))
    return Fail("the local header lies outside the file");
  uint8_t h[kLocalHeaderBytes];
  READER_RETURN_IF_ERROR(source.ReadAt(local, h, sizeof h).Prefix(name_));
  if (ReadU32(h) != kLocalHeaderSig) return Fail("no local header where the directory says");
  // The data follows the local header's own name and extra field, which
  // may differ in length from the central directory's (APPNOTE 4.3.7).
  uint64_t data = local + kLocalHeaderBytes + ReadU16(h + 26) + ReadU16(h + 28);
  if (!RangeFits(data, entry.compressedSize, source.size()))
    return Fail("the data runs past the end of the file");
  inPos_ = dataPos_ = data;
  inLeft_ = dataSize_ = entry.compressedSize;
  if (!HaveInflateEngine(engine)) engine = InflateEngine::kZlib;
  engine_ = engine;
  isalCrc_ = engine == InflateEngine::kIsal;
  if (method_ == 8) {
#ifdef TABREVO_HAVE_ISAL
    if (engine == InflateEngine::kIsal) inflater_ = std::make_unique<IsalInflater>();
#endif
    if (!inflater_) {
      auto z = std::make_unique<ZlibInflater>();
      if (!z->Start()) return Fail("cannot start inflating");
      inflater_ = std::move(z);
    }
    in_.reset(new uint8_t[kInputChunk]);
  }
  return Status::Ok();
}

Status ZipEntryReader::FillInput() {
  size_t n = static_cast<size_t>(std::min<uint64_t>(inLeft_, kInputChunk));
  Status s = source_->ReadAt(inPos_, in_.get(), n);
  if (!s.ok()) return Fail(s.message());
  inPos_ += n;
  inLeft_ -= n;
  inflater_->SetInput(in_.get(), n);
  return Status::Ok();
}

Status ZipEntryReader::InflateInto(uint8_t* out, size_t room, size_t* n) {
  *n = 0;
  while (*n < room) {
    if (inflater_->InputLeft() == 0 && inLeft_ > 0) READER_RETURN_IF_ERROR(FillInput());
    size_t inBefore = inflater_->InputLeft();
    size_t made = 0;
    std::string why;
    Inflater::Step step = inflater_->Inflate(out + *n, room - *n, &made, &why);
    *n += made;
    if (step == Inflater::Step::kDamaged) return Fail("damaged compressed data (" + why + ")");
    if (step == Inflater::Step::kEnd) {
      done_ = true;
      break;
    }
    if (made == 0 && inflater_->InputLeft() == inBefore) {
      // No progress: every compressed byte is in and the last block is not
      // complete (or the inflater cannot go on).
      if (inBefore == 0 && inLeft_ == 0) return Fail("the compressed data ends early");
      if (inBefore != 0) return Fail("damaged compressed data (the inflater made no progress)");
    }
    // Deliver what we have rather than wait for a full buffer when the
    // input chunk ran dry.
    if (made != 0 && inflater_->InputLeft() == 0) break;
  }
  return Status::Ok();
}

Status ZipEntryReader::RestartWithZlib() {
  auto z = std::make_unique<ZlibInflater>();
  if (!z->Start()) return Fail("cannot start inflating");
  inflater_ = std::move(z);
  engine_ = InflateEngine::kZlib;
  failed_ = false;
  done_ = false;
  inPos_ = dataPos_;
  inLeft_ = dataSize_;
  // Skip what was delivered: the same bytes, as both decode the same stream.
  std::unique_ptr<uint8_t[]> scratch(new uint8_t[kInputChunk]);
  for (uint64_t skipped = 0; skipped < produced_ && !done_;) {
    size_t made = 0;
    READER_RETURN_IF_ERROR(InflateInto(
        scratch.get(), static_cast<size_t>(std::min<uint64_t>(kInputChunk, produced_ - skipped)), &made));
    skipped += made;
  }
  return Status::Ok();
}

Status ZipEntryReader::Read(char* buffer, size_t capacity, size_t* got) {
  *got = 0;
  if (!ending_.ok()) return ending_;
  if (failed_) return Status::Error(name_ + ": the part is damaged");
  if (done_ || capacity == 0) return Status::Ok();
  capacity = std::min<size_t>(capacity, size_t(1) << 30);
  if (method_ == 0) {
    size_t n = static_cast<size_t>(std::min<uint64_t>(inLeft_, capacity));
    if (n > 0) {
      Status s = source_->ReadAt(inPos_, buffer, n);
      if (!s.ok()) return Fail(s.message());
      inPos_ += n;
      inLeft_ -= n;
      produced_ += n;
      crc_ = Crc(crc_, buffer, n);
      *got = n;
      return Status::Ok();
    }
    done_ = true;
  } else {
    // Room for one byte more than declared, so that overlong output shows.
    uint64_t allowed = declared_ - produced_ + 1;
    size_t room = static_cast<size_t>(std::min<uint64_t>(capacity, allowed));
    uint8_t* out = reinterpret_cast<uint8_t*>(buffer);
    size_t n = 0;
    Status s = InflateInto(out, room, &n);
    if (!s.ok() && engine_ == InflateEngine::kIsal) {
      // ISA-L decodes ahead of what it hands over and stops short of the
      // last symbols at a cut, so on damage it would deliver fewer bytes
      // than zlib. Inflate again with zlib, past what was delivered, so that
      // a damaged part gives the same bytes whichever inflater a build has.
      s = RestartWithZlib();
      if (s.ok()) s = InflateInto(out, room, &n);
    }
    if (!s.ok()) return s;
    produced_ += n;
    if (produced_ > declared_) return Fail("the part inflates beyond its declared size");
    if (n) crc_ = Crc(crc_, buffer, n);
    *got = n;
    if (!done_) return Status::Ok();
  }
  // The end: a wrong size or checksum is reported after the last bytes
  // are delivered, so that a reader keeps everything the part gave.
  if (produced_ != declared_)
    ending_ = Fail("the part ends before its declared size");
  else if (crc_ != expectedCrc_)
    ending_ = Fail("CRC-32 mismatch (the part is damaged)");
  if (*got > 0) return Status::Ok();
  return ending_;
}

Status ReadZipEntry(ByteSource& source, const ZipArchive& archive, const ZipEntry& entry, size_t maxBytes,
                    std::string* out) {
  out->clear();
  if (entry.uncompressedSize > maxBytes)
    return Status::Error(entry.name + ": the part is too large (" + std::to_string(entry.uncompressedSize) +
                         " bytes)");
  ZipEntryReader reader;
  READER_RETURN_IF_ERROR(reader.Open(source, archive, entry));
  out->resize(static_cast<size_t>(entry.uncompressedSize));
  size_t have = 0;
  for (;;) {
    char extra[1];
    // Read into the string; one spare byte shows a part that overruns.
    char* dst = have < out->size() ? &(*out)[have] : extra;
    size_t room = have < out->size() ? out->size() - have : 1;
    size_t got = 0;
    READER_RETURN_IF_ERROR(reader.Read(dst, room, &got));
    if (got == 0) break;
    have += got;
  }
  out->resize(have);
  return Status::Ok();
}

}  // namespace reader
