// Converts every sheet of an .xls workbook to CSV as the program would:
// load through the reader interface, then the engine's sheet export.
// Timed as a whole process by bench/run_xls_bench.sh.
//
//   xls_bench IN.xls OUTDIR     convert every sheet
//   xls_bench IN.xls --read     only load the book and read every sheet's
//                               cells (the reader's share of the time)
#include <cstdio>
#include <cstring>

#include "engine/export.h"
#include "engine/reader.h"
#include "engine/settings.h"
#include "reader/core/book.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: xls_bench IN.xls OUTDIR\n");
    return 2;
  }
  ConverterSettings s{};
  SetDefaultSettings(s);
  ParseFieldDelimiter(s, s.fieldDelimiter);
  ParseRecordDelimiter(s, s.recordDelimiter);
  s.outputFolder = argv[2];
  s.book = xlCreateBookCA();
  if (!xlBookLoadA(s.book, argv[1])) {
    std::fprintf(stderr, "%s: %s\n", argv[1], xlBookErrorMessageA(s.book));
    return 1;
  }
  if (std::strcmp(argv[2], "--read") == 0) {
    long long cells = 0;
    for (int i = 0; i < xlBookSheetCountA(s.book); ++i) {
      SheetHandle sheet = xlBookGetSheetA(s.book, i);
      cells += xlSheetLastRowA(sheet) > 0 ? static_cast<long long>(sheet->cells.cellCount()) : 0;
    }
    std::printf("%lld cells\n", cells);
    return 0;
  }
  for (int i = 0; i < xlBookSheetCountA(s.book); ++i) {
    s.sheet = xlBookGetSheetA(s.book, i);
    ExportSheet(nullptr, s, UpperAscii(xlSheetNameA(s.sheet)).c_str());
  }
  std::printf("%lld records\n", static_cast<long long>(s.recordCount));
  return s.writeFailures || s.readFailures ? 1 : 0;
}
