// wizard_driver.exe: one step on the wizard of a running tabrevo.exe, for
// scripts (the screenshot walk). Each run finds the wizard window, does one
// thing and ends with 0, or prints why not and ends with 1.
#ifdef _WIN32
#include <cstdio>
#include <cstdlib>
#include <string>

#include "wizard_driver.h"

using wizard_driver::Button;
using wizard_driver::Wizard;

namespace {

int Usage() {
  std::fputs(
      "usage: wizard_driver COMMAND [ARGUMENTS]\n"
      "  page NUMBER         wait until the wizard shows the page of that template\n"
      "  press back|next|finish|cancel\n"
      "  get ID              print the text of a control of the current page\n"
      "  set ID TEXT         set the text of a control, as typed\n"
      "  check ID 0|1        clear or tick a check box\n"
      "  choose ID INDEX     choose an entry of a combo box\n"
      "  click ID            click a push button of the current page\n"
      "  wait-box CAPTION    wait for a message box of the program\n"
      "  close-box CAPTION   close that message box\n"
      "  wait-exit           wait until the program has ended\n",
      stderr);
  return 2;
}

int Failed(const Wizard& wizard) {
  std::fprintf(stderr, "wizard_driver: %s\n", wizard.error().c_str());
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  std::string command = argv[1];
  auto arg = [&](int i) { return i < argc ? std::string(argv[i]) : std::string(); };
  auto number = [&](int i) { return std::atoi(arg(i).c_str()); };

  Wizard wizard;
  if (!wizard.AttachToAny()) return Failed(wizard);
  bool ok = true;
  if (command == "page") {
    ok = wizard.WaitForPage(number(2));
  } else if (command == "press") {
    std::string which = arg(2);
    Button button = which == "back"     ? Button::Back
                    : which == "next"   ? Button::Next
                    : which == "finish" ? Button::Finish
                                        : Button::Cancel;
    if (which != "back" && which != "next" && which != "finish" && which != "cancel") return Usage();
    ok = wizard.Press(button);
  } else if (command == "get") {
    std::string text = wizard.Text(number(2));
    ok = wizard.Control(number(2)) != nullptr;
    if (ok) std::printf("%s\n", text.c_str());
  } else if (command == "set") {
    ok = wizard.SetText(number(2), arg(3));
  } else if (command == "check") {
    ok = wizard.SetChecked(number(2), number(3) != 0);
  } else if (command == "choose") {
    ok = wizard.ChooseEntry(number(2), number(3));
  } else if (command == "click") {
    ok = wizard.Click(number(2));
  } else if (command == "wait-box" || command == "close-box") {
    HWND box = wizard.WaitForMessageBox(arg(2));
    ok = box != nullptr;
    if (ok && command == "close-box") wizard.CloseMessageBox(box);
  } else if (command == "wait-exit") {
    ok = wizard.WaitForExit(wizard_driver::kTimeoutMs);
  } else {
    return Usage();
  }
  return ok ? 0 : Failed(wizard);
}

#else
int main() { return 2; }
#endif
