// Fuzzes the keyword parameter language through the library's text entry,
// Tabrevo_ConverterStr: splitting at "#", classifying names by their
// ending, the keywords and their values, the delimiter words, the batch
// runner's wildcards and the export that the settings then drive.
//
// Every input runs in a private scratch folder (the current folder during
// the call), which holds three small workbooks (book.xls, book.xlsx and
// names.xlsx, whose sheet names are unsafe as file names) and is emptied
// afterwards. So that nothing is written outside it, the input is made
// relative before the call: a "/" inside a parameter becomes "-", and so
// does a leading "/" of a parameter that names a file (one ending in .csv,
// .txt, .xls or .xlsx), which would otherwise be an absolute path. A
// leading "/" of a keyword is kept ("-" is the other prefix, fuzzed as is).
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_scratch.h"
#include "library/tabrevo_d.h"

namespace {

struct Fixture {
  const char* name;
  const char* source;  // below the fixtures folder
  std::string bytes;
};

Fixture fixtures[] = {
    {"book.xls", "engine/data_totals.xls", {}},
    {"book.xlsx", "engine/data_totals.xlsx", {}},
    {"names.xlsx", "engine/hazardous_sheet_names.xlsx", {}},
};

FuzzScratch* scratch;
int home = -1;  // the folder the fuzzer started in

bool EndsWithNoCase(std::string_view text, std::string_view ending) {
  if (text.size() < ending.size()) return false;
  for (size_t i = 0; i < ending.size(); ++i) {
    char c = text[text.size() - ending.size() + i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != ending[i]) return false;
  }
  return true;
}

// Keeps one parameter inside the current folder (see the top of the file).
void MakeRelative(char* token, size_t length) {
  for (size_t i = 1; i < length; ++i)
    if (token[i] == '/') token[i] = '-';
  std::string_view text(token, length);
  if (length > 4 && token[0] == '/' &&
      (EndsWithNoCase(text, ".csv") || EndsWithNoCase(text, ".txt") || EndsWithNoCase(text, ".xls") ||
       EndsWithNoCase(text, ".xlsx")))
    token[0] = '-';
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  for (Fixture& f : fixtures) {
    std::ifstream in(std::string(TABREVO_FIXTURES) + "/" + f.source, std::ios::binary);
    f.bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (f.bytes.empty()) {
      std::fprintf(stderr, "parameters_fuzzer: cannot read the fixture %s\n", f.source);
      std::abort();
    }
  }
  scratch = new FuzzScratch();
  home = open(".", O_RDONLY | O_DIRECTORY);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The text ends at the first NUL, as a C caller's would.
  std::string text(reinterpret_cast<const char*>(data), size);
  text.resize(std::strlen(text.c_str()));
  for (size_t i = 0; i < text.size();) {
    size_t end = text.find('#', i);
    if (end == std::string::npos) end = text.size();
    MakeRelative(text.data() + i, end - i);
    i = end + 1;
  }

  for (const Fixture& f : fixtures) {
    std::ofstream(scratch->out() + "/" + f.name, std::ios::binary) << f.bytes;
  }
  if (chdir(scratch->out().c_str()) != 0) std::abort();
  int32_t result = Tabrevo_ConverterStr(0, text.c_str());
  if (fchdir(home) != 0) std::abort();
  scratch->Clear();
  if (result < 0 || result > 4) __builtin_trap();
  return 0;
}
