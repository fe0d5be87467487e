// Deflate bombs: a small package whose parts inflate a thousandfold to a
// gibibyte of XML. The reader streams every part, so memory stays flat
// whatever the inflated size; time grows with it, linearly.
//
// Bounds, in processor time (plain build; sanitizer builds run an eighth of
// the size):
//   a 1 GiB sheet of markup around two cells: read in under 30 s and
//     64 MiB, both cells there;
//   a workbook part (sheet list) and a shared strings part of 512 MiB
//     each: under 30 s and 64 MiB, the workbook read;
//   a sheet or shared string whose one text runs to 1 GiB: a clean
//     failure after 64 MiB of it (the longest text or tag accepted),
//     under 10 s and 256 MiB, what came before kept.
#include <gtest/gtest.h>

#include "bounded_run.h"
#include "hostile_zip.h"
#include "probe.h"

using namespace resource_test;

namespace {

const uint64_t kGiB = uint64_t(1) << 30;

// Markup that a sheet, workbook or strings part skips: an unknown element
// with a long attribute (scanned at memchr speed) - 64 KiB a unit.
std::string Filler() { return "<x a=\"" + std::string(65536 - 10, 'A') + "\"/>"; }

}  // namespace

TEST(DeflateBomb, SheetOfAGibibyteOfMarkupReadsInFlatMemory) {
  const uint64_t units = Scaled(kGiB) / Filler().size();
  HostileZip zip;
  AddPackageFrame(zip, 1, false);
  Deflated sheet =
      DeflateRepeated(std::string(kSheetHead) + "<row r=\"1\"><c r=\"A1\"><v>7</v></c></row>", Filler(),
                      units, "<row r=\"9\"><c r=\"C9\"><v>8</v></c></row>" + std::string(kSheetTail));
  ASSERT_GE(sheet.size, Scaled(kGiB) - Filler().size());
  EXPECT_GT(sheet.size / sheet.data.size(), 500u)
      << "the part inflates " << sheet.size / sheet.data.size() << "-fold";
  zip.Add("xl/worksheets/sheet1.xml", sheet);
  const std::string bytes = zip.Build();
  std::printf("    %zu bytes inflating to %llu\n", bytes.size(), static_cast<unsigned long long>(sheet.size));

  Measured m = RunMeasured([&] { return Probe(bytes); }, 120);
  ExpectWithin(m, 30, 64);
  EXPECT_NE(m.answer.find("sheet S1: 9x3, 2 valued, (0,0)=7 (8,2)=8\n"), std::string::npos) << m.answer;
}

TEST(DeflateBomb, WorkbookAndStringPartsOfHalfAGibibyteReadInFlatMemory) {
  const uint64_t units = Scaled(kGiB / 2) / Filler().size();
  HostileZip zip;
  zip.AddText("_rels/.rels", std::string(kWorkbookRels) + Rel("rId1", "officeDocument", "xl/workbook.xml") +
                                 "</Relationships>");
  zip.Add("xl/workbook.xml",
          DeflateRepeated("<workbook xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
                          "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\">",
                          Filler(), units,
                          "<sheets><sheet name=\"S1\" sheetId=\"1\" r:id=\"rId1\"/></sheets></workbook>"));
  zip.AddText("xl/_rels/workbook.xml.rels",
              std::string(kWorkbookRels) + Rel("rId1", "worksheet", "worksheets/sheet1.xml") +
                  Rel("rId2", "sharedStrings", "sharedStrings.xml") + "</Relationships>");
  zip.Add("xl/sharedStrings.xml",
          DeflateRepeated("<sst xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">",
                          Filler(), units, "<si><t>kept</t></si></sst>"));
  zip.AddText("xl/worksheets/sheet1.xml",
              std::string(kSheetHead) + "<row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c></row>" + kSheetTail);
  const std::string bytes = zip.Build();

  Measured m = RunMeasured([&] { return Probe(bytes); }, 120);
  ExpectWithin(m, 30, 64);
  EXPECT_EQ(m.answer, "load ok\nsheet S1: 1x1, 1 valued, (0,0)=kept\n");
}

TEST(DeflateBomb, OneTextOfAGibibyteFailsCleanlyAfterItsLimit) {
  const uint64_t units = Scaled(kGiB) / 65536;
  const std::string digits(65536, '7');
  // A cell value of a gibibyte: the sheet keeps A1 and reports the damage.
  {
    HostileZip zip;
    AddPackageFrame(zip, 1, false);
    zip.Add("xl/worksheets/sheet1.xml",
            DeflateRepeated(std::string(kSheetHead) + "<row r=\"1\"><c r=\"A1\"><v>7</v></c><c r=\"B1\"><v>",
                            digits, units, "</v></c></row>" + std::string(kSheetTail)));
    const std::string bytes = zip.Build();
    Measured m = RunMeasured([&] { return Probe(bytes); }, 120);
    ExpectWithin(m, kSanitized ? 30 : 10, 256);
    if (!kSanitized) {
      EXPECT_NE(m.answer.find("sheet S1: 1x1, 1 valued, (0,0)=7; damaged: "), std::string::npos) << m.answer;
      EXPECT_NE(m.answer.find("longer than 64 MiB"), std::string::npos) << m.answer;
    } else {
      EXPECT_NE(m.answer.find("(0,0)=7"), std::string::npos) << m.answer;
    }
  }
  // A shared string of a gibibyte: the strings before it are kept.
  {
    HostileZip zip;
    AddPackageFrame(zip, 1, true);
    zip.Add("xl/sharedStrings.xml",
            DeflateRepeated("<sst xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
                            "<si><t>kept</t></si><si><t>",
                            digits, units, "</t></si></sst>"));
    zip.AddText("xl/worksheets/sheet1.xml",
                std::string(kSheetHead) + "<row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c></row>" + kSheetTail);
    const std::string bytes = zip.Build();
    Measured m = RunMeasured([&] { return Probe(bytes); }, 120);
    ExpectWithin(m, kSanitized ? 30 : 10, 256);
    EXPECT_NE(m.answer.find("(0,0)=kept"), std::string::npos) << m.answer;
  }
}
