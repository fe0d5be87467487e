// Stands in for the .xls reader until it is built.
#include "formats.h"

namespace reader {

Status LoadCompoundFile(XlBook&, BookBuilder&) {
  return Status::Error(".xls workbooks cannot be read yet");
}

Status LoadBiffStream(XlBook&, BookBuilder&) {
  return Status::Error(".xls workbooks cannot be read yet");
}

}  // namespace reader
