// Control identifiers of the wizard's dialog templates that code outside
// the pages refers to.
#pragma once

inline constexpr int kTitleControl = 1000;        // welcome and completion page titles
inline constexpr int kProgressBarControl = 1016;  // progress page: rows of the current sheet
inline constexpr int kTimeTextControl = 1022;     // progress page: elapsed and estimated time
