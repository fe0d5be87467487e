// Every workbook of the shared corpus through the built Linux program, each
// under its own name: every sheet of a workbook that can be read gets its
// file, and a workbook that cannot be read fails cleanly (exit code 3, one
// line on stderr naming it and the reason, no file, the status file's
// count) for a reason that its content gives: encrypted, a format without a
// reader, or damaged or no workbook at all as the corpus itself describes it.
#ifndef _WIN32
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "engine/export.h"
#include "engine/parameters.h"
#include "engine/reader.h"
#include "program_run.h"
#include "tests/support/corpus_check.h"
#include "tests/support/json.h"

namespace fs = std::filesystem;
using testing_support::ReadFile;

namespace {

// What the corpus's MANIFEST.tsv says of a file: the format (folder and
// content) and the hand-written notes.
struct ManifestRow {
  std::string format;
  std::string notes;
};

std::map<std::string, ManifestRow> ReadManifest(const std::string& corpus) {
  std::map<std::string, ManifestRow> rows;
  std::istringstream lines(ReadFile(corpus + "/MANIFEST.tsv"));
  std::string line;
  while (std::getline(lines, line)) {
    std::vector<std::string> fields;
    size_t start = 0;
    for (size_t tab; (tab = line.find('\t', start)) != std::string::npos; start = tab + 1)
      fields.push_back(line.substr(start, tab - start));
    fields.push_back(line.substr(start));
    if (fields.size() >= 8) rows[fields[0]] = ManifestRow{fields[1], fields[7]};
  }
  return rows;
}

// Why a workbook cannot be read, in the groups the report counts.
enum class Failure { kEncrypted, kNoReader, kDamaged, kUnexplained };

// A reader's reason is taken as it stands for encryption and for formats
// without a reader; a damaged file (or one that is no workbook) must also
// be described so by the corpus, so that a reader fault on a sound
// workbook cannot pass as damage.
Failure Classify(const std::string& reason, const ManifestRow* row) {
  if (reason.find("encrypted") != std::string::npos) return Failure::kEncrypted;
  if (reason.find("not supported") != std::string::npos) return Failure::kNoReader;
  if (!row) return Failure::kUnexplained;
  for (const char* mark : {"CORRUPT", "HOSTILE", "MISLABELLED"})
    if (row->notes.find(mark) != std::string::npos) return Failure::kDamaged;
  for (const char* content : {"not-a-workbook", "empty-file", "broken", "ole-without-workbook-stream"})
    if (row->format.find(content) != std::string::npos) return Failure::kDamaged;
  return Failure::kUnexplained;
}

// The sheet names of a reference dump, or -1 when the reference reader
// failed on the file (or there is no dump).
int ReferenceSheetCount(const std::string& referencePath) {
  if (referencePath.empty()) return -1;
  std::string text = ReadFile(referencePath);
  size_t at = text.find("\"sheet_names\":");
  if (at == std::string::npos) return -1;
  size_t open = text.find('[', at), close = text.find(']', at);
  if (open == std::string::npos || close == std::string::npos) return -1;
  testing_support::Json names;
  std::string error;
  if (!testing_support::ParseJson(std::string_view(text).substr(open, close - open + 1), &names, &error))
    return -1;
  return static_cast<int>(names.items.size());
}

// The value of a key of the status file.
std::string StatusValue(const std::string& statusFile, const std::string& key) {
  std::string text = ReadFile(statusFile);
  size_t at = text.find(key + "=");
  if (at == std::string::npos) return "<none>";
  at += key.size() + 1;
  return text.substr(at, text.find_first_of("\r\n", at) - at);
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

bool NamesAWorkbook(const std::string& path) {
  ConverterSettings s{};
  const char* args[] = {"tabrevo", path.c_str()};
  ParseParameters(s, 2, args);
  return !s.sourceFile.empty();
}

TEST(ProgramCorpus, EverySheetOfEveryReadableWorkbookGetsItsFile) {
  const std::string corpus = testing_support::CorpusDir();
  if (corpus.empty()) GTEST_SKIP() << "no corpus";
  const std::map<std::string, ManifestRow> manifest = ReadManifest(corpus);
  ProgramCopy program;

  int files = 0, converted = 0, notNamed = 0, sheets = 0, sheetFiles = 0, damagedSheets = 0;
  std::map<Failure, int> failedFiles, sheetsOfFailedFiles;
  int referenceDisagrees = 0;

  for (const char* folder : {"xls", "xlsx", "xlsm", "xlsb", "other"}) {
    for (const testing_support::CorpusFile& file : testing_support::CorpusFiles(folder)) {
      SCOPED_TRACE(file.relative);
      ++files;
      const int referenceSheets = ReferenceSheetCount(file.reference);
      const std::string out = program.File("out" + std::to_string(files));
      const std::string status = program.File("status.ini");
      fs::create_directories(out);
      fs::remove(status);
      ProgramRun run = program.Run({file.path, out, "/SILENT", "/STATUS=" + status});

      if (!NamesAWorkbook(file.path)) {
        // An ending the parameters do not take as a workbook (.biff5): no
        // source, so the usage and nothing converted.
        ++notNamed;
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_NE(run.errors.find("usage: tabrevo"), std::string::npos) << run.errors;
        fs::remove_all(out);
        continue;
      }

      BookHandle book = xlCreateXMLBookCA();
      const bool loaded = xlBookLoadA(book, file.path.c_str()) != 0;
      const std::string reason = xlBookErrorMessageA(book);
      std::set<std::string> expected;  // sheets of the same upper-cased name share a file
      for (int i = 0; loaded && i < xlBookSheetCountA(book); ++i) {
        const char* name = xlSheetNameA(xlBookGetSheetA(book, i));
        expected.insert(SheetOutputPath(out, UpperAscii(name ? name : "")));
      }
      const int bookSheets = loaded ? xlBookSheetCountA(book) : 0;
      xlBookReleaseA(book);
      std::vector<std::string> written;
      for (const auto& entry : fs::directory_iterator(out)) written.push_back(entry.path().string());

      if (!loaded) {
        auto found = manifest.find(file.relative);
        Failure why = Classify(reason, found == manifest.end() ? nullptr : &found->second);
        EXPECT_NE(why, Failure::kUnexplained)
            << "cannot be read, and the corpus does not call it damaged: " << reason;
        ++failedFiles[why];
        if (referenceSheets > 0) sheetsOfFailedFiles[why] += referenceSheets;
        EXPECT_EQ(run.exitCode, 3);
        EXPECT_EQ(run.errors, "tabrevo: Unable to read the workbook: " + file.path + ": " + reason + "\n");
        EXPECT_TRUE(written.empty()) << written.size() << " files";
        EXPECT_EQ(StatusValue(status, "Failures"), "1");
        EXPECT_EQ(StatusValue(status, "Result"), "Successful");
        fs::remove_all(out);
        continue;
      }

      ++converted;
      sheets += bookSheets;
      sheetFiles += static_cast<int>(expected.size());
      if (referenceSheets >= 0 && referenceSheets != bookSheets) {
        ++referenceDisagrees;
        std::cout << file.relative << ": " << bookSheets << " sheets, the reference lists " << referenceSheets
                  << "\n";
      }
      for (const std::string& path : expected)
        EXPECT_NE(std::find(written.begin(), written.end(), path), written.end()) << "no file " << path;
      EXPECT_EQ(written.size(), expected.size());
      // A damaged sheet is written as far as it was read and reported.
      std::vector<std::string> lines = Lines(run.errors);
      for (const std::string& line : lines)
        EXPECT_EQ(line.rfind("tabrevo: Unable to read all of the sheet ", 0), 0u) << line;
      damagedSheets += static_cast<int>(lines.size());
      EXPECT_EQ(run.exitCode, lines.empty() ? 0 : 3) << run.errors;
      EXPECT_EQ(StatusValue(status, "Failures"), std::to_string(lines.size()));
      EXPECT_EQ(StatusValue(status, "Result"), "Successful");
      fs::remove_all(out);
    }
  }

  std::cout << files << " files: " << converted << " converted with " << sheets << " sheets into "
            << sheetFiles << " files (" << damagedSheets << " sheets damaged, written as far as read); "
            << notNamed << " not named as workbooks; cannot be read: " << failedFiles[Failure::kEncrypted]
            << " encrypted (" << sheetsOfFailedFiles[Failure::kEncrypted] << " sheets by the reference), "
            << failedFiles[Failure::kNoReader] << " without a reader ("
            << sheetsOfFailedFiles[Failure::kNoReader] << " sheets), " << failedFiles[Failure::kDamaged]
            << " damaged or no workbook (" << sheetsOfFailedFiles[Failure::kDamaged] << " sheets), "
            << failedFiles[Failure::kUnexplained] << " unexplained; " << referenceDisagrees
            << " sheet counts differ from the reference\n";
}

}  // namespace
#endif
