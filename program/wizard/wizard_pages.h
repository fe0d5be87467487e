// The wizard's page procedures and what they share (Windows only).
#pragma once

#include <windows.h>

#include <string>

#include "engine/settings.h"

// Dialog procedures of the five pages, in the wizard's order.
INT_PTR CALLBACK WelcomePageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK SourcePageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK OptionsPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK ProgressPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK CompletionPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);

// Opens wizards.chm from the program's folder through the shell.
void OpenHelp(HWND owner);

// The folder chooser of the output options page. 1 with the chosen
// file-system folder in `path`, 0 (path untouched) when cancelled or when
// the choice is no file-system folder.
int ChooseOutputFolder(HWND owner, char* path);

// The conversion's worker: exports the selected sheets, then presses Next.
DWORD WINAPI ConversionThread(LPVOID settings);

// Shows the run's settings as a command line for an unattended run.
void ShowCommandLine(HWND owner, const ConverterSettings& settings);

// Waits up to `milliseconds` for a started conversion worker to end
// (after a cancel, so that its last output file is complete). True when no
// worker runs any more.
bool WaitForConversion(DWORD milliseconds);

// Shared page conventions.
namespace wizard_page {

// WM_INITDIALOG: keeps the settings address of the page description in the
// page's user data and returns it.
ConverterSettings& KeepSettings(HWND page, LPARAM initParam);

// The settings kept by KeepSettings (null before WM_INITDIALOG).
ConverterSettings* Settings(HWND page);

// Exterior pages: repaints the whole wizard window when the page is
// entered, so that no part of the header band of an interior page shown
// before stays on the screen.
void RepaintWizard(HWND page);

// Posts the buttons (PSWIZB_* flags) to the wizard window.
void SetButtons(HWND page, DWORD flags);

// Posts a press of a wizard button (PSBTN_*).
void PressButton(HWND page, int button);

// Refuses Next: batch mode stops and the wizard stays on `templateId`.
INT_PTR RefuseNext(HWND page, ConverterSettings& settings, int templateId);

// The text of a control (a combo box's edit text included).
std::string ControlText(HWND page, int control);

}  // namespace wizard_page
