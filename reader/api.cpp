// The reader interface of engine/reader.h over the book model.
#include <cstring>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "engine/reader.h"
#include "platform/platform.h"
#include "reader/core/book.h"
#include "reader/core/date_serial.h"

namespace {

const reader::StoredCell* CellAt(SheetHandle sheet, int row, int col) {
  if (!sheet || row < 0 || col < 0) return nullptr;
  sheet->EnsureLoaded();
  return sheet->cells.Find(static_cast<uint32_t>(row), static_cast<uint32_t>(col));
}

FormatHandle FormatOfCell(SheetHandle sheet, const reader::StoredCell* cell) {
  return const_cast<FormatHandle>(sheet->book->FormatOf(cell ? cell->style : 0));
}

bool EqualsGeneral(std::string_view text) {
  static constexpr std::string_view kGeneral = "general";
  if (text.size() != kGeneral.size()) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i] >= 'A' && text[i] <= 'Z' ? static_cast<char>(text[i] - 'A' + 'a') : text[i];
    if (c != kGeneral[i]) return false;
  }
  return true;
}

// Hands the rows of a streamed sheet to the engine's row reader as arrays
// of XlRowCell: one call per row, none per cell.
//
// Rows go on two rows late. The places of a row's shared strings were asked
// for as its cells were read; when the next row is in, its strings' bytes
// are asked for; two rows on, the row is converted and written. A large
// table of shared strings lies mostly outside the caches and is read in no
// order, so each of those reads would otherwise wait for memory. A row with
// strings of the sheet's own pool, which is emptied after every row, and the
// stated extent go on at once, after the rows held.
class RowAdapter : public reader::RowSink {
 public:
  RowAdapter(XlSheet& sheet, const XlRowReader& reader) : sheet_(sheet), reader_(reader) {}

  bool StatedExtent(uint32_t rows, uint32_t cols) override {
    if (!Flush()) return false;
    return !reader_.extent ||
           reader_.extent(reader_.context, static_cast<int>(rows), static_cast<int>(cols)) != 0;
  }

  bool Row(uint32_t row, const reader::StoredCell* cells, size_t count,
           const reader::StringPool& sheetStrings) override {
    for (size_t i = 0; i < count; ++i) {
      if (cells[i].kind == reader::CellKind::String && cells[i].pool == reader::StringPoolId::Sheet)
        return Flush() && Deliver(row, cells, count, sheetStrings);
    }
    const reader::StringPool& shared = sheet_.book->sharedStrings;
    if (held_ > 0) {
      // The newest row held: its strings' places were fetched while this
      // row was read. Shared strings are often used in the order they are
      // stored (a column with a new text in every row), so the bytes a few
      // strings further on are asked for too.
      for (const reader::StoredCell& c : rows_[(first_ + held_ - 1) % kHeld].cells) {
        if (c.kind == reader::CellKind::String) {
          std::string_view text = shared.Get(static_cast<uint32_t>(c.value));
          __builtin_prefetch(text.data());
          __builtin_prefetch(text.data() + 256);
        }
      }
    }
    if (held_ == kHeld && !DeliverOldest()) return false;
    Held& next = rows_[(first_ + held_) % kHeld];
    next.row = row;
    next.cells.assign(cells, cells + count);
    ++held_;
    return true;
  }

  // Hands on the rows held, oldest first. False when the row reader said
  // stop (the rows after that one are dropped).
  bool Flush() {
    while (held_ > 0) {
      if (!DeliverOldest()) {
        held_ = 0;
        return false;
      }
    }
    return true;
  }

 private:
  // Takes the oldest row held off the queue and hands it on (its slot is
  // not filled again before the next Row).
  bool DeliverOldest() {
    const Held& oldest = rows_[first_];
    first_ = (first_ + 1) % kHeld;
    --held_;
    return Deliver(oldest.row, oldest.cells.data(), oldest.cells.size(), sheet_.book->sharedStrings);
  }

  bool Deliver(uint32_t row, const reader::StoredCell* cells, size_t count,
               const reader::StringPool& sheetStrings) {
    if (cells_.size() < count) cells_.resize(count);
    const XlBook& book = *sheet_.book;
#ifdef _WIN32
    texts_.clear();
    if (textAt_.size() < count) textAt_.resize(count);
#endif
    // In locals: each store into a cell could alias the vectors' own
    // pointers, which would then be loaded again for every cell.
    XlRowCell* const out = cells_.data();
    const XlFormat* const formats = book.formats.data();
    const size_t formatCount = book.formats.size();
    for (size_t i = 0; i < count; ++i) {
      const reader::StoredCell& c = cells[i];
      XlRowCell& to = out[i];
      const XlFormat* format = c.style < formatCount ? formats + c.style : formats;  // as FormatOf
      to.col = c.col;
      to.format = const_cast<FormatHandle>(format);
      switch (c.kind) {
        case reader::CellKind::Number:
          to.type = CELLTYPE_NUMBER;
          to.number = c.number();
          to.isDate = format->isDate ? 1 : 0;
          break;
        case reader::CellKind::String: {
          to.type = CELLTYPE_STRING;
          const reader::StringPool& pool =
              c.pool == reader::StringPoolId::Shared ? book.sharedStrings : sheetStrings;
          std::string_view text = pool.Get(static_cast<uint32_t>(c.value));
#ifdef _WIN32
          if (!book.cellTextUtf8) {
            // Converted into one buffer; the pointers are set once it stops growing.
            textAt_[i] = texts_.size();
            texts_ += platform::Utf8ToAnsi(text);
            to.text = nullptr;
            to.textLength = texts_.size() - textAt_[i];
            break;
          }
#endif
          to.text = text.data();
          to.textLength = text.size();
          break;
        }
        case reader::CellKind::Boolean:
          to.type = CELLTYPE_BOOLEAN;
          to.boolean = c.value ? 1 : 0;
          break;
        case reader::CellKind::Error:
          to.type = CELLTYPE_ERROR;
          to.errorCode = static_cast<int>(c.value & 0xFF);
          break;
        default: to.type = CELLTYPE_EMPTY; break;
      }
    }
#ifdef _WIN32
    for (size_t i = 0; i < count; ++i) {
      if (cells_[i].type == CELLTYPE_STRING && !cells_[i].text) cells_[i].text = texts_.data() + textAt_[i];
    }
#endif
    return reader_.row(reader_.context, static_cast<int>(row), cells_.data(), static_cast<int>(count)) != 0;
  }

  struct Held {
    uint32_t row = 0;
    std::vector<reader::StoredCell> cells;
  };
  static constexpr size_t kHeld = 2;
  XlSheet& sheet_;
  const XlRowReader& reader_;
  Held rows_[kHeld];
  size_t first_ = 0;  // the oldest row held
  size_t held_ = 0;
  std::vector<XlRowCell> cells_;
#ifdef _WIN32
  std::string texts_;
  std::vector<size_t> textAt_;
#endif
};

}  // namespace

BookHandle xlCreateBookCA() { return reader::NewMemoryBook(reader::BookKind::Xls); }
BookHandle xlCreateXMLBookCA() { return reader::NewMemoryBook(reader::BookKind::Xml); }

void xlBookReleaseA(BookHandle book) { delete book; }

int xlBookSetLocaleA(BookHandle book, const char* /*locale*/) { return book ? 1 : 0; }

int xlBookLoadA(BookHandle book, const char* fileName) {
  if (!book) return 0;
  if (!fileName) fileName = "";
  try {
    return reader::LoadBookFile(*book, fileName).ok() ? 1 : 0;
  } catch (const std::bad_alloc&) {
    book->sheets.clear();
    book->error = "out of memory";
    return 0;
  }
}

const char* xlBookErrorMessageA(BookHandle book) {
  if (!book) return "no book";
  book->errorA = platform::Utf8ToAnsi(book->error);
  return book->errorA.c_str();
}

int xlBookSheetCountA(BookHandle book) { return book ? static_cast<int>(book->sheets.size()) : 0; }

SheetHandle xlBookGetSheetA(BookHandle book, int index) {
  if (!book || index < 0 || static_cast<size_t>(index) >= book->sheets.size()) return nullptr;
  return book->sheets[static_cast<size_t>(index)].get();
}

const char* xlSheetNameA(SheetHandle sheet) {
  if (!sheet) return nullptr;
  if (sheet->nameA.empty() && !sheet->name.empty()) sheet->nameA = platform::Utf8ToAnsi(sheet->name);
  return sheet->nameA.c_str();
}

int xlSheetLastRowA(SheetHandle sheet) {
  if (!sheet) return 0;
  sheet->EnsureLoaded();
  return static_cast<int>(sheet->cells.lastRow());
}

int xlSheetLastColA(SheetHandle sheet) {
  if (!sheet) return 0;
  sheet->EnsureLoaded();
  return static_cast<int>(sheet->cells.lastCol());
}

const char* xlSheetErrorMessageA(SheetHandle sheet) {
  if (!sheet) return nullptr;
  sheet->EnsureLoaded();
  if (sheet->error.empty()) return nullptr;
  sheet->errorA = platform::Utf8ToAnsi(sheet->error);
  return sheet->errorA.c_str();
}

FormatHandle xlSheetCellFormatA(SheetHandle sheet, int row, int col) {
  if (!sheet) return nullptr;
  return FormatOfCell(sheet, CellAt(sheet, row, col));
}

int xlSheetCellTypeA(SheetHandle sheet, int row, int col) {
  const reader::StoredCell* cell = CellAt(sheet, row, col);
  if (!cell) return CELLTYPE_EMPTY;
  switch (cell->kind) {
    case reader::CellKind::Number: return CELLTYPE_NUMBER;
    case reader::CellKind::String: return CELLTYPE_STRING;
    case reader::CellKind::Boolean: return CELLTYPE_BOOLEAN;
    case reader::CellKind::Error: return CELLTYPE_ERROR;
    default: return CELLTYPE_EMPTY;
  }
}

int xlSheetNextCellColA(SheetHandle sheet, int row, int col) {
  if (!sheet) return 0;
  sheet->EnsureLoaded();
  const int last = static_cast<int>(sheet->cells.lastCol());
  if (row < 0 || col >= last) return last;
  uint32_t next =
      sheet->cells.NextColumn(static_cast<uint32_t>(row), static_cast<uint32_t>(col < 0 ? 0 : col));
  return next < static_cast<uint32_t>(last) ? static_cast<int>(next) : last;
}

void xlSheetReadCellA(SheetHandle sheet, int row, int col, XlCellInfo* info) {
  *info = XlCellInfo{};
  if (!sheet) return;
  const reader::StoredCell* cell = CellAt(sheet, row, col);
  const XlFormat* format = sheet->book->FormatOf(cell ? cell->style : 0);
  info->format = const_cast<FormatHandle>(format);
  if (!cell) return;
  switch (cell->kind) {
    case reader::CellKind::Number:
      info->type = CELLTYPE_NUMBER;
      info->number = cell->number();
      info->isDate = format->isDate ? 1 : 0;
      break;
    case reader::CellKind::String: {
      info->type = CELLTYPE_STRING;
      std::string_view text = sheet->CellText(*cell);
#ifdef _WIN32
      if (!sheet->book->cellTextUtf8) {
        sheet->textA = platform::Utf8ToAnsi(text);
        text = sheet->textA;
      }
#endif
      info->text = text.data();
      info->textLength = text.size();
      break;
    }
    case reader::CellKind::Boolean:
      info->type = CELLTYPE_BOOLEAN;
      info->boolean = cell->value ? 1 : 0;
      break;
    case reader::CellKind::Error:
      info->type = CELLTYPE_ERROR;
      info->errorCode = static_cast<int>(cell->value & 0xFF);
      break;
    default: break;
  }
}

void xlBookSetCellTextUtf8A(BookHandle book, int utf8) {
  if (book) book->cellTextUtf8 = utf8 != 0;
}

int xlSheetReadRowsA(SheetHandle sheet, const XlRowReader* reader) {
  if (!sheet || !reader || !reader->row) return ROWREAD_USE_CELLS;
  RowAdapter adapter(*sheet, *reader);
  XlSheet::StreamResult result = sheet->StreamRows(adapter);
  // The rows held go on before the outcome is told. A stop among them is
  // what the reading would have met before any damage or disorder after
  // them.
  if (result != XlSheet::StreamResult::Stopped && result != XlSheet::StreamResult::NotAvailable &&
      !adapter.Flush())
    result = XlSheet::StreamResult::Stopped;
  switch (result) {
    case XlSheet::StreamResult::Done: return ROWREAD_DONE;
    case XlSheet::StreamResult::Stopped: return ROWREAD_STOPPED;
    default: return ROWREAD_USE_CELLS;
  }
}

int xlSheetIsDateA(SheetHandle sheet, int row, int col) {
  const reader::StoredCell* cell = CellAt(sheet, row, col);
  if (!cell || cell->kind != reader::CellKind::Number) return 0;
  return sheet->book->FormatOf(cell->style)->isDate ? 1 : 0;
}

double xlSheetReadNumA(SheetHandle sheet, int row, int col, FormatHandle* format) {
  const reader::StoredCell* cell = CellAt(sheet, row, col);
  if (format && sheet) *format = FormatOfCell(sheet, cell);
  if (!cell || cell->kind != reader::CellKind::Number) return 0.0;
  return cell->number();
}

char* xlSheetReadStrA(SheetHandle sheet, int row, int col, FormatHandle* format) {
  const reader::StoredCell* cell = CellAt(sheet, row, col);
  if (format && sheet) *format = FormatOfCell(sheet, cell);
  if (!cell || cell->kind != reader::CellKind::String) return nullptr;
  std::string_view text = sheet->CellText(*cell);
#ifdef _WIN32
  if (!sheet->book->cellTextUtf8) {
    sheet->textA = platform::Utf8ToAnsi(text);
    return sheet->textA.data();
  }
#endif
  sheet->textA.assign(text.data(), text.size());
  return sheet->textA.data();
}

int xlSheetReadBoolA(SheetHandle sheet, int row, int col, FormatHandle* format) {
  const reader::StoredCell* cell = CellAt(sheet, row, col);
  if (format && sheet) *format = FormatOfCell(sheet, cell);
  if (!cell || cell->kind != reader::CellKind::Boolean) return 0;
  return cell->value ? 1 : 0;
}

int xlBookDateUnpackA(BookHandle book, double value, int* year, int* month, int* day, int* hour, int* min,
                      int* sec, int* msec) {
  reader::DateParts parts;
  bool ok = book && reader::UnpackDateSerial(value, book->date1904, &parts);
  if (year) *year = parts.year;
  if (month) *month = parts.month;
  if (day) *day = parts.day;
  if (hour) *hour = parts.hour;
  if (min) *min = parts.minute;
  if (sec) *sec = parts.second;
  if (msec) *msec = parts.millisecond;
  return ok ? 1 : 0;
}

int xlFormatNumFormatA(FormatHandle format) { return format ? format->numFormatId : 0; }

const char* xlBookCustomNumFormatA(BookHandle book, int numFormat) {
  if (!book) return nullptr;
  // The export asks once per number cell: answer repeated questions at once.
  if (book->lastFormatQuery.valid && book->lastFormatQuery.id == numFormat) return book->lastFormatQuery.text;
  const std::string* text = book->numFormats.CustomText(numFormat);
  // Writers such as LibreOffice and xlwt define the General format again
  // under an identifier of their own, and some leave a format text empty.
  // Both are still General: taken as a pattern, a text without a full stop
  // would cut 1.5 to 1.
  if (text && (text->empty() || EqualsGeneral(*text))) text = nullptr;
  const char* answer = nullptr;
  if (text) {
#ifdef _WIN32
    auto it = book->formatTextsA.find(numFormat);
    if (it == book->formatTextsA.end())
      it = book->formatTextsA.emplace(numFormat, platform::Utf8ToAnsi(*text)).first;
    answer = it->second.c_str();
#else
    answer = text->c_str();
#endif
  }
  book->lastFormatQuery = {true, numFormat, answer};
  return answer;
}
