// Recent source workbooks and output folders, kept per user in the registry
// under HKEY_CURRENT_USER\Software\Brackenfield\Wizards as REG_SZ values
// (Windows only).
#pragma once

#include <string>

#include "platform/platform.h"

// The key every value lives under.
inline constexpr const char* kRegistryKey = "Software\\Brackenfield\\Wizards";

// Value names.
inline constexpr const char* kLastSourceValue = "LastXLSFile";
inline constexpr const char* kLastFolderValue = "LastCSVDirs";
inline constexpr const char* kRecentSourcesList = "XLSfiles";
inline constexpr const char* kRecentFoldersList = "CSVdirs";

// Entries of a recent-item list: <list name>0 (the newest) to <list name>9.
inline constexpr int kRecentEntries = 10;

// Reads a value. False, with empty text, when the key or the value is
// missing or the value holds 255 bytes or more.
bool ReadRegistryText(const char* valueName, std::string* text);

// Writes a value, creating the key when needed. Best effort: failures are
// ignored.
void WriteRegistryText(const char* valueName, const std::string& text);

// Appends the non-empty entries of a list, newest first, to a combo box.
void LoadRecentList(platform::Window comboBox, const char* listName);

// Makes `item` the newest entry of a list: an older entry equal to it in
// any letter case is dropped, the others keep their order, the oldest falls
// off a full list. All ten entries are written, empty ones included.
void SaveRecentList(const std::string& item, const char* listName);
