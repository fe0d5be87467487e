// Sizes, counts and indexes declared far beyond the file: the reader sizes
// nothing by what a file declares (a declared count only caps a reserve by
// what the bytes can hold) and stops at the real end of the data; indexes
// at a format's limits are cells, indexes past them are dropped.
//
// Bound for every case: under 2 s of processor time and 64 MiB (plain
// build), with the cells the file really holds, or a clean failure.
#include <gtest/gtest.h>

#include "bounded_run.h"
#include "hostile_zip.h"
#include "probe.h"
#include "tests/reader/xls/xls_builders.h"
#include "tests/reader/xlsb/xlsb_builder.h"

using namespace resource_test;

namespace {

std::string Bounded(const std::string& bytes) {
  Measured m = RunMeasured([&] { return Probe(bytes); }, 60);
  EXPECT_TRUE(m.finished);
  EXPECT_LT(m.cpuSeconds, 2);
  if (!kSanitized) {
    EXPECT_LT(m.peakMiB, 64);
  }
  return m.answer;
}

std::string Xlsx(const std::string& sheetData, const std::string& strings = {}, bool dimension = false) {
  HostileZip zip;
  AddPackageFrame(zip, 1, !strings.empty());
  if (!strings.empty()) zip.AddText("xl/sharedStrings.xml", strings);
  std::string head = kSheetHead;
  if (dimension)
    head =
        "<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
        "<dimension ref=\"A1:XFD1048576\"/><sheetData>";
  zip.AddText("xl/worksheets/sheet1.xml", head + sheetData + kSheetTail);
  return zip.Build();
}

std::string AsString(const std::vector<uint8_t>& bytes) { return std::string(bytes.begin(), bytes.end()); }

}  // namespace

TEST(DeclaredSizes, XlsxCountsAndExtentsBeyondTheFile) {
  // Shared strings declaring four billion, holding two.
  EXPECT_EQ(
      Bounded(Xlsx(
          "<row r=\"1\"><c r=\"A1\" t=\"s\"><v>1</v></c></row>",
          "<sst count=\"4294967295\" uniqueCount=\"4294967295\"><si><t>a</t></si><si><t>b</t></si></sst>")),
      "load ok\nsheet S1: 1x1, 1 valued, (0,0)=b\n");
  // A dimension of the whole grid around one cell: a hint only.
  EXPECT_EQ(Bounded(Xlsx("<row r=\"1\"><c r=\"A1\"><v>1</v></c></row>", {}, true)),
            "load ok\nsheet S1: 1x1, 1 valued, (0,0)=1\n");
  // A string index past the strings: no content, and said so.
  std::string answer =
      Bounded(Xlsx("<row r=\"1\"><c r=\"A1\" t=\"s\"><v>4294967295</v></c><c r=\"B1\"><v>2</v></c></row>",
                   "<sst><si><t>a</t></si></sst>"));
  EXPECT_EQ(answer.rfind("load ok\nsheet S1: 1x2, 1 valued, (0,1)=2; damaged: ", 0), 0u) << answer;
  EXPECT_NE(answer.find("shared string 4294967295"), std::string::npos) << answer;
}

TEST(DeclaredSizes, XlsxIndexesAtAndBeyondTheGridsLimits) {
  // The last cell of the grid is a cell: the extent is the whole grid.
  EXPECT_EQ(Bounded(Xlsx("<row r=\"1048576\"><c r=\"XFD1048576\"><v>1</v></c></row>")),
            "load ok\nsheet S1: 1048576x16384, 1 valued, (1048575,16383)=1\n");
  // One past it in either direction, and references no grid has: dropped.
  std::string answer = Bounded(Xlsx(
      "<row r=\"1\"><c r=\"A1\"><v>1</v></c><c r=\"XFE1\"><v>2</v></c><c r=\"ZZZZZZZZ1\"><v>3</v></c></row>"
      "<row r=\"1048577\"><c r=\"A1048577\"><v>4</v></c></row>"
      "<row r=\"99999999999999999999\"><c r=\"B99999999999999999999\"><v>5</v></c></row>"
      "<row r=\"2\"><c><v>6</v></c></row>"));
  EXPECT_EQ(answer.rfind("load ok\nsheet S1: 2x1, 2 valued, (0,0)=1 (1,0)=6; damaged: ", 0), 0u) << answer;
  EXPECT_NE(answer.find("4 cells skipped"), std::string::npos) << answer;
}

TEST(DeclaredSizes, ZipSizesAndCountsBeyondTheFile) {
  // A sheet part declaring 4 GiB - 1 bytes, holding a few: nothing is
  // sized by the declaration, and its cells are read (the XML is whole).
  HostileZip zip;
  AddPackageFrame(zip, 1, false);
  Deflated sheet =
      DeflateWhole(std::string(kSheetHead) + "<row r=\"1\"><c r=\"A1\"><v>1</v></c></row>" + kSheetTail);
  sheet.size = 0xFFFFFFFFu;
  zip.Add("xl/worksheets/sheet1.xml", sheet);
  std::string bytes = zip.Build();
  std::string answer = Bounded(bytes);
  EXPECT_EQ(answer, "load ok\nsheet S1: 1x1, 1 valued, (0,0)=1\n");

  // An end record declaring 65,535 entries and a directory of 4 GiB.
  std::string end = bytes.substr(bytes.size() - 22);
  for (int i : {8, 9, 10, 11}) end[static_cast<size_t>(i)] = '\xFF';
  for (int i : {12, 13, 14, 15}) end[static_cast<size_t>(i)] = '\xFF';
  answer = Bounded(bytes.substr(0, bytes.size() - 22) + end);
  EXPECT_EQ(answer.rfind("load failed: ", 0), 0u) << answer;
}

TEST(DeclaredSizes, XlsbCountsLengthsAndIndexesBeyondTheFile) {
  using namespace testing_support::xlsb;
  auto book = [](const std::string& sheet, const std::string& strings) {
    HostileZip zip;
    zip.AddText("_rels/.rels",
                "<Relationships>" + BinRel("rId1", "officeDocument", "xl/workbook.bin") + "</Relationships>");
    zip.AddText("xl/workbook.bin", Rec(153, U32(0)) + BundleSh(0, "rId1", "S1"));
    zip.AddText("xl/_rels/workbook.bin.rels",
                "<Relationships>" + BinRel("rId1", "worksheet", "worksheets/sheet1.bin") +
                    BinRel("rId2", "sharedStrings", "sharedStrings.bin") + "</Relationships>");
    zip.AddText("xl/sharedStrings.bin", strings);
    zip.AddText("xl/worksheets/sheet1.bin", sheet);
    return zip.Build();
  };
  const std::string twoStrings = Rec(159, U32(0xFFFFFFFFu) + U32(0xFFFFFFFFu)) + Rec(19, '\0' + Wide("a")) +
                                 Rec(19, '\0' + Wide("b")) + Rec(160);
  // Strings declaring four billion; cells at the grid's last row and column
  // and beyond it; a string index past the strings.
  std::string answer =
      Bounded(book(SheetBin(Row(0) + Rec(7, Cell(0) + U32(1)) + Rec(7, Cell(1) + U32(0xFFFFFFFFu)) +
                            Rec(5, Cell(0xFFFFFFFFu) + F64(9)) + Row(1048575) + Rec(5, Cell(16383) + F64(2)) +
                            Row(0xFFFFFFFFu) + Rec(5, Cell(0) + F64(3))),
                   twoStrings));
  EXPECT_EQ(
      answer.rfind("load ok\nsheet S1: 1048576x16384, 2 valued, (0,0)=b (1048575,16383)=2; damaged: ", 0), 0u)
      << answer;
  EXPECT_NE(answer.find("shared string 4294967295"), std::string::npos) << answer;
  // A record whose length runs four hundred megabytes past the part's end.
  answer = Bounded(
      book(Rec(145) + Row(0) + Rec(5, Cell(0) + F64(1)) + "\x05\xFF\xFF\xFF\x7F" + "tail", twoStrings));
  EXPECT_EQ(answer.rfind("load ok\nsheet S1: 1x1, 1 valued, (0,0)=1; damaged: ", 0), 0u) << answer;
}

TEST(DeclaredSizes, XlsCountsLengthsAndIndexesBeyondTheFile) {
  using namespace xls_test;
  // SST declaring two billion strings, holding two; a cell in the last row
  // and column of the grid; a record whose length runs past the stream.
  Stream cells;
  cells.Add(0x00FD, Bytes().u16(0).u16(0).u16(0).u32(1));
  cells.Add(0x0203, Bytes().u16(65535).u16(255).u16(0).f64(2));
  cells.Add(0x00FD, Bytes().u16(1).u16(0).u16(0).u32(0x7FFFFFFF));
  Stream sst;
  sst.Add(0x00FC, Bytes().u32(0x7FFFFFFF).u32(0x7FFFFFFF).str16("a").str16("b"));
  std::vector<uint8_t> stream = Biff8Workbook({{"S1", cells.bytes()}}, sst.bytes());
  const std::vector<uint8_t> past = {0x03, 0x02, 0xFF, 0xFF, 0x00};  // NUMBER, 65,535 bytes, 1 there
  std::vector<uint8_t> cut = stream;
  cut.insert(cut.end() - 4, past.begin(), past.end());  // before the sheet's EOF

  for (const auto& workbook : {stream, cut}) {
    CompoundFileBuilder cf;
    cf.AddStream("Workbook", workbook);
    std::vector<uint8_t> file = cf.Build();
    std::string answer = Bounded(AsString(file));
    EXPECT_EQ(answer.rfind("load ok\nsheet S1: 65536x256, 2 valued, (0,0)=b (65535,255)=2", 0), 0u) << answer;

    // The header declaring two billion FAT and DIFAT sectors, and the
    // workbook stream's directory entry 4 GiB - 1 bytes: read to the end
    // of what is there, or failed cleanly.
    std::vector<uint8_t> hostile = file;
    for (size_t at : {size_t(0x2C), size_t(0x48)})
      for (size_t i = 0; i < 4; ++i) hostile[at + i] = i == 3 ? 0x7F : 0xFF;
    size_t entry = cf.SectorOffset(cf.directoryStart()) + 128;  // after the root entry
    for (size_t i = 0; i < 4; ++i) hostile[entry + 0x78 + i] = 0xFF;
    answer = Bounded(AsString(hostile));
    EXPECT_TRUE(answer.rfind("load failed: ", 0) == 0 || answer.find("(65535,255)=2") != std::string::npos)
        << answer;
  }
}
