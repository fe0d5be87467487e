// Fuzzes the .xls path: the compound file reader, the BIFF globals and the
// cell records of every sheet. Inputs that start with the compound file
// signature go through the container; any other input is taken as a bare
// BIFF stream, so mutations reach the records without first having to
// keep a compound file intact.
#include <vector>

#include "fuzz_book.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const uint8_t kOle[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
  if (size >= 8 && std::memcmp(data, kOle, 8) == 0) {
    FuzzBook(data, size);
    return 0;
  }
  // A bare stream must open with a BOF record to be read as BIFF: give
  // the input one (BIFF8 globals) unless it already has a BOF of its own.
  bool hasBof = size >= 4 && (data[0] == 0x09 && (data[1] == 0x00 || data[1] == 0x02 || data[1] == 0x04 ||
                                                  data[1] == 0x08));
  if (hasBof) {
    FuzzBook(data, size);
    return 0;
  }
  static const uint8_t kBof[] = {0x09, 0x08, 0x10, 0x00, 0x00, 0x06, 0x05, 0x00, 0x00, 0x00,
                                 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
  std::vector<uint8_t> stream(kBof, kBof + sizeof kBof);
  stream.insert(stream.end(), data, data + size);
  FuzzBook(stream.data(), stream.size());
  return 0;
}
