#include "reader/container/compound_file.h"

#include <algorithm>
#include <cstring>

#include "reader/core/safety.h"
#include "reader/core/text_encoding.h"
#include "reader/xls/biff_records.h"

namespace reader {

namespace {

// Special sector numbers ([MS-CFB] 2.1): everything from 0xFFFFFFFA up
// ends a chain or marks a FAT/DIFAT sector, never a data sector.
constexpr uint32_t kMaxRegularSector = 0xFFFFFFFA;
constexpr uint32_t kFreeSector = 0xFFFFFFFF;
constexpr size_t kHeaderDifatEntries = 109;
constexpr size_t kEntryBytes = 128;

}  // namespace

Status CompoundFile::Open(ByteSource& source) {
  source_ = &source;
  if (source.size() < 512) return Status::Error("compound file: the header is cut short");
  uint8_t header[512];
  READER_RETURN_IF_ERROR(source.ReadAt(0, header, sizeof header));
  READER_RETURN_IF_ERROR(ReadHeaderAndFat(header));
  READER_RETURN_IF_ERROR(ReadDirectory(ReadU32(header + 48)));
  MarkRootTree();
  return ReadMiniFat(ReadU32(header + 60), ReadU32(header + 64));
}

Status CompoundFile::ReadHeaderAndFat(const uint8_t* header) {
  static const uint8_t kSignature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
  if (std::memcmp(header, kSignature, 8) != 0) return Status::Error("compound file: bad signature");
  // The byte-order mark (0xFFFE) is not checked: some writers get it wrong
  // and the structures are little-endian regardless.
  uint16_t shift = ReadU16(header + 30);
  if (shift != 9 && shift != 12)
    return Status::Error("compound file: unsupported sector size (shift " + std::to_string(shift) + ")");
  uint16_t miniShift = ReadU16(header + 32);
  if (miniShift != 6)
    return Status::Error("compound file: unsupported mini sector size (shift " + std::to_string(miniShift) +
                         ")");
  sectorShift_ = shift;
  sectorSize_ = 1u << shift;
  miniSectorSize_ = 64;
  // The cutoff is 4096 in every version ([MS-CFB] 2.2); a header that says
  // otherwise is damaged, and trusting it would misplace every small stream.
  miniCutoff_ = 4096;
  uint64_t size = source_->size();
  // The header fills sector -1: data sectors start one sector in.
  fileSectors_ = size > sectorSize_ ? (size - sectorSize_ + sectorSize_ - 1) / sectorSize_ : 0;
  if (fileSectors_ > kMaxRegularSector) fileSectors_ = kMaxRegularSector;

  // The FAT sector numbers: 109 in the header, the rest in the DIFAT chain,
  // each DIFAT sector holding (sector size / 4 - 1) numbers and the next
  // DIFAT sector's number last ([MS-CFB] 2.5).
  uint32_t declaredFat = ReadU32(header + 44);
  uint64_t fatWanted = std::min<uint64_t>(declaredFat, fileSectors_);
  std::vector<uint32_t> fatSectors;
  fatSectors.reserve(CappedReserve(fatWanted, fileSectors_, 1));
  for (size_t i = 0; i < kHeaderDifatEntries && fatSectors.size() < fatWanted; ++i) {
    uint32_t s = ReadU32(header + 76 + 4 * i);
    if (s >= kMaxRegularSector) break;
    fatSectors.push_back(s);
  }
  uint32_t difat = ReadU32(header + 68);
  std::vector<uint8_t> buffer(sectorSize_);
  std::vector<uint8_t> seen;
  uint32_t perDifat = sectorSize_ / 4 - 1;
  while (fatSectors.size() < fatWanted && difat < kMaxRegularSector) {
    if (difat >= fileSectors_) break;  // damaged DIFAT: keep the FAT sectors found so far
    if (seen.empty()) seen.assign(static_cast<size_t>(fileSectors_), 0);
    if (seen[difat]) break;  // a DIFAT chain that loops
    seen[difat] = 1;
    READER_RETURN_IF_ERROR(ReadSectors({difat}, sectorSize_, buffer.data()));
    for (uint32_t i = 0; i < perDifat && fatSectors.size() < fatWanted; ++i) {
      uint32_t s = ReadU32(buffer.data() + 4 * i);
      if (s < kMaxRegularSector) fatSectors.push_back(s);
    }
    difat = ReadU32(buffer.data() + 4 * perDifat);
  }
  if (fatSectors.empty()) return Status::Error("compound file: the header names no FAT sector");

  uint32_t perSector = sectorSize_ / 4;
  fat_.assign(fatSectors.size() * perSector, kFreeSector);
  for (size_t i = 0; i < fatSectors.size(); ++i) {
    // A FAT sector outside the file leaves its part of the FAT free: chains
    // through it then fail with a reason, other streams stay readable.
    if (fatSectors[i] >= fileSectors_) continue;
    READER_RETURN_IF_ERROR(ReadSectors({fatSectors[i]}, sectorSize_, buffer.data()));
    for (uint32_t j = 0; j < perSector; ++j) fat_[i * perSector + j] = ReadU32(buffer.data() + 4 * j);
  }
  return Status::Ok();
}

Status CompoundFile::Chain(const std::vector<uint32_t>& fat, uint32_t start, uint64_t limit, uint64_t bound,
                           const char* what, std::vector<uint32_t>* out) const {
  out->clear();
  std::vector<uint8_t> seen;
  uint32_t s = start;
  while (s < kMaxRegularSector && out->size() < limit) {
    if (s >= fat.size() || s >= bound)
      return Status::Error(std::string("the ") + what + " sector chain points outside the file (sector " +
                           std::to_string(s) + ")");
    if (seen.empty()) seen.assign(fat.size(), 0);
    if (seen[s])
      return Status::Error(std::string("the ") + what + " sector chain loops (at sector " +
                           std::to_string(s) + ")");
    seen[s] = 1;
    out->push_back(s);
    s = fat[s];
  }
  return Status::Ok();
}

Status CompoundFile::ReadSectors(const std::vector<uint32_t>& sectors, uint64_t bytes, uint8_t* out) {
  uint64_t done = 0;
  size_t i = 0;
  uint64_t fileSize = source_->size();
  while (i < sectors.size() && done < bytes) {
    size_t j = i + 1;
    while (j < sectors.size() && sectors[j] == sectors[j - 1] + 1) ++j;
    uint64_t offset = (static_cast<uint64_t>(sectors[i]) + 1) << sectorShift_;
    uint64_t length = std::min<uint64_t>(static_cast<uint64_t>(j - i) << sectorShift_, bytes - done);
    uint64_t available = offset < fileSize ? std::min(length, fileSize - offset) : 0;
    if (available)
      READER_RETURN_IF_ERROR(source_->ReadAt(offset, out + done, static_cast<size_t>(available)));
    if (available < length) std::memset(out + done + available, 0, static_cast<size_t>(length - available));
    done += length;
    i = j;
  }
  return Status::Ok();
}

Status CompoundFile::ReadDirectory(uint32_t firstSector) {
  std::vector<uint32_t> sectors;
  Status chain = Chain(fat_, firstSector, fileSectors_, fileSectors_, "directory", &sectors);
  // A directory chain that breaks off keeps the entries read before the
  // break; a stream among them can still be read.
  if (sectors.empty())
    return chain.ok() ? Status::Error("compound file: the directory is empty")
                      : chain.Prefix("compound file");
  std::vector<uint8_t> bytes(sectors.size() << sectorShift_);
  READER_RETURN_IF_ERROR(ReadSectors(sectors, bytes.size(), bytes.data()));
  size_t count = bytes.size() / kEntryBytes;
  entries_.clear();
  entries_.reserve(count);
  std::u16string name16;
  for (size_t i = 0; i < count; ++i) {
    const uint8_t* p = bytes.data() + i * kEntryBytes;
    Entry e;
    uint16_t nameBytes = ReadU16(p + 64);
    size_t chars = std::min<size_t>(nameBytes, 64) / 2;
    size_t n = 0;
    while (n < chars && (p[2 * n] | p[2 * n + 1]) != 0) ++n;
    AppendUtf16Le(e.name, p, n);
    uint8_t type = p[66];
    e.type = (type == 1 || type == 2 || type == 5) ? static_cast<EntryType>(type) : EntryType::Unknown;
    e.left = ReadU32(p + 68);
    e.right = ReadU32(p + 72);
    e.child = ReadU32(p + 76);
    e.start = ReadU32(p + 116);
    // Version 3 files (512-byte sectors) keep only 32 bits of the size; the
    // upper half may hold garbage ([MS-CFB] 2.6.3).
    e.size = sectorShift_ == 9 ? ReadU32(p + 120) : ReadU64(p + 120);
    entries_.push_back(std::move(e));
  }
  return Status::Ok();
}

void CompoundFile::MarkRootTree() {
  if (entries_.empty()) return;
  // The root's children form one binary tree over left/right links; walk it
  // with a visited mark so a damaged tree cannot loop.
  std::vector<uint8_t> seen(entries_.size(), 0);
  std::vector<uint32_t> stack;
  stack.push_back(entries_[0].child);
  while (!stack.empty()) {
    uint32_t i = stack.back();
    stack.pop_back();
    if (i >= entries_.size() || seen[i]) continue;
    seen[i] = 1;
    entries_[i].inRoot = true;
    stack.push_back(entries_[i].left);
    stack.push_back(entries_[i].right);
  }
}

Status CompoundFile::ReadMiniFat(uint32_t firstSector, uint32_t declaredSectors) {
  miniFat_.clear();
  if (firstSector >= kMaxRegularSector || declaredSectors == 0) return Status::Ok();
  std::vector<uint32_t> sectors;
  // A broken mini FAT chain only matters for small streams: keep what it gave.
  (void)Chain(fat_, firstSector, std::min<uint64_t>(declaredSectors, fileSectors_), fileSectors_, "mini FAT",
              &sectors);
  std::vector<uint8_t> bytes(sectors.size() << sectorShift_);
  READER_RETURN_IF_ERROR(ReadSectors(sectors, bytes.size(), bytes.data()));
  miniFat_.resize(bytes.size() / 4);
  for (size_t i = 0; i < miniFat_.size(); ++i) miniFat_[i] = ReadU32(bytes.data() + 4 * i);
  return Status::Ok();
}

const CompoundFile::Entry* CompoundFile::FindStream(std::string_view name) const {
  for (const Entry& e : entries_)
    if (e.inRoot && e.type == EntryType::Stream && EqualsAsciiNoCase(e.name, name)) return &e;
  // Fallback for a damaged tree: streams that no storage reaches at all.
  // Streams inside embedded storages stay out (their "Workbook" is another
  // document's).
  std::vector<uint8_t> reached(entries_.size(), 0);
  std::vector<uint32_t> stack;
  if (!entries_.empty()) {
    reached[0] = 1;
    stack.push_back(entries_[0].child);
  }
  while (!stack.empty()) {
    uint32_t i = stack.back();
    stack.pop_back();
    if (i >= entries_.size() || reached[i]) continue;
    reached[i] = 1;
    stack.push_back(entries_[i].left);
    stack.push_back(entries_[i].right);
    if (entries_[i].type == EntryType::Storage) stack.push_back(entries_[i].child);
  }
  for (size_t i = 0; i < entries_.size(); ++i) {
    const Entry& e = entries_[i];
    if (!reached[i] && e.type == EntryType::Stream && EqualsAsciiNoCase(e.name, name)) return &e;
  }
  return nullptr;
}

Status CompoundFile::RegularSectors(const Entry& entry, std::vector<uint32_t>* sectors, uint64_t* bytes,
                                    Status* chain) const {
  uint64_t needed = (entry.size + sectorSize_ - 1) >> sectorShift_;
  *chain =
      Chain(fat_, entry.start, std::min<uint64_t>(needed, fileSectors_), fileSectors_, "stream", sectors);
  *bytes = std::min<uint64_t>(entry.size, static_cast<uint64_t>(sectors->size()) << sectorShift_);
  return Status::Ok();
}

Status CompoundFile::StreamBytesOf(const Entry& entry, ByteSource& file, biff::StreamBytes* out,
                                   std::string* damage) {
  if (entry.type == EntryType::Root || entry.size >= miniCutoff_) {
    std::vector<uint32_t> sectors;
    uint64_t bytes = 0;
    Status chain;
    READER_RETURN_IF_ERROR(RegularSectors(entry, &sectors, &bytes, &chain));
    if (sectors.empty() && entry.size > 0)
      return chain.ok() ? Status::Error("the stream's sector chain is empty") : chain;
    damage->clear();
    if (bytes < entry.size) {
      *damage = chain.ok() ? "the sector chain ends early" : chain.message();
      *damage += " (" + std::to_string(bytes) + " of " + std::to_string(entry.size) + " bytes read)";
    }
    // Runs of consecutive sectors, cut at the stream's size and at the end
    // of the file (a short last sector).
    std::vector<biff::StreamBytes::Extent> extents;
    uint64_t left = bytes, fileSize = file.size();
    for (size_t i = 0; i < sectors.size() && left > 0;) {
      size_t j = i + 1;
      while (j < sectors.size() && sectors[j] == sectors[j - 1] + 1) ++j;
      uint64_t offset = (static_cast<uint64_t>(sectors[i]) + 1) << sectorShift_;
      uint64_t length = std::min<uint64_t>(static_cast<uint64_t>(j - i) << sectorShift_, left);
      left -= length;
      if (offset >= fileSize) break;
      if (length > fileSize - offset) {
        extents.push_back({offset, fileSize - offset});
        break;
      }
      extents.push_back({offset, length});
      i = j;
    }
    out->SetFile(&file, std::move(extents));
    if (out->size() < bytes && damage->empty())
      *damage = "the file ends inside the stream (" + std::to_string(out->size()) + " of " +
                std::to_string(entry.size) + " bytes there)";
    return Status::Ok();
  }
  std::vector<uint8_t> bytes;
  READER_RETURN_IF_ERROR(ReadStream(entry, &bytes, damage));
  out->SetMemory(std::move(bytes));
  return Status::Ok();
}

Status CompoundFile::ReadStream(const Entry& entry, std::vector<uint8_t>* out, std::string* damage) {
  out->clear();
  if (damage) damage->clear();
  bool mini = entry.type != EntryType::Root && entry.size < miniCutoff_;
  std::vector<uint32_t> sectors;
  Status chain;
  uint64_t bytes = 0;
  if (!mini) {
    READER_RETURN_IF_ERROR(RegularSectors(entry, &sectors, &bytes, &chain));
  } else {
    if (!miniStreamRead_) {
      miniStreamRead_ = true;
      if (!entries_.empty() && !ReadStream(entries_[0], &miniStream_, nullptr).ok()) miniStream_.clear();
    }
    uint64_t needed = (entry.size + miniSectorSize_ - 1) / miniSectorSize_;
    uint64_t miniSectors = miniStream_.size() / miniSectorSize_;
    chain = Chain(miniFat_, entry.start, std::min<uint64_t>(needed, miniFat_.size()), miniSectors,
                  "mini stream", &sectors);
    bytes = std::min<uint64_t>(entry.size, static_cast<uint64_t>(sectors.size()) * miniSectorSize_);
  }
  if (sectors.empty() && entry.size > 0)
    return chain.ok() ? Status::Error("the stream's sector chain is empty") : chain;
  if (damage && bytes < entry.size) {
    *damage = chain.ok() ? "the sector chain ends early" : chain.message();
    *damage += " (" + std::to_string(bytes) + " of " + std::to_string(entry.size) + " bytes read)";
  }
  out->resize(static_cast<size_t>(bytes));
  if (!mini) return ReadSectors(sectors, bytes, out->data());
  uint64_t done = 0;
  for (uint32_t s : sectors) {
    uint64_t n = std::min<uint64_t>(miniSectorSize_, bytes - done);
    std::memcpy(out->data() + done, miniStream_.data() + static_cast<size_t>(s) * miniSectorSize_,
                static_cast<size_t>(n));
    done += n;
  }
  return Status::Ok();
}

}  // namespace reader
