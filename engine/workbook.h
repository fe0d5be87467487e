// Opening a workbook and exporting its selected sheets.
#pragma once

#include "../platform/platform.h"
#include "settings.h"

// Creates and loads the book for `fileName` (empty: settings.sourceFile)
// and lists its sheets: into the sheet list box of `window` (the wizard's
// source page), or, without a window, into settings.selectedSheets (every
// sheet selected). Returns 1 when a book was created (also when nothing had
// to be done because the file is already the source), 0 when none could be.
// A workbook that cannot be read still gives 1 and a book without sheets;
// it never shows a message box. Without a window it counts in
// settings.readFailures and is reported (status "Failed" in the program,
// the log line with the log on, else one line on stderr on POSIX); with a
// window only the log line is written and the caller tells the user, see
// WorkbookFailure.
int OpenWorkbook(platform::Window window, ConverterSettings& settings, const char* fileName);

// Why the open book could not be read, or nullptr when it was read (or no
// book is open).
const char* WorkbookFailure(const ConverterSettings& settings);

// Exports, in workbook order, every sheet of settings.book whose
// upper-cased name is one of settings.selectedSheets.
void ConvertSelectedSheets(platform::Window window, ConverterSettings& settings);
