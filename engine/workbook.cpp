#include "workbook.h"

#include <algorithm>
#include <string>
#include <vector>

#include "activity_log.h"
#include "export.h"

#ifdef _WIN32
#include <windows.h>
#endif

#ifndef TABREVO_PROGRAM
#define TABREVO_PROGRAM 0
#endif

namespace {

#ifdef _WIN32
// The wizard's sheet list box on the source page.
constexpr int kSheetListBox = 1049;

LRESULT SendToSheetList(platform::Window window, UINT message, WPARAM wParam, LPARAM lParam) {
  return SendDlgItemMessageA(static_cast<HWND>(window), kSheetListBox, message, wParam, lParam);
}

// Selects every listed sheet, or with SHEETS= only the sheets it names
// (none when it names no sheet of this workbook: the user then chooses).
void SelectListedSheets(platform::Window window, const ConverterSettings& s) {
  if (s.sheetFilter.empty()) {
    SendToSheetList(window, LB_SETSEL, TRUE, static_cast<LPARAM>(-1));
    return;
  }
  const LRESULT count = SendToSheetList(window, LB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < count; ++i) {
    const LRESULT length = SendToSheetList(window, LB_GETTEXTLEN, static_cast<WPARAM>(i), 0);
    if (length == LB_ERR) continue;
    std::string entry(static_cast<size_t>(length) + 1, '\0');
    SendToSheetList(window, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(entry.data()));
    entry.resize(static_cast<size_t>(length));
    const bool named =
        std::find(s.sheetFilter.begin(), s.sheetFilter.end(), UpperAscii(entry)) != s.sheetFilter.end();
    SendToSheetList(window, LB_SETSEL, named ? TRUE : FALSE, i);
  }
}
#endif

// Windows file names ignore case, so the same source in other capitals is
// the same file; POSIX file names do not.
bool SameSource(std::string_view a, std::string_view b) {
#ifdef _WIN32
  return EqualsNoCase(a, b);
#else
  return a == b;
#endif
}

// A workbook whose book was made but whose content could not be read
// converts nothing. Unattended (no window) it counts as a failure of the
// run and is reported without waiting for anyone: the status word, the log
// line with the log on, else one line on stderr (POSIX). No message box: a
// batch or a library call in a service would block until someone clicks it.
// With a window (the wizard's source page) only the log line is written:
// the page tells the user itself, who may then pick another workbook.
void ReportUnreadable(platform::Window window, ConverterSettings& s, const std::string& file,
                      const char* reason) {
  if (!window) {
    ++s.readFailures;
#if TABREVO_PROGRAM
    WriteStatus(kStatusFailed, s);
#endif
  }
  if (s.logEnabled) {
    std::string text = "Cannot read workbook ";
    text.append(file).append(": ").append(reason).append(".");
    WriteLogLine(kLogSource, s, kLogText, text.c_str());
  } else if (!window) {
    platform::NoteFailure("Unable to read the workbook", file, reason);
  }
}

// A name of the SHEETS= list that no sheet of the workbook has: a failure
// of this workbook, reported like one that cannot be read; the other named
// sheets are still converted.
void ReportMissingSheet(ConverterSettings& s, const std::string& file, const std::string& sheet) {
  ++s.readFailures;
#if TABREVO_PROGRAM
  WriteStatus(kStatusFailed, s);
#endif
  if (s.logEnabled) {
    std::string text = "Cannot find sheet ";
    text.append(sheet).append(" in workbook ").append(file).append(".");
    WriteLogLine(kLogSource, s, kLogText, text.c_str());
  } else {
    platform::NoteFailure("No sheet named " + sheet, file, "not in the workbook");
  }
}

// Keeps only the sheets that SHEETS= names (all when it names none).
// Unattended, every name that no sheet has fails the workbook; a workbook
// that could not be read at all has been reported already.
void ApplySheetFilter(ConverterSettings& s, const std::string& file, bool loaded) {
  if (s.sheetFilter.empty()) return;
  std::vector<std::string> kept;
  for (const std::string& name : s.selectedSheets)
    if (std::find(s.sheetFilter.begin(), s.sheetFilter.end(), name) != s.sheetFilter.end())
      kept.push_back(name);
  if (loaded) {
    for (const std::string& wanted : s.sheetFilter)
      if (std::find(kept.begin(), kept.end(), wanted) == kept.end()) ReportMissingSheet(s, file, wanted);
  }
  s.selectedSheets.swap(kept);
}

}  // namespace

int OpenWorkbook(platform::Window window, ConverterSettings& s, const char* fileName) {
  const std::string name = fileName ? fileName : "";
  if (SameSource(name, s.sourceFile)) return 1;  // already open: the list keeps its selection
  const std::string path = name.empty() ? s.sourceFile : name;

#ifdef _WIN32
  if (window) SendToSheetList(window, LB_RESETCONTENT, 0, 0);
#else
  window = nullptr;  // no wizard on POSIX: the sheets always go to selectedSheets
#endif

  // The book being replaced goes first, so that a long batch holds one book
  // at a time.
  xlBookReleaseA(s.book);
  s.book = nullptr;
  s.sheet = nullptr;
  // The name decides which kind of book is made; loading then reads the
  // content by what the file really holds, whatever its name.
  s.book = EndsWithNoCase(path, ".xls") ? xlCreateBookCA() : xlCreateXMLBookCA();
  if (!s.book) return 0;

  xlBookSetLocaleA(s.book, "");
  const bool loaded = xlBookLoadA(s.book, path.c_str()) != 0;
  if (!loaded) ReportUnreadable(window, s, path, xlBookErrorMessageA(s.book));

  const int count = xlBookSheetCountA(s.book);
  if (!window) {
    s.selectedSheets.clear();
    s.selectedSheets.reserve(static_cast<size_t>(std::max(count, 0)));
  }
  for (int i = 0; i < count; ++i) {
    SheetHandle sheet = xlBookGetSheetA(s.book, i);
    if (!sheet) continue;
    s.sheet = sheet;
    const char* sheetName = xlSheetNameA(sheet);
    if (!sheetName) sheetName = "";
#ifdef _WIN32
    if (window) {
      SendToSheetList(window, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(sheetName));
      continue;
    }
#endif
    s.selectedSheets.push_back(UpperAscii(sheetName));
  }
#ifdef _WIN32
  if (window) SelectListedSheets(window, s);
#endif
  if (!window) ApplySheetFilter(s, path, loaded);

  if (!name.empty()) s.sourceFile = name;
  return 1;
}

const char* WorkbookFailure(const ConverterSettings& s) {
  if (!s.book) return nullptr;
  const char* reason = xlBookErrorMessageA(s.book);
  if (!reason || std::string_view(reason) == "ok") return nullptr;
  return reason;
}

void ConvertSelectedSheets(platform::Window window, ConverterSettings& s) {
  const int count = xlBookSheetCountA(s.book);
  for (int i = 0; i < count; ++i) {
    // A cancelled run ends here: going on would delete (with overwrite) and
    // leave empty the files of the sheets not reached yet.
    if (s.cancelled.load(std::memory_order_relaxed)) break;
    SheetHandle sheet = xlBookGetSheetA(s.book, i);
    if (!sheet) continue;
    s.sheet = sheet;
    const char* sheetName = xlSheetNameA(sheet);
    const std::string upper = UpperAscii(sheetName ? sheetName : "");
    // Exact match: a sheet named A;B selects only itself.
    if (std::find(s.selectedSheets.begin(), s.selectedSheets.end(), upper) != s.selectedSheets.end())
      ExportSheet(window, s, upper.c_str());
  }
}
