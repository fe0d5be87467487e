// The Linux program's progress line on stderr, driven by the export's
// display operations (engine/progress.h).
#pragma once

#include "engine/settings.h"

// The batch runner hands the export no window, so the display operations
// cannot tell from their arguments whom to report to: the program switches
// the line on for its one run with the record it converts (the line reads
// the workbook and sheet names from it). nullptr switches it off.
void EnableProgressLine(const ConverterSettings* settings);

// Clears the line from the terminal when one is shown.
void ClearProgressLine();

// Whether to show the line: stderr is a terminal, SILENT was not given, and
// the records do not go to standard output on a terminal.
bool WantProgressLine(const ConverterSettings& settings);
