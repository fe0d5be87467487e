// The wizard as a whole: its pages and header, the conventions the pages
// share, the welcome page and the help button.
#include <windows.h>
// After windows.h, whose types they use.
#include <commctrl.h>
#include <shellapi.h>

#include <string>

#include "engine/activity_log.h"
#include "program/wizard/page_choices.h"
#include "program/wizard/wizard_controls.h"
#include "program/wizard/wizard_pages.h"
#include "program/wizard/wizard_road.h"

namespace {

// Argument 0 of the command line, for the help file's folder.
std::string programPathForHelp;

// Interior pages show a header band with a title and a subtitle from the
// string table; exterior ones the watermark.
struct PageDescription {
  int templateId;
  DLGPROC procedure;
  int headerTitle;  // 0: an exterior page
  int headerSubtitle;
};

constexpr PageDescription kPages[5] = {
    {kWelcomeTemplate, WelcomePageProc, 0, 0},       {kSourceTemplate, SourcePageProc, 1, 2},
    {kOptionsTemplate, OptionsPageProc, 3, 4},       {kProgressTemplate, ProgressPageProc, 5, 6},
    {kCompletionTemplate, CompletionPageProc, 0, 0},
};

// Five seconds for the worker to notice a cancel and close its output file.
constexpr DWORD kCancelWaitMilliseconds = 5000;

}  // namespace

void PrepareWizard(HINSTANCE instance, ConverterSettings& settings, const char* programPath,
                   WizardSheet& sheet) {
  programPathForHelp = programPath ? programPath : "";
  for (int i = 0; i < 5; ++i) {
    PROPSHEETPAGEA page{};
    page.dwSize = sizeof page;
    page.hInstance = instance;
    page.pszTemplate = MAKEINTRESOURCEA(kPages[i].templateId);
    page.pfnDlgProc = kPages[i].procedure;
    page.lParam = reinterpret_cast<LPARAM>(&settings);
    if (kPages[i].headerTitle) {
      page.dwFlags = PSP_USEHEADERTITLE | PSP_USEHEADERSUBTITLE;
      page.pszHeaderTitle = MAKEINTRESOURCEA(kPages[i].headerTitle);
      page.pszHeaderSubTitle = MAKEINTRESOURCEA(kPages[i].headerSubtitle);
    } else {
      page.dwFlags = PSP_HIDEHEADER;
    }
    sheet.pages[i] = CreatePropertySheetPageA(&page);
  }
  PROPSHEETHEADERA& header = sheet.header;
  header = {};
  header.dwSize = sizeof header;
  header.dwFlags = PSH_WIZARD97 | PSH_HEADER | PSH_WATERMARK;
  header.hInstance = instance;
  header.nPages = 5;
  header.nStartPage = 0;
  header.phpage = sheet.pages;
  header.pszbmWatermark = MAKEINTRESOURCEA(kWatermarkBitmap);
  header.pszbmHeader = MAKEINTRESOURCEA(kHeaderBitmap);
}

void RunWizard(WizardSheet& sheet) {
  INITCOMMONCONTROLSEX classes{sizeof classes, ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&classes);
  sheet.shown = true;
  PropertySheetA(&sheet.header);
  WaitForConversion(kCancelWaitMilliseconds);
}

void ReleaseWizard(WizardSheet& sheet) {
  if (sheet.shown) return;
  for (HPROPSHEETPAGE& page : sheet.pages) {
    if (page) DestroyPropertySheetPage(page);
    page = nullptr;
  }
}

namespace wizard_page {

ConverterSettings& KeepSettings(HWND page, LPARAM initParam) {
  const auto* description = reinterpret_cast<const PROPSHEETPAGEA*>(initParam);
  auto* settings = reinterpret_cast<ConverterSettings*>(description->lParam);
  SetWindowLongPtrA(page, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(settings));
  return *settings;
}

ConverterSettings* Settings(HWND page) {
  return reinterpret_cast<ConverterSettings*>(GetWindowLongPtrA(page, GWLP_USERDATA));
}

void RepaintWizard(HWND page) { InvalidateRect(GetParent(page), nullptr, TRUE); }

void SetButtons(HWND page, DWORD flags) { PostMessageA(GetParent(page), PSM_SETWIZBUTTONS, 0, flags); }

void PressButton(HWND page, int button) { PostMessageA(GetParent(page), PSM_PRESSBUTTON, button, 0); }

INT_PTR RefuseNext(HWND page, ConverterSettings& settings, int templateId) {
  settings.batch = 0;
  SetWindowLongPtrA(page, DWLP_MSGRESULT, templateId);
  return TRUE;
}

std::string ControlText(HWND page, int control) {
  HWND window = GetDlgItem(page, control);
  const int length = window ? GetWindowTextLengthA(window) : 0;
  if (length <= 0) return std::string();
  std::string text(static_cast<size_t>(length) + 1, '\0');
  const int read = GetWindowTextA(window, text.data(), length + 1);
  text.resize(read > 0 ? static_cast<size_t>(read) : 0);
  return text;
}

}  // namespace wizard_page

void OpenHelp(HWND owner) {
  std::string program = programPathForHelp;
  if (program.empty()) {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    program = path;
  }
  const std::string help = HelpFilePath(program);
  // A missing help file is the shell's to report.
  ShellExecuteA(owner, "open", help.c_str(), nullptr, nullptr, SW_SHOWDEFAULT);
}

INT_PTR CALLBACK WelcomePageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
  using namespace wizard_page;
  switch (message) {
    case WM_INITDIALOG: {
      ConverterSettings& s = KeepSettings(page, lParam);
      SendDlgItemMessageA(page, kTitleControl, WM_SETFONT, reinterpret_cast<WPARAM>(s.titleFont), TRUE);
      SetDlgItemTextA(page, kVersionLabel, "1.20");
      WriteStatus(kStatusWelcome, s);
      if (s.batch) PressButton(page, PSBTN_NEXT);
      return TRUE;
    }
    case WM_NOTIFY:
      if (reinterpret_cast<NMHDR*>(lParam)->code == PSN_SETACTIVE) {
        RepaintWizard(page);
        SetButtons(page, PSWIZB_NEXT);
      }
      return FALSE;
    case WM_COMMAND:
      if (LOWORD(wParam) == kHelpButton) OpenHelp(page);
      return FALSE;
  }
  return FALSE;
}
