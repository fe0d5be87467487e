#include "reader/core/book.h"

#include <new>

#include "reader/core/row_relay.h"

namespace reader {

XlSheet& BookBuilder::AddSheet(std::string name, SheetKind kind, Visibility visibility,
                               SheetLoader loader) {
  auto sheet = std::make_unique<XlSheet>();
  sheet->book = &book_;
  sheet->name = std::move(name);
  sheet->kind = kind;
  sheet->visibility = visibility;
  sheet->loader = std::move(loader);
  sheet->loaded = !sheet->loader;
  book_.sheets.push_back(std::move(sheet));
  return *book_.sheets.back();
}

uint32_t BookBuilder::AddStyle(int numFormatId) {
  // Style 0 exists from the start (a book without styles still has the
  // default one); the first style a parser adds replaces it.
  if (!stylesStarted_) {
    stylesStarted_ = true;
    book_.formats.clear();
  }
  XlFormat f;
  f.numFormatId = numFormatId;
  book_.formats.push_back(f);
  return static_cast<uint32_t>(book_.formats.size() - 1);
}

void BookBuilder::Finish() {
  if (book_.formats.empty()) book_.formats.push_back(XlFormat{});
  for (XlFormat& f : book_.formats) f.isDate = book_.numFormats.IsDate(f.numFormatId);
}

XlBook* NewMemoryBook(BookKind kind) {
  XlBook* book = new (std::nothrow) XlBook();
  if (!book) return nullptr;
  book->kind = kind;
  book->formats.assign(1, XlFormat{});
  return book;
}

}  // namespace reader

void XlSheet::Load() {
  loaded = true;
  reader::Status status;
  try {
    reader::SheetBuilder builder(cells);
    status = loader(builder, strings);
    builder.Finish();
  } catch (const std::bad_alloc&) {
    status = reader::Status::Error("out of memory while reading the cells");
  }
  if (!status.ok()) error = status.message();
  loader = nullptr;  // the parser's state for this sheet is no longer needed
}

XlSheet::StreamResult XlSheet::StreamRows(reader::RowSink& sink) {
  if (loaded || !loader) return StreamResult::NotAvailable;
  if (parseAside) {
    if (std::optional<StreamResult> result = reader::RelayRows(loader, sink)) return *result;
  }
  return reader::StreamHere(loader, sink).result();
}

std::string_view XlSheet::CellText(const reader::StoredCell& cell) const {
  const reader::StringPool& pool =
      cell.pool == reader::StringPoolId::Shared ? book->sharedStrings : strings;
  return pool.Get(static_cast<uint32_t>(cell.value));
}
