// Every .xlsx, .xlsm, .xltx and .xltm of the shared corpus: each loads or
// fails cleanly with a reason, and where the corpus has a reference dump
// the sheet names and every cell agree with it.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <memory>
#include <set>
#include <vector>

#include "engine/reader.h"
#include "reader/core/book.h"
#include "tests/support/corpus_check.h"
#include "tests/support/test_support.h"

using testing_support::CorpusFile;
using testing_support::CorpusFiles;

namespace {

// Files that must fail, and the words their reason has to contain.
const std::map<std::string, std::string> kMustFail = {
    {"xlsx/openpyxl__null_file.xlsx", "empty"},
    {"xlsx/poi__invalid.xlsx", "not a workbook"},
    {"xlsx/edr__EmptyZipFile.xlsx", "no workbook part"},
    // Reference reads an empty sheet list; a workbook without sheets is no workbook.
    {"xlsx/excelize__BadWorkbook.xlsx", "lists no sheets"},
    // A fuzzer-made file whose central directory is broken.
    {"xlsx/poi__clusterfuzz-testcase-minimized-XLSX2CSVFuzzer-5636439151607808.xlsx",
     "end-of-central-directory"},
    // An OpenDocument package named .xlsx; the reference reads ODS, we do not.
    {"xlsx/roo__type_openoffice.xlsx", "OpenDocument"},
};

// OLE compound files holding an encrypted package: the compound-file
// reader refuses them, saying the workbook is encrypted.
const std::set<std::string> kEncrypted = {"xlsx/calamine__pass_protected.xlsx",
                                          "xlsx/edr__agile_AES256_SHA512_CBC_pwd_password.xlsx",
                                          "xlsx/edr__standard_AES128_SHA1_ECB_pwd_password.xlsx",
                                          "xlsx/excelize__encryptAES.xlsx", "xlsx/poi__protect.xlsx"};

// Where we believe the reference is wrong: how many cells disagree, and why.
struct Known {
  int differing;
  const char* why;
};
const char* const kLineEnds =
    "strings with a raw CR LF in the XML: XML end-of-line handling reads it as LF (as Excel does); "
    "the reference keeps the CR";
const char* const kChartCache =
    "a chart sheet has no cells; the reference lists the cached values of the chart's series as cells";
const std::map<std::string, Known> kReferenceWrong = {
    {"xlsx/calamine__any_sheets.xlsx", {6, kChartCache}},
    {"xlsx/poi__WithChartSheet.xlsx", {6, kChartCache}},
    {"xlsx/tealeg__testchartsheet.xlsx", {4, kChartCache}},
    {"xlsx/calamine__has_x000D_.xlsx", {1, kLineEnds}},
    {"xlsx/calamine__richtext-namespaced.xlsx", {2, kLineEnds}},
    {"xlsx/poi__60289.xlsx", {1, kLineEnds}},
    {"xlsx/poi__stress002.xlsx", {74, kLineEnds}},
    {"xlsx/readxl__new_line_errors.xlsx", {1, kLineEnds}},
    {"xlsx/roo__x000D.xlsx", {3, kLineEnds}},
    {"xlsx/xlsxwriter__shared_strings01.xlsx", {1, kLineEnds}},
    // A3 holds t="d" "10:10:10", a time of day (0.4237...); the reference reads NaN.
    {"xlsx/calamine__date_iso.xlsx", {1, "the reference cannot read a time-only ISO 8601 value"}},
    // A1 is "ARREST BOOKINGS for " in a <t> followed by a run "01/30/17": an
    // inline string is all of its text; the reference keeps only the first <t>.
    {"xlsx/calamine__minimal_package.xlsx", {1, "the reference drops the rich-text run after a plain <t>"}},
    // t="d" cells of a 1904 workbook: the reference gives 1900-system
    // serials, which the workbook's own date system would show four years late.
    {"xlsx/edr__roo_1904_base.xlsx", {2, "the reference ignores the 1904 date system for t=\"d\" cells"}},
    // C2 is a t="str" formula without a cached <v>: no content; the
    // reference invents an empty string.
    {"xlsx/readxl__missing-v-node-xlsx.xlsx",
     {1, "the reference reports a formula without a cached value as an empty string"}},
};

struct Totals {
  int files = 0, loaded = 0, failedCleanly = 0, withReference = 0, namesAgree = 0;
  long cellsCompared = 0, cellsAgreeing = 0;
};

void CheckFolder(const std::string& folder, bool (*want)(const std::string&), Totals* totals) {
  for (const CorpusFile& f : CorpusFiles(folder)) {
    if (!want(f.relative)) continue;
    SCOPED_TRACE(f.relative);
    ++totals->files;
    std::unique_ptr<XlBook> book(reader::NewMemoryBook());
    reader::Status status = reader::LoadBookFile(*book, f.path);
    auto mustFail = kMustFail.find(f.relative);
    if (!status.ok()) {
      ++totals->failedCleanly;
      EXPECT_FALSE(status.message().empty());
      EXPECT_TRUE(book->sheets.empty());
      bool expected = mustFail != kMustFail.end() || kEncrypted.count(f.relative);
      EXPECT_TRUE(expected) << "failed: " << status.message();
      if (kEncrypted.count(f.relative)) {
        EXPECT_NE(status.message().find("encrypted"), std::string::npos) << status.message();
      }
      if (mustFail != kMustFail.end()) {
        EXPECT_NE(status.message().find(mustFail->second), std::string::npos) << status.message();
      }
      continue;
    }
    EXPECT_TRUE(mustFail == kMustFail.end()) << "loaded, but should fail";
    ++totals->loaded;
    // Every sheet reads without damage.
    for (auto& sheet : book->sheets) {
      sheet->EnsureLoaded();
      EXPECT_TRUE(sheet->error.empty()) << sheet->name << ": " << sheet->error;
    }
    if (f.reference.empty()) continue;
    testing_support::CorpusAgreement a = testing_support::CompareWithReference(*book, f.reference);
    if (a.referenceFailed) continue;
    ++totals->withReference;
    if (a.sheetNamesAgree) ++totals->namesAgree;
    totals->cellsCompared += a.cellsCompared;
    totals->cellsAgreeing += a.cellsAgreeing;
    EXPECT_TRUE(a.sheetNamesAgree);
    auto known = kReferenceWrong.find(f.relative);
    int expected = known == kReferenceWrong.end() ? 0 : known->second.differing;
    EXPECT_EQ(a.cellsCompared - a.cellsAgreeing, expected) << (expected ? known->second.why : "");
    if (a.cellsCompared - a.cellsAgreeing != expected)
      for (const std::string& d : a.differences) ADD_FAILURE() << d;
  }
}

bool AnyFile(const std::string&) { return true; }
bool Template(const std::string& name) {
  return name.size() > 5 &&
         (name.compare(name.size() - 5, 5, ".xltx") == 0 || name.compare(name.size() - 5, 5, ".xltm") == 0);
}

TEST(XlsxCorpus, EveryWorkbookLoadsOrFailsCleanlyAndAgreesWithItsReference) {
  if (testing_support::CorpusDir().empty()) GTEST_SKIP() << "the shared corpus is absent";
  Totals t;
  CheckFolder("xlsx", AnyFile, &t);
  CheckFolder("xlsm", AnyFile, &t);
  CheckFolder("other", Template, &t);
  std::printf(
      "xlsx corpus: %d files, %d loaded, %d failed cleanly; %d with a reference, sheet names agree "
      "in %d; cells agree %ld of %ld\n",
      t.files, t.loaded, t.failedCleanly, t.withReference, t.namesAgree, t.cellsAgreeing, t.cellsCompared);
  EXPECT_GT(t.loaded, 100);
}

// An .xlsx that numbers its own date-time formats 59 and 60 (built-in Thai
// formats by number): the workbook's texts make them dates.
TEST(XlsxCorpus, FormatsNumbered59And60AreTheWorkbooksDateTimes) {
  std::string path = testing_support::CorpusDir() + "/xlsx/xlsx2csv__timeformat.xlsx";
  if (testing_support::CorpusDir().empty() || !testing_support::FileExists(path))
    GTEST_SKIP() << "the shared corpus is absent";
  std::unique_ptr<XlBook> book(reader::NewMemoryBook());
  reader::Status status = reader::LoadBookFile(*book, path);
  ASSERT_TRUE(status.ok()) << status.message();
  XlSheet* sheet = book->sheets.at(0).get();
  EXPECT_EQ(xlFormatNumFormatA(xlSheetCellFormatA(sheet, 0, 0)), 59);
  EXPECT_EQ(xlFormatNumFormatA(xlSheetCellFormatA(sheet, 0, 1)), 60);
  int y = 0, mo = 0, d = 0, h = 0, mi = 0, se = 0, ms = 0;
  for (int row = 0; row < 3; ++row) {
    EXPECT_TRUE(xlSheetIsDateA(sheet, row, 0)) << row;
    EXPECT_TRUE(xlSheetIsDateA(sheet, row, 1)) << row;
  }
  xlBookDateUnpackA(book.get(), xlSheetReadNumA(sheet, 0, 0, nullptr), &y, &mo, &d, &h, &mi, &se, &ms);
  EXPECT_EQ(std::vector<int>({y, mo, d, h, mi, se}), std::vector<int>({2017, 8, 3, 14, 35, 0}));
  xlBookDateUnpackA(book.get(), xlSheetReadNumA(sheet, 0, 1, nullptr), &y, &mo, &d, &h, &mi, &se, &ms);
  EXPECT_EQ(std::vector<int>({h, mi, se}), std::vector<int>({14, 40, 30}));
  EXPECT_STREQ(xlBookCustomNumFormatA(book.get(), 60), "hh:mm:ss");
}

}  // namespace
