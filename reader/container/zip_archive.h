// The ZIP container of .xlsx, .xlsm and .xlsb packages (APPNOTE.TXT 6.3).
//
// The central directory is read once and kept; an entry's bytes are read
// from the file when needed and inflated in large chunks as they are
// consumed, so no part is ever held whole in memory.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "reader/container/byte_stream.h"
#include "reader/container/file_source.h"
#include "reader/core/status.h"

namespace reader {

// The inflaters a build can use for deflated parts. zlib's is always there;
// ISA-L's (about 2.5 times faster) where the build found the library. Both
// produce the same bytes and refuse the same damage.
enum class InflateEngine { kZlib, kIsal };
// ISA-L's where this build has it, zlib's otherwise.
InflateEngine DefaultInflateEngine();
bool HaveInflateEngine(InflateEngine engine);
const char* InflateEngineName(InflateEngine engine);

// A part may never inflate to more than this, whatever it declares.
inline constexpr uint64_t kMaxZipPartBytes = uint64_t(4) << 30;

struct ZipEntry {
  std::string name;  // as stored
  uint64_t compressedSize = 0;
  uint64_t uncompressedSize = 0;
  uint64_t localHeaderOffset = 0;
  uint32_t crc32 = 0;
  uint16_t method = 0;
  uint16_t flags = 0;
  // The entry's bytes overlap another entry's: never in an archive a writer
  // made, but the way a small file names one compressed stream many times
  // (a ZIP bomb). Such an entry is not read.
  bool overlaps = false;
};

class ZipArchive {
 public:
  // Reads the end-of-central-directory record (searched for backwards past
  // an archive comment), its zip64 form when present, and the central
  // directory.
  static Status Open(ByteSource& source, std::unique_ptr<ZipArchive>* out);

  // The entry of a part name; case-insensitive, '\' and '/' alike, a
  // leading '/' ignored. Of several entries with one name the first counts.
  const ZipEntry* Find(std::string_view name) const;
  const std::vector<ZipEntry>& entries() const { return entries_; }
  // Bytes before the archive proper (a self-extractor stub, say): every
  // offset the directory declares is shifted by this much.
  uint64_t prefixBytes() const { return prefix_; }

  // The lookup form of a part name.
  static std::string Key(std::string_view name);

 private:
  std::vector<ZipEntry> entries_;
  std::unordered_map<std::string, size_t> byKey_;
  uint64_t prefix_ = 0;
};

// Reads one entry from start to end: stored bytes as they are, deflated
// ones inflated in chunks straight into the caller's buffer. Output beyond
// the declared size, output past kMaxZipPartBytes, a truncated stream and a
// CRC-32 mismatch are errors.
class ZipEntryReader final : public ByteStream {
 public:
  ZipEntryReader();
  ~ZipEntryReader() override;
  ZipEntryReader(const ZipEntryReader&) = delete;
  ZipEntryReader& operator=(const ZipEntryReader&) = delete;

  class Inflater;  // one engine's inflating, behind one interface (the .cpp)

  // Checks the local header, the method and the encryption flag. An engine
  // this build lacks falls back to zlib's.
  Status Open(ByteSource& source, const ZipArchive& archive, const ZipEntry& entry,
              InflateEngine engine = DefaultInflateEngine());
  Status Read(char* buffer, size_t capacity, size_t* got) override;

 private:
  Status Fail(const std::string& what);
  Status FillInput();
  // Inflates into out[0, room) until it is full, the input chunk runs dry
  // with something made, or the stream ends (done_).
  Status InflateInto(uint8_t* out, size_t room, size_t* n);
  // Goes on with zlib from where the delivered bytes end.
  Status RestartWithZlib();
  uint32_t Crc(uint32_t crc, const char* bytes, size_t n) const;

  ByteSource* source_ = nullptr;
  std::string name_;
  uint16_t method_ = 0;
  uint32_t expectedCrc_ = 0;
  uint32_t crc_ = 0;
  uint64_t declared_ = 0;
  uint64_t produced_ = 0;
  uint64_t inPos_ = 0;   // file offset of the next compressed byte to read
  uint64_t inLeft_ = 0;  // compressed bytes not yet read
  uint64_t dataPos_ = 0;
  uint64_t dataSize_ = 0;
  InflateEngine engine_ = InflateEngine::kZlib;
  bool done_ = false;
  bool failed_ = false;
  Status ending_;  // a size or CRC failure found at the end, reported next
  std::unique_ptr<Inflater> inflater_;
  bool isalCrc_ = false;  // CRC-32 by ISA-L's (faster) routine
  std::unique_ptr<uint8_t[]> in_;
};

// Reads a whole entry into memory, refusing parts larger than `maxBytes`
// (for small parts such as relationships).
Status ReadZipEntry(ByteSource& source, const ZipArchive& archive, const ZipEntry& entry, size_t maxBytes,
                    std::string* out);

}  // namespace reader
