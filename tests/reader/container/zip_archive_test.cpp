// The ZIP container: directory, names, zip64, data descriptors, entry
// streams, and the damage each must refuse.
#include "reader/container/zip_archive.h"

#include <gtest/gtest.h>

#include <random>

#include "tests/reader/container/zip_builder.h"

using testing_support::SourceOf;
using testing_support::ZipBuilder;
using testing_support::ZipEntryOptions;

namespace {

struct Opened {
  std::unique_ptr<reader::MemorySource> source;
  std::unique_ptr<reader::ZipArchive> zip;
  reader::Status status;
};

Opened Open(const std::string& bytes) {
  Opened o;
  o.source = SourceOf(bytes);
  o.status = reader::ZipArchive::Open(*o.source, &o.zip);
  return o;
}

// Reads an entry through the streaming reader in chunks of `chunk` bytes.
reader::Status ReadAll(Opened& o, const std::string& name, std::string* out, size_t chunk = 4096) {
  out->clear();
  const reader::ZipEntry* e = o.zip->Find(name);
  if (!e) return reader::Status::Error("no entry " + name);
  reader::ZipEntryReader r;
  READER_RETURN_IF_ERROR(r.Open(*o.source, *o.zip, *e));
  std::string buf(chunk, '\0');
  for (;;) {
    size_t got = 0;
    READER_RETURN_IF_ERROR(r.Read(&buf[0], buf.size(), &got));
    if (got == 0) return reader::Status::Ok();
    out->append(buf.data(), got);
  }
}

std::string RandomText(size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::string s;
  s.reserve(n);
  const char* words[] = {"<c r=\"A1\"><v>", "1.5", "</v></c>", "alpha ", "\n", "_x000D_", "\xC3\xA9"};
  while (s.size() < n) s += words[rng() % 7];
  s.resize(n);
  return s;
}

TEST(ZipArchive, StoredAndDeflatedEntriesByNameInAnyCaseAndSlash) {
  ZipBuilder b;
  ZipEntryOptions stored;
  stored.deflate = false;
  b.Add("xl/workbook.xml", "<workbook/>");
  b.Add("xl\\Worksheets\\Sheet1.XML", "<worksheet/>", stored);
  b.Add("/docProps/app.xml", "");
  Opened o = Open(b.Build());
  ASSERT_TRUE(o.status.ok()) << o.status.message();
  EXPECT_EQ(o.zip->entries().size(), 3u);
  std::string text;
  ASSERT_TRUE(ReadAll(o, "XL/WORKBOOK.XML", &text).ok());
  EXPECT_EQ(text, "<workbook/>");
  ASSERT_TRUE(ReadAll(o, "xl/worksheets/sheet1.xml", &text).ok());
  EXPECT_EQ(text, "<worksheet/>");
  ASSERT_TRUE(ReadAll(o, "docProps/app.xml", &text).ok());
  EXPECT_EQ(text, "");
  EXPECT_EQ(o.zip->Find("xl/missing.xml"), nullptr);
}

TEST(ZipArchive, EndRecordFoundBehindACommentThatHoldsAFalseSignature) {
  ZipBuilder b;
  b.Add("a.xml", "one");
  // A stray end signature inside the comment must not be taken for the record.
  b.comment = std::string("note PK\x05\x06 inside", 16) + std::string(3000, 'c');
  Opened o = Open(b.Build());
  ASSERT_TRUE(o.status.ok()) << o.status.message();
  std::string text;
  ASSERT_TRUE(ReadAll(o, "a.xml", &text).ok());
  EXPECT_EQ(text, "one");
}

TEST(ZipArchive, Zip64RecordsDataDescriptorsAndAPrefixBeforeTheArchive) {
  std::string big = RandomText(300000, 1);
  ZipBuilder b;
  ZipEntryOptions z64;
  z64.zip64 = true;
  ZipEntryOptions dd;
  dd.dataDescriptor = true;
  ZipEntryOptions both = z64;
  both.dataDescriptor = true;
  b.Add("zip64.xml", big, z64);
  b.Add("descriptor.xml", big + "x", dd);
  b.Add("both.xml", "tiny", both);
  b.zip64End = true;
  b.prefix = std::string(777, 'S');  // a self-extractor stub, say
  Opened o = Open(b.Build());
  ASSERT_TRUE(o.status.ok()) << o.status.message();
  EXPECT_EQ(o.zip->prefixBytes(), 777u);
  std::string text;
  ASSERT_TRUE(ReadAll(o, "zip64.xml", &text).ok());
  EXPECT_TRUE(text == big);
  ASSERT_TRUE(ReadAll(o, "descriptor.xml", &text, 1000).ok());
  EXPECT_TRUE(text == big + "x");
  ASSERT_TRUE(ReadAll(o, "both.xml", &text).ok());
  EXPECT_EQ(text, "tiny");
}

TEST(ZipArchive, OfTwoEntriesWithOneNameTheFirstCounts) {
  ZipBuilder b;
  b.Add("xl/worksheets/sheet1.xml", "first");
  b.Add("XL/worksheets/sheet1.xml", "second");
  Opened o = Open(b.Build());
  ASSERT_TRUE(o.status.ok());
  std::string text;
  ASSERT_TRUE(ReadAll(o, "xl/worksheets/sheet1.xml", &text).ok());
  EXPECT_EQ(text, "first");
}

TEST(ZipArchive, EncryptedEntriesAndUnknownMethodsFailWithAReason) {
  ZipBuilder b;
  ZipEntryOptions encrypted;
  encrypted.extraFlags = 1;
  ZipEntryOptions bzip2;
  bzip2.method = 12;
  ZipEntryOptions aes;
  aes.method = 99;
  b.Add("enc.xml", "secret", encrypted);
  b.Add("bz.xml", "data", bzip2);
  b.Add("aes.xml", "data", aes);
  Opened o = Open(b.Build());
  ASSERT_TRUE(o.status.ok());
  std::string text;
  reader::Status s = ReadAll(o, "enc.xml", &text);
  EXPECT_NE(s.message().find("enc.xml: the part is encrypted"), std::string::npos) << s.message();
  s = ReadAll(o, "bz.xml", &text);
  EXPECT_NE(s.message().find("compression method 12 is not supported"), std::string::npos) << s.message();
  s = ReadAll(o, "aes.xml", &text);
  EXPECT_NE(s.message().find("encrypted"), std::string::npos) << s.message();
}

TEST(ZipArchive, DamagedEntriesFailAndKeepWhatWasDelivered) {
  std::string text = RandomText(200000, 2);
  ZipBuilder b;
  ZipEntryOptions bomb;  // declares far less than it holds
  bomb.declaredSizeDelta = -150000;
  ZipEntryOptions shortOne;  // declares more than it holds
  shortOne.declaredSizeDelta = 10;
  ZipEntryOptions crc;
  crc.badCrc = true;
  ZipEntryOptions truncated;
  truncated.truncateData = 500;
  ZipEntryOptions storedCrc;
  storedCrc.deflate = false;
  storedCrc.badCrc = true;
  b.Add("bomb.xml", text, bomb);
  b.Add("short.xml", text, shortOne);
  b.Add("crc.xml", text, crc);
  b.Add("truncated.xml", text, truncated);
  b.Add("stored.xml", text, storedCrc);
  Opened o = Open(b.Build());
  ASSERT_TRUE(o.status.ok());
  std::string got;
  reader::Status s = ReadAll(o, "bomb.xml", &got);
  EXPECT_NE(s.message().find("inflates beyond its declared size"), std::string::npos) << s.message();
  EXPECT_LE(got.size(), 50000u);
  EXPECT_TRUE(got == text.substr(0, got.size()));
  s = ReadAll(o, "short.xml", &got);
  EXPECT_NE(s.message().find("ends before its declared size"), std::string::npos) << s.message();
  EXPECT_TRUE(got == text);
  s = ReadAll(o, "crc.xml", &got);
  EXPECT_NE(s.message().find("CRC-32 mismatch"), std::string::npos) << s.message();
  s = ReadAll(o, "truncated.xml", &got);
  EXPECT_FALSE(s.ok());
  EXPECT_TRUE(got == text.substr(0, got.size()));
  s = ReadAll(o, "stored.xml", &got);
  EXPECT_NE(s.message().find("CRC-32 mismatch"), std::string::npos) << s.message();
}

TEST(ZipArchive, BrokenContainersFailCleanly) {
  ZipBuilder b;
  b.Add("a.xml", "text");
  std::string good = b.Build();
  // No end record at all; an end record whose directory lies past the file;
  // a directory entry cut short; a local header that is not one.
  std::vector<std::string> broken;
  broken.push_back(good.substr(0, good.size() - 22));
  std::string pastEnd = good;
  pastEnd[pastEnd.size() - 22 + 12] = '\x7F';  // directory size
  broken.push_back(pastEnd);
  std::string cut = good;
  cut[cut.size() - 22 + 12] = 20;  // directory size smaller than its entry
  broken.push_back(cut);
  broken.push_back(std::string("PK\x05\x06", 4) + std::string(18, '\0'));  // empty archive
  for (const std::string& bytes : broken) {
    Opened o = Open(bytes);
    EXPECT_FALSE(o.status.ok());
    EXPECT_FALSE(o.status.message().empty());
  }
  std::string badLocal = good;
  badLocal[0] = 'X';
  Opened o = Open(badLocal);
  ASSERT_TRUE(o.status.ok());
  std::string text;
  reader::Status s = ReadAll(o, "a.xml", &text);
  EXPECT_NE(s.message().find("no local header"), std::string::npos) << s.message();
}

TEST(ZipArchive, LargeEntriesStreamIdenticallyDirectlyAndReadAhead) {
  std::string text = RandomText(5 << 20, 3);
  ZipBuilder b;
  b.Add("big.xml", text);
  Opened o = Open(b.Build());
  ASSERT_TRUE(o.status.ok());
  std::string direct;
  ASSERT_TRUE(ReadAll(o, "big.xml", &direct, 70000).ok());
  EXPECT_TRUE(direct == text);

  auto inner = std::make_unique<reader::ZipEntryReader>();
  ASSERT_TRUE(inner->Open(*o.source, *o.zip, *o.zip->Find("big.xml")).ok());
  reader::ReadAheadStream ahead(std::move(inner), 100000);
  std::string viaThread, buf(33333, '\0');
  for (;;) {
    size_t got = 0;
    ASSERT_TRUE(ahead.Read(&buf[0], buf.size(), &got).ok());
    if (!got) break;
    viaThread.append(buf.data(), got);
  }
  EXPECT_TRUE(viaThread == text);
}

TEST(ZipArchive, ReadAheadPassesOnDamageAfterTheGoodBytes) {
  std::string text = RandomText(400000, 4);
  ZipBuilder b;
  ZipEntryOptions crc;
  crc.badCrc = true;
  b.Add("crc.xml", text, crc);
  Opened o = Open(b.Build());
  auto inner = std::make_unique<reader::ZipEntryReader>();
  ASSERT_TRUE(inner->Open(*o.source, *o.zip, *o.zip->Find("crc.xml")).ok());
  reader::ReadAheadStream ahead(std::move(inner), 65536);
  std::string got, buf(10000, '\0');
  reader::Status s;
  for (;;) {
    size_t n = 0;
    s = ahead.Read(&buf[0], buf.size(), &n);
    got.append(buf.data(), n);
    if (!s.ok() || n == 0) break;
  }
  EXPECT_NE(s.message().find("CRC-32 mismatch"), std::string::npos) << s.message();
  EXPECT_TRUE(got == text);
  // A reader left before the end stops its thread cleanly.
  auto inner2 = std::make_unique<reader::ZipEntryReader>();
  ASSERT_TRUE(inner2->Open(*o.source, *o.zip, *o.zip->Find("crc.xml")).ok());
  auto early = std::make_unique<reader::ReadAheadStream>(std::move(inner2), 4096);
  size_t n = 0;
  ASSERT_TRUE(early->Read(&buf[0], 100, &n).ok());
  early.reset();
}

}  // namespace
