// Drives the wizard of a running tabrevo.exe from outside, as a user would:
// finds its window, reads and sets the controls of the current page, ticks
// boxes, chooses list entries and presses the wizard's buttons through the
// property sheet's own messages. Used by the GUI tests (which start the
// program themselves) and by the driver program that scripts steer.
//
// Every wait has a time limit; a failed step answers false and leaves the
// reason in error(), so a test reports what it waited for instead of hanging.
#pragma once

#ifdef _WIN32
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace wizard_driver {

// The pages, by the number of their dialog template.
inline constexpr int kWelcomePage = 107;
inline constexpr int kSourcePage = 108;
inline constexpr int kOptionsPage = 109;
inline constexpr int kCompletionPage = 110;
inline constexpr int kProgressPage = 111;

// The wizard's own buttons, by the button numbers of PSM_PRESSBUTTON.
enum class Button { Back, Next, Finish, Cancel };

// Controls of the pages that the tests use.
namespace control {
inline constexpr int kSourceBox = 200;
inline constexpr int kSheetList = 1049;
inline constexpr int kBrowse = 1012;
inline constexpr int kFolderBox = 1022;
inline constexpr int kOverwrite = 1018;
inline constexpr int kFields = 1030;
inline constexpr int kRecords = 1031;
inline constexpr int kAsIs = 1025;
inline constexpr int kAnsi = 1026;
inline constexpr int kOem = 1027;
inline constexpr int kQuoteStrings = 1020;
inline constexpr int kQuoteAll = 1023;
inline constexpr int kEscape = 1033;
inline constexpr int kLineBreaks = 1019;
inline constexpr int kResultLine = 1019;  // completion page
inline constexpr int kOpenFile = 1020;    // completion page
inline constexpr int kSaveSettings = 1021;
inline constexpr int kShowCommandLine = 1034;
inline constexpr int kVersion = 1040;
inline constexpr int kTitle = 1000;
inline constexpr int kProgressBar = 1016;
inline constexpr int kTimeText = 1022;
}  // namespace control

// The caption of the command-line summary's message box.
inline constexpr const char* kSummaryCaption =
    "Press Ctrl-C to copy command line parameters to the clipboard";

// The default time limit of a wait, in milliseconds.
inline constexpr int kTimeoutMs = 20000;

// Polls `done` every few milliseconds until it answers true or the time is up.
bool WaitUntil(const std::function<bool()>& done, int timeoutMs);

// Quotes an argument by the C runtime's rules for splitting a command line.
std::string QuoteArgument(const std::string& arg);

class Wizard {
 public:
  Wizard() = default;
  Wizard(const Wizard&) = delete;
  Wizard& operator=(const Wizard&) = delete;
  // Ends a program it started if it still runs: no test leaves a wizard
  // behind. An attached program is left running.
  ~Wizard();

  // Starts `program` with the arguments in `folder`. With `commandTail` the
  // arguments are given as they stand (already one command-line text).
  bool Start(const std::string& program, const std::vector<std::string>& arguments,
             const std::string& folder);
  bool StartWithCommandTail(const std::string& program, const std::string& commandTail,
                            const std::string& folder);
  // Takes over a program started elsewhere (the driver program's case).
  bool Attach(DWORD processId);
  // Finds the wizard window of any running program (for scripts).
  bool AttachToAny(int timeoutMs = kTimeoutMs);

  const std::string& error() const { return error_; }
  DWORD processId() const { return processId_; }

  // The wizard window (found by its caption "Brackenfield Wizard...").
  HWND Window(int timeoutMs = kTimeoutMs);
  std::string Caption();
  // The template number of the page shown, or 0.
  int CurrentPage();
  HWND PageWindow();
  bool WaitForPage(int page, int timeoutMs = kTimeoutMs);

  HWND Control(int id);
  std::string Text(int id);
  // Sets a control's text and tells the page as an edit by the user does
  // (CBN_EDITCHANGE for combo boxes, EN_CHANGE for edit boxes).
  bool SetText(int id, const std::string& text);
  bool IsChecked(int id);
  // Ticks or clears a check box, or selects a radio button, and tells the
  // page of the click.
  bool SetChecked(int id, bool checked);
  bool ChooseRadio(int id, const std::vector<int>& group);
  // Chooses the entry of a combo box by its index (CBN_SELCHANGE).
  bool ChooseEntry(int id, int index);
  // Combo box and list box entries.
  std::vector<std::string> Entries(int id);
  int Selection(int id);  // combo box: the selected index, -1 none
  // List box: select or deselect one entry (-1: all), then LBN_SELCHANGE.
  bool SelectListEntry(int id, int index, bool selected);
  std::vector<int> ListSelection(int id);
  // A progress bar's position, -1 when it cannot be read.
  int ProgressPosition(int id);

  bool ButtonEnabled(Button button);
  bool WaitForButton(Button button, bool enabled, int timeoutMs = kTimeoutMs);
  bool Press(Button button);
  // Posts a click of a page's push button (which may open a modal box).
  bool Click(int id);

  // A message box of the program, by its caption; its text; closing it.
  HWND WaitForMessageBox(const std::string& caption, int timeoutMs = kTimeoutMs);
  std::string MessageBoxText(HWND box);
  void CloseMessageBox(HWND box);
  // Sets the text of a control of such a window (a file chooser's name box).
  bool SetDialogText(HWND dialog, int id, const std::string& text);
  // Clicks the summary button and answers the summary text.
  bool ReadSummary(std::string* text);

  bool Running();
  bool WaitForExit(int timeoutMs = kTimeoutMs);
  void Kill();

 private:
  bool Fail(const std::string& why);
  // The program's other visible windows (message boxes) and their texts.
  std::string OtherWindows();
  bool Launch(const std::string& program, std::string command, const std::string& folder);
  HWND FindTopWindow(const std::function<bool(HWND)>& matches);

  HANDLE process_ = nullptr;
  bool owned_ = false;
  DWORD processId_ = 0;
  HWND window_ = nullptr;
  std::string error_;
};

}  // namespace wizard_driver

#endif
