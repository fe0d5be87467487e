// The progress page and the conversion's worker thread. Entering the page
// starts the worker, which exports the selected sheets while the export
// shows its progress on the page, then moves the wizard on. Cancel stops the
// export before its next row.
#include <windows.h>
// After windows.h, whose types it uses.
#include <commctrl.h>

#include "engine/activity_log.h"
#include "engine/workbook.h"
#include "program/wizard/wizard_pages.h"

namespace {

using namespace wizard_page;

// The run's one worker; kept so that the program can wait for it after a
// cancel.
HANDLE worker = nullptr;

void StartConversion(HWND page, ConverterSettings& s) {
  if (s.logEnabled) WriteLogLine(kLogSource, s, kLogStart, "");
  s.progressWindow = page;
  // Nothing else starts a worker: the page is entered once per run (neither
  // it nor the completion page offers Back).
  if (!worker) worker = CreateThread(nullptr, 0, ConversionThread, &s, 0, nullptr);
}

}  // namespace

DWORD WINAPI ConversionThread(LPVOID parameter) {
  ConverterSettings& s = *static_cast<ConverterSettings*>(parameter);
  HWND page = static_cast<HWND>(s.progressWindow);
  HWND wizard = GetParent(page);
  PostMessageA(wizard, PSM_SETWIZBUTTONS, 0, 0);
  ConvertSelectedSheets(page, s);
  // The last thing the worker does: nothing of the record changes after it,
  // so the completion page reads the final counts. After a cancel the
  // wizard window is gone and the press goes nowhere.
  PostMessageA(wizard, PSM_PRESSBUTTON, PSBTN_NEXT, 0);
  return 0;
}

bool WaitForConversion(DWORD milliseconds) {
  if (!worker) return true;
  // Messages the worker sends meanwhile (its progress display) are answered,
  // so that it cannot hang on a page that is gone.
  const ULONGLONG end = GetTickCount64() + milliseconds;
  for (;;) {
    const ULONGLONG now = GetTickCount64();
    const DWORD left = now < end ? static_cast<DWORD>(end - now) : 0;
    const DWORD woken = MsgWaitForMultipleObjects(1, &worker, FALSE, left, QS_SENDMESSAGE);
    if (woken == WAIT_OBJECT_0) break;
    if (woken != WAIT_OBJECT_0 + 1) return false;
    MSG pending;
    PeekMessageA(&pending, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
  }
  CloseHandle(worker);
  worker = nullptr;
  return true;
}

INT_PTR CALLBACK ProgressPageProc(HWND page, UINT message, WPARAM, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG: KeepSettings(page, lParam); return TRUE;
    case WM_NOTIFY: {
      ConverterSettings* s = Settings(page);
      if (!s) return FALSE;
      switch (reinterpret_cast<NMHDR*>(lParam)->code) {
        case PSN_SETACTIVE:
          SetButtons(page, 0);
          StartConversion(page, *s);
          return FALSE;
        case PSN_QUERYCANCEL:
          // The wizard closes at once; the program then gives the worker a
          // moment to stop at a row boundary and close its file.
          WriteStatus(kStatusCancelled, *s);
          s->cancelled.store(1, std::memory_order_relaxed);
          return FALSE;
      }
      return FALSE;
    }
  }
  return FALSE;
}
