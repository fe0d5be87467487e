// Deeply nested XML: ten million open elements in a sheet, in the shared
// strings and in the workbook part. The scanner keeps no stack of names and
// the parts' readers recurse into nothing, so depth costs neither memory nor
// stack; the unknown elements are skipped and the cells around them kept.
//
// Bounds, in processor time (plain build; sanitizer builds nest an eighth as
// deep): each part read in under 10 s and 64 MiB.
#include <gtest/gtest.h>

#include "bounded_run.h"
#include "hostile_zip.h"
#include "probe.h"

using namespace resource_test;

namespace {

const uint64_t kDepth = Scaled(10000000);

void ExpectWithin(const Measured& m) {
  EXPECT_TRUE(m.finished);
  EXPECT_LT(m.cpuSeconds, 10);
  if (!kSanitized) {
    EXPECT_LT(m.peakMiB, 64);
  }
}

Deflated Nested(const std::string& head, const std::string& tail) {
  return DeflateSegments({{head, 1}, {"<x>", kDepth}, {"</x>", kDepth}, {tail, 1}});
}

}  // namespace

TEST(NestedXml, TenMillionLevelsInsideSheetData) {
  HostileZip zip;
  AddPackageFrame(zip, 1, false);
  zip.Add("xl/worksheets/sheet1.xml",
          Nested(std::string(kSheetHead) + "<row r=\"1\"><c r=\"A1\"><v>1</v></c></row>",
                 "<row r=\"2\"><c r=\"B2\"><v>2</v></c></row>" + std::string(kSheetTail)));
  const std::string bytes = zip.Build();
  Measured m = RunMeasured([&] { return Probe(bytes); }, 120);
  ExpectWithin(m);
  EXPECT_EQ(m.answer, "load ok\nsheet S1: 2x2, 2 valued, (0,0)=1 (1,1)=2\n");
}

TEST(NestedXml, TenMillionLevelsInsideACellAndARow) {
  HostileZip zip;
  AddPackageFrame(zip, 1, false);
  zip.Add("xl/worksheets/sheet1.xml",
          Nested(std::string(kSheetHead) + "<row r=\"1\"><c r=\"A1\"><v>1</v></c><c r=\"B1\">",
                 "<v>2</v></c></row>" + std::string(kSheetTail)));
  const std::string bytes = zip.Build();
  Measured m = RunMeasured([&] { return Probe(bytes); }, 120);
  ExpectWithin(m);
  EXPECT_EQ(m.answer.rfind("load ok\nsheet S1: 1x", 0), 0u) << m.answer;
  EXPECT_NE(m.answer.find("(0,0)=1"), std::string::npos) << m.answer;
}

TEST(NestedXml, TenMillionLevelsInSharedStringsAndWorkbook) {
  HostileZip zip;
  zip.AddText("_rels/.rels", std::string(kWorkbookRels) + Rel("rId1", "officeDocument", "xl/workbook.xml") +
                                 "</Relationships>");
  zip.Add("xl/workbook.xml",
          Nested("<workbook xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
                 "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\">",
                 "<sheets><sheet name=\"S1\" sheetId=\"1\" r:id=\"rId1\"/></sheets></workbook>"));
  zip.AddText("xl/_rels/workbook.xml.rels",
              std::string(kWorkbookRels) + Rel("rId1", "worksheet", "worksheets/sheet1.xml") +
                  Rel("rId2", "sharedStrings", "sharedStrings.xml") + "</Relationships>");
  zip.Add("xl/sharedStrings.xml",
          Nested("<sst xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
                 "<si><t>first</t></si><si>",
                 "<t>second</t></si></sst>"));
  zip.AddText("xl/worksheets/sheet1.xml", std::string(kSheetHead) +
                                              "<row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c>"
                                              "<c r=\"B1\" t=\"s\"><v>1</v></c></row>" +
                                              kSheetTail);
  const std::string bytes = zip.Build();
  Measured m = RunMeasured([&] { return Probe(bytes); }, 120);
  ExpectWithin(m);
  EXPECT_EQ(m.answer.rfind("load ok\nsheet S1: 1x", 0), 0u) << m.answer;
  EXPECT_NE(m.answer.find("(0,0)=first"), std::string::npos) << m.answer;
}
