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

// The bar as the conversion's thread knows it. Each row advances it by one
// step; the page's bar is told the position at most every kShowEveryMs,
// and always after the sheet's last row and when the bar starts over.
// Every message to the page waits for the window thread, and one per row
// would cost more than converting the row.
constexpr ULONGLONG kShowEveryMs = 40;
int barMaximum = 0;
int barPosition = 0;
int barStepsLeft = 0;  // rows of the current sheet still to come
ULONGLONG barShownAt = 0;

void ShowBarPosition(HWND page) {
  UpdateWindow(page);
  SendDlgItemMessageA(page, kProgressBarControl, PBM_SETPOS, barPosition, 0);
  barShownAt = GetTickCount64();
}

}  // namespace

void SetProgressRange(platform::Window window, int rowCount) {
  if (!window) return;
  HWND page = static_cast<HWND>(window);
  SendDlgItemMessageA(page, kProgressBarControl, PBM_SETRANGE32, 0, rowCount);
  SendDlgItemMessageA(page, kProgressBarControl, PBM_SETSTEP, 1, 0);
  // The position is kept as the bar has it in the new range (the previous
  // sheet's, brought inside the range).
  barMaximum = rowCount;
  barStepsLeft = rowCount;
  barPosition = static_cast<int>(SendDlgItemMessageA(page, kProgressBarControl, PBM_GETPOS, 0, 0));
  barShownAt = GetTickCount64();
}

void StepProgress(platform::Window window) {
  if (!window) return;
  // One step; a step past the maximum starts the bar over, one step after
  // its minimum (0), as the bar's own stepping does.
  bool startsOver = false;
  if (++barPosition > barMaximum) {
    barPosition = barMaximum > 0 ? 1 : 0;
    startsOver = true;
  }
  --barStepsLeft;
  if (barStepsLeft <= 0 || startsOver || GetTickCount64() - barShownAt >= kShowEveryMs)
    ShowBarPosition(static_cast<HWND>(window));
}

void ShowTimeEstimate(platform::Window window, std::time_t start, std::time_t now, int row, int rowCount) {
  if (!window) return;
  std::string text;
  if (TimeEstimateText(start, now, row, rowCount, &lastAcceptedTime, &text))
    SetDlgItemTextA(static_cast<HWND>(window), kTimeTextControl, text.c_str());
}
