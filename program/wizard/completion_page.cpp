// The completion page: the number of records written, the end of the
// run's log and status, and on Finish the optional save of the settings
// and the opening of the converted file. Its button shows the run as a
// command line for an unattended run.
#include <windows.h>
// After windows.h, whose types they use.
#include <commctrl.h>
#include <shellapi.h>

#include <string>

#include "engine/activity_log.h"
#include "program/command_summary.h"
#include "program/ini_settings.h"
#include "program/wizard/page_choices.h"
#include "program/wizard/wizard_controls.h"
#include "program/wizard/wizard_pages.h"

namespace {

using namespace wizard_page;

void EndRun(HWND page, ConverterSettings& s) {
  if (s.logEnabled) WriteLogLine(kLogSource, s, kLogStop, "");
  // Failures=N beside the last word: the sheets that could not be read or
  // written, so that "Successful" never hides them.
  WriteRunEndStatus(s);
  if (s.recordCount != 0) SetDlgItemTextA(page, kResultLine, RecordsLine(s.recordCount).c_str());
  SetButtons(page, PSWIZB_FINISH);
}

// Opens the converted file with its program; when no program is
// associated with it, lets the user choose one.
void OpenConvertedFile(HWND page, const std::string& file) {
  const auto result =
      reinterpret_cast<INT_PTR>(ShellExecuteA(page, "open", file.c_str(), nullptr, nullptr, SW_SHOWDEFAULT));
  if (result > 32) return;
  const std::string parameters = "shell32,OpenAs_RunDLL " + file;
  ShellExecuteA(page, "open", "rundll32", parameters.c_str(), nullptr, SW_SHOWDEFAULT);
}

void Finish(HWND page, ConverterSettings& s) {
  const bool openFile = IsDlgButtonChecked(page, kOpenResultBox) == BST_CHECKED;
  if (IsDlgButtonChecked(page, kSaveSettingsBox) == BST_CHECKED) {
    // What the user sees ticked is what the next run starts with.
    s.openResult = openFile ? 1 : 0;
    SaveIniSettings(s);
  }
  if (openFile) OpenConvertedFile(page, s.outputFile);
}

}  // namespace

void ShowCommandLine(HWND owner, const ConverterSettings& settings) {
  const std::string text = CommandLineSummary(settings);
  MessageBoxA(owner, text.c_str(), "Press Ctrl-C to copy command line parameters to the clipboard",
              MB_OK | MB_ICONINFORMATION);
}

INT_PTR CALLBACK CompletionPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG: {
      ConverterSettings& s = KeepSettings(page, lParam);
      SendDlgItemMessageA(page, kTitleControl, WM_SETFONT, reinterpret_cast<WPARAM>(s.titleFont), TRUE);
      CheckDlgButton(page, kOpenResultBox, s.openResult ? BST_CHECKED : BST_UNCHECKED);
      if (s.batch && !s.wait) PressButton(page, PSBTN_FINISH);
      return FALSE;
    }
    case WM_NOTIFY: {
      ConverterSettings* s = Settings(page);
      if (!s) return FALSE;
      switch (reinterpret_cast<NMHDR*>(lParam)->code) {
        case PSN_SETACTIVE:
          RepaintWizard(page);
          EndRun(page, *s);
          return FALSE;
        case PSN_WIZFINISH: Finish(page, *s); return FALSE;
      }
      return FALSE;
    }
    case WM_COMMAND: {
      ConverterSettings* s = Settings(page);
      if (!s) return FALSE;
      if (LOWORD(wParam) == kShowCommandLineButton) ShowCommandLine(page, *s);
      if (LOWORD(wParam) == kHelpButton) OpenHelp(page);
      return FALSE;
    }
  }
  return FALSE;
}
