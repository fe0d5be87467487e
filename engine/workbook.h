// Opening a workbook and exporting its selected sheets.
#pragma once

#include "../platform/platform.h"
#include "settings.h"

// Creates and loads the book for `fileName` (empty: settings.sourceFile)
// and lists its sheets: into the sheet list box of `window` (the wizard's
// source page), or, without a window, into settings.selectedSheets (every
// sheet selected). Returns 1 when a book was created (also when nothing had
// to be done because the file is already the source), 0 when none could be.
int OpenWorkbook(platform::Window window, ConverterSettings& settings, const char* fileName);

// Exports, in workbook order, every sheet of settings.book whose
// upper-cased name is one of settings.selectedSheets.
void ConvertSelectedSheets(platform::Window window, ConverterSettings& settings);
