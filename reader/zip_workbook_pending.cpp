// Stands in for the ZIP package reader until it is built.
#include "formats.h"

namespace reader {

Status LoadZipWorkbook(XlBook&, BookBuilder&) {
  return Status::Error("ZIP workbooks (.xlsx, .xlsm) cannot be read yet");
}

}  // namespace reader
