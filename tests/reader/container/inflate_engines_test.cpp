// The two inflaters of deflated parts, zlib's and ISA-L's: every part of
// every workbook of the corpus and the fixtures, and deflate streams damaged
// on purpose, must give the same bytes and fail at the same point either way.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "reader/container/zip_archive.h"
#include "tests/reader/container/zip_builder.h"
#include "tests/support/test_support.h"

using reader::InflateEngine;
using testing_support::SourceOf;
using testing_support::ZipBuilder;
using testing_support::ZipEntryOptions;

namespace {

struct Outcome {
  std::string bytes;  // everything delivered, up to a failure
  bool ok = false;
  std::string message;
};

Outcome ReadWith(reader::ByteSource& source, const reader::ZipArchive& zip, const reader::ZipEntry& entry,
                 InflateEngine engine, size_t chunk) {
  Outcome o;
  reader::ZipEntryReader r;
  reader::Status s = r.Open(source, zip, entry, engine);
  std::string buf(chunk, '\0');
  while (s.ok()) {
    size_t got = 0;
    s = r.Read(&buf[0], buf.size(), &got);
    o.bytes.append(buf.data(), got);
    if (s.ok() && got == 0) break;
  }
  o.ok = s.ok();
  o.message = s.message();
  return o;
}

// Failure messages agree up to the inflater's own wording of the damage.
std::string Reason(const std::string& message) { return message.substr(0, message.find(" (")); }

// Compares both engines on one entry; returns false (with failures added)
// when they disagree.
bool SameBothWays(reader::ByteSource& source, const reader::ZipArchive& zip, const reader::ZipEntry& entry,
                  size_t chunk, const std::string& what) {
  Outcome z = ReadWith(source, zip, entry, InflateEngine::kZlib, chunk);
  Outcome i = ReadWith(source, zip, entry, InflateEngine::kIsal, chunk);
  bool same = z.ok == i.ok && z.bytes == i.bytes && Reason(z.message) == Reason(i.message);
  EXPECT_TRUE(same) << what << " " << entry.name << " in chunks of " << chunk << ": zlib "
                    << (z.ok ? "ok" : z.message) << " with " << z.bytes.size() << " bytes, ISA-L "
                    << (i.ok ? "ok" : i.message) << " with " << i.bytes.size() << " bytes";
  return same;
}

std::string XmlLikeText(size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  const char* words[] = {"<row r=\"", "\"><c r=\"B", "\" s=\"3\"><v>",      "</v></c>", "42.125", "alpha ",
                         "\n",        "_x000D_",     "\xC3\xA9\xE2\x82\xAC"};
  std::string s;
  s.reserve(n + 32);
  while (s.size() < n) {
    s += words[rng() % 9];
    if (rng() % 5 == 0) s += std::to_string(rng());
  }
  s.resize(n);
  return s;
}

class InflateEngines : public testing::Test {
 protected:
  void SetUp() override {
    if (!reader::HaveInflateEngine(InflateEngine::kIsal))
      GTEST_SKIP() << "this build inflates with zlib only";
  }
};

TEST_F(InflateEngines, EveryPartOfTheCorpusAndTheFixturesInflatesTheSameBothWays) {
  std::vector<std::string> roots = {testing_support::FixturePath("")};
  if (!testing_support::CorpusDir().empty()) roots.push_back(testing_support::CorpusDir());
  size_t packages = 0, parts = 0, failing = 0;
  for (const std::string& root : roots) {
    for (const auto& item : std::filesystem::recursive_directory_iterator(root)) {
      if (!item.is_regular_file()) continue;
      std::unique_ptr<reader::FileSource> source;
      if (!reader::FileSource::Open(item.path().string(), &source).ok()) continue;
      std::unique_ptr<reader::ZipArchive> zip;
      if (!reader::ZipArchive::Open(*source, &zip).ok()) continue;
      ++packages;
      for (const reader::ZipEntry& e : zip->entries()) {
        ++parts;
        // A large read as the read-ahead thread makes, and a small odd one
        // that splits the output at other places.
        bool same = SameBothWays(*source, *zip, e, size_t(1) << 20, item.path().string());
        if (same) same = SameBothWays(*source, *zip, e, 4093, item.path().string());
        if (!ReadWith(*source, *zip, e, InflateEngine::kIsal, size_t(1) << 20).ok) ++failing;
      }
    }
  }
  std::printf("%zu packages, %zu parts (%zu refused), the same both ways\n", packages, parts, failing);
  EXPECT_GT(packages, 10u);
}

TEST_F(InflateEngines, EveryKindOfBlockAndTheChecksAtTheEndAgree) {
  std::string text = XmlLikeText(700000, 7);
  std::string noise;
  std::mt19937 rng(3);
  for (int k = 0; k < 300000; ++k) noise.push_back(static_cast<char>(rng()));
  ZipBuilder b;
  ZipEntryOptions stored;  // deflate's stored blocks
  stored.level = 0;
  ZipEntryOptions fixed;  // fixed Huffman codes
  fixed.strategy = Z_FIXED;
  ZipEntryOptions best;
  best.level = 9;
  ZipEntryOptions crc;
  crc.badCrc = true;
  ZipEntryOptions bomb;
  bomb.declaredSizeDelta = -1000;
  ZipEntryOptions shortOne;
  shortOne.declaredSizeDelta = 1;
  b.Add("dynamic.xml", text);
  b.Add("stored.xml", text, stored);
  b.Add("fixed.xml", text, fixed);
  b.Add("best.xml", text, best);
  b.Add("noise.bin", noise);  // incompressible: stored blocks chosen by deflate
  b.Add("empty.xml", "");
  b.Add("crc.xml", text, crc);
  b.Add("bomb.xml", text, bomb);
  b.Add("short.xml", text, shortOne);
  std::string bytes = b.Build();
  auto source = SourceOf(bytes);
  std::unique_ptr<reader::ZipArchive> zip;
  ASSERT_TRUE(reader::ZipArchive::Open(*source, &zip).ok());
  for (const reader::ZipEntry& e : zip->entries())
    for (size_t chunk : {size_t(1) << 20, size_t(65536), size_t(1021)})
      SameBothWays(*source, *zip, e, chunk, "");
  Outcome whole = ReadWith(*source, *zip, *zip->Find("fixed.xml"), InflateEngine::kIsal, 1 << 20);
  EXPECT_TRUE(whole.ok && whole.bytes == text);
  Outcome bad = ReadWith(*source, *zip, *zip->Find("crc.xml"), InflateEngine::kIsal, 1 << 20);
  EXPECT_NE(bad.message.find("CRC-32 mismatch"), std::string::npos) << bad.message;
  EXPECT_TRUE(bad.bytes == text);
}

// Cut short anywhere, and single bytes overwritten anywhere: the same bytes
// delivered before the same refusal (or the same text and checksum verdict
// when the damage still decodes).
TEST_F(InflateEngines, DamagedStreamsFailAtTheSamePointBothWays) {
  std::string text = XmlLikeText(400000, 11);
  const std::string name = "d.xml";
  const size_t dataAt = 30 + name.size();  // one entry: its data follows its local header
  for (int strategy : {Z_DEFAULT_STRATEGY, Z_FIXED}) {
    ZipEntryOptions o;
    o.strategy = strategy;
    const size_t packed = ZipBuilder::Deflate(text, o.level, o.strategy).size();
    std::mt19937 rng(static_cast<unsigned>(strategy) + 5);
    size_t disagreements = 0;
    for (int trial = 0; trial < 120 && disagreements < 3; ++trial) {
      ZipBuilder b;
      ZipEntryOptions damaged = o;
      if (trial % 3 == 0) damaged.truncateData = 1 + rng() % (packed - 1);
      b.Add(name, text, damaged);
      std::string bytes = b.Build();
      if (trial % 3 != 0) {
        // Early bytes hold the block headers and code tables; later ones the
        // codes themselves.
        size_t at = dataAt + (trial % 3 == 1 ? rng() % 300 : rng() % packed);
        bytes[at] = static_cast<char>(bytes[at] ^ static_cast<char>(1 + rng() % 255));
      }
      auto source = SourceOf(bytes);
      std::unique_ptr<reader::ZipArchive> zip;
      ASSERT_TRUE(reader::ZipArchive::Open(*source, &zip).ok());
      size_t chunk = trial % 2 ? size_t(1) << 20 : 8191;
      if (!SameBothWays(*source, *zip, zip->entries()[0], chunk, "trial " + std::to_string(trial)))
        ++disagreements;
    }
  }
}

}  // namespace
