// The output options page: the output folder and the text format. Check
// boxes and radio buttons act on the settings when clicked, the folder at
// every command, the delimiters, the escape text and the line-break choice
// on Next (the delimiter words become the texts the export writes).
#include <windows.h>
// After windows.h, whose types they use.
#include <commctrl.h>
#include <shlobj.h>

#include <string>

#include "engine/activity_log.h"
#include "program/registry.h"
#include "program/wizard/page_choices.h"
#include "program/wizard/wizard_controls.h"
#include "program/wizard/wizard_pages.h"

namespace {

using namespace wizard_page;

// The delimiter and escape boxes take at most this many typed characters.
constexpr int kTypedDelimiterChars = 16;

void AddEntry(HWND page, int control, const char* text) {
  SendDlgItemMessageA(page, control, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
}

// Fills a delimiter box with its fixed words and selects the one the
// settings hold; another word becomes an entry of its own.
template <size_t N>
void FillDelimiterBox(HWND page, int control, const char* const (&words)[N], int index,
                      const std::string& word) {
  for (const char* fixed : words) AddEntry(page, control, fixed);
  if (index < 0) {
    AddEntry(page, control, word.c_str());
    index = static_cast<int>(N);
  }
  SendDlgItemMessageA(page, control, CB_SETCURSEL, index, 0);
  SendDlgItemMessageA(page, control, CB_LIMITTEXT, kTypedDelimiterChars, 0);
}

void ShowSettings(HWND page, ConverterSettings& s) {
  FillDelimiterBox(page, kFieldBox, kFieldWords, FieldWordIndex(s.fieldDelimiter), s.fieldDelimiter);
  FillDelimiterBox(page, kRecordBox, kRecordWords, RecordWordIndex(s.recordDelimiter), s.recordDelimiter);
  SetDlgItemTextA(page, kEscapeBox, s.escapeChar.c_str());
  SendDlgItemMessageA(page, kEscapeBox, EM_LIMITTEXT, kTypedDelimiterChars, 0);
  CheckDlgButton(page, kQuoteStringsBox, s.quoteStrings ? BST_CHECKED : BST_UNCHECKED);
  CheckDlgButton(page, kQuoteAllBox, s.quoteAll ? BST_CHECKED : BST_UNCHECKED);
  CheckDlgButton(page, kOverwriteBox, s.overwrite ? BST_CHECKED : BST_UNCHECKED);
  for (const char* choice : kLineBreakChoices) AddEntry(page, kLineBreakList, choice);
  SendDlgItemMessageA(page, kLineBreakList, CB_SETCURSEL, s.crlfMode, 0);
  if (s.codePage >= kCodePageAsIs && s.codePage <= kCodePageOem)
    CheckRadioButton(page, kAsIsButton, kOemButton, kAsIsButton + s.codePage);
}

bool Ticked(HWND page, int control) { return IsDlgButtonChecked(page, control) == BST_CHECKED; }

void BrowseForFolder(HWND page) {
  char folder[MAX_PATH] = {};
  if (!ChooseOutputFolder(page, folder)) return;
  SetDlgItemTextA(page, kFolderBox, FolderWithoutTrailingSeparator(folder).c_str());
}

// Next: remembers the folder and turns the boxes' words into the settings.
INT_PTR AcceptOptions(HWND page, ConverterSettings& s) {
  if (s.outputFolder.empty()) return RefuseNext(page, s, kOptionsTemplate);
  WriteRegistryText(kLastFolderValue, s.outputFolder);
  SaveRecentList(s.outputFolder, kRecentFoldersList);
  ParseFieldDelimiter(s, ControlText(page, kFieldBox));
  ParseRecordDelimiter(s, ControlText(page, kRecordBox));
  AssignLimited(s.escapeChar, ControlText(page, kEscapeBox), kMaxDelimiterChars);
  const LRESULT choice = SendDlgItemMessageA(page, kLineBreakList, CB_GETCURSEL, 0, 0);
  s.crlfMode = choice == CB_ERR ? kCrlfKeep : static_cast<int32_t>(choice);
  return FALSE;
}

}  // namespace

int ChooseOutputFolder(HWND owner, char* path) {
  BROWSEINFOA chooser{};
  chooser.hwndOwner = owner;
  chooser.lpszTitle = "Please specify the output directory";
  chooser.ulFlags = BIF_RETURNONLYFSDIRS;
  PIDLIST_ABSOLUTE chosen = SHBrowseForFolderA(&chooser);
  if (!chosen) return 0;
  char folder[MAX_PATH] = {};
  const bool isFolder = SHGetPathFromIDListA(chosen, folder);
  CoTaskMemFree(chosen);
  if (!isFolder) return 0;
  lstrcpynA(path, folder, MAX_PATH);
  return 1;
}

INT_PTR CALLBACK OptionsPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG: {
      ConverterSettings& s = KeepSettings(page, lParam);
      ShowSettings(page, s);
      std::string folder = s.outputFolder;
      if (folder.empty()) ReadRegistryText(kLastFolderValue, &folder);
      SetDlgItemTextA(page, kFolderBox, folder.c_str());
      LoadRecentList(GetDlgItem(page, kFolderBox), kRecentFoldersList);
      WriteStatus(kStatusOutput, s);
      if (s.batch) PressButton(page, PSBTN_NEXT);
      return TRUE;
    }
    case WM_NOTIFY: {
      ConverterSettings* s = Settings(page);
      if (!s) return FALSE;
      switch (reinterpret_cast<NMHDR*>(lParam)->code) {
        case PSN_SETACTIVE: SetButtons(page, PSWIZB_BACK | PSWIZB_NEXT); return FALSE;
        case PSN_WIZNEXT: return AcceptOptions(page, *s);
      }
      return FALSE;
    }
    case WM_COMMAND: {
      ConverterSettings* s = Settings(page);
      if (!s) return FALSE;
      switch (LOWORD(wParam)) {
        case kOverwriteBox: s->overwrite = Ticked(page, kOverwriteBox) ? kOverwriteYes : kOverwriteNo; break;
        case kQuoteStringsBox: s->quoteStrings = Ticked(page, kQuoteStringsBox) ? 1 : 0; break;
        case kQuoteAllBox: s->quoteAll = Ticked(page, kQuoteAllBox) ? 1 : 0; break;
        case kAsIsButton: s->codePage = kCodePageAsIs; break;
        case kAnsiButton: s->codePage = kCodePageAnsi; break;
        case kOemButton: s->codePage = kCodePageOem; break;
        case kFolderBrowse: BrowseForFolder(page); break;
        case kHelpButton: OpenHelp(page); break;
      }
      const std::string folder = ControlText(page, kFolderBox);
      if (!folder.empty()) s->outputFolder = folder;
      // Only while shown: a control that loses the focus as the wizard moves on
      // must not give a later page this page's buttons.
      if (PropSheet_GetCurrentPageHwnd(GetParent(page)) == page)
        SetButtons(page, folder.empty() ? PSWIZB_BACK : PSWIZB_BACK | PSWIZB_NEXT);
      return FALSE;
    }
  }
  return FALSE;
}
