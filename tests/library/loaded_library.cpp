#include "loaded_library.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#ifndef TABREVO_D_PATH
#error "TABREVO_D_PATH names the built library"
#endif

namespace library_test {

namespace {

Library Load() {
  Library lib;
#ifdef _WIN32
  HMODULE module = LoadLibraryA(TABREVO_D_PATH);
  if (!module) {
    lib.error = "LoadLibraryA failed: " + std::to_string(GetLastError());
    return lib;
  }
  lib.converter =
      reinterpret_cast<ConverterFn>(reinterpret_cast<void*>(GetProcAddress(module, "Tabrevo_Converter")));
  lib.converterStr = reinterpret_cast<ConverterStrFn>(
      reinterpret_cast<void*>(GetProcAddress(module, "Tabrevo_ConverterStr")));
#else
  void* module = dlopen(TABREVO_D_PATH, RTLD_NOW | RTLD_LOCAL);
  if (!module) {
    lib.error = dlerror();
    return lib;
  }
  lib.converter = reinterpret_cast<ConverterFn>(dlsym(module, "Tabrevo_Converter"));
  lib.converterStr = reinterpret_cast<ConverterStrFn>(dlsym(module, "Tabrevo_ConverterStr"));
#endif
  if (!lib.converter || !lib.converterStr) lib.error = "an export is missing";
  // The library stays loaded until the program ends.
  return lib;
}

}  // namespace

const Library& Loaded() {
  static const Library lib = Load();
  return lib;
}

int32_t Convert(const std::vector<std::string>& args) {
  std::vector<const char*> argv{"app"};
  for (const std::string& a : args) argv.push_back(a.c_str());
  return Loaded().converter(0, static_cast<int32_t>(argv.size()), argv.data());
}

}  // namespace library_test
