// BIFF building blocks: RK numbers, strings continued across CONTINUE
// records, and the text decodings.
#include "reader/xls/biff_records.h"

#include <gtest/gtest.h>

#include <cmath>

#include "reader/core/text_encoding.h"
#include "tests/reader/xls/xls_builders.h"

using namespace reader::biff;
using xls_test::Bytes;
using xls_test::Stream;

namespace {

TEST(Rk, DecodesIntegersDoublesAndHundredths) {
  EXPECT_EQ(DecodeRk((42u << 2) | 2), 42.0);
  EXPECT_EQ(DecodeRk((static_cast<uint32_t>(-7) << 2) | 2), -7.0);  // sign kept from the 30 bits
  EXPECT_EQ(DecodeRk((12345u << 2) | 3), 123.45);
  // 1.0 as a double has the high word 0x3FF00000.
  EXPECT_EQ(DecodeRk(0x3FF00000u), 1.0);
  EXPECT_EQ(DecodeRk(0x3FF00000u | 1), 0.01);
  EXPECT_EQ(DecodeRk(0xC0000000u), -2.0);
}

// The first record's payload plus CONTINUE payloads, walked like an SST.
ContinuedRecord Gathered(Stream& s, std::vector<uint8_t>* keep) {
  *keep = s.bytes();
  RecordWalker w(keep->data(), keep->size(), 0);
  Record r;
  EXPECT_TRUE(w.Next(&r));
  ContinuedRecord c;
  c.Gather(r, w);
  return c;
}

TEST(ContinuedRecord, CharactersChangeWidthAtEachContinueBoundary) {
  // "abc" compressed, then the CONTINUE's flags byte says UTF-16 for
  // "Жx", then an empty CONTINUE, then compressed again for "é!".
  Stream s;
  s.Add(0x00FC, Bytes().u16(7).u8(0).raw("abc"));
  s.Add(0x003C, Bytes().u8(1).u16(0x0416).u16('x'));
  s.Add(0x003C, Bytes());
  s.Add(0x003C, Bytes().u8(0).u8(0xE9).raw("!"));
  s.Add(0x0000, Bytes().u16(99));  // not a CONTINUE: not gathered
  std::vector<uint8_t> keep;
  ContinuedRecord c = Gathered(s, &keep);
  uint16_t chars;
  uint8_t flags;
  ASSERT_TRUE(c.ReadU16(&chars) && c.ReadU8(&flags));
  std::string text;
  ASSERT_TRUE(c.ReadChars(chars, flags & 1, text));
  EXPECT_EQ(text, "abc\xD0\x96x\xC3\xA9!");
  EXPECT_TRUE(c.AtEnd());
  std::string more;
  EXPECT_FALSE(c.ReadChars(1, false, more));
}

TEST(ContinuedRecord, HeadersAndSkippedDataCrossBoundariesWithoutFlagBytes) {
  // A string header split over two records, then runs to skip that
  // continue, then a second string whose characters start a record (the
  // record starts with a flags byte there).
  Stream s;
  s.Add(0x00FC, Bytes().u8(2));
  s.Add(0x003C, Bytes().u8(0).u8(0x08).u16(1).raw("hi").u16(0));
  s.Add(0x003C, Bytes().u16(0).u16(1).u8(1));
  s.Add(0x003C, Bytes().u8(1).u16('Z'));
  std::vector<uint8_t> keep;
  ContinuedRecord c = Gathered(s, &keep);
  uint16_t chars, runs;
  uint8_t flags;
  ASSERT_TRUE(c.ReadU16(&chars) && c.ReadU8(&flags) && c.ReadU16(&runs));
  EXPECT_EQ(chars, 2);
  std::string text;
  ASSERT_TRUE(c.ReadChars(chars, false, text));
  EXPECT_EQ(text, "hi");
  ASSERT_TRUE(c.Skip(4u * runs));
  ASSERT_TRUE(c.ReadU16(&chars) && c.ReadU8(&flags));
  text.clear();
  ASSERT_TRUE(c.ReadChars(chars, flags & 1, text));
  EXPECT_EQ(text, "Z");
  EXPECT_FALSE(c.Skip(1));
}

TEST(ContinuedRecord, HalfACharacterAtABoundaryIsDropped) {
  Stream s;
  s.Add(0x0207, Bytes().u16(2).u8(1).u16('A').u8(0x42));  // 'A', then one stray byte
  s.Add(0x003C, Bytes().u8(0).raw("C"));
  std::vector<uint8_t> keep;
  ContinuedRecord c = Gathered(s, &keep);
  uint16_t chars;
  uint8_t flags;
  ASSERT_TRUE(c.ReadU16(&chars) && c.ReadU8(&flags));
  std::string text;
  ASSERT_TRUE(c.ReadChars(chars, flags & 1, text));
  EXPECT_EQ(text, "AC");
}

TEST(RecordWalker, StopsAtARecordThatRunsPastTheEnd) {
  Stream s;
  s.Add(0x0203, Bytes().u16(1).u16(2));
  s.bytes().insert(s.bytes().end(), {0x03, 0x02, 0x40, 0x00, 0x01});  // declares 64 bytes, has 1
  RecordWalker w(s.bytes().data(), s.bytes().size(), 0);
  Record r;
  EXPECT_TRUE(w.Next(&r));
  EXPECT_EQ(r.length, 4);
  EXPECT_FALSE(w.Next(&r));
  EXPECT_TRUE(w.cutShort());
  EXPECT_EQ(w.offset(), 8u);
}

TEST(Strings, UnicodeAndByteStringsAreBoundsChecked) {
  std::string out;
  const uint8_t wide[] = {2, 0, 1, 0x3D, 0xD8, 0x00, 0xDE};  // one surrogate pair
  EXPECT_EQ(ReadUnicodeString(wide, sizeof wide, 2, out), sizeof wide);
  EXPECT_EQ(out, "\xF0\x9F\x98\x80");
  EXPECT_EQ(ReadUnicodeString(wide, sizeof wide - 1, 2, out), 0u);
  const uint8_t bytes[] = {3, 'a', 0x80, 'b'};
  reader::CodePageDecoder cp1252(1252);
  out.clear();
  EXPECT_EQ(ReadByteString(bytes, 4, 1, cp1252, out), 4u);
  EXPECT_EQ(out, "a\xE2\x82\xAC" "b");
  EXPECT_EQ(ReadByteString(bytes, 3, 1, cp1252, out), 0u);
}

std::string Decode(int codePage, std::initializer_list<uint8_t> bytes) {
  std::vector<uint8_t> v(bytes);
  std::string out;
  reader::CodePageDecoder(codePage).Append(out, v.data(), v.size());
  return out;
}

TEST(CodePages, SingleByteTablesGiveTheSameTextOnEveryPlatform) {
  EXPECT_EQ(Decode(1252, {'A', 0x80, 0xE9}), "A\xE2\x82\xAC\xC3\xA9");
  EXPECT_EQ(Decode(1252, {0x81}), "\xC2\x81");  // undefined: kept as its C1 control
  EXPECT_EQ(Decode(1251, {0xC0, 0xFF}), "\xD0\x90\xD1\x8F");
  EXPECT_EQ(Decode(1250, {0x8A}), "\xC5\xA0");
  EXPECT_EQ(Decode(1253, {0xE1}), "\xCE\xB1");
  EXPECT_EQ(Decode(1257, {0xE0}), "\xC4\x85");
  EXPECT_EQ(Decode(10000, {0x8A, 0xD0}), "\xC3\xA4\xE2\x80\x93");
  EXPECT_EQ(Decode(32768, {0x8A}), "\xC3\xA4");  // BIFF2-4's name for Mac Roman
  EXPECT_EQ(Decode(32769, {0x80}), "\xE2\x82\xAC");  // and for Windows-1252
  EXPECT_EQ(Decode(10029, {0x84}), "\xC4\x84");
  EXPECT_EQ(Decode(1200, {0xE9}), "\xC3\xA9");  // 8-bit text of a UTF-16 workbook: Latin-1
  reader::CodePageDecoder unknown(4242);
  EXPECT_FALSE(unknown.exact());
  EXPECT_EQ(Decode(4242, {0x80}), "\xE2\x82\xAC");
}

TEST(CodePages, DoubleByteCodePagesUseThePlatformConverter) {
  EXPECT_EQ(Decode(932, {'a', 0x93, 0xFA, 0x96, 0x7B}), "a\xE6\x97\xA5\xE6\x9C\xAC");  // a日本
  EXPECT_EQ(Decode(936, {0xD6, 0xD0}), "\xE4\xB8\xAD");  // 中
}

// ASCII runs of every length up to a few blocks, then one code unit that is
// not ASCII (in its low byte, its high byte, or both), then ASCII again.
TEST(Utf16, AsciiRunsEndAtTheFirstOtherCodeUnitWhereverItIs) {
  struct Unit {
    uint16_t unit;
    const char* utf8;
  };
  const Unit others[] = {{0x0100, "\xC4\x80"}, {0x0080, "\xC2\x80"}, {0x00E9, "\xC3\xA9"}, {0x20AC, "\xE2\x82\xAC"}};
  for (const Unit& other : others) {
    for (size_t run = 0; run <= 21; ++run) {
      std::vector<uint8_t> units;
      std::string expected;
      for (size_t i = 0; i < run; ++i) {
        units.push_back(static_cast<uint8_t>('a' + i));
        units.push_back(0);
        expected.push_back(static_cast<char>('a' + i));
      }
      units.push_back(static_cast<uint8_t>(other.unit & 0xFF));
      units.push_back(static_cast<uint8_t>(other.unit >> 8));
      expected += other.utf8;
      for (char c : std::string("xyz\x7F")) {
        units.push_back(static_cast<uint8_t>(c));
        units.push_back(0);
        expected.push_back(c);
      }
      std::string out = "prefix";
      reader::AppendUtf16Le(out, units.data(), units.size() / 2);
      EXPECT_EQ(out, "prefix" + expected) << "run " << run << ", unit " << other.unit;
    }
  }
}

TEST(Utf16, AllAsciiTextsOfEveryLengthAreNarrowed) {
  std::string text;
  std::vector<uint8_t> units;
  for (size_t n = 0; n <= 40; ++n) {
    std::string out = "prefix";
    reader::AppendUtf16Le(out, units.data(), n);
    EXPECT_EQ(out, "prefix" + text) << n;
    text.push_back(static_cast<char>(n % 2 ? 0x7F : 0x20 + n));
    units.push_back(static_cast<uint8_t>(text.back()));
    units.push_back(0);
  }
}

TEST(Utf16, LoneSurrogatesBecomeReplacementCharacters) {
  const uint8_t lone[] = {0x00, 0xD8, 'x', 0, 0x00, 0xDC};
  std::string out;
  reader::AppendUtf16Le(out, lone, 3);
  EXPECT_EQ(out, "\xEF\xBF\xBDx\xEF\xBF\xBD");
}

}  // namespace
