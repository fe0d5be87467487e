// The book and sheet model behind the reader interface.
//
// Format parsers fill a book through BookBuilder at load time (sheet list,
// shared strings, styles, number formats, date system) and give each sheet
// a loader that fills its cells through a SheetBuilder when the sheet is
// first used. Tests use the same builders to make books cell by cell.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/reader.h"
#include "reader/container/file_source.h"
#include "reader/core/cell_store.h"
#include "reader/core/num_format.h"
#include "reader/core/status.h"
#include "reader/core/string_pool.h"

// A cell format as the engine sees it: the number format of one style.
struct XlFormat {
  int32_t numFormatId = 0;
  bool isDate = false;
};

namespace reader {

enum class BookKind { Xls, Xml };
enum class SheetKind { Worksheet, Chartsheet, Dialogsheet, Macrosheet };
enum class Visibility { Visible, Hidden, VeryHidden };

// The most sheets a workbook may list. Writers stop far below (the file
// formats number sheets in 16 bits in places); a sheet list beyond it is
// damage or an attack: ten million entries compress to a few kilobytes and
// would take gigabytes to keep.
inline constexpr size_t kMaxSheets = 65535;
inline constexpr const char* kTooManySheets = "the workbook lists more than 65,535 sheets";

class SheetBuilder;
// Fills a sheet's cells; may use the sheet's own string pool. A failed
// status keeps the cells added before it and becomes the sheet's error.
using SheetLoader = std::function<Status(SheetBuilder& cells, StringPool& sheetStrings)>;

}  // namespace reader

struct XlSheet {
  XlBook* book = nullptr;
  std::string name;  // UTF-8
  reader::SheetKind kind = reader::SheetKind::Worksheet;
  reader::Visibility visibility = reader::Visibility::Visible;

  // Parses the cells on first use (see EnsureLoaded).
  reader::SheetLoader loader;
  // Streamed rows are parsed on a second thread while the caller's thread
  // takes them (RelayRows): set by formats whose loader reads without a
  // thread of its own, for sheets large enough to gain from it.
  bool parseAside = false;
  bool loaded = false;
  reader::CellStore cells;
  reader::StringPool strings;  // strings stored in the sheet itself (inline strings)
  std::string error;           // UTF-8; empty when every cell was read

  // A-form results handed out by the interface.
  std::string nameA;
  std::string errorA;
  std::string textA;

  void EnsureLoaded() {
    if (!loaded) Load();
  }
  void Load();

  // Reads the cells in file order without keeping them: each row goes to
  // `sink` as soon as it is read. The sheet stays unloaded, so it can still
  // be loaded (or streamed) afterwards.
  enum class StreamResult {
    Done,          // every row went to the sink, and the part was read whole without damage
    Stopped,       // the sink said stop
    Disordered,    // cells came out of row-major order: only a loaded sheet has them right
    Damaged,       // the part could not be read whole (the rows read went to the sink)
    NotAvailable,  // the cells are loaded already, or the sheet has none to read
  };
  StreamResult StreamRows(reader::RowSink& sink);
  std::string_view CellText(const reader::StoredCell& cell) const;
};

struct XlBook {
  reader::BookKind kind = reader::BookKind::Xml;
  std::vector<std::unique_ptr<XlSheet>> sheets;
  reader::StringPool sharedStrings;
  std::vector<XlFormat> formats;  // by style index; index 0 always exists
  reader::NumFormatTable numFormats;
  bool date1904 = false;
  std::string error = "ok";  // UTF-8

  // What a parser keeps for reading its sheets later (the open file, a ZIP
  // directory, a stream). Released with the book.
  std::unique_ptr<reader::ByteSource> source;
  std::shared_ptr<void> parserState;

  // A-form results handed out by the interface.
  std::string errorA;
  bool cellTextUtf8 = false;  // cell strings handed out in UTF-8 instead of the A form
  std::map<int, std::string> formatTextsA;
  struct FormatQuery {
    bool valid = false;
    int id = 0;
    const char* text = nullptr;
  } lastFormatQuery;

  const XlFormat* FormatOf(uint32_t style) const {
    return style < formats.size() ? &formats[style] : &formats[0];
  }
};

namespace reader {

// Filling a book at load time.
class BookBuilder {
 public:
  explicit BookBuilder(XlBook& book) : book_(book) {}

  // Appends a sheet in workbook order. `loader` may be empty: the sheet then
  // has no cells (chart sheets, dialog sheets).
  XlSheet& AddSheet(std::string name, SheetKind kind = SheetKind::Worksheet,
                    Visibility visibility = Visibility::Visible, SheetLoader loader = {});

  // Styles in their file order: style i gets number format `numFormatId`.
  uint32_t AddStyle(int numFormatId);
  void DefineNumFormat(int id, std::string text) { book_.numFormats.Define(id, std::move(text)); }
  void SetDate1904(bool on) { book_.date1904 = on; }
  StringPool& sharedStrings() { return book_.sharedStrings; }

  // Resolves the date flag of every style from the number format table.
  // Call once all styles and formats are known.
  void Finish();

 private:
  XlBook& book_;
  bool stylesStarted_ = false;
};

// Makes a book with no file behind it (tests, benchmarks): sheets are filled
// at once with SheetBuilder on `sheet.cells`, then marked loaded.
XlBook* NewMemoryBook(BookKind kind = BookKind::Xml);

// Loads the file named `path` into an empty book: detects the container by
// content and runs the matching parser. On failure the book has no sheets
// and book.error says why.
Status LoadBookFile(XlBook& book, const std::string& path);
// The same for bytes already in memory (fuzzing, tests).
Status LoadBookSource(XlBook& book, std::unique_ptr<ByteSource> source);

}  // namespace reader
