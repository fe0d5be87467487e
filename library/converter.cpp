// The two exports of tabrevo_d over the engine.
#define TABREVO_D_BUILDING 1
#include <new>
#include <string>
#include <vector>

#include "engine/batch.h"
#include "engine/parameters.h"
#include "engine/settings.h"
#include "tabrevo_d.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

// Results of the exports; RunBatch gives 0 or kResultUnreadable. An output
// file that could not be written outweighs a workbook that could not be
// read, as in the program's exit code: rows were lost.
constexpr int32_t kResultNoSource = 1;
constexpr int32_t kResultNoOutput = 2;
constexpr int32_t kResultUnreadable = 3;
constexpr int32_t kResultUnwritten = 4;

int32_t Convert(int32_t count, const char* const* arguments) {
  // One record per call, on this thread: calls share nothing.
  ConverterSettings s{};
  SetDefaultSettings(s);
  ParseParameters(s, count, arguments);
  if (s.sourceFile.empty()) return kResultNoSource;
  if (s.outputFile.empty() && s.outputFolder.empty()) return kResultNoOutput;
  ParseFieldDelimiter(s, s.fieldDelimiter);
  ParseRecordDelimiter(s, s.recordDelimiter);
  int32_t result = RunBatch(s);
  return s.writeFailures > 0 ? kResultUnwritten : result;
  // The record's destructor releases the last book.
}

}  // namespace

extern "C" {

TABREVO_D_API int32_t TABREVO_D_CALL Tabrevo_Converter(int32_t /*reserved*/, int32_t count,
                                                       const char* const* arguments) {
  // No exception may cross into the caller: running out of memory ends the
  // run as one that could not read everything.
  try {
    return Convert(count, arguments);
  } catch (...) {
    return kResultUnreadable;
  }
}

TABREVO_D_API int32_t TABREVO_D_CALL Tabrevo_ConverterStr(int32_t reserved, const char* text) {
  try {
    // Split a private copy at "#", so that the caller's text may be
    // read-only; runs of "#" give no empty parameters. There is no limit on
    // the number of parameters.
    std::string copy = text ? text : "";
    std::vector<const char*> tokens;
    size_t i = 0;
    while (i < copy.size()) {
      while (i < copy.size() && copy[i] == '#') ++i;
      if (i == copy.size()) break;
      tokens.push_back(copy.data() + i);
      while (i < copy.size() && copy[i] != '#') ++i;
      if (i < copy.size()) copy[i++] = '\0';
    }
    tokens.push_back(nullptr);  // argv-like end
    return Tabrevo_Converter(reserved, static_cast<int32_t>(tokens.size() - 1), tokens.data());
  } catch (...) {
    return kResultUnreadable;
  }
}

}  // extern "C"

#ifdef _WIN32
// Loading and unloading do nothing of their own.
BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
#endif
