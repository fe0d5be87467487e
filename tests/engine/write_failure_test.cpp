// The writer under load and under failure: runs of empty fields written in
// one go, and a failed write ending the sheet instead of rendering the rest.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

#include <chrono>
#include <random>
#include <string>

#include "engine/export.h"
#include "tests/support/test_support.h"

using testing_support::FileExists;
using testing_support::MemoryBook;
using testing_support::ReadFile;
using testing_support::ScratchDir;

namespace {

// A run with plain settings: no quotes, so that a string cell is its text.
struct PlainRun {
  ScratchDir dir;
  ConverterSettings s{};
  MemoryBook mb;
  PlainRun(const std::string& fields, const std::string& records) {
    SetDefaultSettings(s);
    s.fieldDelimiter = fields;
    s.recordDelimiter = records;
    s.quoteStrings = 0;
    s.outputFolder = dir.path();
  }
};

// Rows of the width the sheet reports, with cells scattered over long gaps,
// whole empty rows and error cells (which have no content), written with
// delimiters of one, several and no characters: the same bytes as one field
// after the other. The rows are wide enough to cross the output buffer.
TEST(EmptyFieldRuns, GiveTheDelimiterOfEveryEmptyCell) {
  for (std::string fields : {",", "<->", "", "\t"}) {
    PlainRun run(fields, "\r\n");
    XlSheet* sh = run.mb.Sheet("Sparse");
    const uint32_t rows = 48, cols = 16384;
    std::mt19937 random(7);
    std::vector<std::vector<std::string>> expected(rows, std::vector<std::string>(cols));
    for (uint32_t r = 0; r < rows; ++r) {
      if (r % 5 == 3) continue;  // a row without cells
      for (int n = static_cast<int>(random() % 9); n > 0; --n) {
        uint32_t c = random() % cols;
        if (random() % 4 == 0) {
          run.mb.Error(sh, r, c);
          expected[r][c].clear();
        } else {
          std::string text = "s" + std::to_string(r) + "_" + std::to_string(c);
          run.mb.String(sh, r, c, text);
          expected[r][c] = text;
        }
      }
    }
    run.mb.String(sh, rows - 1, cols - 1, "end");  // the extent: every row is as wide
    expected[rows - 1][cols - 1] = "end";
    run.mb.Error(sh, 0, 0);  // an error cell first, at the start of a gap
    expected[0][0].clear();
    run.s.book = run.mb.Release();
    run.s.sheet = sh;
    ExportSheet(nullptr, run.s, "OUT");

    std::string want;
    for (const auto& row : expected) {
      for (const std::string& cell : row) want.append(cell).append(fields);
      want += "\r\n";
    }
    std::string got = ReadFile(run.dir.File("OUT.csv"));
    ASSERT_EQ(got.size(), want.size()) << "delimiter '" << fields << "'";
    EXPECT_TRUE(got == want) << "delimiter '" << fields << "'";
    EXPECT_EQ(run.s.recordCount, static_cast<int32_t>(rows));
    EXPECT_EQ(run.s.writeFailures, 0);
  }
}

TEST(OutputFileRepeat, FillsAcrossTheBufferAndStopsAfterAFailure) {
  ScratchDir dir;
  OutputFile out;
  ASSERT_TRUE(out.Open(dir.File("out.txt")));
  out.Put('x');
  out.Repeat("abc", 700000);  // 2.1 MB: twice across the buffer's end
  out.Repeat(";", 1500000);
  out.Repeat("", 5);
  out.Append("y");
  ASSERT_TRUE(out.Close());
  std::string want = "x";
  for (int i = 0; i < 700000; ++i) want += "abc";
  want.append(1500000, ';');
  want += "y";
  std::string got = ReadFile(dir.File("out.txt"));
  ASSERT_EQ(got.size(), want.size());
  EXPECT_TRUE(got == want);

#ifndef _WIN32
  if (!FileExists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  ASSERT_TRUE(out.Open("/dev/full"));
  // Far more than could ever be stored: returns as soon as a write fails.
  auto start = std::chrono::steady_clock::now();
  out.Repeat(",", size_t(1) << 40);
  EXPECT_TRUE(out.failed());
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  EXPECT_FALSE(out.Close());
  EXPECT_NE(out.error(), "");
#endif
}

#ifndef _WIN32
// The file an output replaces is let go of by the time the output is closed,
// whether the writing thread started (a large file) or not, and also when a
// second one is handed over before it.
TEST(OutputFileReplaced, IsLetGoOfWhateverWasWritten) {
  ScratchDir dir;
  for (size_t bytes : {size_t(3), size_t(3) << 20}) {
    int first = ::open(dir.File("x").c_str(), O_RDWR | O_CREAT, 0600);
    int second = ::open(dir.File("y").c_str(), O_RDWR | O_CREAT, 0600);
    ASSERT_GE(first, 0);
    ASSERT_GE(second, 0);
    const std::string path = dir.File("out" + std::to_string(bytes) + ".txt");
    OutputFile out;
    ASSERT_TRUE(out.Open(path));
    out.LetGoOfReplaced(first);
    out.LetGoOfReplaced(second);
    EXPECT_EQ(::fcntl(first, F_GETFD), -1);
    out.Repeat("z", bytes);
    ASSERT_TRUE(out.Close());
    EXPECT_EQ(::fcntl(second, F_GETFD), -1) << bytes;
    EXPECT_EQ(ReadFile(path).size(), bytes);
  }
}
#endif

// Buffers go out while the next ones fill: cutting fields from each row,
// cutting the file back and the position all see every byte handed over
// before them, also when a write is still under way.
TEST(OutputFileBuffers, CutsAndTruncationsSeeEveryByteWrittenBefore) {
  ScratchDir dir;
  OutputFile out;
  ASSERT_TRUE(out.Open(dir.File("rows.txt")));
  OutputFile::PieceLengths rows;
  std::string want;
  uint64_t rowStart = 0;
  for (int i = 0; i < 150000; ++i) {  // about 2 MB: several buffers
    std::string text = "row " + std::to_string(i);
    out.Append(text);
    out.Append(",,\n");
    want += text + "\n";
    rows.Add(out.Position() - rowStart);
    rowStart = out.Position();
  }
  ASSERT_TRUE(out.CutFromEachPiece(0, rows, 2, 1));
  EXPECT_EQ(out.Position(), want.size());
  out.Repeat("tail;", 400000);  // 2 MB more, then cut back within it
  ASSERT_TRUE(out.TruncateTo(want.size() + 5 * 300000 + 3));
  out.Append("!");
  want.append(std::string(5 * 300000, ';'));
  for (size_t i = want.size() - 5 * 300000, k = 0; i < want.size(); ++i, ++k) want[i] = "tail;"[k % 5];
  want += "tai!";
  ASSERT_TRUE(out.Close());
  std::string got = ReadFile(dir.File("rows.txt"));
  ASSERT_EQ(got.size(), want.size());
  EXPECT_TRUE(got == want);
}

#ifndef _WIN32
// A sheet whose one value sits in the last cell a sheet can have: 17 GB of
// delimiters. On a disk that fails (here one that is always full) the export
// stops at the first failed write and says so, instead of rendering the
// remaining rows for minutes.
TEST(WriteFailure, EndsTheLargestSheetAtOnce) {
  if (!FileExists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  PlainRun run(",", "\r\n");
  XlSheet* sh = run.mb.Sheet("Far");
  run.mb.Number(sh, 1048575, 16383, 1);
  run.s.book = run.mb.Release();
  run.s.sheet = sh;
  run.s.outputFile = "/dev/full";
  run.s.overwrite = kOverwriteNo;  // never delete it
  testing_support::CapturedStderr err(run.dir.File("stderr.txt"));
  auto start = std::chrono::steady_clock::now();
  ExportSheet(nullptr, run.s, "FAR");
  auto took = std::chrono::steady_clock::now() - start;
  std::string text = err.Restore();
  EXPECT_LT(took, std::chrono::seconds(5));
  EXPECT_EQ(run.s.writeFailures, 1);
  // Not one row was stored; only the rows of the first buffer were counted
  // before the failure showed.
  EXPECT_LT(run.s.recordCount, 100);
  EXPECT_EQ(text, "tabrevo: Unable to write all of the output file: /dev/full: No space left on device\n");
}
#endif

}  // namespace
