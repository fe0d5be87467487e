// What every fuzz target does with its input: load it as a workbook from
// memory and read every cell of every sheet through the reader interface,
// as an export would.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "engine/reader.h"
#include "reader/core/book.h"

// Text read per input, at most: a few shared strings of a megabyte named
// by thousands of cells are gigabytes of faithful text (legal, and measured
// by the resource tests); past this budget string cells are still typed and
// formatted but their text is not fetched.
inline constexpr size_t kFuzzTextBudget = size_t(16) << 20;

inline void FuzzBook(const uint8_t* data, size_t size) {
  std::unique_ptr<XlBook> book(reader::NewMemoryBook());
  auto source = std::make_unique<reader::MemorySource>(data, size, "fuzz input");
  if (!reader::LoadBookSource(*book, std::move(source)).ok()) return;
  size_t sink = 0, textRead = 0;
  for (int i = 0; i < xlBookSheetCountA(book.get()); ++i) {
    SheetHandle sheet = xlBookGetSheetA(book.get(), i);
    sink += std::strlen(xlSheetNameA(sheet));
    int rows = xlSheetLastRowA(sheet), cols = xlSheetLastColA(sheet);
    // Walk the cells that exist rather than the whole rectangle, which can
    // be a million rows wide for a single stray cell.
    sheet->cells.ForEach([&](uint32_t row, const reader::StoredCell& cell) {
      int r = static_cast<int>(row), c = cell.col;
      if (r >= rows || c >= cols) __builtin_trap();
      FormatHandle format = xlSheetCellFormatA(sheet, r, c);
      sink += static_cast<size_t>(xlFormatNumFormatA(format));
      switch (xlSheetCellTypeA(sheet, r, c)) {
        case CELLTYPE_NUMBER: {
          double v = xlSheetReadNumA(sheet, r, c, nullptr);
          int y, mo, d, h, mi, s, ms;
          if (xlSheetIsDateA(sheet, r, c)) xlBookDateUnpackA(book.get(), v, &y, &mo, &d, &h, &mi, &s, &ms);
          if (const char* text = xlBookCustomNumFormatA(book.get(), xlFormatNumFormatA(format)))
            sink += std::strlen(text);
          break;
        }
        case CELLTYPE_STRING:
          if (textRead < kFuzzTextBudget)
            if (const char* text = xlSheetReadStrA(sheet, r, c, nullptr)) textRead += std::strlen(text);
          break;
        case CELLTYPE_BOOLEAN: sink += static_cast<size_t>(xlSheetReadBoolA(sheet, r, c, nullptr)); break;
        default: break;
      }
    });
    if (const char* error = xlSheetErrorMessageA(sheet)) sink += std::strlen(error);
  }
  // Keep the reads from being optimised away.
  sink += textRead;
  asm volatile("" : : "r"(sink));
}
