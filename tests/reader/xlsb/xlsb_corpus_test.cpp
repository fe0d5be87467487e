// Every .xlsb of the shared corpus: each loads or fails cleanly with a
// reason, where the corpus has a reference dump the sheet names and every
// cell agree with it, and a workbook saved both as .xlsx and as .xlsb reads
// the same in both.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <set>

#include "reader/core/book.h"
#include "tests/support/corpus_check.h"
#include "tests/support/test_support.h"

using testing_support::CorpusFile;
using testing_support::CorpusFiles;

namespace {

// Files that must fail, and the words their reason has to contain.
const std::map<std::string, std::string> kMustFail = {
    {"xlsb/edr__EmptyZipFile.xlsb", "no workbook part"},
};

// OLE compound files holding an encrypted package.
const std::set<std::string> kEncrypted = {"xlsb/calamine__pass_protected.xlsb",
                                          "xlsb/edr__agile_AES128_SHA1_CBC_pwd_password.xlsb",
                                          "xlsb/poi__protected_passtika.xlsb"};

// Where we believe the reference is wrong: how many cells disagree, and why.
struct Known {
  int differing;
  const char* why;
};
const std::map<std::string, Known> kReferenceWrong = {
    {"xlsb/calamine__any_sheets.xlsb",
     {6, "a chart sheet has no cells; the reference lists the cached values of the chart's series as cells"}},
};

std::unique_ptr<XlBook> Load(const std::string& path, reader::Status* status) {
  std::unique_ptr<XlBook> book(reader::NewMemoryBook());
  *status = reader::LoadBookFile(*book, path);
  return book;
}

TEST(XlsbCorpus, EveryWorkbookLoadsOrFailsCleanlyAndAgreesWithItsReference) {
  if (testing_support::CorpusDir().empty()) GTEST_SKIP() << "the shared corpus is absent";
  int files = 0, loaded = 0, failedCleanly = 0, withReference = 0, namesAgree = 0;
  long compared = 0, agreeing = 0;
  for (const CorpusFile& f : CorpusFiles("xlsb")) {
    SCOPED_TRACE(f.relative);
    ++files;
    reader::Status status;
    std::unique_ptr<XlBook> book = Load(f.path, &status);
    auto mustFail = kMustFail.find(f.relative);
    if (!status.ok()) {
      ++failedCleanly;
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
    EXPECT_TRUE(mustFail == kMustFail.end() && !kEncrypted.count(f.relative)) << "loaded, but should fail";
    ++loaded;
    for (auto& sheet : book->sheets) {
      sheet->EnsureLoaded();
      EXPECT_TRUE(sheet->error.empty()) << sheet->name << ": " << sheet->error;
    }
    if (f.reference.empty()) continue;
    testing_support::CorpusAgreement a = testing_support::CompareWithReference(*book, f.reference);
    if (a.referenceFailed) continue;
    ++withReference;
    if (a.sheetNamesAgree) ++namesAgree;
    compared += a.cellsCompared;
    agreeing += a.cellsAgreeing;
    EXPECT_TRUE(a.sheetNamesAgree);
    auto known = kReferenceWrong.find(f.relative);
    int expected = known == kReferenceWrong.end() ? 0 : known->second.differing;
    EXPECT_EQ(a.cellsCompared - a.cellsAgreeing, expected) << (expected ? known->second.why : "");
    if (a.cellsCompared - a.cellsAgreeing != expected)
      for (const std::string& d : a.differences) ADD_FAILURE() << d;
  }
  std::printf(
      "xlsb corpus: %d files, %d loaded, %d failed cleanly; %d with a reference, sheet names agree in %d; "
      "cells agree %ld of %ld\n",
      files, loaded, failedCleanly, withReference, namesAgree, agreeing, compared);
  EXPECT_GT(loaded, 25);
}

// One cell as the export sees it: kind, value or text, number format text, date flag.
std::string Describe(const XlSheet& sheet, const reader::StoredCell& cell) {
  const XlBook& book = *sheet.book;
  const XlFormat* format = book.FormatOf(cell.style);
  std::string out;
  switch (cell.kind) {
    case reader::CellKind::Number: {
      char buf[40];
      std::snprintf(buf, sizeof buf, "n %.17g", cell.number());
      out = buf;
      break;
    }
    case reader::CellKind::String: out = "s " + std::string(sheet.CellText(cell)); break;
    case reader::CellKind::Boolean: out = cell.value ? "b 1" : "b 0"; break;
    case reader::CellKind::Error: out = "e " + std::to_string(cell.value); break;
    default: out = "?"; break;
  }
  out += " [" + testing_support::FormatTextOf(book, format->numFormatId) + (format->isDate ? "] date" : "]");
  return out;
}

// Pairs whose cells differ for a reason in the files themselves.
const std::map<std::string, Known> kPairsDiffer = {
    // Two cells of NOW() and TODAY() and one of RAND(): each file caches the
    // value of its own save.
    {"xlsb/sheetjs__formula_stress_test.xlsb", {3, "volatile formulas cached at different saves"}},
};

TEST(XlsbCorpus, TheSameWorkbookSavedAsXlsxAndXlsbReadsTheSame) {
  if (testing_support::CorpusDir().empty()) GTEST_SKIP() << "the shared corpus is absent";
  int pairs = 0;
  for (const CorpusFile& f : CorpusFiles("xlsb")) {
    std::string twin =
        testing_support::CorpusDir() + "/xlsx/" + f.relative.substr(5, f.relative.size() - 5 - 5) + ".xlsx";
    if (!std::ifstream(twin)) continue;
    SCOPED_TRACE(f.relative);
    reader::Status sb, sx;
    std::unique_ptr<XlBook> binary = Load(f.path, &sb), xml = Load(twin, &sx);
    EXPECT_EQ(sb.ok(), sx.ok()) << sb.message() << " / " << sx.message();
    if (!sb.ok() || !sx.ok()) continue;
    ++pairs;
    EXPECT_EQ(binary->date1904, xml->date1904);
    ASSERT_EQ(binary->sheets.size(), xml->sheets.size());
    auto known = kPairsDiffer.find(f.relative);
    int differing = 0, expected = known == kPairsDiffer.end() ? 0 : known->second.differing;
    for (size_t i = 0; i < binary->sheets.size(); ++i) {
      XlSheet& b = *binary->sheets[i];
      XlSheet& x = *xml->sheets[i];
      EXPECT_EQ(b.name, x.name);
      EXPECT_EQ(b.kind, x.kind);
      EXPECT_EQ(b.visibility, x.visibility);
      b.EnsureLoaded();
      x.EnsureLoaded();
      EXPECT_EQ(b.cells.lastRow(), x.cells.lastRow()) << b.name;
      EXPECT_EQ(b.cells.lastCol(), x.cells.lastCol()) << b.name;
      x.cells.ForEach([&](uint32_t row, const reader::StoredCell& xc) {
        const reader::StoredCell* bc = b.cells.Find(row, xc.col);
        std::string want = Describe(x, xc), got = bc ? Describe(b, *bc) : "missing";
        if (want != got && differing++ >= expected)
          ADD_FAILURE() << b.name << " row " << row << " col " << xc.col << ": xlsx " << want << ", xlsb "
                        << got;
      });
      EXPECT_EQ(b.cells.cellCount(), x.cells.cellCount()) << b.name;
    }
    EXPECT_EQ(differing, expected);
  }
  EXPECT_GE(pairs, 10);
}

}  // namespace
