#include "export.h"

#include <cstring>
#include <ctime>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "activity_log.h"
#include "cell_text.h"
#include "progress.h"

#ifndef TABREVO_PROGRAM
#define TABREVO_PROGRAM 0
#endif

namespace {

// The failure message's owner: the program's window; the library has none.
platform::Window MessageOwner(platform::Window window) { return TABREVO_PROGRAM ? window : nullptr; }

// Reports a failure of this sheet's export: status "Failed" (program), then
// a log line when the log is on, else the failure message: in a message box
// only before someone at the wizard's window; unattended (a batch, a library
// call) nothing waits for a click, the message goes where unreadable
// workbooks are noted.
void ReportFailure(platform::Window window, ConverterSettings& s, unsigned logKind,
                   const std::string& logText, const std::string& message, const std::string& file,
                   const std::string& reason) {
#if TABREVO_PROGRAM
  WriteStatus(kStatusFailed, s);
#endif
  if (s.logEnabled)
    WriteLogLine(kLogSource, s, logKind, logText.c_str());
  else if (window)
    platform::ShowFailure(MessageOwner(window), message, file, reason);
  else
    platform::NoteFailure(message, file, reason);
}

bool Contains(std::string_view text, char c) {
  return !text.empty() && std::memchr(text.data(), c, text.size()) != nullptr;
}

// What in a string decides how its field is written: line breaks (for
// crlfMode), double quotes, the field delimiter's first character. Found in
// one pass, sixteen bytes at a time where SSE2 is at hand.
struct FieldMarks {
  enum : unsigned { kLineBreak = 1, kQuote = 2, kDelimiter = 4 };
  unsigned bits = 0;  // one word, so that it comes back in a register
  bool lineBreak() const { return (bits & kLineBreak) != 0; }
  bool quote() const { return (bits & kQuote) != 0; }
  bool delimiter() const { return (bits & kDelimiter) != 0; }
};
FieldMarks MarksOf(std::string_view text, const std::string& fieldDelimiter) {
  const bool haveDelimiter = !fieldDelimiter.empty();
  const char d = haveDelimiter ? fieldDelimiter[0] : '"';
  const char* p = text.data();
  const size_t n = text.size();
  FieldMarks m;
#ifdef __SSE2__
  if (n >= 4) {
    const __m128i cr = _mm_set1_epi8('\r'), lf = _mm_set1_epi8('\n'), quote = _mm_set1_epi8('"'),
                  delimiter = _mm_set1_epi8(d);
    __m128i breaks = _mm_setzero_si128(), quotes = breaks, delimiters = breaks;
    auto scan = [&](__m128i b) {
      breaks = _mm_or_si128(breaks, _mm_or_si128(_mm_cmpeq_epi8(b, cr), _mm_cmpeq_epi8(b, lf)));
      quotes = _mm_or_si128(quotes, _mm_cmpeq_epi8(b, quote));
      delimiters = _mm_or_si128(delimiters, _mm_cmpeq_epi8(b, delimiter));
    };
    // Every byte is looked at once or twice (the last block overlaps the
    // one before it), never one outside the text.
    if (n >= 16) {
      size_t i = 0;
      for (; n - i >= 16; i += 16) scan(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i)));
      if (i < n) scan(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + n - 16)));
    } else if (n >= 8) {
      scan(_mm_unpacklo_epi64(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)),
                              _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p + n - 8))));
    } else {
      int32_t head, tail;
      std::memcpy(&head, p, 4);
      std::memcpy(&tail, p + n - 4, 4);
      scan(_mm_set_epi32(head, tail, tail, head));
    }
    m.bits = (_mm_movemask_epi8(breaks) ? FieldMarks::kLineBreak : 0u) |
             (_mm_movemask_epi8(quotes) ? FieldMarks::kQuote : 0u) |
             (haveDelimiter && _mm_movemask_epi8(delimiters) ? FieldMarks::kDelimiter : 0u);
    return m;
  }
#endif
  for (size_t i = 0; i < n; ++i) {
    char c = p[i];
    if (c == '\r' || c == '\n') m.bits |= FieldMarks::kLineBreak;
    if (c == '"') m.bits |= FieldMarks::kQuote;
    if (haveDelimiter && c == d) m.bits |= FieldMarks::kDelimiter;
  }
  return m;
}

// Line breaks inside a string under crlfMode: removed, or written as the two
// characters \r and \n.
std::string_view ApplyCrlfMode(const ConverterSettings& s, std::string_view text, std::string& scratch) {
  if (s.crlfMode == kCrlfKeep || (!Contains(text, '\r') && !Contains(text, '\n'))) return text;
  scratch.clear();
  for (char c : text) {
    if (c == '\r' || c == '\n') {
      if (s.crlfMode == kCrlfReplace) {
        scratch.push_back('\\');
        scratch.push_back(c == '\r' ? 'r' : 'n');
      }
    } else {
      scratch.push_back(c);
    }
  }
  return scratch;
}

struct CellWriter {
  CellWriter(ConverterSettings& settings, OutputFile& file) : s(settings), out(file) {}
  ConverterSettings& s;
  OutputFile& out;
  std::string text;   // a rendering too long for the fast road
  std::string oem;    // a string cell converted to the OEM code page
  std::string lines;  // a string cell after crlfMode
  // Number layouts of the formats seen last (a book's formats are fixed
  // while it is open); columns usually keep their format, so a few suffice.
  struct Layout {
    FormatHandle format = nullptr;
    bool custom = false;
    NumberLayout layout;
  };
  Layout layouts[8];
  unsigned nextLayout = 0;
  // The layout last found in each of a few columns (by column number, for
  // the rows that give it): a row's columns take turns with their formats,
  // and each finds its own here without a search.
  const Layout* recent[16] = {};
  struct {
    double serial = 0;
    size_t length = 0;  // 0 until a date is written
    char text[48];
  } lastDate;

  const Layout& LayoutOf(FormatHandle format, int column) {
    const Layout*& slot = recent[static_cast<unsigned>(column) & 15];
    if (slot && slot->format == format) return *slot;
    for (const Layout& l : layouts)
      if (l.format == format && format) return *(slot = &l);
    Layout& l = layouts[nextLayout++ % 8];
    slot = &l;
    l.format = format;
    const char* custom = xlBookCustomNumFormatA(s.book, xlFormatNumFormatA(format));
    l.custom = custom != nullptr;
    if (custom) l.layout = LayoutOfFormat(custom);
    return l;
  }

  // Writes a number, date or boolean text, in double quotes under quoteAll.
  void Plain(const char* p, size_t n, int width) {
    size_t pad = width > 0 && static_cast<size_t>(width) > n ? static_cast<size_t>(width) - n : 0;
    size_t need = n + pad + 2;
    if (need > OutputFile::kBufferSize) {  // a very wide format
      std::string wide(pad, ' ');
      wide.append(p, n);
      if (s.quoteAll) out.Put('"');
      out.Append(wide);
      if (s.quoteAll) out.Put('"');
      return;
    }
    char* to = out.Room(need);
    if (s.quoteAll) *to++ = '"';
    if (pad) {
      std::memset(to, ' ', pad);
      to += pad;
    }
    std::memcpy(to, p, n);
    to += n;
    if (s.quoteAll) *to++ = '"';
    out.Commit(to);
  }

  // Writes a number or date text by `write` straight into the output buffer
  // (at most 80 bytes), in double quotes under quoteAll. `write` returns the
  // text's end, or null when it cannot: then nothing is written and the
  // result is false. Straight in rather than written elsewhere and copied:
  // the copy would read the text back while its bytes are still on their
  // way to memory, and wait for them.
  template <typename Write>
  bool InPlace(Write&& write) {
    char* to = out.Room(82);
    if (s.quoteAll) *to++ = '"';
    char* end = write(to);
    if (!end) return false;
    if (s.quoteAll) *end++ = '"';
    out.Commit(end);
    return true;
  }

  void Fixed(double value, int width, int precision) {
    if (InPlace([&](char* to) { return WriteFixedFast(to, value, precision, width); })) return;
    if (width > 32) {  // a very wide format: the fast road without blanks, then padded
      char buffer[48];
      if (char* end = WriteFixedFast(buffer, value, precision)) {
        Plain(buffer, static_cast<size_t>(end - buffer), width);
        return;
      }
    }
    text.clear();
    AppendFixed(text, value, 0, precision);
    Plain(text.data(), text.size(), width);
  }

  template <typename Cell>  // XlCellInfo or XlRowCell
  void Number(const Cell& cell) {
    if (cell.isDate) {
      // Dates repeat down a column and across a row: the last one's text
      // is kept (the book, and so its date system, is fixed for the sheet).
      if (lastDate.length && lastDate.serial == cell.number) {
        Plain(lastDate.text, lastDate.length, 0);
        return;
      }
      int y, mo, d, h, mi, se, ms;
      if (xlBookDateUnpackA(s.book, cell.number, &y, &mo, &d, &h, &mi, &se, &ms)) {
        // Written twice, into the output and into the kept text, rather
        // than once and copied (see InPlace).
        InPlace([&](char* to) { return WriteDate(to, y, mo, d, h, mi, se); });
        lastDate.serial = cell.number;
        lastDate.length = static_cast<size_t>(WriteDate(lastDate.text, y, mo, d, h, mi, se) - lastDate.text);
      } else {
        Fixed(cell.number, 0, 6);  // not a date the calendar can show
      }
      return;
    }
    int column = 0;
    if constexpr (requires { cell.col; }) column = cell.col;
    const Layout& l = LayoutOf(cell.format, column);
    if (!l.custom) {
      Fixed(cell.number, 0, 6);
    } else if (l.layout.precision >= 0) {
      Fixed(cell.number, l.layout.width, l.layout.precision);
    } else if (!InPlace([&](char* to) { return WriteWholeNumberFast(to, cell.number, l.layout.width); })) {
      text.clear();
      AppendWholeNumber(text, cell.number, 0);
      Plain(text.data(), text.size(), l.layout.width);
    }
  }

  template <typename Cell>
  void Boolean(const Cell& cell) {
    char c = cell.boolean ? '1' : '0';
    Plain(&c, 1, 0);
  }

  template <typename Cell>
  void String(const Cell& cell) {
    std::string_view value(cell.text ? cell.text : "", cell.textLength);
    if (!value.empty() && s.codePage == kCodePageOem) {
      oem = platform::TextToOem(value);
      value = oem;
    }
    FieldMarks marks = MarksOf(value, s.fieldDelimiter);
    if (marks.lineBreak() && s.crlfMode != kCrlfKeep) {
      value = ApplyCrlfMode(s, value, lines);
      marks = MarksOf(value, s.fieldDelimiter);  // a replacement may bring a delimiter
    }
    Enclosed(value, marks);
  }

  // Under ERRORS=TEXT an error cell is written as its text, enclosed by the
  // rules of string cells; else it has no content.
  template <typename Cell>
  void Error(const Cell& cell) {
    if (s.errorsAsText) Enclosed(ErrorCellText(cell.errorCode));
  }

  // A string's text, in double quotes when the quoting rules ask for them.
  void Enclosed(std::string_view value) { Enclosed(value, MarksOf(value, s.fieldDelimiter)); }
  void Enclosed(std::string_view value, FieldMarks marks) {
    // An empty delimiter never forces quotes.
    if (s.quoteAll || s.quoteStrings || marks.quote() || marks.delimiter()) {
      out.Put('"');
      if (marks.quote())
        WriteField(s, out, value, '"');
      else
        out.Append(value);
      out.Put('"');
    } else {
      out.Append(value);
    }
  }
};

// Writes rows 0 to rowCount - 1 from the cells of the loaded sheet. A
// `cancelAt` of 0 or more stops before that row as if cancelled there (a
// streamed export that saw the cancel before it and now starts over).
void WriteRows(platform::Window window, ConverterSettings& s, OutputFile& out, int rowCount,
               int cancelAt = -1) {
  (void)window;
#if TABREVO_PROGRAM
  SetProgressRange(window, rowCount);
  std::time_t start = std::time(nullptr);
#endif
  if (!s.exportRecords) return;
  SheetHandle sheet = s.sheet;
  CellWriter writer(s, out);
  const std::string& fieldDelimiter = s.fieldDelimiter;
  const std::string& recordDelimiter = s.recordDelimiter;
  // The sheet's extent is fixed once its cells are read.
  const int colCount = xlSheetLastColA(sheet);
  const bool singleDelimiter = fieldDelimiter.size() == 1;
  XlCellInfo cell;
  for (int row = 0; row < rowCount; ++row) {
    if (cancelAt >= 0 ? row >= cancelAt : s.cancelled.load(std::memory_order_relaxed)) break;
#if TABREVO_PROGRAM
    StepProgress(window);
    ShowTimeEstimate(window, start, std::time(nullptr), row, rowCount);
#endif
    // A failed write ends the sheet at once: nothing after it can be
    // stored, and a sheet can have billions of fields left.
    for (int col = 0; col < colCount && !out.failed();) {
      xlSheetReadCellA(sheet, row, col, &cell);
      if (cell.type == CELLTYPE_EMPTY) {
        // Empty cells up to the next stored one (or the row's end) are
        // only their delimiters: one fill, however wide the gap.
        int next = xlSheetNextCellColA(sheet, row, col);
        if (next <= col) next = col + 1;
        if (next > colCount) next = colCount;
        out.Repeat(fieldDelimiter, static_cast<size_t>(next - col));
        col = next;
        continue;
      }
      switch (cell.type) {
        case CELLTYPE_NUMBER: writer.Number(cell); break;
        case CELLTYPE_STRING: writer.String(cell); break;
        case CELLTYPE_BOOLEAN: writer.Boolean(cell); break;
        case CELLTYPE_ERROR: writer.Error(cell); break;
        default: break;  // blank cells have no content
      }
      if (singleDelimiter)
        out.Put(fieldDelimiter[0]);
      else if (!fieldDelimiter.empty())
        out.Append(fieldDelimiter);
      ++col;
    }
    if (!recordDelimiter.empty()) out.Append(recordDelimiter);
    if (out.failed()) break;
    ++s.recordCount;
  }
}

// The streamed export: rows are written as the reader reads them, holding
// one row, with the width the file states. Empty rows wait until a row with
// a value follows, so trailing empty rows are never written. When the sheet
// ends narrower than stated, the surplus empty fields, the same number in
// every row, are cut from what this sheet wrote in one pass. When the file
// states no width, or a value lies beyond it, or the reader cannot give the
// rows in order, the sheet is written again from its loaded cells (what
// this sheet wrote is cut off first). Either way the bytes are the same.
class RowStreamer {
 public:
  RowStreamer(platform::Window window, ConverterSettings& s, OutputFile& out)
      : window_(window),
        s_(s),
        out_(out),
        writer_(s, out),
        sheetStart_(out.Position()),
        recordsBefore_(s.recordCount) {}

  enum class Outcome { Written, StartOver, WriteFailed };

  Outcome Run() {
    XlRowReader reader;
    reader.context = this;
    reader.extent = &RowStreamer::Extent;
    reader.row = &RowStreamer::Row;
    int result = xlSheetReadRowsA(s_.sheet, &reader);
    if (out_.failed()) return Outcome::WriteFailed;
    if (result == ROWREAD_USE_CELLS || startOver_) return StartOver();
    if (result == ROWREAD_STOPPED && !(cancelSeen_ && rowsWritten_ == 0)) return StartOver();
    // The whole sheet was read: cut the surplus fields of a sheet narrower
    // than stated.
    const size_t delimiter = s_.fieldDelimiter.size();
    if (maxCol_ < width_ && delimiter > 0 && rowsWritten_ > 0) {
      if (!out_.CutFromEachPiece(sheetStart_, rowEnds_, static_cast<size_t>(width_ - maxCol_) * delimiter,
                                 s_.recordDelimiter.size()))
        return Outcome::WriteFailed;
    }
    return Outcome::Written;
  }

  // For a start over: the row before which the loaded road is to stop as
  // cancelled, since a cancel came while this road wrote the rows before
  // it (seen or not yet seen); -1 if none came.
  int cancelAt() const {
    return cancelSeen_ || s_.cancelled.load(std::memory_order_relaxed) ? rowsWritten_ : -1;
  }

 private:
  static int Extent(void* context, int rows, int cols) {
    return static_cast<RowStreamer*>(context)->OnExtent(rows, cols) ? 1 : 0;
  }
  static int Row(void* context, int row, const XlRowCell* cells, int count) {
    return static_cast<RowStreamer*>(context)->OnRow(row, cells, count) ? 1 : 0;
  }

  bool OnExtent(int rows, int cols) {
    if (haveExtent_ || nextRow_ > 0 || cols < 0) return Stop();  // only one stated extent is trusted
    haveExtent_ = true;
    statedRows_ = rows;
    width_ = cols;
#if TABREVO_PROGRAM
    SetProgressRange(window_, statedRows_);
    start_ = std::time(nullptr);
#endif
    return true;
  }

  bool Stop() {
    startOver_ = true;
    return false;
  }

  bool OnRow(int row, const XlRowCell* cells, int count) {
    if (!haveExtent_ || count <= 0 || cells[count - 1].col >= width_) return Stop();
    if (cells[count - 1].col + 1 > maxCol_) maxCol_ = cells[count - 1].col + 1;
    if (cancelSeen_) return rowsWritten_ > 0;  // read on for the width only
    if (out_.failed()) return false;
    // The empty rows before this one.
    for (; nextRow_ < row; ++nextRow_) {
      if (!BeginRow(nextRow_)) return rowsWritten_ > 0;
      WriteEmptyFields(width_);
      if (!EndRow()) return false;
    }
    if (!BeginRow(row)) return rowsWritten_ > 0;
    // The delimiter in locals: every byte written may alias the settings, so
    // a read through them would be repeated after each one.
    const bool oneByteDelimiter = s_.fieldDelimiter.size() == 1;
    const char delimiter = oneByteDelimiter ? s_.fieldDelimiter[0] : '\0';
    int col = 0;
    for (int i = 0; i < count; ++i) {
      const XlRowCell& cell = cells[i];
      if (cell.col != col) WriteEmptyFields(cell.col - col);
      switch (cell.type) {
        case CELLTYPE_NUMBER: writer_.Number(cell); break;
        case CELLTYPE_STRING: writer_.String(cell); break;
        case CELLTYPE_BOOLEAN: writer_.Boolean(cell); break;
        case CELLTYPE_ERROR: writer_.Error(cell); break;
        default: break;
      }
      if (oneByteDelimiter)
        out_.Put(delimiter);  // after each value: the common case, inline
      else
        WriteEmptyFields(1);
      col = cell.col + 1;
    }
    WriteEmptyFields(width_ - col);
    if (!EndRow()) return false;
    nextRow_ = row + 1;
    return !TooMuchSurplus();
  }

  // Before each row: the cancel check and the progress display.
  bool BeginRow(int row) {
    if (s_.cancelled.load(std::memory_order_relaxed)) {
      cancelSeen_ = true;
      return false;
    }
#if TABREVO_PROGRAM
    StepProgress(window_);
    ShowTimeEstimate(window_, start_, std::time(nullptr), row, row < statedRows_ ? statedRows_ : row + 1);
#else
    (void)row;
#endif
    return true;
  }

  // False when a write failed: the sheet ends there, that row uncounted.
  bool EndRow() {
    if (!s_.recordDelimiter.empty()) out_.Append(s_.recordDelimiter);
    if (out_.failed()) return false;
    ++s_.recordCount;
    ++rowsWritten_;
    if (!s_.fieldDelimiter.empty()) {
      uint64_t end = out_.Position();
      rowEnds_.Add(end - rowStart_);
      rowStart_ = end;
    }
    return true;
  }

  // `n` field delimiters with nothing before them.
  void WriteEmptyFields(int n) {
    if (n > 0) out_.Repeat(s_.fieldDelimiter, static_cast<size_t>(n));
  }

  // A stated width far beyond the values (a whole styled row, say) would
  // fill the disk with empty fields that are cut again at the end: past a
  // bound, the loaded sheet is cheaper.
  bool TooMuchSurplus() {
    if ((rowsWritten_ & 1023) != 0) return false;
    uint64_t perRow = static_cast<uint64_t>(width_ - maxCol_) * s_.fieldDelimiter.size();
    uint64_t surplus = perRow * static_cast<uint64_t>(rowsWritten_);
    uint64_t written = out_.Position() - sheetStart_;
    if (surplus > (uint64_t(64) << 20) && surplus > written / 2) {
      startOver_ = true;
      return true;
    }
    return false;
  }

  Outcome StartOver() {
    s_.recordCount = recordsBefore_;
    if (out_.Position() != sheetStart_ && !out_.TruncateTo(sheetStart_)) return Outcome::WriteFailed;
    return Outcome::StartOver;
  }

  platform::Window window_;
  ConverterSettings& s_;
  OutputFile& out_;
  CellWriter writer_;
  const uint64_t sheetStart_;
  const int64_t recordsBefore_;
  bool haveExtent_ = false;
  int statedRows_ = 0;
  int width_ = 0;
  int maxCol_ = 0;   // one past the last column that holds a value
  int nextRow_ = 0;  // the rows before it are written
  int rowsWritten_ = 0;
  bool cancelSeen_ = false;
  bool startOver_ = false;
  uint64_t rowStart_ = sheetStart_;
  OutputFile::PieceLengths rowEnds_;
  std::time_t start_ = 0;
};

}  // namespace

void WriteField(const ConverterSettings& s, OutputFile& out, std::string_view text, char quote) {
  if (quote == '\0') {
    out.Append(text);
    return;
  }
  const char* p = text.data();
  const char* end = p + text.size();
  while (p < end) {
    const char* hit = static_cast<const char*>(std::memchr(p, quote, static_cast<size_t>(end - p)));
    if (!hit) {
      out.Append(p, static_cast<size_t>(end - p));
      break;
    }
    out.Append(p, static_cast<size_t>(hit - p));
    out.Append(s.escapeChar);
    out.Put(quote);
    p = hit + 1;
  }
}

void ExportSheet(platform::Window window, ConverterSettings& s, const char* sheetName) {
#if TABREVO_PROGRAM
  WriteStatus(kStatusInProgress, s);
#endif
  // The output path: the run's output file, or a file named after the sheet
  // in the output folder. A run that started without an output file gives
  // every sheet a file of its own and keeps the first path in outputFile.
  std::string path;
  if (s.toStandardOutput) {
    // One stream for every sheet: nothing on it to replace or keep, so the
    // overwrite rules do not apply.
    path = kStandardOutputName;
  } else if (s.outputFile.empty() || s.outputFileBuilt) {
    path = SheetOutputPath(s.outputFolder, sheetName ? sheetName : "");
    if (s.outputFile.empty()) {
      s.outputFile = path;
      s.outputFileBuilt = true;
    }
  } else {
    path = s.outputFile;
  }

  // The first export to a path in this run applies overwrite; later ones
  // append, so earlier sheets of the run are never lost.
  // The file replaced is let go of by the output file, off this thread.
  int replaced = -1;
  if (!s.toStandardOutput && !s.pathsWritten.Contains(path)) {
    if (s.overwrite == kOverwriteSkip && platform::PathExists(path)) return;
    if (s.overwrite != kOverwriteNo) replaced = platform::RemoveFileHeld(path);
  }

  // A byte-order mark only where a file begins: in a file this export
  // creates, never in front of rows appended to an existing file, nor on
  // standard output, a stream that other programs read as it comes.
  const bool bom = s.writeBom && WritesUtf8(s) && !s.toStandardOutput && !platform::PathExists(path);
  OutputFile out;
  if (!(s.toStandardOutput ? out.OpenStandardOutput() : out.Open(path))) {
    platform::CloseHeldFile(replaced);
    ++s.writeFailures;
    ReportFailure(window, s, kLogCannotCreate, "", "Unable to open the output file", path, out.error());
    return;
  }
  out.LetGoOfReplaced(replaced);
  if (!s.toStandardOutput) s.pathsWritten.Add(path);
  if (bom) out.Append("\xEF\xBB\xBF", 3);
  // The reader hands out cell strings in UTF-8 or in the A form, as the
  // code page asks.
  xlBookSetCellTextUtf8A(s.book, s.codePage == kCodePageUtf8);

  // Streamed when it can be; otherwise (or when it turns out it cannot)
  // from the loaded sheet. Standard output, a pipe or a device cannot be
  // cut back, so what goes there is written from the loaded sheet.
  bool streamed = false;
  int cancelAt = -1;
  if (s.exportRecords && out.rewritable()) {
    RowStreamer streamer(window, s, out);
    RowStreamer::Outcome outcome = streamer.Run();
    streamed = outcome != RowStreamer::Outcome::StartOver;
    cancelAt = streamer.cancelAt();
  }
  if (!streamed) {
    int rowCount = xlSheetLastRowA(s.sheet);
    WriteRows(window, s, out, rowCount, cancelAt);
  }

  const bool written = out.Close();
  if (!written) {
    ++s.writeFailures;
    // The rows before the failure stay in the file; the report names it and
    // says that it is incomplete, so that nobody takes it for the sheet.
    std::string logText = "Cannot write all of output file ";
    logText.append(path).append(": ").append(out.error());
    ReportFailure(window, s, kLogText, logText, "Unable to write all of the output file", path, out.error());
  }
  // A streamed sheet was read whole without damage.
  if (const char* damage = streamed ? nullptr : xlSheetErrorMessageA(s.sheet)) {
    // The rows read before the damage are written. A sheet counts once in
    // the run's failures, also when its file could not be written either.
    if (written) ++s.readFailures;
    std::string name = xlSheetNameA(s.sheet) ? xlSheetNameA(s.sheet) : "";
    // Reported like a workbook that cannot be read: never in a message box,
    // which would hold up an unattended run until someone clicks it.
#if TABREVO_PROGRAM
    WriteStatus(kStatusFailed, s);
#endif
    if (s.logEnabled) {
      // (Built by appending: GCC 12 warns falsely on chains of string +.)
      std::string logText = "Cannot read all of sheet ";
      logText.append(name).append(" of ").append(s.sourceFile).append(": ").append(damage);
      WriteLogLine(kLogSource, s, kLogText, logText.c_str());
    } else {
      std::string message = "Unable to read all of the sheet ";
      message += name;
      platform::NoteFailure(message, s.sourceFile, damage);
    }
  }
}
