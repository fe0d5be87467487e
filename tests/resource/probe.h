// Loads a workbook from memory and tells what the reader made of it, in a
// few lines the tests can match: the load's outcome, and per sheet its
// extent, its number of valued cells, its damage note and its first cells.
#pragma once

#include <cstring>
#include <memory>
#include <string>

#include "engine/reader.h"
#include "reader/core/book.h"

namespace resource_test {

inline std::string Probe(const std::string& bytes, int cellsShown = 4) {
  std::unique_ptr<XlBook> book(reader::NewMemoryBook());
  auto source = std::make_unique<reader::MemorySource>(reinterpret_cast<const uint8_t*>(bytes.data()),
                                                       bytes.size(), "probe");
  reader::Status status = reader::LoadBookSource(*book, std::move(source));
  std::string out = status.ok() ? "load ok\n" : "load failed: " + status.message() + "\n";
  for (int i = 0; i < xlBookSheetCountA(book.get()); ++i) {
    SheetHandle sheet = xlBookGetSheetA(book.get(), i);
    int rows = xlSheetLastRowA(sheet), cols = xlSheetLastColA(sheet);
    size_t valued = 0;
    std::string shown;
    sheet->cells.ForEach([&](uint32_t row, const reader::StoredCell& cell) {
      int r = static_cast<int>(row), c = cell.col;
      int type = xlSheetCellTypeA(sheet, r, c);
      if (type < CELLTYPE_NUMBER || type > CELLTYPE_BOOLEAN) return;
      ++valued;
      if (static_cast<int>(valued) > cellsShown) return;
      shown += " (" + std::to_string(r) + "," + std::to_string(c) + ")=";
      if (type == CELLTYPE_STRING) {
        const char* text = xlSheetReadStrA(sheet, r, c, nullptr);
        std::string t = text ? text : "";
        shown += t.size() > 40 ? t.substr(0, 40) + "...[" + std::to_string(t.size()) + "]" : t;
      } else if (type == CELLTYPE_NUMBER) {
        char number[40];
        std::snprintf(number, sizeof number, "%g", xlSheetReadNumA(sheet, r, c, nullptr));
        shown += number;
      } else {
        shown += xlSheetReadBoolA(sheet, r, c, nullptr) ? "TRUE" : "FALSE";
      }
    });
    const char* error = xlSheetErrorMessageA(sheet);
    out += std::string("sheet ") + xlSheetNameA(sheet) + ": " + std::to_string(rows) + "x" +
           std::to_string(cols) + ", " + std::to_string(valued) + " valued," + shown +
           (error ? std::string("; damaged: ") + error : "") + "\n";
  }
  return out;
}

}  // namespace resource_test
