// The Windows program's title font and the export's display operations on a
// window with the progress page's controls.
#ifdef _WIN32
#include <gtest/gtest.h>
#include <windows.h>
// After windows.h, whose types it uses.
#include <commctrl.h>

#include "engine/progress.h"
#include "program/title_font.h"
#include "program/wizard/wizard_controls.h"

namespace {

TEST(TitleFont, TwelvePointBoldVerdana) {
  EXPECT_EQ(TitleFontHeight(96), -16);
  EXPECT_EQ(TitleFontHeight(120), -20);
  EXPECT_EQ(TitleFontHeight(144), -24);
  EXPECT_EQ(TitleFontHeight(100), -16);  // truncated toward zero

  HFONT font = CreateTitleFont();
  ASSERT_NE(font, nullptr);
  LOGFONTA described{};
  ASSERT_EQ(GetObjectA(font, sizeof described, &described), static_cast<int>(sizeof described));
  HDC screen = GetDC(nullptr);
  int dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  EXPECT_EQ(described.lfHeight, TitleFontHeight(dpi));
  EXPECT_EQ(described.lfWeight, FW_BOLD);
  EXPECT_STREQ(described.lfFaceName, "Verdana Bold");
  DeleteObject(font);
}

TEST(ProgressDisplay, BarAndTimeTextOfThePage) {
  INITCOMMONCONTROLSEX init{sizeof init, ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&init);
  HINSTANCE instance = GetModuleHandleA(nullptr);
  HWND page = CreateWindowA("STATIC", "", WS_POPUP, 0, 0, 300, 100, nullptr, nullptr, instance, nullptr);
  ASSERT_NE(page, nullptr);
  HWND bar =
      CreateWindowA(PROGRESS_CLASSA, "", WS_CHILD | PBS_SMOOTH, 0, 0, 200, 10, page,
                    reinterpret_cast<HMENU>(static_cast<INT_PTR>(kProgressBarControl)), instance, nullptr);
  HWND time =
      CreateWindowA("STATIC", "...", WS_CHILD, 0, 20, 200, 40, page,
                    reinterpret_cast<HMENU>(static_cast<INT_PTR>(kTimeTextControl)), instance, nullptr);
  ASSERT_NE(bar, nullptr);
  ASSERT_NE(time, nullptr);

  SetProgressRange(page, 10);
  PBRANGE range{};
  SendMessageA(bar, PBM_GETRANGE, FALSE, reinterpret_cast<LPARAM>(&range));
  EXPECT_EQ(range.iLow, 0);
  EXPECT_EQ(range.iHigh, 10);
  for (int row = 0; row < 10; ++row) StepProgress(page);
  EXPECT_EQ(SendMessageA(bar, PBM_GETPOS, 0, 0), 10);

  // Later sheets start where the bar stands and step past its end as the
  // bar itself does: a reference bar stepped once per row ends each sheet
  // where the page's bar does.
  HWND reference =
      CreateWindowA(PROGRESS_CLASSA, "", WS_CHILD, 0, 0, 200, 10, page, nullptr, instance, nullptr);
  ASSERT_NE(reference, nullptr);
  SendMessageA(reference, PBM_SETRANGE32, 0, 10);
  SendMessageA(reference, PBM_SETPOS, 10, 0);
  for (int rows : {5, 7, 0, 12, 3}) {
    SetProgressRange(page, rows);
    SendMessageA(reference, PBM_SETRANGE32, 0, rows);
    SendMessageA(reference, PBM_SETSTEP, 1, 0);
    for (int row = 0; row < rows; ++row) {
      StepProgress(page);
      SendMessageA(reference, PBM_STEPIT, 0, 0);
    }
    EXPECT_EQ(SendMessageA(bar, PBM_GETPOS, 0, 0), SendMessageA(reference, PBM_GETPOS, 0, 0)) << rows;
  }

  char text[128];
  ShowTimeEstimate(page, 0, 1, 5, 10);  // under two seconds: unchanged
  GetWindowTextA(time, text, sizeof text);
  EXPECT_STREQ(text, "...");
  ShowTimeEstimate(page, 0, 30, 10, 40);
  GetWindowTextA(time, text, sizeof text);
  EXPECT_STREQ(text, "Elapsed time:\t00:00:30\nEstimated time:\t00:02:00");
  ShowTimeEstimate(page, 0, 30, 20, 40);  // the same second: unchanged
  GetWindowTextA(time, text, sizeof text);
  EXPECT_STREQ(text, "Elapsed time:\t00:00:30\nEstimated time:\t00:02:00");

  // Unattended runs pass no window: nothing happens, nothing fails.
  SetProgressRange(nullptr, 5);
  StepProgress(nullptr);
  ShowTimeEstimate(nullptr, 0, 100, 1, 5);
  DestroyWindow(page);
}

}  // namespace
#endif
