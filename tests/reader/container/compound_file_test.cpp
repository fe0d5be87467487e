// The compound file reader on files built byte by byte: both sector sizes,
// the mini stream, the DIFAT beyond the header, the directory tree, and
// damaged chains.
#include "reader/container/compound_file.h"

#include <gtest/gtest.h>

#include "tests/reader/xls/xls_builders.h"

using reader::CompoundFile;
using xls_test::CompoundFileBuilder;

namespace {

std::vector<uint8_t> Pattern(size_t n, uint8_t seed) {
  std::vector<uint8_t> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(seed + i * 7 + (i >> 9));
  return v;
}

struct Opened {
  std::unique_ptr<reader::MemorySource> source;
  CompoundFile cf;
  reader::Status status;
};

std::unique_ptr<Opened> Open(const std::vector<uint8_t>& file) {
  auto o = std::make_unique<Opened>();
  o->source = std::make_unique<reader::MemorySource>(file, "test");
  o->status = o->cf.Open(*o->source);
  return o;
}

std::vector<uint8_t> Read(Opened& o, const std::string& name, std::string* damage = nullptr) {
  const CompoundFile::Entry* e = o.cf.FindStream(name);
  EXPECT_NE(e, nullptr) << name;
  std::vector<uint8_t> out;
  if (e) {
    EXPECT_TRUE(o.cf.ReadStream(*e, &out, damage).ok());
  }
  return out;
}

class BothSectorSizes : public ::testing::TestWithParam<unsigned> {};

TEST_P(BothSectorSizes, ReadsLargeStreamsFromSectorsAndSmallOnesFromTheMiniStream) {
  CompoundFileBuilder b(GetParam());
  auto big = Pattern(70000, 3);    // many sectors, regular FAT
  auto small = Pattern(1000, 9);   // mini stream
  auto edge = Pattern(4096, 11);   // exactly the cutoff: regular sectors
  auto tiny = Pattern(65, 5);      // two mini sectors, the second nearly empty
  b.AddStream("Workbook", big);
  b.AddStream("Small", small);
  b.AddStream("Edge", edge);
  b.AddStream("Tiny", tiny);
  b.AddStream("Nothing", {});
  auto o = Open(b.Build());
  ASSERT_TRUE(o->status.ok()) << o->status.message();
  EXPECT_EQ(o->cf.sectorSize(), 1u << GetParam());
  std::string damage = "x";
  EXPECT_EQ(Read(*o, "Workbook", &damage), big);
  EXPECT_EQ(damage, "");
  EXPECT_EQ(Read(*o, "small"), small);  // names match without regard to case
  EXPECT_EQ(Read(*o, "EDGE"), edge);
  EXPECT_EQ(Read(*o, "Tiny"), tiny);
  EXPECT_TRUE(Read(*o, "Nothing").empty());
  EXPECT_EQ(o->cf.FindStream("Book"), nullptr);
}

INSTANTIATE_TEST_SUITE_P(Sectors, BothSectorSizes, ::testing::Values(9u, 12u));

TEST(CompoundFile, FollowsTheDifatBeyondTheHeader) {
  // 300 FAT sectors: 109 listed in the header, the rest in two DIFAT sectors.
  CompoundFileBuilder b;
  b.SetMinimumFatSectors(300);
  auto big = Pattern(300000, 1);
  b.AddStream("Workbook", big);
  auto file = b.Build();
  ASSERT_EQ(b.fatSectorCount(), 300u);
  auto o = Open(file);
  ASSERT_TRUE(o->status.ok()) << o->status.message();
  EXPECT_EQ(Read(*o, "Workbook"), big);
}

TEST(CompoundFile, PrefersTheRootStorageOverEmbeddedDocuments) {
  // An embedded workbook's stream sits in a storage of its own; only the
  // root's stream is the file's workbook.
  CompoundFileBuilder b;
  int storage = b.AddStorage("MBD00000001");
  b.AddStream("Workbook", Pattern(5000, 1), storage);
  b.AddStream("Book", Pattern(5000, 2));
  auto o = Open(b.Build());
  ASSERT_TRUE(o->status.ok());
  EXPECT_EQ(o->cf.FindStream("Workbook"), nullptr);
  EXPECT_EQ(Read(*o, "Book"), Pattern(5000, 2));
}

TEST(CompoundFile, DamagedChainsKeepWhatWasReadAndSayWhy) {
  CompoundFileBuilder b;
  int id = b.AddStream("Workbook", Pattern(10 * 512, 4));
  auto good = b.Build();
  uint32_t s = b.StartOf(id);
  {
    auto file = good;
    b.PatchFat(file, s + 3, s + 1);  // the fourth sector leads back to the second
    auto o = Open(file);
    ASSERT_TRUE(o->status.ok());
    std::string damage;
    auto bytes = Read(*o, "Workbook", &damage);
    EXPECT_EQ(bytes.size(), 4u * 512);
    EXPECT_NE(damage.find("loops"), std::string::npos) << damage;
  }
  {
    auto file = good;
    b.PatchFat(file, s + 5, 999999);  // far outside the file
    auto o = Open(file);
    std::string damage;
    auto bytes = Read(*o, "Workbook", &damage);
    EXPECT_EQ(bytes.size(), 6u * 512);
    auto whole = Pattern(10 * 512, 4);
    EXPECT_EQ(bytes, std::vector<uint8_t>(whole.begin(), whole.begin() + 6 * 512));
    EXPECT_NE(damage.find("outside the file"), std::string::npos) << damage;
  }
  {
    auto file = good;
    b.PatchFat(file, s + 1, 0xFFFFFFFE);  // the chain ends after two sectors
    auto o = Open(file);
    std::string damage;
    EXPECT_EQ(Read(*o, "Workbook", &damage).size(), 2u * 512);
    EXPECT_NE(damage.find("1024 of 5120 bytes"), std::string::npos) << damage;
  }
  {
    // A stream whose first sector is already outside the file cannot be read at all.
    auto file = good;
    for (int i = 0; i < 4; ++i) file[b.SectorOffset(b.directoryStart()) + 128 + 116 + i] = 0x7F;
    auto o = Open(file);
    const CompoundFile::Entry* e = o->cf.FindStream("Workbook");
    ASSERT_NE(e, nullptr);
    std::vector<uint8_t> out;
    EXPECT_FALSE(o->cf.ReadStream(*e, &out).ok());
  }
}

TEST(CompoundFile, DamagedMiniChainAndDirectoryLoop) {
  CompoundFileBuilder b;
  int id = b.AddStream("Workbook", Pattern(640, 8));  // 10 mini sectors
  auto file = b.Build();
  b.PatchMiniFat(file, b.StartOf(id) + 2, b.StartOf(id));
  auto o = Open(file);
  ASSERT_TRUE(o->status.ok());
  std::string damage;
  EXPECT_EQ(Read(*o, "Workbook", &damage).size(), 3u * 64);
  EXPECT_NE(damage.find("loops"), std::string::npos);

  // A directory sector that leads back to itself ends the directory there.
  CompoundFileBuilder d;
  for (int i = 0; i < 6; ++i) d.AddStream("S" + std::to_string(i), Pattern(100, 1));
  d.AddStream("Workbook", Pattern(5000, 2));  // entry 8: in the second directory sector
  auto looped = d.Build();
  d.PatchFat(looped, d.directoryStart() + 1, d.directoryStart());
  auto o2 = Open(looped);
  EXPECT_TRUE(o2->status.ok());
  EXPECT_EQ(o2->cf.entries().size(), 8u);  // the first sector's four entries
}

TEST(CompoundFile, RefusesFilesItCannotTrust) {
  CompoundFileBuilder b;
  b.AddStream("Workbook", Pattern(5000, 1));
  auto good = b.Build();
  {
    auto o = Open(std::vector<uint8_t>(good.begin(), good.begin() + 300));
    EXPECT_FALSE(o->status.ok());
    EXPECT_NE(o->status.message().find("header"), std::string::npos);
  }
  {
    auto file = good;
    file[30] = 10;  // a 1024-byte sector: not a size any version has
    EXPECT_FALSE(Open(file)->status.ok());
  }
  {
    auto file = good;
    for (int i = 0; i < 4; ++i) file[76 + i] = 0xFF;  // no FAT sector at all
    file[44] = 1;
    EXPECT_FALSE(Open(file)->status.ok());
  }
  {
    // The file ends inside the stream's last sector: the rest reads as zeros.
    auto file = std::vector<uint8_t>(good.begin(), good.end() - 100);
    auto o = Open(file);
    ASSERT_TRUE(o->status.ok());
    auto bytes = Read(*o, "Workbook");
    ASSERT_EQ(bytes.size(), 5000u);
  }
}

TEST(CompoundFile, EncryptedPackagesAndFilesWithoutAWorkbookFailWithAReason) {
  {
    CompoundFileBuilder b;
    b.AddStream("EncryptionInfo", Pattern(300, 1));
    b.AddStream("EncryptedPackage", Pattern(9000, 2));
    reader::Status status;
    auto book = xls_test::LoadBytes(b.Build(), &status);
    EXPECT_FALSE(status.ok());
    EXPECT_NE(status.message().find("encrypted (password-protected)"), std::string::npos) << status.message();
    EXPECT_EQ(book->sheets.size(), 0u);
  }
  {
    CompoundFileBuilder b;
    b.AddStream("WordDocument", Pattern(9000, 2));
    reader::Status status;
    auto book = xls_test::LoadBytes(b.Build(), &status);
    EXPECT_FALSE(status.ok());
    EXPECT_NE(status.message().find("no Workbook or Book stream"), std::string::npos) << status.message();
  }
}

}  // namespace
