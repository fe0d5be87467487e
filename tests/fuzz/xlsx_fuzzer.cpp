// Fuzzes the ZIP container and the .xlsx reader behind it: the input is
// loaded as a workbook and every cell of every sheet is read.
#include "fuzz_book.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzBook(data, size);
  return 0;
}
