// Control identifiers and template numbers of the wizard's pages.
#pragma once

// Dialog templates of the pages, in the wizard's order of pages.
inline constexpr int kWelcomeTemplate = 107;
inline constexpr int kSourceTemplate = 108;
inline constexpr int kOptionsTemplate = 109;
inline constexpr int kProgressTemplate = 111;
inline constexpr int kCompletionTemplate = 110;

// Header bitmap of the interior pages and watermark of the exterior ones.
inline constexpr int kHeaderBitmap = 102;
inline constexpr int kWatermarkBitmap = 103;

// Shared by several pages.
inline constexpr int kTitleControl = 1000;  // welcome and completion page titles
inline constexpr int kHelpButton = 1041;    // "?" on every page but the progress page

// Welcome page.
inline constexpr int kVersionLabel = 1040;

// Source file page.
inline constexpr int kSourceBox = 200;
inline constexpr int kSourceBrowse = 1012;
inline constexpr int kSheetList = 1049;

// Output options page.
inline constexpr int kFolderBox = 1022;
inline constexpr int kFolderBrowse = 1021;
inline constexpr int kOverwriteBox = 1018;
inline constexpr int kFieldBox = 1030;
inline constexpr int kRecordBox = 1031;
inline constexpr int kAsIsButton = 1025;
inline constexpr int kAnsiButton = 1026;
inline constexpr int kOemButton = 1027;
inline constexpr int kQuoteStringsBox = 1020;
inline constexpr int kQuoteAllBox = 1023;
inline constexpr int kEscapeBox = 1033;
inline constexpr int kLineBreakList = 1019;

// Progress page.
inline constexpr int kProgressBarControl = 1016;  // rows of the current sheet
inline constexpr int kTimeTextControl = 1022;     // elapsed and estimated time

// Completion page.
inline constexpr int kResultLine = 1019;
inline constexpr int kOpenResultBox = 1020;
inline constexpr int kSaveSettingsBox = 1021;
inline constexpr int kShowCommandLineButton = 1034;
