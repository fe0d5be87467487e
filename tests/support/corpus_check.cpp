#include "corpus_check.h"

#include <algorithm>
#include <cmath>
#include <filesystem>

#include "json.h"
#include "reader/core/num_format.h"
#include "test_support.h"

namespace fs = std::filesystem;

namespace testing_support {

std::vector<CorpusFile> CorpusFiles(const std::string& folder) {
  std::vector<CorpusFile> files;
  std::string root = CorpusDir();
  if (root.empty()) return files;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(fs::path(root) / folder, ec)) {
    if (!entry.is_regular_file()) continue;
    CorpusFile f;
    std::string name = entry.path().filename().string();
    f.relative = folder + "/" + name;
    f.path = entry.path().string();
    fs::path ref = fs::path(root) / "reference" / folder / (name + ".json");
    if (fs::exists(ref, ec)) f.reference = ref.string();
    files.push_back(std::move(f));
  }
  std::sort(files.begin(), files.end(),
            [](const CorpusFile& a, const CorpusFile& b) { return a.relative < b.relative; });
  return files;
}

std::string FormatTextOf(const XlBook& book, int id) {
  if (const std::string* text = book.numFormats.DefinedText(id)) return *text;
  return std::string(reader::BuiltinFormatText(id));
}

namespace {

// "AB12" -> row 11, column 27 (0-based).
bool ParseAddress(const std::string& a, uint32_t* row, uint32_t* col) {
  size_t i = 0;
  uint32_t c = 0, r = 0;
  while (i < a.size() && a[i] >= 'A' && a[i] <= 'Z') c = c * 26 + static_cast<uint32_t>(a[i++] - 'A' + 1);
  if (i == 0 || i == a.size()) return false;
  while (i < a.size() && a[i] >= '0' && a[i] <= '9') r = r * 10 + static_cast<uint32_t>(a[i++] - '0');
  if (i != a.size() || r == 0) return false;
  *row = r - 1;
  *col = c - 1;
  return true;
}

bool NearlyEqual(double a, double b) {
  if (a == b) return true;
  double scale = std::max({1e-300, std::fabs(a), std::fabs(b)});
  return std::fabs(a - b) <= 1e-9 * scale;
}

const char* KindName(reader::CellKind k) {
  switch (k) {
    case reader::CellKind::Number: return "number";
    case reader::CellKind::String: return "string";
    case reader::CellKind::Boolean: return "boolean";
    case reader::CellKind::Error: return "error";
    default: return "empty";
  }
}

}  // namespace

CorpusAgreement CompareWithReference(XlBook& book, const std::string& referencePath,
                                     const CompareOptions& options) {
  CorpusAgreement result;
  auto note = [&](std::string text) {
    if (result.differences.size() < 12) result.differences.push_back(std::move(text));
  };
  Json ref;
  std::string error;
  if (!ParseJson(ReadFile(referencePath), &ref, &error)) {
    note("reference unreadable: " + error);
    result.referenceFailed = true;
    return result;
  }
  if (ref.Has("error")) {
    result.referenceFailed = true;
    return result;
  }
  const Json* names = ref.Find("sheet_names");
  const Json* sheets = ref.Find("sheets");
  if (!names || !sheets) {
    result.referenceFailed = true;
    return result;
  }
  if (names->items.size() != book.sheets.size()) {
    result.sheetNamesAgree = false;
    note("sheet count " + std::to_string(book.sheets.size()) + ", reference " +
         std::to_string(names->items.size()));
  }
  for (size_t i = 0; i < names->items.size() && i < book.sheets.size(); ++i) {
    if (names->items[i].text != book.sheets[i]->name) {
      result.sheetNamesAgree = false;
      note("sheet " + std::to_string(i) + " named '" + book.sheets[i]->name + "', reference '" +
           names->items[i].text + "'");
    }
  }
  for (const Json& rs : sheets->items) {
    const Json* name = rs.Find("name");
    XlSheet* sheet = nullptr;
    for (auto& s : book.sheets)
      if (name && s->name == name->text) sheet = s.get();
    if (!sheet) continue;
    sheet->EnsureLoaded();
    const Json* cells = rs.Find("cells");
    if (!cells) {
      const Json* count = rs.Find("cell_count");
      ++result.cellsCompared;
      if (count && static_cast<size_t>(count->number) == sheet->cells.cellCount()) {
        ++result.cellsAgreeing;
      } else {
        note(sheet->name + ": " + std::to_string(sheet->cells.cellCount()) + " cells, reference " +
             (count ? std::to_string(static_cast<long long>(count->number)) : "?"));
      }
      continue;
    }
    for (const Json& rc : cells->items) {
      const Json* a = rc.Find("a");
      const Json* t = rc.Find("t");
      const Json* v = rc.Find("v");
      uint32_t row, col;
      if (!a || !t || !ParseAddress(a->text, &row, &col)) continue;
      if (t->text == "z") continue;  // a stub: no value
      ++result.cellsCompared;
      const reader::StoredCell* cell = sheet->cells.Find(row, col);
      std::string where = sheet->name + "!" + a->text + ": ";
      reader::CellKind kind = cell ? cell->kind : reader::CellKind::Empty;
      bool ok = false;
      std::string ours;
      if (t->text == "n" || t->text == "d") {
        ok = kind == reader::CellKind::Number && v && NearlyEqual(cell->number(), v->number);
        if (cell && kind == reader::CellKind::Number) ours = std::to_string(cell->number());
        if (ok && options.formats) {
          const Json* z = rc.Find("z");
          int id = book.FormatOf(cell->style)->numFormatId;
          std::string text = FormatTextOf(book, id);
          if (z && !text.empty() && z->text != text) {
            ok = false;
            ours = "format " + std::to_string(id) + " '" + text + "' (reference '" + z->text + "')";
          }
        }
      } else if (t->text == "s") {
        ok = kind == reader::CellKind::String && v && sheet->CellText(*cell) == v->text;
        if (kind == reader::CellKind::String) ours = "'" + std::string(sheet->CellText(*cell)) + "'";
      } else if (t->text == "b") {
        ok = kind == reader::CellKind::Boolean && v && (cell->value != 0) == v->boolean;
      } else if (t->text == "e") {
        ok = kind == reader::CellKind::Error;
      }
      if (ok) {
        ++result.cellsAgreeing;
      } else {
        std::string refText = v ? (v->kind == Json::String ? "'" + v->text + "'" : std::to_string(v->number)) : "";
        note(where + KindName(kind) + " " + ours + ", reference " + t->text + " " + refText);
      }
    }
  }
  return result;
}

}  // namespace testing_support
