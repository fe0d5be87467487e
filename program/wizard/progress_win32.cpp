// The export's display operations on Windows: the progress page's bar
// (control 1016) over the rows of the current sheet and its time text
// (control 1022). Unattended runs pass no window and nothing is shown.
#include <windows.h>
// After windows.h, whose types it uses.
#include <commctrl.h>

#include "engine/progress.h"
#include "program/progress_text.h"
#include "program/wizard/wizard_controls.h"

namespace {

// The time ShowTimeEstimate last accepted, in seconds; touched only by the
// conversion's thread.
std::time_t lastAcceptedTime = 0;

}  // namespace

void SetProgressRange(platform::Window window, int rowCount) {
  if (!window) return;
  HWND page = static_cast<HWND>(window);
  SendDlgItemMessageA(page, kProgressBarControl, PBM_SETRANGE32, 0, rowCount);
  SendDlgItemMessageA(page, kProgressBarControl, PBM_SETSTEP, 1, 0);
}

void StepProgress(platform::Window window) {
  if (!window) return;
  HWND page = static_cast<HWND>(window);
  UpdateWindow(page);
  SendDlgItemMessageA(page, kProgressBarControl, PBM_STEPIT, 0, 0);
}

void ShowTimeEstimate(platform::Window window, std::time_t start, std::time_t now, int row, int rowCount) {
  if (!window) return;
  std::string text;
  if (TimeEstimateText(start, now, row, rowCount, &lastAcceptedTime, &text))
    SetDlgItemTextA(static_cast<HWND>(window), kTimeTextControl, text.c_str());
}
