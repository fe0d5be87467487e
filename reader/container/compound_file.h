// The OLE compound file container ([MS-CFB]): the file system inside an .xls.
//
// Open reads the header, the FAT (with the DIFAT chain beyond the header),
// the directory and the mini FAT; streams are then read whole by name.
// Every sector number, chain and directory link read from the file is
// checked: chains that loop or leave the file fail with a reason instead of
// hanging or reading garbage.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "reader/container/file_source.h"
#include "reader/core/status.h"

namespace reader {

namespace biff {
class StreamBytes;
}

class CompoundFile {
 public:
  enum class EntryType : uint8_t { Unknown = 0, Storage = 1, Stream = 2, Root = 5 };

  struct Entry {
    std::string name;  // UTF-8
    EntryType type = EntryType::Unknown;
    uint32_t left = kNoStream, right = kNoStream, child = kNoStream;
    uint32_t start = 0;
    uint64_t size = 0;
    bool inRoot = false;  // reachable from the root storage's own child tree
  };

  static constexpr uint32_t kNoStream = 0xFFFFFFFF;

  // Reads the container structures of `source`. The source must outlive
  // the object.
  Status Open(ByteSource& source);

  const std::vector<Entry>& entries() const { return entries_; }
  uint32_t sectorSize() const { return sectorSize_; }

  // The stream named `name` (ASCII case-insensitive) directly in the root
  // storage; streams of embedded storages (embedded documents) are only
  // taken when the root's directory tree is too damaged to hold the name.
  // Null when there is none.
  const Entry* FindStream(std::string_view name) const;

  // Reads a whole stream. A chain that ends early, loops or leaves the file
  // gives the bytes read before the break and says why in *damage (empty
  // for an intact stream); it fails only when nothing could be read.
  Status ReadStream(const Entry& entry, std::vector<uint8_t>* out, std::string* damage = nullptr);

  // The same stream as a BIFF stream source: small streams (in the mini
  // stream) are read into memory, larger ones become runs of the file
  // that are read when used. Damage as for ReadStream.
  Status StreamBytesOf(const Entry& entry, ByteSource& file, biff::StreamBytes* out, std::string* damage);

 private:
  Status ReadHeaderAndFat(const uint8_t* header);
  Status ReadDirectory(uint32_t firstSector);
  Status ReadMiniFat(uint32_t firstSector, uint32_t declaredSectors);
  // The sectors of the chain that starts at `start` in `fat`, at most
  // `limit` of them, each below `bound`; fails on a loop or an
  // out-of-range sector, keeping the sectors before it in *out.
  // The sectors of a regular (not mini) stream, with its readable size.
  Status RegularSectors(const Entry& entry, std::vector<uint32_t>* sectors, uint64_t* bytes, Status* chain) const;
  Status Chain(const std::vector<uint32_t>& fat, uint32_t start, uint64_t limit, uint64_t bound,
               const char* what, std::vector<uint32_t>* out) const;
  // Reads sectors in chain order into out (sizes in bytes), joining runs
  // of consecutive sectors into one read. The last sector of the file may
  // be short: the missing bytes read as zeros.
  Status ReadSectors(const std::vector<uint32_t>& sectors, uint64_t bytes, uint8_t* out);
  void MarkRootTree();

  ByteSource* source_ = nullptr;
  uint32_t sectorShift_ = 9;
  uint32_t sectorSize_ = 512;
  uint32_t miniSectorSize_ = 64;
  uint32_t miniCutoff_ = 4096;
  uint64_t fileSectors_ = 0;  // sectors the file holds (the last one may be short)
  std::vector<uint32_t> fat_;
  std::vector<uint32_t> miniFat_;
  std::vector<Entry> entries_;
  std::vector<uint8_t> miniStream_;
  bool miniStreamRead_ = false;
};

}  // namespace reader
