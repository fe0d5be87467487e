// Ten million tiny items: shared strings, and sheets listed by a workbook
// part. Both are legal in form and cheap to compress; the reader holds each
// string compactly, and a sheet list beyond what any workbook has is
// refused before it is kept.
//
// Bounds, in processor time (plain build; sanitizer builds run an eighth of
// the count):
//   10,000,000 one-letter shared strings (.xlsx and .xlsb): loaded in under
//     10 s and 256 MiB (about 16 bytes a string), a sheet's cells naming the first and the last;
//   a workbook part listing 10,000,000 sheets: a clean failure in under 10 s
//     and 64 MiB;
//   60,000 small sheets, each a part of its own: read in under 10 s and
//     512 MiB (each sheet's part is found through an index, not by a walk
//     over every relationship: that walk took the time of 60,000 squared).
#include <gtest/gtest.h>

#include "bounded_run.h"
#include "hostile_zip.h"
#include "probe.h"
#include "tests/reader/xlsb/xlsb_builder.h"

using namespace resource_test;

TEST(ManyItems, TenMillionTinySharedStringsXlsx) {
  const uint64_t count = Scaled(10000000);
  HostileZip zip;
  AddPackageFrame(zip, 1, true);
  zip.Add(
      "xl/sharedStrings.xml",
      DeflateRepeated("<sst xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" count=\"" +
                          std::to_string(count) + "\" uniqueCount=\"" + std::to_string(count) + "\">",
                      "<si><t>a</t></si>", count - 1, "<si><t>z</t></si></sst>"));
  zip.AddText("xl/worksheets/sheet1.xml",
              std::string(kSheetHead) +
                  "<row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c><c r=\"B1\" t=\"s\"><v>" +
                  std::to_string(count - 1) + "</v></c></row>" + kSheetTail);
  const std::string bytes = zip.Build();
  std::printf("    %zu bytes\n", bytes.size());
  Measured m = RunMeasured([&] { return Probe(bytes); }, 120);
  ExpectWithin(m, 10, 256);
  EXPECT_EQ(m.answer, "load ok\nsheet S1: 1x2, 2 valued, (0,0)=a (0,1)=z\n");
}

TEST(ManyItems, TenMillionTinySharedStringsXlsb) {
  using namespace testing_support::xlsb;
  const uint64_t count = Scaled(10000000);
  const std::string item = Rec(19, '\0' + Wide("a"));
  HostileZip zip;
  zip.AddText("_rels/.rels",
              "<Relationships>" + BinRel("rId1", "officeDocument", "xl/workbook.bin") + "</Relationships>");
  zip.AddText("xl/workbook.bin", Rec(153, U32(0)) + BundleSh(0, "rId1", "S1"));
  zip.AddText("xl/_rels/workbook.bin.rels",
              "<Relationships>" + BinRel("rId1", "worksheet", "worksheets/sheet1.bin") +
                  BinRel("rId2", "sharedStrings", "sharedStrings.bin") + "</Relationships>");
  zip.Add("xl/sharedStrings.bin",
          DeflateRepeated(Rec(159, U32(static_cast<uint32_t>(count)) + U32(static_cast<uint32_t>(count))),
                          item, count - 1, Rec(19, '\0' + Wide("z")) + Rec(160)));
  zip.AddText("xl/worksheets/sheet1.bin", SheetBin(Row(0) + Rec(7, Cell(0) + U32(0)) +
                                                   Rec(7, Cell(1) + U32(static_cast<uint32_t>(count - 1)))));
  const std::string bytes = zip.Build();
  Measured m = RunMeasured([&] { return Probe(bytes); }, 120);
  ExpectWithin(m, 10, 256);
  EXPECT_EQ(m.answer, "load ok\nsheet S1: 1x2, 2 valued, (0,0)=a (0,1)=z\n");
}

TEST(ManyItems, TenMillionSheetsListedFailCleanly) {
  const uint64_t count = Scaled(10000000);
  HostileZip zip;
  zip.AddText("_rels/.rels", std::string(kWorkbookRels) + Rel("rId1", "officeDocument", "xl/workbook.xml") +
                                 "</Relationships>");
  zip.Add("xl/workbook.xml",
          DeflateRepeated(
              "<workbook xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
              "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\"><sheets>",
              "<sheet name=\"S\" sheetId=\"1\" r:id=\"rId1\"/>", count, "</sheets></workbook>"));
  zip.AddText(
      "xl/_rels/workbook.xml.rels",
      std::string(kWorkbookRels) + Rel("rId1", "worksheet", "worksheets/sheet1.xml") + "</Relationships>");
  zip.AddText("xl/worksheets/sheet1.xml", std::string(kSheetHead) + kSheetTail);
  const std::string bytes = zip.Build();
  Measured m = RunMeasured([&] { return Probe(bytes, 0); }, 120);
  ExpectWithin(m, 10, 64);
  EXPECT_EQ(m.answer.rfind("load failed: ", 0), 0u) << m.answer.substr(0, 200);
  EXPECT_NE(m.answer.find("more than 65,535 sheets"), std::string::npos) << m.answer.substr(0, 200);
}

TEST(ManyItems, SixtyThousandSmallSheetsReadInLinearTime) {
  const int count = static_cast<int>(Scaled(60000));
  HostileZip zip;
  AddPackageFrame(zip, count, false);
  for (int i = 1; i <= count; ++i)
    zip.AddText("xl/worksheets/sheet" + std::to_string(i) + ".xml",
                std::string(kSheetHead) + "<row r=\"1\"><c r=\"A1\"><v>" + std::to_string(i) +
                    "</v></c></row>" + kSheetTail);
  const std::string bytes = zip.Build();
  std::printf("    %zu bytes\n", bytes.size());
  Measured m = RunMeasured([&] { return Probe(bytes); }, 120);
  ExpectWithin(m, 10, 512);
  EXPECT_EQ(m.answer.rfind("load ok\nsheet S1: 1x1, 1 valued, (0,0)=1\n", 0), 0u) << m.answer.substr(0, 200);
  const std::string last =
      "sheet S" + std::to_string(count) + ": 1x1, 1 valued, (0,0)=" + std::to_string(count) + "\n";
  EXPECT_NE(m.answer.find(last), std::string::npos);
}
