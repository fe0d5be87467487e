// Container detection: the content decides the parser, never the file name.
#include <cstring>
#include <new>

#include "reader/core/book.h"
#include "reader/core/safety.h"
#include "reader/formats.h"

namespace reader {

namespace {

// The first record of a bare BIFF stream is a BOF: record type 0x0009
// (BIFF2), 0x0209 (BIFF3), 0x0409 (BIFF4) or 0x0809 (BIFF5 and later),
// followed by a small length ([MS-XLS] 2.4.21; BIFF2-4 from the Excel 4 docs).
bool LooksLikeBiffStream(const uint8_t* head, size_t n) {
  if (n < 4) return false;
  uint16_t type = ReadU16(head);
  uint16_t length = ReadU16(head + 2);
  bool bof = type == 0x0009 || type == 0x0209 || type == 0x0409 || type == 0x0809;
  return bof && length >= 4 && length <= 32;
}

void Reset(XlBook& book) {
  book.sheets.clear();
  book.sharedStrings.Clear();
  book.formats.assign(1, XlFormat{});
  book.numFormats = NumFormatTable();
  book.formatTextsA.clear();
  book.lastFormatQuery = {};
  book.date1904 = false;
  book.parserState.reset();
}

}  // namespace

Status LoadBookSource(XlBook& book, std::unique_ptr<ByteSource> source) {
  Reset(book);
  book.source = std::move(source);
  Status status;
  try {
    uint8_t head[8] = {};
    size_t n = static_cast<size_t>(book.source->size() < 8 ? book.source->size() : 8);
    status = book.source->ReadAt(0, head, n);
    if (status.ok()) {
      static const uint8_t kOle[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
      BookBuilder builder(book);
      if (n == 0) {
        status = Status::Error("the file is empty");
      } else if (n == 8 && std::memcmp(head, kOle, 8) == 0) {
        status = LoadCompoundFile(book, builder);
      } else if (n >= 4 && head[0] == 'P' && head[1] == 'K' && head[2] == 3 && head[3] == 4) {
        status = LoadZipWorkbook(book, builder);
      } else if (n >= 4 && head[0] == 'P' && head[1] == 'K' && head[2] == 5 && head[3] == 6) {
        status = Status::Error("the file is an empty ZIP archive, not a workbook");
      } else if (LooksLikeBiffStream(head, n)) {
        status = LoadBiffStream(book, builder);
      } else {
        status = Status::Error("not a workbook (neither an OLE compound file, a ZIP package nor a BIFF stream)");
      }
      if (status.ok()) builder.Finish();
    }
  } catch (const std::bad_alloc&) {
    status = Status::Error("out of memory");
  }
  if (!status.ok()) {
    Reset(book);
    book.source.reset();
    book.error = status.message();
  } else {
    book.error = "ok";
  }
  return status;
}

Status LoadBookFile(XlBook& book, const std::string& path) {
  std::unique_ptr<FileSource> file;
  Status status = FileSource::Open(path, &file);
  if (!status.ok()) {
    Reset(book);
    book.source.reset();
    book.error = status.message();
    return status;
  }
  return LoadBookSource(book, std::move(file));
}

}  // namespace reader
