// Fuzzes the whole export: any workbook, opened by name as the batch runner
// opens it, every sheet written with settings drawn from the input.
//
// The first 6 bytes choose the settings (delimiters, escape text, quoting,
// line breaks in strings, code page, overwrite, log, one output file or a
// file per sheet in a folder) and the rest is the workbook. An input that
// itself begins with a workbook's signature (a ZIP, a compound file or a
// BIFF BOF: the seed files and their near mutants) keeps every byte for the
// workbook and draws its settings from a hash of the whole input instead.
//
// Sheets whose rectangle exceeds kMaxCells are not exported: a legal
// workbook may state a million rows of sixteen thousand columns, whose text
// (gigabytes of delimiters) only costs time here; the resource tests cover
// that size. Nor are sheets past the first kMaxSheets: a thousand sheets
// run the same code a thousand times. No output file may grow past
// kMaxOutputBytes (a file-size limit, its signal ignored): a few shared
// strings of a megabyte each, named by thousands of cells, make gigabytes of
// faithful text; past the limit the write fails and the export takes its
// failure road, which is fuzzed with it. Files go to a private scratch
// folder emptied after each input.
#include <signal.h>
#include <sys/resource.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <string>

#include "engine/settings.h"
#include "engine/workbook.h"
#include "fuzz_scratch.h"

namespace {

constexpr int64_t kMaxCells = int64_t(1) << 20;
constexpr int kMaxSheets = 64;
constexpr rlim_t kMaxOutputBytes = rlim_t(1) << 20;

FuzzScratch* scratch;

const char* const kFieldDelimiters[] = {",",    ";", "TAB", "PIPE",
                                        "NONE", "",  "<|>", "0123456789abcdefghijklmnopqrstuvwxyz"};
const char* const kRecordDelimiters[] = {"CRLF", "CR",       "LF", "NONE",
                                         "||",   "\r\n\r\n", "0",  "0123456789abcdefghijklmnopqrstuvwxyz"};
const char* const kEscapes[] = {"\"", "'", "\\", "", "\"\"", "ESC-ESC", "\r\n", "#"};

bool StartsWithSignature(const uint8_t* data, size_t size) {
  if (size < 4) return false;
  if (data[0] == 'P' && data[1] == 'K') return true;
  if (data[0] == 0xD0 && data[1] == 0xCF && data[2] == 0x11 && data[3] == 0xE0) return true;
  return data[0] == 0x09 && (data[1] == 0x00 || data[1] == 0x02 || data[1] == 0x04 || data[1] == 0x08);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  scratch = new FuzzScratch();
  return 0;
}

namespace {

// The file-size limit; set at the first input, after libFuzzer has put its
// own signal handlers in place (its SIGXFSZ handler would end the run).
void LimitOutput() {
  static bool done = false;
  if (done) return;
  done = true;
  signal(SIGXFSZ, SIG_IGN);
  struct rlimit limit;
  if (getrlimit(RLIMIT_FSIZE, &limit) == 0 &&
      (limit.rlim_cur == RLIM_INFINITY || limit.rlim_cur > kMaxOutputBytes)) {
    limit.rlim_cur = kMaxOutputBytes;
    setrlimit(RLIMIT_FSIZE, &limit);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  LimitOutput();
  uint8_t choice[6] = {};
  if (StartsWithSignature(data, size)) {
    uint64_t hash = 1469598103934665603ull;  // FNV-1a
    for (size_t i = 0; i < size; ++i) hash = (hash ^ data[i]) * 1099511628211ull;
    for (uint8_t& c : choice) {
      c = static_cast<uint8_t>(hash);
      hash >>= 8;
    }
  } else {
    if (size < sizeof choice) return 0;
    std::copy(data, data + sizeof choice, choice);
    data += sizeof choice;
    size -= sizeof choice;
  }

  const std::string source = scratch->root() + ((choice[5] & 1) ? "/book.xls" : "/book.xlsx");
  std::ofstream(source, std::ios::binary)
      .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));

  {
    ConverterSettings s{};
    SetDefaultSettings(s);
    s.fieldDelimiter = kFieldDelimiters[choice[0] % 8];
    s.recordDelimiter = kRecordDelimiters[choice[1] % 8];
    s.escapeChar = kEscapes[choice[2] % 8];
    s.quoteStrings = choice[3] & 1;
    s.quoteAll = (choice[3] >> 1) & 1;
    s.exportRecords = (choice[3] & 0x0C) != 0x0C;  // mostly on
    s.crlfMode = ((choice[3] >> 4) & 3) % 3;
    s.codePage = (choice[4] & 3) % 3;
    s.overwrite = ((choice[4] >> 2) & 3) % 3;
    s.logEnabled = (choice[4] >> 4) & 1;
    if ((choice[4] >> 5) & 1)
      s.outputFolder = scratch->out();
    else
      s.outputFile = scratch->out() + "/out.csv";
    ParseFieldDelimiter(s, s.fieldDelimiter);
    ParseRecordDelimiter(s, s.recordDelimiter);
    s.sourceFile = source;

    if (OpenWorkbook(nullptr, s, "")) {
      for (int i = 0; i < xlBookSheetCountA(s.book); ++i) {
        SheetHandle sheet = xlBookGetSheetA(s.book, i);
        if (!sheet) continue;
        if (i < kMaxSheets && int64_t(xlSheetLastRowA(sheet)) * xlSheetLastColA(sheet) <= kMaxCells) continue;
        const std::string upper = UpperAscii(xlSheetNameA(sheet) ? xlSheetNameA(sheet) : "");
        s.selectedSheets.erase(std::remove(s.selectedSheets.begin(), s.selectedSheets.end(), upper),
                               s.selectedSheets.end());
      }
      ConvertSelectedSheets(nullptr, s);
    }
    if (s.recordCount < 0 || s.readFailures < 0 || s.writeFailures < 0) __builtin_trap();
  }
  scratch->Clear();
  return 0;
}
