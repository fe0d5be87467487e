#include "tests/reader/xls/xls_builders.h"

#include <algorithm>

namespace xls_test {

namespace {

constexpr uint32_t kEnd = 0xFFFFFFFE;
constexpr uint32_t kFree = 0xFFFFFFFF;
constexpr uint32_t kFatSect = 0xFFFFFFFD;
constexpr uint32_t kDifSect = 0xFFFFFFFC;
constexpr uint32_t kNone = 0xFFFFFFFF;

void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}
void Put16(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  b[at] = static_cast<uint8_t>(v);
  b[at + 1] = static_cast<uint8_t>(v >> 8);
}

}  // namespace

int CompoundFileBuilder::AddStream(const std::string& name, std::vector<uint8_t> bytes, int parent) {
  Item item;
  item.name = name;
  item.parent = parent;
  item.bytes = std::move(bytes);
  items_.push_back(std::move(item));
  return static_cast<int>(items_.size() - 1);
}

int CompoundFileBuilder::AddStorage(const std::string& name, int parent) {
  Item item;
  item.name = name;
  item.storage = true;
  item.parent = parent;
  items_.push_back(std::move(item));
  return static_cast<int>(items_.size() - 1);
}

std::vector<uint8_t> CompoundFileBuilder::Build() {
  const uint32_t S = 1u << shift_;
  const uint32_t perFat = S / 4;
  auto sectorsFor = [&](size_t bytes) { return static_cast<uint32_t>((bytes + S - 1) / S); };

  // Small streams into the mini stream, 64-byte mini sectors.
  std::vector<uint8_t> mini;
  std::vector<uint32_t> miniFat;
  for (Item& item : items_) {
    if (item.storage || item.bytes.size() >= 4096) continue;
    if (item.bytes.empty()) {
      item.start = kEnd;
      continue;
    }
    uint32_t first = static_cast<uint32_t>(mini.size() / 64);
    uint32_t count = static_cast<uint32_t>((item.bytes.size() + 63) / 64);
    item.start = first;
    mini.insert(mini.end(), item.bytes.begin(), item.bytes.end());
    mini.resize((first + count) * 64, 0);
    for (uint32_t i = 0; i < count; ++i) miniFat.push_back(i + 1 < count ? first + i + 1 : kEnd);
  }

  // Sector layout: big streams, mini stream, mini FAT, directory, FAT, DIFAT.
  std::vector<uint32_t> fat;
  uint32_t next = 0;
  auto chain = [&](uint32_t count) {
    uint32_t first = next;
    if (fat.size() < next + count) fat.resize(next + count, kFree);
    for (uint32_t i = 0; i < count; ++i) fat[next + i] = i + 1 < count ? next + i + 1 : kEnd;
    next += count;
    return count ? first : kEnd;
  };
  std::vector<std::pair<uint32_t, const std::vector<uint8_t>*>> placed;
  for (Item& item : items_) {
    if (item.storage || item.bytes.size() < 4096) continue;
    item.start = chain(sectorsFor(item.bytes.size()));
    placed.push_back({item.start, &item.bytes});
  }
  uint32_t miniStart = chain(sectorsFor(mini.size()));
  if (!mini.empty()) placed.push_back({miniStart, &mini});
  std::vector<uint8_t> miniFatBytes(miniFat.size() * 4);
  for (size_t i = 0; i < miniFat.size(); ++i) Put32(miniFatBytes, 4 * i, miniFat[i]);
  miniFatBytes.resize(sectorsFor(miniFatBytes.size()) * S, 0xFF);
  uint32_t miniFatCount = sectorsFor(miniFatBytes.size());
  miniFatStart_ = chain(miniFatCount);
  if (miniFatCount) placed.push_back({miniFatStart_, &miniFatBytes});

  std::vector<uint8_t> dir(((items_.size() + 1) * 128 + S - 1) / S * S, 0);
  uint32_t dirCount = sectorsFor(dir.size());
  dirStart_ = chain(dirCount);

  uint32_t F = 1, D = 0;
  for (;;) {
    F = std::max(F, minFat_);
    D = F > 109 ? (F - 109 + perFat - 2) / (perFat - 1) : 0;
    if (static_cast<uint64_t>(F) * perFat >= next + F + D) break;
    ++F;
  }
  fatSectors_.clear();
  fat.resize(static_cast<size_t>(F) * perFat, kFree);
  for (uint32_t i = 0; i < F; ++i) {
    fatSectors_.push_back(next);
    fat[next++] = kFatSect;
  }
  std::vector<uint32_t> difatSectors;
  for (uint32_t i = 0; i < D; ++i) {
    difatSectors.push_back(next);
    fat[next++] = kDifSect;
  }

  // Directory entries: root, then the items; siblings linked to the right.
  auto writeEntry = [&](size_t index, const std::string& name, uint8_t type, uint32_t child, uint32_t right,
                        uint32_t start, uint64_t size) {
    size_t at = index * 128;
    size_t n = std::min<size_t>(name.size(), 31);
    for (size_t i = 0; i < n; ++i) Put16(dir, at + 2 * i, static_cast<uint8_t>(name[i]));
    Put16(dir, at + 64, static_cast<uint32_t>((n + 1) * 2));
    dir[at + 66] = type;
    dir[at + 67] = 1;
    Put32(dir, at + 68, kNone);
    Put32(dir, at + 72, right);
    Put32(dir, at + 76, child);
    Put32(dir, at + 116, start);
    Put32(dir, at + 120, static_cast<uint32_t>(size));
    Put32(dir, at + 124, static_cast<uint32_t>(size >> 32));
  };
  auto childrenOf = [&](int parent) {
    std::vector<uint32_t> ids;
    for (size_t i = 0; i < items_.size(); ++i)
      if (items_[i].parent == parent) ids.push_back(static_cast<uint32_t>(i + 1));
    return ids;
  };
  auto firstAndLinks = [&](int parent, std::vector<uint32_t>* right) {
    std::vector<uint32_t> ids = childrenOf(parent);
    for (size_t k = 0; k < ids.size(); ++k) (*right)[ids[k]] = k + 1 < ids.size() ? ids[k + 1] : kNone;
    return ids.empty() ? kNone : ids[0];
  };
  std::vector<uint32_t> right(items_.size() + 1, kNone);
  uint32_t rootChild = firstAndLinks(-1, &right);
  std::vector<uint32_t> child(items_.size() + 1, kNone);
  for (size_t i = 0; i < items_.size(); ++i)
    if (items_[i].storage) child[i + 1] = firstAndLinks(static_cast<int>(i), &right);
  writeEntry(0, "Root Entry", 5, rootChild, kNone, mini.empty() ? kEnd : miniStart, mini.size());
  for (size_t i = 0; i < items_.size(); ++i) {
    const Item& item = items_[i];
    writeEntry(i + 1, item.name, item.storage ? 1 : 2, child[i + 1], right[i + 1], item.storage ? 0 : item.start,
               item.storage ? 0 : item.bytes.size());
  }
  placed.push_back({dirStart_, &dir});

  std::vector<uint8_t> file((static_cast<size_t>(next) + 1) * S, 0);
  static const uint8_t kSig[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
  std::memcpy(file.data(), kSig, 8);
  Put16(file, 24, 0x3E);
  Put16(file, 26, shift_ == 9 ? 3 : 4);
  Put16(file, 28, 0xFFFE);
  Put16(file, 30, shift_);
  Put16(file, 32, 6);
  Put32(file, 40, shift_ == 9 ? 0 : dirCount);
  Put32(file, 44, F);
  Put32(file, 48, dirStart_);
  Put32(file, 56, 4096);
  Put32(file, 60, miniFatCount ? miniFatStart_ : kEnd);
  Put32(file, 64, miniFatCount);
  Put32(file, 68, D ? difatSectors[0] : kEnd);
  Put32(file, 72, D);
  for (uint32_t i = 0; i < 109; ++i) Put32(file, 76 + 4 * i, i < F ? fatSectors_[i] : kFree);
  for (uint32_t d = 0; d < D; ++d) {
    size_t at = SectorOffset(difatSectors[d]);
    for (uint32_t k = 0; k < perFat - 1; ++k) {
      uint32_t index = 109 + d * (perFat - 1) + k;
      Put32(file, at + 4 * k, index < F ? fatSectors_[index] : kFree);
    }
    Put32(file, at + 4 * (perFat - 1), d + 1 < D ? difatSectors[d + 1] : kEnd);
  }
  for (uint32_t i = 0; i < F; ++i)
    for (uint32_t k = 0; k < perFat; ++k) Put32(file, SectorOffset(fatSectors_[i]) + 4 * k, fat[i * perFat + k]);
  for (const auto& [start, bytes] : placed) std::copy(bytes->begin(), bytes->end(), file.begin() + SectorOffset(start));
  return file;
}

void CompoundFileBuilder::PatchFat(std::vector<uint8_t>& file, uint32_t index, uint32_t value) const {
  uint32_t perFat = (1u << shift_) / 4;
  Put32(file, SectorOffset(fatSectors_[index / perFat]) + 4 * (index % perFat), value);
}

void CompoundFileBuilder::PatchMiniFat(std::vector<uint8_t>& file, uint32_t index, uint32_t value) const {
  // The mini FAT is one contiguous run of sectors in these files.
  Put32(file, SectorOffset(miniFatStart_) + 4 * index, value);
}

std::unique_ptr<XlBook> LoadBytes(const std::vector<uint8_t>& bytes, reader::Status* status) {
  std::unique_ptr<XlBook> book(reader::NewMemoryBook(reader::BookKind::Xls));
  *status = reader::LoadBookSource(*book, std::make_unique<reader::MemorySource>(bytes, "test.xls"));
  return book;
}

std::vector<uint8_t> Biff8Workbook(const std::vector<std::pair<std::string, std::vector<uint8_t>>>& sheets,
                                   const std::vector<uint8_t>& extraGlobals) {
  Stream s;
  s.Bof8(0x0005);
  s.Append(extraGlobals);
  std::vector<size_t> positions;
  for (const auto& sheet : sheets)
    positions.push_back(s.Add(0x0085, Bytes().u32(0).u8(0).u8(0).str8u(sheet.first)) + 4);
  s.Eof();
  for (size_t i = 0; i < sheets.size(); ++i) {
    s.PatchU32(positions[i], static_cast<uint32_t>(s.size()));
    s.Bof8(0x0010);
    s.Append(sheets[i].second);
    s.Eof();
  }
  return s.bytes();
}

}  // namespace xls_test
