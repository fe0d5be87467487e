// The library's copy of the export: no status words, no progress display.
#include <gtest/gtest.h>

#include "engine/export.h"
#include "tests/support/test_support.h"

using testing_support::FileExists;
using testing_support::MemoryBook;
using testing_support::ReadFile;
using testing_support::ScratchDir;

namespace {

TEST(LibraryExport, WritesNoStatusWords) {
  ScratchDir dir;
  MemoryBook mb;
  XlSheet* sheet = mb.Sheet("A");
  mb.Number(sheet, 0, 0, 2);
  ConverterSettings s{};
  SetDefaultSettings(s);
  ParseRecordDelimiter(s, s.recordDelimiter);
  s.outputFolder = dir.path();
  s.statusFile = dir.File("status.ini");
  s.book = mb.Release();
  s.sheet = sheet;
  ExportSheet(nullptr, s, "A");
  EXPECT_EQ(ReadFile(dir.File("A.csv")), "2.000000,\r\n");
  // Not even when the output cannot be opened.
  s.outputFile = dir.File("missing/x.csv");
  s.outputFileBuilt = false;
  s.logEnabled = 1;
  ExportSheet(nullptr, s, "A");
  EXPECT_EQ(s.writeFailures, 1);
  EXPECT_FALSE(FileExists(s.statusFile));
}

}  // namespace
