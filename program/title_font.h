// The bold title font of the wizard's welcome and completion pages.
#pragma once

#include <windows.h>

// Height of a 12-point font at `dotsPerInch` (logical units, negative:
// character height): -16 at 96, -20 at 120, -24 at 144.
int TitleFontHeight(int dotsPerInch);

// The system's message font made bold 12-point "Verdana Bold". When the
// metrics cannot be queried, a font with only height, weight and face set.
HFONT CreateTitleFont();
