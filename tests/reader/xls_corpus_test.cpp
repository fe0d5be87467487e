// Every .xls of the shared corpus (and the BIFF5 files of other/) against
// the reference dumps: sheet names, content types, strings, numbers and
// number format texts. Skipped when the corpus is absent.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <set>
#include <string>

#include "reader/book.h"
#include "tests/support/corpus_check.h"
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
  std::printf("xls corpus: %zu files: %d loaded, %d encrypted (refused), %d damaged (refused); "
              "%d of %d reference cells agree\n",
              files.size(), loaded, encrypted, failed, agreeing, compared);
  EXPECT_GT(loaded, 0);
}

}  // namespace
