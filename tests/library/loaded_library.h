// The built tabrevo_d, loaded the way its callers load it (dlopen,
// LoadLibraryA), and the helpers of its end-to-end tests.
#pragma once

#include <string>
#include <vector>

#include "library/tabrevo_d.h"

namespace library_test {

using ConverterFn = int32_t(TABREVO_D_CALL*)(int32_t, int32_t, const char* const*);
using ConverterStrFn = int32_t(TABREVO_D_CALL*)(int32_t, const char*);

struct Library {
  ConverterFn converter = nullptr;
  ConverterStrFn converterStr = nullptr;
  std::string error;  // why the library or an export could not be found
};

// The library, loaded once for the test program.
const Library& Loaded();

// Tabrevo_Converter with "app" as element 0 and `args` after it.
int32_t Convert(const std::vector<std::string>& args);

}  // namespace library_test
