// The wizard road of the Windows program.
#pragma once

#include <windows.h>

#include "engine/settings.h"

// Runs the wizard modally over the run's record and returns when its window
// has closed (by Finish, Cancel or the close box).
void RunWizard(HINSTANCE instance, ConverterSettings& settings);
