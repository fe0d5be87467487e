// The wizard pages' logic that needs no window: which list entry shows a
// delimiter word, the selected-sheet list, the help file's path and the
// texts the pages put into their controls. Built on every platform so that
// both test suites check it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// Fixed entries of the output options page's lists, in list order.
inline constexpr const char* kFieldWords[] = {",", ";", "TAB", "NONE", "PIPE"};
inline constexpr const char* kRecordWords[] = {"CRLF", "CR", "LF", "NONE"};
inline constexpr const char* kLineBreakChoices[] = {"Keep CR/LF", "Remove CR/LF", "Replace CR/LF to \\r\\n"};

// Index of the fixed entry equal to `word` without regard to ASCII case, or
// -1 when the word is none of them (the page then adds it as an entry).
int FieldWordIndex(std::string_view word);
int RecordWordIndex(std::string_view word);

// The selected-sheet list of the chosen sheet-list entries: each name in
// upper case (ASCII letters), in list order.
std::vector<std::string> SelectedSheetNames(const std::vector<std::string>& chosenEntries);

// wizards.chm in the folder of the program path `programPath` (argument 0
// of the command line); just "wizards.chm" (the current folder) when the
// path names no folder.
std::string HelpFilePath(std::string_view programPath);

// A folder from the folder chooser as the options page keeps it: one
// trailing backslash removed, so that a drive root C:\ becomes C:.
std::string FolderWithoutTrailingSeparator(std::string_view folder);

// The completion page's result line for a run that wrote rows (a run that
// wrote none keeps the template's own text).
std::string RecordsLine(long long records);
