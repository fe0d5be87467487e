// Overlapping ZIP entries: a small package whose central directory names
// one compressed stream as many parts. Read as it stands, a 16 KiB stream of
// 16 MiB of cells named by 1,000 sheets would be 16 GiB of XML; parts whose
// bytes overlap another's are refused instead, each such sheet reporting
// why, while the parts laid out as writers lay them are read.
//
// Bound: the load and every sheet in under 5 s of processor time and 64 MiB
// (plain build).
#include <gtest/gtest.h>

#include "bounded_run.h"
#include "hostile_zip.h"
#include "probe.h"

using namespace resource_test;

TEST(ZipOverlap, OneStreamNamedByAThousandSheetsIsReadByNone) {
  const int sheets = 1000;
  HostileZip zip;
  AddPackageFrame(zip, sheets, false);
  // Sheet 1 is a sheet of its own; sheets 2 to 1000 all name sheet 2's data.
  zip.AddText("xl/worksheets/sheet1.xml",
              std::string(kSheetHead) + "<row r=\"1\"><c r=\"A1\"><v>1</v></c></row>" + kSheetTail);
  const std::string row = "<row><c><v>1</v></c><c><v>2</v></c><c><v>3</v></c><c><v>4</v></c></row>";
  Deflated big = DeflateRepeated(kSheetHead, row, (uint64_t(16) << 20) / row.size(), kSheetTail);
  zip.Add("xl/worksheets/sheet2.xml", big);
  for (int i = 3; i <= sheets; ++i)
    zip.Alias("xl/worksheets/sheet" + std::to_string(i) + ".xml", "xl/worksheets/sheet2.xml");
  const std::string bytes = zip.Build();
  std::printf("    %zu bytes; %d parts of %llu bytes of XML each\n", bytes.size(), sheets - 1,
              static_cast<unsigned long long>(big.size));

  Measured m = RunMeasured([&] { return Probe(bytes); }, 120);
  EXPECT_TRUE(m.finished);
  EXPECT_LT(m.cpuSeconds, 5);
  if (!kSanitized) {
    EXPECT_LT(m.peakMiB, 64);
  }
  EXPECT_EQ(m.answer.rfind("load ok\nsheet S1: 1x1, 1 valued, (0,0)=1\n", 0), 0u) << m.answer.substr(0, 300);
  for (int i : {2, 3, 500, 1000}) {
    std::string line = "sheet S" + std::to_string(i) + ": 0x0, 0 valued,; damaged: ";
    EXPECT_NE(m.answer.find(line), std::string::npos) << i;
  }
  EXPECT_NE(m.answer.find("overlaps another part's"), std::string::npos) << m.answer.substr(0, 400);
}
