// Fuzzes the .xlsb reader. An input that is a ZIP archive is loaded as it
// is (the ZIP container and the binary parts behind it). Any other input is
// taken as the parts themselves, so that mutations reach the record parsers
// without having to get through deflate and CRCs: the bytes up to the first
// "|XLSB|" are the sheet part, the next pieces the shared strings, the
// styles and the workbook part; a missing piece gets a small valid default.
// The parts are stored in a package and loaded like a file.
#include <string>
#include <string_view>

#include "fuzz_book.h"
#include "tests/reader/xlsb/xlsb_builder.h"

using namespace testing_support::xlsb;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size >= 4 && std::memcmp(data, "PK\x03\x04", 4) == 0) {
    FuzzBook(data, size);
    return 0;
  }
  std::string_view rest(reinterpret_cast<const char*>(data), size);
  std::string pieces[4];
  bool given[4] = {};
  for (int i = 0; i < 4 && (i == 0 || !rest.empty()); ++i) {
    size_t cut = i < 3 ? rest.find("|XLSB|") : std::string_view::npos;
    pieces[i] = std::string(rest.substr(0, cut));
    given[i] = true;
    rest = cut == std::string_view::npos ? std::string_view() : rest.substr(cut + 6);
  }
  std::map<std::string, std::string> parts;
  parts["xl/worksheets/sheet1.bin"] = pieces[0];
  parts["xl/sharedStrings.bin"] =
      given[1] ? pieces[1]
               : Rec(159, U32(2) + U32(2)) + Rec(19, '\0' + Wide("a")) + Rec(19, '\x01' + Wide("b"));
  parts["xl/styles.bin"] = given[2] ? pieces[2]
                                    : Rec(44, U16(164) + Wide("yyyy")) + Rec(617) +
                                          Rec(47, U16(0) + U16(0) + std::string(12, '\0')) +
                                          Rec(47, U16(0) + U16(164) + std::string(12, '\0')) + Rec(618);
  if (given[3]) parts["xl/workbook.bin"] = pieces[3];
  // Empty parts would be left out of the package: keep them, as empty entries.
  testing_support::ZipBuilder zip;
  std::map<std::string, std::string> all = {
      {"_rels/.rels",
       "<Relationships>" + BinRel("rId1", "officeDocument", "xl/workbook.bin") + "</Relationships>"},
      {"xl/workbook.bin", Rec(153, U32(1)) + BundleSh(0, "rId1", "Sheet1")},
      {"xl/_rels/workbook.bin.rels", "<Relationships>" +
                                         BinRel("rId1", "worksheet", "worksheets/sheet1.bin") +
                                         BinRel("rId2", "sharedStrings", "sharedStrings.bin") +
                                         BinRel("rId3", "styles", "styles.bin") + "</Relationships>"},
  };
  for (auto& p : parts) all[p.first] = p.second;
  testing_support::ZipEntryOptions stored;
  stored.deflate = false;
  for (auto& p : all) zip.Add(p.first, p.second, stored);
  std::string bytes = zip.Build();
  FuzzBook(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  return 0;
}
