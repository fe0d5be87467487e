#include "wizard_driver.h"

#ifdef _WIN32
// After windows.h, whose types they use.
#include <commctrl.h>
#include <prsht.h>

#include <chrono>
#include <thread>

namespace wizard_driver {

namespace {

constexpr const char* kWizardCaption = "Brackenfield Wizard";
// Time limit of one message to the program: a hung window fails the step
// instead of hanging the caller.
constexpr UINT kMessageTimeoutMs = 5000;
// A page's answer to a notification may take longer: naming a workbook
// opens and lists it at once.
constexpr UINT kNotifyTimeoutMs = 15000;

// The wizard's own buttons (the property sheet's control numbers).
constexpr int kBackButton = 0x3023;
constexpr int kNextButton = 0x3024;
constexpr int kFinishButton = 0x3025;

bool Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result = nullptr,
          UINT timeoutMs = kMessageTimeoutMs) {
  DWORD_PTR answer = 0;
  if (!SendMessageTimeoutA(window, message, wParam, lParam, SMTO_ABORTIFHUNG, timeoutMs, &answer))
    return false;
  if (result) *result = static_cast<LRESULT>(answer);
  return true;
}

// Tells the page of a control's command, as the control itself does.
bool Notify(HWND control, int id, WORD code) {
  return Send(GetParent(control), WM_COMMAND, MAKEWPARAM(id, code), reinterpret_cast<LPARAM>(control),
              nullptr, kNotifyTimeoutMs);
}

std::string ClassOf(HWND window) {
  char name[64] = {};
  GetClassNameA(window, name, sizeof name);
  return name;
}

std::string WindowText(HWND window) {
  LRESULT length = 0;
  if (!Send(window, WM_GETTEXTLENGTH, 0, 0, &length) || length <= 0) return "";
  std::string text(static_cast<size_t>(length) + 1, '\0');
  LRESULT got = 0;
  Send(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()), &got);
  text.resize(got > 0 ? static_cast<size_t>(got) : 0);
  return text;
}

struct FindState {
  DWORD processId;
  const std::function<bool(HWND)>* matches;
  HWND found;
};

BOOL CALLBACK FindTop(HWND window, LPARAM data) {
  auto* state = reinterpret_cast<FindState*>(data);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (state->processId != 0 && owner != state->processId) return TRUE;
  if (!IsWindowVisible(window)) return TRUE;
  if (!(*state->matches)(window)) return TRUE;
  state->found = window;
  return FALSE;
}

BOOL CALLBACK CollectStatics(HWND child, LPARAM data) {
  auto* texts = reinterpret_cast<std::string*>(data);
  if (ClassOf(child) != "Static") return TRUE;
  if ((GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) return TRUE;
  std::string text = WindowText(child);
  if (!text.empty()) {
    if (!texts->empty()) texts->push_back('\n');
    *texts += text;
  }
  return TRUE;
}

}  // namespace

bool WaitUntil(const std::function<bool()>& done, int timeoutMs) {
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    if (done()) return true;
    if (std::chrono::steady_clock::now() >= end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

std::string QuoteArgument(const std::string& arg) {
  if (!arg.empty() && arg.find_first_of(" \t\"") == std::string::npos) return arg;
  std::string out = "\"";
  size_t backslashes = 0;
  for (char c : arg) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    out.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
    backslashes = 0;
    out.push_back(c);
  }
  out.append(backslashes * 2, '\\');
  out.push_back('"');
  return out;
}

Wizard::~Wizard() {
  if (owned_) {
    Kill();
  } else if (process_) {
    CloseHandle(process_);
  }
}

bool Wizard::Fail(const std::string& why) {
  error_ = why;
  std::string others = OtherWindows();
  if (!others.empty()) error_ += "; the program also shows " + others;
  return false;
}

std::string Wizard::OtherWindows() {
  std::string list;
  if (!processId_) return list;
  std::function<bool(HWND)> other = [&](HWND w) {
    if (w == window_ || WindowText(w).rfind(kWizardCaption, 0) == 0) return false;
    std::string texts;
    EnumChildWindows(w, CollectStatics, reinterpret_cast<LPARAM>(&texts));
    list += "[\"" + WindowText(w) + "\": " + texts + "]";
    return false;  // keep looking
  };
  FindTopWindow(other);
  return list;
}

bool Wizard::Start(const std::string& program, const std::vector<std::string>& arguments,
                   const std::string& folder) {
  std::string tail;
  for (const std::string& a : arguments) tail += " " + QuoteArgument(a);
  return Launch(program, QuoteArgument(program) + tail, folder);
}

bool Wizard::StartWithCommandTail(const std::string& program, const std::string& commandTail,
                                  const std::string& folder) {
  return Launch(program, QuoteArgument(program) + " " + commandTail, folder);
}

bool Wizard::Launch(const std::string& program, std::string command, const std::string& folder) {
  Kill();
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (!CreateProcessA(program.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      folder.empty() ? nullptr : folder.c_str(), &startup, &info))
    return Fail("cannot start " + command + " (error " + std::to_string(GetLastError()) + ")");
  CloseHandle(info.hThread);
  process_ = info.hProcess;
  processId_ = info.dwProcessId;
  owned_ = true;
  window_ = nullptr;
  return true;
}

bool Wizard::Attach(DWORD processId) {
  Kill();
  process_ = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, processId);
  if (!process_) return Fail("no process " + std::to_string(processId));
  processId_ = processId;
  owned_ = false;
  window_ = nullptr;
  return true;
}

bool Wizard::AttachToAny(int timeoutMs) {
  std::function<bool(HWND)> isWizard = [](HWND w) {
    return WindowText(w).rfind(kWizardCaption, 0) == 0 && ClassOf(w) == "#32770";
  };
  HWND found = nullptr;
  WaitUntil([&] { return (found = FindTopWindow(isWizard)) != nullptr; }, timeoutMs);
  if (!found) return Fail("no wizard window appeared");
  DWORD processId = 0;
  GetWindowThreadProcessId(found, &processId);
  if (!Attach(processId)) return false;
  window_ = found;
  return true;
}

HWND Wizard::FindTopWindow(const std::function<bool(HWND)>& matches) {
  FindState state{processId_, &matches, nullptr};
  EnumWindows(FindTop, reinterpret_cast<LPARAM>(&state));
  return state.found;
}

HWND Wizard::Window(int timeoutMs) {
  if (window_ && IsWindow(window_)) return window_;
  window_ = nullptr;
  std::function<bool(HWND)> isWizard = [](HWND w) {
    return ClassOf(w) == "#32770" && WindowText(w).rfind(kWizardCaption, 0) == 0;
  };
  WaitUntil(
      [&] {
        window_ = FindTopWindow(isWizard);
        return window_ != nullptr || !Running();
      },
      timeoutMs);
  if (!window_) Fail(Running() ? "no wizard window appeared" : "the program ended without a wizard window");
  return window_;
}

std::string Wizard::Caption() {
  HWND w = Window(0);
  return w ? WindowText(w) : "";
}

HWND Wizard::PageWindow() {
  HWND w = Window(0);
  LRESULT page = 0;
  if (!w || !Send(w, PSM_GETCURRENTPAGEHWND, 0, 0, &page)) return nullptr;
  return reinterpret_cast<HWND>(page);
}

int Wizard::CurrentPage() {
  HWND w = Window(0);
  HWND page = PageWindow();
  if (!page) return 0;
  LRESULT index = -1, id = 0;
  if (!Send(w, PSM_HWNDTOINDEX, reinterpret_cast<WPARAM>(page), 0, &index) || index < 0) return 0;
  if (!Send(w, PSM_INDEXTOID, static_cast<WPARAM>(index), 0, &id)) return 0;
  return static_cast<int>(id);
}

bool Wizard::WaitForPage(int page, int timeoutMs) {
  if (!Window(timeoutMs)) return false;
  int seen = 0;
  if (WaitUntil([&] { return (seen = CurrentPage()) == page || !Running(); }, timeoutMs) && seen == page)
    return true;
  return Fail("waited for page " + std::to_string(page) + ", " +
              (Running() ? "the wizard shows page " + std::to_string(seen) + " (\"" + Caption() + "\")"
                         : std::string("the program has ended")));
}

HWND Wizard::Control(int id) {
  HWND page = PageWindow();
  HWND control = page ? GetDlgItem(page, id) : nullptr;
  if (!control) Fail("no control " + std::to_string(id) + " on page " + std::to_string(CurrentPage()));
  return control;
}

std::string Wizard::Text(int id) {
  HWND control = Control(id);
  return control ? WindowText(control) : "";
}

bool Wizard::SetText(int id, const std::string& text) {
  HWND control = Control(id);
  if (!control) return false;
  if (!Send(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str())))
    return Fail("control " + std::to_string(id) + " took no text");
  WORD code = ClassOf(control) == "ComboBox" ? CBN_EDITCHANGE : EN_CHANGE;
  return Notify(control, id, code) || Fail("the page did not take the edit of control " + std::to_string(id));
}

bool Wizard::IsChecked(int id) {
  HWND control = Control(id);
  LRESULT state = 0;
  return control && Send(control, BM_GETCHECK, 0, 0, &state) && state == BST_CHECKED;
}

bool Wizard::SetChecked(int id, bool checked) {
  HWND control = Control(id);
  if (!control) return false;
  Send(control, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
  return Notify(control, id, BN_CLICKED) ||
         Fail("the page did not take the click of control " + std::to_string(id));
}

bool Wizard::ChooseRadio(int id, const std::vector<int>& group) {
  for (int other : group)
    if (other != id)
      if (HWND c = Control(other)) Send(c, BM_SETCHECK, BST_UNCHECKED, 0);
  return SetChecked(id, true);
}

bool Wizard::ChooseEntry(int id, int index) {
  HWND control = Control(id);
  if (!control) return false;
  LRESULT chosen = CB_ERR;
  if (!Send(control, CB_SETCURSEL, static_cast<WPARAM>(index), 0, &chosen) || chosen != index)
    return Fail("control " + std::to_string(id) + " has no entry " + std::to_string(index));
  return Notify(control, id, CBN_SELCHANGE) ||
         Fail("the page did not take the choice in control " + std::to_string(id));
}

std::vector<std::string> Wizard::Entries(int id) {
  std::vector<std::string> entries;
  HWND control = Control(id);
  if (!control) return entries;
  bool combo = ClassOf(control) == "ComboBox";
  LRESULT count = 0;
  Send(control, combo ? CB_GETCOUNT : LB_GETCOUNT, 0, 0, &count);
  for (LRESULT i = 0; i < count; ++i) {
    // Asked in UTF-16: Wine hands entries of another process's list back
    // in UTF-16 even to the 8-bit message.
    DWORD_PTR length = 0;
    SendMessageTimeoutW(control, combo ? CB_GETLBTEXTLEN : LB_GETTEXTLEN, static_cast<WPARAM>(i), 0,
                        SMTO_ABORTIFHUNG, kMessageTimeoutMs, &length);
    if (static_cast<LRESULT>(length) < 0) length = 0;
    std::wstring wide(length + 1, L'\0');
    DWORD_PTR got = 0;
    SendMessageTimeoutW(control, combo ? CB_GETLBTEXT : LB_GETTEXT, static_cast<WPARAM>(i),
                        reinterpret_cast<LPARAM>(wide.data()), SMTO_ABORTIFHUNG, kMessageTimeoutMs, &got);
    wide.resize(static_cast<LRESULT>(got) > 0 ? got : 0);
    std::string text(wide.size() * 2 + 1, '\0');
    int n = WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), text.data(),
                                static_cast<int>(text.size()), nullptr, nullptr);
    text.resize(n > 0 ? static_cast<size_t>(n) : 0);
    entries.push_back(text);
  }
  return entries;
}

int Wizard::Selection(int id) {
  HWND control = Control(id);
  LRESULT index = CB_ERR;
  if (!control || !Send(control, CB_GETCURSEL, 0, 0, &index)) return -1;
  return static_cast<int>(index);
}

bool Wizard::SelectListEntry(int id, int index, bool selected) {
  HWND control = Control(id);
  if (!control) return false;
  LRESULT result = LB_ERR;
  if (!Send(control, LB_SETSEL, selected, static_cast<LPARAM>(index), &result) || result == LB_ERR)
    return Fail("list " + std::to_string(id) + " has no entry " + std::to_string(index));
  return Notify(control, id, LBN_SELCHANGE) ||
         Fail("the page did not take the selection in list " + std::to_string(id));
}

std::vector<int> Wizard::ListSelection(int id) {
  std::vector<int> selected;
  HWND control = Control(id);
  LRESULT count = 0;
  if (!control || !Send(control, LB_GETCOUNT, 0, 0, &count)) return selected;
  for (LRESULT i = 0; i < count; ++i) {
    LRESULT on = 0;
    if (Send(control, LB_GETSEL, static_cast<WPARAM>(i), 0, &on) && on > 0)
      selected.push_back(static_cast<int>(i));
  }
  return selected;
}

int Wizard::ProgressPosition(int id) {
  HWND control = Control(id);
  LRESULT position = -1;
  if (!control || !Send(control, PBM_GETPOS, 0, 0, &position)) return -1;
  return static_cast<int>(position);
}

bool Wizard::ButtonEnabled(Button button) {
  HWND w = Window(0);
  if (!w) return false;
  int id = button == Button::Back     ? kBackButton
           : button == Button::Next   ? kNextButton
           : button == Button::Finish ? kFinishButton
                                      : IDCANCEL;
  HWND control = GetDlgItem(w, id);
  return control && IsWindowVisible(control) && IsWindowEnabled(control);
}

bool Wizard::WaitForButton(Button button, bool enabled, int timeoutMs) {
  static const char* const kNames[] = {"Back", "Next", "Finish", "Cancel"};
  if (WaitUntil([&] { return ButtonEnabled(button) == enabled; }, timeoutMs)) return true;
  return Fail(std::string(kNames[static_cast<int>(button)]) + " stayed " +
              (enabled ? "disabled" : "enabled"));
}

bool Wizard::Press(Button button) {
  HWND w = Window(0);
  if (!w) return false;
  WPARAM which = button == Button::Back     ? PSBTN_BACK
                 : button == Button::Next   ? PSBTN_NEXT
                 : button == Button::Finish ? PSBTN_FINISH
                                            : PSBTN_CANCEL;
  return PostMessageA(w, PSM_PRESSBUTTON, which, 0) || Fail("the wizard window took no button press");
}

bool Wizard::Click(int id) {
  HWND control = Control(id);
  if (!control) return false;
  return PostMessageA(GetParent(control), WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                      reinterpret_cast<LPARAM>(control)) ||
         Fail("the page took no click of control " + std::to_string(id));
}

HWND Wizard::WaitForMessageBox(const std::string& caption, int timeoutMs) {
  std::function<bool(HWND)> isBox = [&](HWND w) {
    return ClassOf(w) == "#32770" && WindowText(w) == caption;
  };
  HWND box = nullptr;
  WaitUntil([&] { return (box = FindTopWindow(isBox)) != nullptr || !Running(); }, timeoutMs);
  if (!box) Fail("no message box \"" + caption + "\" appeared");
  return box;
}

std::string Wizard::MessageBoxText(HWND box) {
  std::string text;
  EnumChildWindows(box, CollectStatics, reinterpret_cast<LPARAM>(&text));
  return text;
}

void Wizard::CloseMessageBox(HWND box) {
  PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  WaitUntil([&] { return !IsWindow(box); }, kMessageTimeoutMs);
}

bool Wizard::SetDialogText(HWND dialog, int id, const std::string& text) {
  HWND control = GetDlgItem(dialog, id);
  if (!control) return Fail("the window has no control " + std::to_string(id));
  return Send(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str())) ||
         Fail("control " + std::to_string(id) + " took no text");
}

bool Wizard::ReadSummary(std::string* text) {
  if (!Click(control::kShowCommandLine)) return false;
  HWND box = WaitForMessageBox(kSummaryCaption);
  if (!box) return false;
  *text = MessageBoxText(box);
  CloseMessageBox(box);
  return true;
}

bool Wizard::Running() { return process_ && WaitForSingleObject(process_, 0) == WAIT_TIMEOUT; }

bool Wizard::WaitForExit(int timeoutMs) {
  if (!process_) return true;
  if (WaitForSingleObject(process_, static_cast<DWORD>(timeoutMs)) == WAIT_OBJECT_0) return true;
  return Fail("the program is still running (\"" + Caption() + "\")");
}

void Wizard::Kill() {
  if (!process_) return;
  if (Running()) {
    TerminateProcess(process_, 99);
    WaitForSingleObject(process_, 5000);
  }
  CloseHandle(process_);
  process_ = nullptr;
  processId_ = 0;
  window_ = nullptr;
}

}  // namespace wizard_driver

#endif
