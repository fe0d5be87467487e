// The .xlsx and .xlsb readers against zlib alone, measured in the same run.
//
//   xlsx_bench <folder with the xlsx_generate workbooks> [runs]
//   xlsx_bench --inflate <workbook>
//   xlsx_bench --inflate-isal <workbook>
//
// The first form takes numeric_1m_x10.xlsx, mixed_300k_x12.xlsx and, when
// bench/make_xlsb.sh has written it, mixed_300k_x12.xlsb. For each workbook,
// interleaved, `runs` times:
//   inflate   zlib inflating the sheet and shared-strings parts into a
//             1 MiB buffer, nothing else (the floor of any reader);
//   reader    xlBookLoadA + xlSheetLastRowA of the sheet: opening the
//             package, parsing strings and styles, then every cell;
//   1 thread  the same parts inflated and parsed without the read-ahead
//             thread (ZipEntryReader -> XmlScanner -> parsers); .xlsx only.
// Prints the medians (wall and CPU time) and the ratios to inflate.
//
// --inflate inflates the sheet and shared-strings parts of one workbook
// once with zlib and exits: the floor to time as a whole process against
// `tabrevo IN OUTDIR /SILENT`. --inflate-isal does the same with ISA-L's
// inflater (where the build found it): the lower floor.
#include <time.h>
#include <zlib.h>

#ifdef TABREVO_HAVE_ISAL
#include <isa-l/igzip_lib.h>
#endif

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/reader.h"
#include "reader/core/book.h"
#include "reader/core/safety.h"
#include "reader/xlsx/xlsx_package.h"

namespace {

double Now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

double Cpu() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// Plain zlib over one entry: read the compressed bytes in 256 KiB chunks,
// inflate into a 1 MiB buffer, discard. Returns the inflated size.
uint64_t InflateOnly(std::FILE* f, const reader::ZipArchive& zip, const reader::ZipEntry& e) {
  uint8_t header[30];
  std::fseek(f, static_cast<long>(e.localHeaderOffset), SEEK_SET);
  if (std::fread(header, 1, 30, f) != 30) return 0;
  long data = static_cast<long>(e.localHeaderOffset + 30 + reader::ReadU16(header + 26) +
                                reader::ReadU16(header + 28));
  (void)zip;
  std::fseek(f, data, SEEK_SET);
  z_stream z{};
  inflateInit2(&z, -MAX_WBITS);
  static std::vector<uint8_t> in(256 << 10), out(1 << 20);
  uint64_t left = e.compressedSize, total = 0;
  int rc = Z_OK;
  while (rc != Z_STREAM_END) {
    if (z.avail_in == 0 && left > 0) {
      size_t n = static_cast<size_t>(std::min<uint64_t>(left, in.size()));
      if (std::fread(in.data(), 1, n, f) != n) break;
      left -= n;
      z.next_in = in.data();
      z.avail_in = static_cast<uInt>(n);
    }
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    rc = inflate(&z, Z_NO_FLUSH);
    if (rc != Z_OK && rc != Z_STREAM_END) break;
    total += out.size() - z.avail_out;
  }
  inflateEnd(&z);
  return total;
}

#ifdef TABREVO_HAVE_ISAL
// The same with ISA-L's inflater.
uint64_t InflateOnlyIsal(std::FILE* f, const reader::ZipArchive&, const reader::ZipEntry& e) {
  uint8_t header[30];
  std::fseek(f, static_cast<long>(e.localHeaderOffset), SEEK_SET);
  if (std::fread(header, 1, 30, f) != 30) return 0;
  long data = static_cast<long>(e.localHeaderOffset + 30 + reader::ReadU16(header + 26) +
                                reader::ReadU16(header + 28));
  std::fseek(f, data, SEEK_SET);
  auto state = std::make_unique<inflate_state>();
  isal_inflate_init(state.get());
  static std::vector<uint8_t> in(256 << 10), out(1 << 20);
  uint64_t left = e.compressedSize, total = 0;
  while (state->block_state != ISAL_BLOCK_FINISH) {
    if (state->avail_in == 0 && left > 0) {
      size_t n = static_cast<size_t>(std::min<uint64_t>(left, in.size()));
      if (std::fread(in.data(), 1, n, f) != n) break;
      left -= n;
      state->next_in = in.data();
      state->avail_in = static_cast<uint32_t>(n);
    }
    state->next_out = out.data();
    state->avail_out = static_cast<uint32_t>(out.size());
    if (isal_inflate(state.get()) != ISAL_DECOMP_OK) break;
    size_t made = out.size() - state->avail_out;
    if (made == 0 && state->avail_in == 0 && left == 0) break;
    total += made;
  }
  return total;
}
#endif

struct Timing {
  std::vector<double> wall, cpu;
  void Add(double w, double c) {
    wall.push_back(w);
    cpu.push_back(c);
  }
};

// Parses one part without the read-ahead thread.
template <typename F>
void ScanSingleThreaded(reader::ByteSource& source, const reader::ZipArchive& zip, const reader::ZipEntry& e,
                        F&& parse) {
  reader::ZipEntryReader stream;
  if (!stream.Open(source, zip, e).ok()) return;
  reader::XmlScanner sc(stream, e.name);
  reader::Status s = parse(sc);
  if (!s.ok()) std::fprintf(stderr, "%s\n", s.message().c_str());
}

bool EndsWith(std::string_view s, std::string_view tail) {
  return s.size() >= tail.size() && s.substr(s.size() - tail.size()) == tail;
}

// The parts a reader must inflate to get every cell: the worksheets and the
// shared strings, XML in an .xlsx, records in an .xlsb.
bool IsCellPart(std::string_view name) {
  bool sheet = name.substr(0, 14) == "xl/worksheets/" && name.find('/', 14) == std::string_view::npos;
  bool strings = name == "xl/sharedStrings.xml" || name == "xl/sharedStrings.bin";
  return strings || (sheet && (EndsWith(name, ".xml") || EndsWith(name, ".bin")));
}

int InflateParts(const std::string& path, bool isal) {
#ifndef TABREVO_HAVE_ISAL
  if (isal) {
    std::fprintf(stderr, "this build has no ISA-L\n");
    return 1;
  }
#endif
  std::unique_ptr<reader::FileSource> file;
  std::unique_ptr<reader::ZipArchive> zip;
  if (!reader::FileSource::Open(path, &file).ok() || !reader::ZipArchive::Open(*file, &zip).ok()) {
    std::fprintf(stderr, "cannot open %s as a ZIP package\n", path.c_str());
    return 1;
  }
  std::FILE* raw = std::fopen(path.c_str(), "rb");
  if (!raw) return 1;
  uint64_t total = 0;
  int parts = 0;
  for (const reader::ZipEntry& e : zip->entries()) {
    if (!IsCellPart(e.name)) continue;
    if (e.method != 8) {  // the floor is meant to be zlib's work
      std::fprintf(stderr, "%s: %s is not deflated\n", path.c_str(), e.name.c_str());
      std::fclose(raw);
      return 1;
    }
#ifdef TABREVO_HAVE_ISAL
    if (isal) {
      total += InflateOnlyIsal(raw, *zip, e);
      ++parts;
      continue;
    }
#endif
    total += InflateOnly(raw, *zip, e);
    ++parts;
  }
  std::fclose(raw);
  std::printf("%s: %d parts, %llu bytes inflated\n", path.c_str(), parts,
              static_cast<unsigned long long>(total));
  return parts > 0 ? 0 : 1;
}

int Bench(const std::string& path, int runs) {
  bool binary = EndsWith(path, ".xlsb");
  std::unique_ptr<reader::FileSource> file;
  if (!reader::FileSource::Open(path, &file).ok()) {
    std::fprintf(stderr, "cannot open %s (run xlsx_generate first)\n", path.c_str());
    return 1;
  }
  std::unique_ptr<reader::ZipArchive> zip;
  if (!reader::ZipArchive::Open(*file, &zip).ok()) return 1;
  const reader::ZipEntry* sheetPart =
      zip->Find(binary ? "xl/worksheets/sheet1.bin" : "xl/worksheets/sheet1.xml");
  const reader::ZipEntry* sstPart = zip->Find(binary ? "xl/sharedStrings.bin" : "xl/sharedStrings.xml");
  if (!sheetPart || !sstPart) {
    std::fprintf(stderr, "%s lacks the first sheet or the shared strings part\n", path.c_str());
    return 1;
  }
  std::FILE* raw = std::fopen(path.c_str(), "rb");
  Timing inflate, full, single;
  uint64_t inflated = 0;
  int rows = 0, cols = 0;
  size_t cells = 0;
  for (int run = 0; run < runs; ++run) {
    double w = Now(), c = Cpu();
    inflated = InflateOnly(raw, *zip, *sheetPart) + InflateOnly(raw, *zip, *sstPart);
    inflate.Add(Now() - w, Cpu() - c);

    w = Now();
    c = Cpu();
    BookHandle book = xlCreateXMLBookCA();
    xlBookLoadA(book, path.c_str());
    SheetHandle sheet = xlBookGetSheetA(book, 0);
    rows = xlSheetLastRowA(sheet);
    full.Add(Now() - w, Cpu() - c);
    cols = xlSheetLastColA(sheet);
    cells = sheet->cells.cellCount();
    if (const char* error = xlSheetErrorMessageA(sheet)) std::fprintf(stderr, "%s\n", error);

    if (binary) {
      xlBookReleaseA(book);
      continue;
    }
    w = Now();
    c = Cpu();
    reader::StringPool strings;
    ScanSingleThreaded(*file, *zip, *sstPart, [&](reader::XmlScanner& sc) {
      return reader::ParseSharedStrings(sc, sstPart->uncompressedSize, &strings);
    });
    reader::CellStore store;
    reader::StringPool sheetStrings;
    {
      reader::SheetBuilder builder(store);
      ScanSingleThreaded(*file, *zip, *sheetPart, [&](reader::XmlScanner& sc) {
        return reader::ParseWorksheet(sc, *book, builder, sheetStrings);
      });
    }
    single.Add(Now() - w, Cpu() - c);
    xlBookReleaseA(book);
  }
  std::fclose(raw);
  double base = Median(inflate.wall);
  std::printf("%s: %d x %d, %zu cells, %.1f MB of %s (sheet and shared strings), %d runs\n", path.c_str(),
              rows, cols, cells, static_cast<double>(inflated) / 1e6, binary ? "records" : "XML", runs);
  std::printf("  %-34s %8.0f ms wall %8.0f ms CPU\n", "zlib inflate only", base * 1e3,
              Median(inflate.cpu) * 1e3);
  std::printf("  %-34s %8.0f ms wall %8.0f ms CPU  ratio %.2f\n", "reader: load + sheet (read-ahead)",
              Median(full.wall) * 1e3, Median(full.cpu) * 1e3, Median(full.wall) / base);
  if (!binary)
    std::printf("  %-34s %8.0f ms wall %8.0f ms CPU  ratio %.2f\n", "reader: strings + sheet, 1 thread",
                Median(single.wall) * 1e3, Median(single.cpu) * 1e3, Median(single.wall) / base);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::string_view(argv[1]) == "--inflate") return InflateParts(argv[2], false);
  if (argc == 3 && std::string_view(argv[1]) == "--inflate-isal") return InflateParts(argv[2], true);
  std::string dir = argc > 1 ? argv[1] : ".";
  int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
  int rc = Bench(dir + "/numeric_1m_x10.xlsx", runs);
  rc |= Bench(dir + "/mixed_300k_x12.xlsx", runs);
  std::string xlsb = dir + "/mixed_300k_x12.xlsb";
  if (std::FILE* f = std::fopen(xlsb.c_str(), "rb")) {
    std::fclose(f);
    rc |= Bench(xlsb, runs);
  }
  return rc;
}
