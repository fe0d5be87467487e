// Every .xls of the shared corpus (and the BIFF5 files of other/) against
// the reference dumps: sheet names, content types, strings, numbers and
// number format texts. Skipped when the corpus is absent.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <set>
#include <string>

#include "engine/reader.h"
#include "reader/core/book.h"
#include "reader/core/text_encoding.h"
#include "tests/support/corpus_check.h"
#include "tests/support/json.h"
#include "tests/support/test_support.h"

using testing_support::CorpusFile;
using testing_support::CorpusFiles;

namespace {

bool EndsWith(const std::string& s, const std::string& end) {
  return s.size() >= end.size() && s.compare(s.size() - end.size(), end.size(), end) == 0;
}

bool Contains(const std::string& s, const char* part) { return s.find(part) != std::string::npos; }

// Files whose reference is known to be wrong (reference/unreliable.txt).
std::set<std::string> UnreliableReferences() {
  std::set<std::string> names;
  std::ifstream in(testing_support::CorpusDir() + "/reference/unreliable.txt");
  std::string line;
  while (std::getline(in, line)) {
    size_t end = line.find_first_of(" \t#");
    if (end != 0 && !line.empty()) names.insert(line.substr(0, end));
  }
  return names;
}

// The MANIFEST.tsv row of a file ("" when it has none).
std::string ManifestRow(const std::string& relative) {
  std::ifstream in(testing_support::CorpusDir() + "/MANIFEST.tsv");
  std::string line;
  while (std::getline(in, line))
    if (line.compare(0, relative.size() + 1, relative + "\t") == 0) return line;
  return {};
}

// Where the reader and the reference disagree on purpose, and why.
const std::map<std::string, const char*>& KnownDisagreements() {
  static const std::map<std::string, const char*> known = {
      // Chart and macro sheets are listed without cells; the reference
      // reads their chart data and macro formulas as cells.
      {"xls/poi__12843-1.xls", "chart sheets have no cells"},
      {"xls/calamine__any_sheets.xls", "chart sheets have no cells"},
      {"xls/poi__60405.xls", "macro sheets have no cells"},
      {"xls/poi__64130.xls", "an embedded chart: no cells"},
      // A hand-made stream mixing BIFF2 and BIFF5 records; one XF there is
      // read differently.
      {"xls/edr__Test_git_issue_368_header.xls", "mixed-version records"},
      // No CODEPAGE record and only Cyrillic fonts: the text is Windows-1251,
      // which the reference decodes as Windows-1252 (checked on its own below).
      {"xls/edr__Test_git_issue_411.xls", "Cyrillic text the reference reads as Windows-1252"},
  };
  return known;
}

// BIFF3 and BIFF4 worksheets: the reference reports "General" for every
// XF-formatted number (the BIFF5 copy of as3xls shows the real formats),
// so only values and types are compared there.
bool ReferenceLacksFormats(const std::string& manifestRow) {
  return Contains(manifestRow, "xls:BIFF3") || Contains(manifestRow, "xls:BIFF4");
}

TEST(XlsCorpus, EveryWorkbookLoadsOrFailsWithAReasonAndAgreesWithTheReference) {
  std::vector<CorpusFile> files = CorpusFiles("xls");
  for (const CorpusFile& f : CorpusFiles("other"))
    if (EndsWith(f.relative, ".biff5") || EndsWith(f.relative, ".xls5")) files.push_back(f);
  if (files.empty()) GTEST_SKIP() << "the corpus is absent";
  std::set<std::string> unreliable = UnreliableReferences();
  int compared = 0, agreeing = 0, loaded = 0, failed = 0, encrypted = 0;
  for (const CorpusFile& f : files) {
    SCOPED_TRACE(f.relative);
    std::string row = ManifestRow(f.relative);
    bool damaged = Contains(row, "CORRUPT") || Contains(row, "HOSTILE") || Contains(row, "not-a-workbook") ||
                   Contains(row, "ole-broken") || Contains(row, "ole-without-workbook-stream");
    bool filepass = Contains(row, "FILEPASS");
    XlBook book;
    reader::Status status = reader::LoadBookFile(book, f.path);
    if (filepass && !damaged) {
      ++encrypted;
      EXPECT_FALSE(status.ok());
      EXPECT_TRUE(Contains(status.message(), "encrypted (password-protected)")) << status.message();
      continue;
    }
    if (!status.ok()) {
      ++failed;
      std::printf("  %-62s failed: %s\n", f.relative.c_str(), status.message().c_str());
      EXPECT_TRUE(damaged) << "an intact workbook failed: " << status.message();
      EXPECT_FALSE(status.message().empty());
      continue;
    }
    ++loaded;
    if (f.reference.empty() || unreliable.count(f.relative)) continue;
    testing_support::CompareOptions options;
    options.formats = !ReferenceLacksFormats(row);
    testing_support::CorpusAgreement a = testing_support::CompareWithReference(book, f.reference, options);
    if (a.referenceFailed) continue;
    compared += a.cellsCompared;
    agreeing += a.cellsAgreeing;
    auto known = KnownDisagreements().find(f.relative);
    bool whole = a.cellsAgreeing == a.cellsCompared && a.sheetNamesAgree;
    std::printf("  %-62s %6d/%-6d cells%s%s\n", f.relative.c_str(), a.cellsAgreeing, a.cellsCompared,
                a.sheetNamesAgree ? "" : ", sheet names differ",
                known != KnownDisagreements().end() ? (std::string(" (") + known->second + ")").c_str() : "");
    if (known != KnownDisagreements().end()) {
      EXPECT_TRUE(a.sheetNamesAgree);
      continue;
    }
    EXPECT_TRUE(whole) << [&] {
      std::string text;
      for (const std::string& d : a.differences) text += "\n  " + d;
      return text;
    }();
    if (!damaged) {
      for (auto& s : book.sheets) EXPECT_EQ(s->error, "") << s->name;
    }
  }
  std::printf(
      "xls corpus: %zu files: %d loaded, %d encrypted (refused), %d damaged (refused); "
      "%d of %d reference cells agree\n",
      files.size(), loaded, encrypted, failed, agreeing, compared);
  EXPECT_GT(loaded, 0);
}

// Loads one corpus file; null (and the test skipped) when the corpus is absent.
std::unique_ptr<XlBook> LoadCorpusFile(const std::string& relative) {
  std::string root = testing_support::CorpusDir();
  if (root.empty() || !testing_support::FileExists(root + "/" + relative)) return nullptr;
  std::unique_ptr<XlBook> book(reader::NewMemoryBook(reader::BookKind::Xls));
  reader::Status status = reader::LoadBookFile(*book, root + "/" + relative);
  EXPECT_TRUE(status.ok()) << status.message();
  return book;
}

// Text the reference decoded as Windows-1252, decoded again from the same
// bytes in `codePage`.
std::string Redecode(const std::string& asWindows1252, int codePage) {
  std::map<std::string, uint8_t> byteOf;
  reader::CodePageDecoder w1252(1252);
  for (int b = 0; b < 256; ++b) {
    std::string one;
    uint8_t byte = static_cast<uint8_t>(b);
    w1252.Append(one, &byte, 1);
    byteOf.emplace(one, byte);
  }
  std::string bytes;
  for (size_t i = 0; i < asWindows1252.size();) {
    size_t len = 1;
    unsigned char lead = static_cast<unsigned char>(asWindows1252[i]);
    if (lead >= 0xF0)
      len = 4;
    else if (lead >= 0xE0)
      len = 3;
    else if (lead >= 0xC0)
      len = 2;
    auto it = byteOf.find(asWindows1252.substr(i, len));
    bytes.push_back(it == byteOf.end() ? '?' : static_cast<char>(it->second));
    i += len;
  }
  std::string out;
  reader::CodePageDecoder(codePage).Append(out, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  return out;
}

// A BIFF5 workbook with no CODEPAGE record whose fonts are all Cyrillic,
// and which defines formats 50 ("0") and 51 ("0.00"): its text is
// Windows-1251 and those numbers are numbers, not East Asian dates.
TEST(XlsCorpus, Biff5WithCyrillicFontsAndFormats50And51) {
  const std::string name = "xls/edr__Test_git_issue_411.xls";
  auto book = LoadCorpusFile(name);
  if (!book) GTEST_SKIP() << "the corpus is absent";
  ASSERT_EQ(book->sheets.size(), 1u);
  XlSheet* sheet = book->sheets[0].get();
  sheet->EnsureLoaded();
  EXPECT_EQ(sheet->error, "");
  // The model's UTF-8 text (the A form is the ANSI code page on Windows).
  auto text = [&](uint32_t r, uint32_t c) {
    const reader::StoredCell* cell = sheet->cells.Find(r, c);
    return cell && cell->kind == reader::CellKind::String ? std::string(sheet->CellText(*cell)) : "<none>";
  };
  EXPECT_EQ(text(1, 1), "Универсальный передаточный\nдокумент");

  testing_support::Json ref;
  std::string error;
  ASSERT_TRUE(testing_support::ParseJson(
      testing_support::ReadFile(testing_support::CorpusDir() + "/reference/" + name + ".json"), &ref, &error))
      << error;
  const testing_support::Json* cells = ref.Find("sheets")->items.at(0).Find("cells");
  ASSERT_NE(cells, nullptr);
  int strings = 0, numbers = 0;
  for (const testing_support::Json& rc : cells->items) {
    uint32_t row = 0, col = 0;
    const std::string& a = rc.Find("a")->text;
    size_t digits = a.find_first_of("0123456789");
    for (size_t i = 0; i < digits; ++i) col = col * 26 + static_cast<uint32_t>(a[i] - 'A' + 1);
    row = static_cast<uint32_t>(std::stoul(a.substr(digits)));
    int r = static_cast<int>(row - 1), c = static_cast<int>(col - 1);
    SCOPED_TRACE(a);
    const std::string& type = rc.Find("t")->text;
    if (type == "s") {
      ++strings;
      EXPECT_EQ(text(row - 1, col - 1), Redecode(rc.Find("v")->text, 1251));
    } else if (type == "n") {
      ++numbers;
      EXPECT_EQ(xlSheetReadNumA(sheet, r, c, nullptr), rc.Find("v")->number);
      EXPECT_FALSE(xlSheetIsDateA(sheet, r, c));
      int id = xlFormatNumFormatA(xlSheetCellFormatA(sheet, r, c));
      const char* custom = xlBookCustomNumFormatA(book.get(), id);
      const std::string& z = rc.Find("z")->text;
      if (z == "General")
        EXPECT_EQ(custom, nullptr);
      else
        EXPECT_STREQ(custom, z.c_str());
    }
  }
  EXPECT_EQ(strings, 175);
  EXPECT_EQ(numbers, 130);
}

// A BIFF8 workbook written by a .NET library that numbers its own date
// format 163: a date, not the built-in number that id would be.
TEST(XlsCorpus, Biff8WithFormat163) {
  auto book = LoadCorpusFile("xls/edr__ExcelLibrary_newdoc.xls");
  if (!book) GTEST_SKIP() << "the corpus is absent";
  ASSERT_FALSE(book->sheets.empty());
  XlSheet* sheet = book->sheets[0].get();
  EXPECT_EQ(xlFormatNumFormatA(xlSheetCellFormatA(sheet, 5, 1)), 163);
  EXPECT_TRUE(xlSheetIsDateA(sheet, 5, 1));
  int y = 0, mo = 0, d = 0, h = 0, mi = 0, se = 0, ms = 0;
  ASSERT_TRUE(
      xlBookDateUnpackA(book.get(), xlSheetReadNumA(sheet, 5, 1, nullptr), &y, &mo, &d, &h, &mi, &se, &ms));
  EXPECT_EQ(y * 10000 + mo * 100 + d, 20170605);
  EXPECT_STREQ(xlBookCustomNumFormatA(book.get(), 163), "YYYY\\-MM\\-DD");
  EXPECT_FALSE(xlSheetIsDateA(sheet, 4, 0));  // #,##0.00
}

}  // namespace
