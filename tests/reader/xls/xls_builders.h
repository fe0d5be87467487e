// Byte-level builders for the .xls tests: BIFF record streams and compound
// files, so damaged and unusual layouts can be made exactly.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "reader/core/book.h"

namespace xls_test {

// The payload of one record.
class Bytes {
 public:
  Bytes& u8(uint32_t v) {
    b_.push_back(static_cast<uint8_t>(v));
    return *this;
  }
  Bytes& u16(uint32_t v) { return u8(v & 0xFF).u8((v >> 8) & 0xFF); }
  Bytes& u32(uint32_t v) { return u16(v & 0xFFFF).u16(v >> 16); }
  Bytes& f64(double d) {
    uint64_t bits;
    std::memcpy(&bits, &d, 8);
    return u32(static_cast<uint32_t>(bits)).u32(static_cast<uint32_t>(bits >> 32));
  }
  Bytes& raw(const std::string& s) {
    b_.insert(b_.end(), s.begin(), s.end());
    return *this;
  }
  Bytes& utf16(const std::u16string& s) {
    for (char16_t c : s) u16(c);
    return *this;
  }
  // BIFF8 XLUnicodeString: 16-bit count, flags, compressed (Latin-1) chars.
  Bytes& str16(const std::string& latin1) { return u16(static_cast<uint32_t>(latin1.size())).u8(0).raw(latin1); }
  // BIFF8 short string (8-bit count), compressed.
  Bytes& str8u(const std::string& latin1) { return u8(static_cast<uint32_t>(latin1.size())).u8(0).raw(latin1); }
  // BIFF2-7 byte strings with 8- or 16-bit counts.
  Bytes& bstr8(const std::string& bytes) { return u8(static_cast<uint32_t>(bytes.size())).raw(bytes); }
  Bytes& bstr16(const std::string& bytes) { return u16(static_cast<uint32_t>(bytes.size())).raw(bytes); }
  const std::vector<uint8_t>& data() const { return b_; }

 private:
  std::vector<uint8_t> b_;
};

// A BIFF stream of records.
class Stream {
 public:
  // Appends a record; returns the offset of its header.
  size_t Add(uint16_t type, const Bytes& payload = Bytes()) {
    size_t at = b_.size();
    const auto& d = payload.data();
    Put16(type);
    Put16(static_cast<uint16_t>(d.size()));
    b_.insert(b_.end(), d.begin(), d.end());
    return at;
  }
  size_t size() const { return b_.size(); }
  void PatchU32(size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b_[at + i] = static_cast<uint8_t>(v >> (8 * i));
  }
  void Append(const std::vector<uint8_t>& raw) { b_.insert(b_.end(), raw.begin(), raw.end()); }
  std::vector<uint8_t>& bytes() { return b_; }

  // Common records.
  size_t Bof8(uint16_t kind) { return Add(0x0809, Bytes().u16(0x0600).u16(kind).u16(0).u16(0).u32(0).u32(0)); }
  size_t Bof5(uint16_t kind) { return Add(0x0809, Bytes().u16(0x0500).u16(kind).u16(0).u16(0)); }
  size_t Eof() { return Add(0x000A); }

 private:
  void Put16(uint16_t v) {
    b_.push_back(static_cast<uint8_t>(v));
    b_.push_back(static_cast<uint8_t>(v >> 8));
  }
  std::vector<uint8_t> b_;
};

// A compound file of version 3 (512-byte sectors) or 4 (4096-byte sectors).
// Streams under 4096 bytes go into the mini stream, as writers do.
class CompoundFileBuilder {
 public:
  explicit CompoundFileBuilder(unsigned sectorShift = 9) : shift_(sectorShift) {}
  // parent -1: the root storage; else an id returned by AddStorage.
  int AddStream(const std::string& name, std::vector<uint8_t> bytes, int parent = -1);
  int AddStorage(const std::string& name, int parent = -1);
  // At least this many FAT sectors (more than 109 needs DIFAT sectors).
  void SetMinimumFatSectors(uint32_t n) { minFat_ = n; }

  std::vector<uint8_t> Build();

  // After Build: the first sector of an entry's stream (mini sector for
  // small streams) and where FAT entries live, for damaging the file.
  uint32_t StartOf(int id) const { return items_[static_cast<size_t>(id)].start; }
  // Overwrites FAT entry `index` in a built file.
  void PatchFat(std::vector<uint8_t>& file, uint32_t index, uint32_t value) const;
  void PatchMiniFat(std::vector<uint8_t>& file, uint32_t index, uint32_t value) const;
  size_t SectorOffset(uint32_t sector) const { return (static_cast<size_t>(sector) + 1) << shift_; }
  uint32_t directoryStart() const { return dirStart_; }
  uint32_t fatSectorCount() const { return static_cast<uint32_t>(fatSectors_.size()); }

 private:
  struct Item {
    std::string name;
    bool storage = false;
    int parent = -1;
    std::vector<uint8_t> bytes;
    uint32_t start = 0xFFFFFFFE;
  };
  unsigned shift_;
  uint32_t minFat_ = 0;
  std::vector<Item> items_;
  std::vector<uint32_t> fatSectors_;
  uint32_t miniFatStart_ = 0xFFFFFFFE;
  uint32_t dirStart_ = 0;
};

// Loads bytes as a workbook file, through container detection.
std::unique_ptr<XlBook> LoadBytes(const std::vector<uint8_t>& bytes, reader::Status* status);

// A workbook: BIFF8 globals naming the sheets, then each sheet's records
// (given as the cell records between BOF and EOF).
std::vector<uint8_t> Biff8Workbook(const std::vector<std::pair<std::string, std::vector<uint8_t>>>& sheets,
                                   const std::vector<uint8_t>& extraGlobals = {});

}  // namespace xls_test
