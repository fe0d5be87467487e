// Display operations of the export: the wizard's progress page implements
// them (the window is that page), the Linux program shows a progress line.
// The export relies on no result or effect of theirs; with no window the
// wizard's versions do nothing. Only the program's export calls them.
#pragma once

#include <ctime>

#include "../platform/platform.h"

void SetProgressRange(platform::Window window, int rowCount);
void StepProgress(platform::Window window);
void ShowTimeEstimate(platform::Window window, std::time_t start, std::time_t now, int row,
                      int rowCount);
