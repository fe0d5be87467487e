// Export throughput: a 1,000,000 x 10 in-memory sheet of mixed cells
// (plain numbers, numbers under custom formats, dates, strings that need
// quoting or escaping, booleans, empty cells) written as CSV.
//
// Two measurements in the same run: the engine's ExportSheet, and as a
// baseline the same rendering done the straightforward way (snprintf for
// every number, one stdio call per output byte). Reports rows and bytes per
// second; the ratio of the two times is the gain.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

#include "engine/export.h"
#include "reader/core/book.h"

namespace {

constexpr uint32_t kRows = 1000000;
constexpr uint32_t kCols = 10;

struct Fixture {
  XlBook* book = nullptr;
  XlSheet* sheet = nullptr;
  std::string path;

  Fixture() {
    book = reader::NewMemoryBook();
    reader::BookBuilder b(*book);
    b.AddStyle(0);                       // 0 General
    uint32_t money = b.AddStyle(164);    // 1 #,##0.00
    uint32_t date = b.AddStyle(14);      // 2 m/d/yy
    uint32_t whole = b.AddStyle(165);    // 3 0
    b.DefineNumFormat(164, "#,##0.00");
    b.DefineNumFormat(165, "0");
    const char* words[] = {"alpha", "beta, gamma", "say \"hi\"", "delta", "line\nbreak", "epsilon"};
    for (const char* w : words) b.sharedStrings().Add(w);
    sheet = &b.AddSheet("Data");
    b.Finish();
    reader::SheetBuilder cells(sheet->cells);
    for (uint32_t r = 0; r < kRows; ++r) {
      cells.AddNumber(r, 0, 0, r);                              // counter
      cells.AddNumber(r, 1, 0, r * 0.25 + 0.5);                 // general decimals
      cells.AddNumber(r, 2, money, (r % 100000) * 1.37);        // custom format with decimals
      cells.AddNumber(r, 3, date, 40000 + (r % 5000) + (r % 7) / 8.0);  // dates, some with time
      cells.AddSharedString(r, 4, 0, r % 6);
      cells.AddNumber(r, 5, whole, (r % 977) * 3.3);            // custom format without decimals
      cells.AddBoolean(r, 6, 0, r % 2 == 0);
      if (r % 3) cells.AddNumber(r, 7, 0, 1.0 / (r + 1));       // awkward decimals, some empty
      cells.AddSharedString(r, 8, 0, (r + 3) % 6);
      cells.AddNumber(r, 9, 0, -static_cast<double>(r) * 1000.001);
    }
    cells.Finish();
    sheet->loaded = true;
    path = (std::filesystem::temp_directory_path() / "tabrevo_export_bench.csv").string();
  }
  ~Fixture() {
    delete book;
    std::remove(path.c_str());
  }
};

Fixture& Data() {
  static Fixture f;
  return f;
}

void Settings(ConverterSettings& s, Fixture& f) {
  SetDefaultSettings(s);
  ParseFieldDelimiter(s, s.fieldDelimiter);
  ParseRecordDelimiter(s, s.recordDelimiter);
  s.outputFile = f.path;
  s.book = nullptr;  // the fixture owns the book
  s.sheet = f.sheet;
}

uint64_t FileSize(const std::string& path) {
  std::error_code ec;
  auto n = std::filesystem::file_size(path, ec);
  return ec ? 0 : n;
}

void BM_ExportSheet(benchmark::State& state) {
  Fixture& f = Data();
  uint64_t bytes = 0;
  for (auto _ : state) {
    ConverterSettings s{};
    Settings(s, f);
    s.book = f.book;
    ExportSheet(nullptr, s, "DATA");
    s.book = nullptr;
    bytes = FileSize(f.path);
  }
  state.counters["rows/s"] = benchmark::Counter(static_cast<double>(kRows) * state.iterations(),
                                                benchmark::Counter::kIsRate);
  state.counters["bytes/s"] = benchmark::Counter(static_cast<double>(bytes) * state.iterations(),
                                                 benchmark::Counter::kIsRate);
}

// The straightforward rendering the engine replaces: printf formats and
// one stdio call per byte, through the same reader interface.
void BM_BaselineSnprintfPutc(benchmark::State& state) {
  Fixture& f = Data();
  uint64_t bytes = 0;
  for (auto _ : state) {
    std::remove(f.path.c_str());
    std::FILE* out = std::fopen(f.path.c_str(), "ab");
    SheetHandle sh = f.sheet;
    char text[512], format[32];
    int rows = xlSheetLastRowA(sh);
    for (int r = 0; r < rows; ++r) {
      for (int c = 0; c < xlSheetLastColA(sh); ++c) {
        FormatHandle fmt = xlSheetCellFormatA(sh, r, c);
        text[0] = 0;
        bool quote = false;
        switch (xlSheetCellTypeA(sh, r, c)) {
          case CELLTYPE_NUMBER:
            if (xlSheetIsDateA(sh, r, c)) {
              int y, mo, d, h, mi, se, ms;
              xlBookDateUnpackA(f.book, xlSheetReadNumA(sh, r, c, nullptr), &y, &mo, &d, &h, &mi, &se, &ms);
              if (h + mi + se == 0) std::snprintf(text, sizeof text, "%04d.%02d.%02d", y, mo, d);
              else std::snprintf(text, sizeof text, "%04d.%02d.%02d %02d:%02d:%02d", y, mo, d, h, mi, se);
            } else if (const char* custom = xlBookCustomNumFormatA(f.book, xlFormatNumFormatA(fmt))) {
              const char* dot = std::strchr(custom, '.');
              if (dot) std::snprintf(format, sizeof format, "%%%d.%df", (int)std::strlen(custom), (int)std::strlen(dot + 1));
              else std::snprintf(format, sizeof format, "%%%dd", (int)std::strlen(custom));
              if (dot) std::snprintf(text, sizeof text, format, xlSheetReadNumA(sh, r, c, &fmt));
              else std::snprintf(text, sizeof text, format, (int)xlSheetReadNumA(sh, r, c, &fmt));
            } else {
              std::snprintf(text, sizeof text, "%f", xlSheetReadNumA(sh, r, c, &fmt));
            }
            break;
          case CELLTYPE_STRING:
            std::snprintf(text, sizeof text, "%s", xlSheetReadStrA(sh, r, c, nullptr));
            quote = true;
            break;
          case CELLTYPE_BOOLEAN:
            std::snprintf(text, sizeof text, "%d", xlSheetReadBoolA(sh, r, c, &fmt));
            break;
        }
        if (quote) std::fputc('"', out);
        for (const char* p = text; *p; ++p) {
          if (quote && *p == '"') std::fputc('"', out);
          std::fputc(*p, out);
        }
        if (quote) std::fputc('"', out);
        std::fputc(',', out);
      }
      std::fputc('\r', out);
      std::fputc('\n', out);
    }
    std::fclose(out);
    bytes = FileSize(f.path);
  }
  state.counters["rows/s"] = benchmark::Counter(static_cast<double>(kRows) * state.iterations(),
                                                benchmark::Counter::kIsRate);
  state.counters["bytes/s"] = benchmark::Counter(static_cast<double>(bytes) * state.iterations(),
                                                 benchmark::Counter::kIsRate);
}

BENCHMARK(BM_ExportSheet)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_BaselineSnprintfPutc)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(5)->ReportAggregatesOnly(true);

}  // namespace

BENCHMARK_MAIN();
