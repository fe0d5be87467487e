// The source file page: the workbook, typed, chosen from the recent ones
// or browsed for, and the sheets to export. The workbook is opened as soon
// as its name is entered, so that the sheet list always shows the sheets of
// the workbook named in the box.
#include <windows.h>
// After windows.h, whose types they use.
#include <commctrl.h>
#include <commdlg.h>

#include <string>
#include <vector>

#include "engine/activity_log.h"
#include "engine/workbook.h"
#include "program/registry.h"
#include "program/wizard/page_choices.h"
#include "program/wizard/wizard_controls.h"
#include "program/wizard/wizard_pages.h"

namespace {

using namespace wizard_page;

LRESULT SendToSheetList(HWND page, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
  return SendDlgItemMessageA(page, kSheetList, message, wParam, lParam);
}

// Opens a workbook even when it is already the source: the one named on the
// command line at the page's start, and one browsed for whose earlier
// opening listed nothing.
int ReopenWorkbook(HWND page, ConverterSettings& s, const std::string& name) {
  s.sourceFile.clear();
  return OpenWorkbook(page, s, name.c_str());
}

// The name the source box reports: for a choice from its list the chosen
// entry (the box's own text changes only after the notification), else the
// text in the box.
std::string SourceBoxName(HWND page, WORD notification) {
  if (notification == CBN_SELCHANGE) {
    HWND box = GetDlgItem(page, kSourceBox);
    const LRESULT index = SendMessageA(box, CB_GETCURSEL, 0, 0);
    if (index != CB_ERR) {
      const LRESULT length = SendMessageA(box, CB_GETLBTEXTLEN, index, 0);
      if (length != CB_ERR) {
        std::string entry(static_cast<size_t>(length) + 1, '\0');
        SendMessageA(box, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(entry.data()));
        entry.resize(static_cast<size_t>(length));
        return entry;
      }
    }
  }
  return ControlText(page, kSourceBox);
}

void Browse(HWND page, ConverterSettings& s) {
  char file[MAX_PATH] = {};
  const std::string startFolder = ControlText(page, kSourceBox);
  OPENFILENAMEA chooser{};
  chooser.lStructSize = sizeof chooser;
  chooser.hwndOwner = page;
  chooser.lpstrFilter =
      "XLS (Excel) files (*.xls, *.xlsx, *.xlsm, *.xlsb)\0*.xls;*.xlsx;*.xlsm;*.xlsb\0"
      "All files (*.*)\0*.*\0";
  chooser.nFilterIndex = 1;
  chooser.lpstrFile = file;
  chooser.nMaxFile = MAX_PATH;
  chooser.lpstrInitialDir = startFolder.c_str();
  chooser.Flags = OFN_FILEMUSTEXIST | OFN_HIDEREADONLY;
  if (!GetOpenFileNameA(&chooser)) return;

  // Setting the box's text may itself report a command that opens the file.
  SetDlgItemTextA(page, kSourceBox, file);
  int opened = OpenWorkbook(page, s, file);
  // The same workbook again is not read anew, unless reading it failed
  // before: the file may have been mended since.
  auto unreadable = [&] { return WorkbookFailure(s) && SendToSheetList(page, LB_GETCOUNT) <= 0; };
  if (opened && unreadable()) opened = ReopenWorkbook(page, s, file);
  if (!opened || unreadable())
    MessageBoxA(page, "Unable to load this XLS file. ", "Error", MB_OK | MB_ICONERROR);
}

// Next: the selected entries become the selected-sheet list, and the
// workbook heads the recent ones.
INT_PTR AcceptSheets(HWND page, ConverterSettings& s) {
  const LRESULT count = SendToSheetList(page, LB_GETCOUNT);
  if (count <= 0 || SendToSheetList(page, LB_GETSELCOUNT) <= 0) return RefuseNext(page, s, kSourceTemplate);
  std::vector<std::string> chosen;
  for (LRESULT i = 0; i < count; ++i) {
    if (SendToSheetList(page, LB_GETSEL, i) <= 0) continue;
    const LRESULT length = SendToSheetList(page, LB_GETTEXTLEN, i);
    if (length == LB_ERR) continue;
    std::string entry(static_cast<size_t>(length) + 1, '\0');
    SendToSheetList(page, LB_GETTEXT, i, reinterpret_cast<LPARAM>(entry.data()));
    entry.resize(static_cast<size_t>(length));
    chosen.push_back(std::move(entry));
  }
  s.selectedSheets = SelectedSheetNames(chosen);
  WriteRegistryText(kLastSourceValue, s.sourceFile);
  SaveRecentList(s.sourceFile, kRecentSourcesList);
  return FALSE;
}

}  // namespace

INT_PTR CALLBACK SourcePageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG: {
      ConverterSettings& s = KeepSettings(page, lParam);
      std::string name = s.sourceFile;
      if (name.empty()) ReadRegistryText(kLastSourceValue, &name);
      SetDlgItemTextA(page, kSourceBox, name.c_str());
      LoadRecentList(GetDlgItem(page, kSourceBox), kRecentSourcesList);
      // The workbook in the box is listed with all its sheets selected
      // right away, so that batch mode's press of Next finds them. A name
      // that cannot be read leaves the list empty, without a message.
      const bool listed = EqualsNoCase(s.sourceFile, name) && SendToSheetList(page, LB_GETCOUNT) > 0;
      if (!name.empty() && !listed) ReopenWorkbook(page, s, name);
      WriteStatus(kStatusSource, s);
      if (s.batch) PressButton(page, PSBTN_NEXT);
      return TRUE;
    }
    case WM_NOTIFY: {
      ConverterSettings* s = Settings(page);
      if (!s) return FALSE;
      switch (reinterpret_cast<NMHDR*>(lParam)->code) {
        case PSN_SETACTIVE: SetButtons(page, PSWIZB_BACK | PSWIZB_NEXT); return FALSE;
        case PSN_WIZNEXT: return AcceptSheets(page, *s);
      }
      return FALSE;
    }
    case WM_COMMAND: {
      ConverterSettings* s = Settings(page);
      if (!s) return FALSE;
      switch (LOWORD(wParam)) {
        case kSourceBox: {
          // Every notification of the box: the same name again changes
          // nothing, another one opens that workbook. An emptied box keeps
          // the workbook listed last instead of opening it anew at every
          // notification (which would select all its sheets again).
          const std::string name = SourceBoxName(page, HIWORD(wParam));
          if (!name.empty()) OpenWorkbook(page, *s, name.c_str());
          break;
        }
        case kSourceBrowse: Browse(page, *s); break;
        case kHelpButton: OpenHelp(page); break;
      }
      const bool anySelected = SendToSheetList(page, LB_GETSELCOUNT) > 0;
      // Only while shown: a control that loses the focus as the wizard moves on
      // must not give a later page this page's buttons.
      if (PropSheet_GetCurrentPageHwnd(GetParent(page)) == page)
        SetButtons(page, anySelected ? PSWIZB_BACK | PSWIZB_NEXT : PSWIZB_BACK);
      return FALSE;
    }
  }
  return FALSE;
}
