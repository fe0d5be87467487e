// The wizard road of the Windows program.
#pragma once

#include <windows.h>
// After windows.h, whose types it uses.
#include <prsht.h>

#include "engine/settings.h"

// The wizard's five pages and its property-sheet header. The entry makes
// them on both roads, before it chooses one; only the wizard road shows
// them.
struct WizardSheet {
  HPROPSHEETPAGE pages[5] = {};
  PROPSHEETHEADERA header{};
  bool shown = false;  // PropertySheetA took the pages over (it destroys them)
};

// Creates the pages over the run's record (their page parameter is its
// address) and fills the header. `programPath` is argument 0 of the command
// line, by which the help button finds the help file.
void PrepareWizard(HINSTANCE instance, ConverterSettings& settings, const char* programPath,
                   WizardSheet& sheet);

// Runs the wizard modally and returns when its window has closed (by
// Finish, Cancel or the close box). After a cancel it waits up to five
// seconds for the conversion's worker to stop at a row and close its file.
void RunWizard(WizardSheet& sheet);

// Destroys pages no wizard was shown with (the unattended road).
void ReleaseWizard(WizardSheet& sheet);
