// Fuzzes container detection and every parser behind it.
#include "fuzz_book.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzBook(data, size);
  return 0;
}
