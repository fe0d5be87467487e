// Fuzzes bare BIFF2 to BIFF4 streams: the worksheets (and BIFF4 workbooks)
// that old writers save without a compound file around them. An input that
// already opens with a BIFF2, BIFF3 or BIFF4 BOF record is read as it is;
// any other input gets such a BOF in front, its version chosen by the first
// byte, so that mutations reach the cell and format records of every
// version without first having to produce a valid BOF.
#include <vector>

#include "fuzz_book.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const bool hasBof = size >= 4 && data[0] == 0x09 && (data[1] == 0x00 || data[1] == 0x02 || data[1] == 0x04);
  if (hasBof || size == 0) {
    FuzzBook(data, size);
    return 0;
  }
  // Worksheet BOFs as the writers of each version leave them: BIFF2 has
  // 4 bytes (version, kind), BIFF3 and BIFF4 add a build number.
  static const uint8_t kBiff2[] = {0x09, 0x00, 0x04, 0x00, 0x07, 0x00, 0x10, 0x00};
  static const uint8_t kBiff3[] = {0x09, 0x02, 0x06, 0x00, 0x00, 0x00, 0x10, 0x00, 0x6C, 0x09};
  static const uint8_t kBiff4[] = {0x09, 0x04, 0x06, 0x00, 0x00, 0x00, 0x10, 0x00, 0x6C, 0x09};
  std::vector<uint8_t> stream;
  switch (data[0] % 3) {
    case 0: stream.assign(kBiff2, kBiff2 + sizeof kBiff2); break;
    case 1: stream.assign(kBiff3, kBiff3 + sizeof kBiff3); break;
    default: stream.assign(kBiff4, kBiff4 + sizeof kBiff4); break;
  }
  stream.insert(stream.end(), data + 1, data + size);
  FuzzBook(stream.data(), stream.size());
  return 0;
}
