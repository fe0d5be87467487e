// Platform services: exactly what the engine, the reader and the program
// need from the operating system. One implementation calls the ANSI Windows
// functions (platform_win32.cpp), the other POSIX (platform_posix.cpp).
#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// A window of the wizard (HWND on Windows); none in unattended runs.
using Window = void*;

#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

// Windows accepts both "\" and "/" between path components; POSIX only "/".
inline bool IsPathSeparator(char c) {
#ifdef _WIN32
  return c == '\\' || c == '/';
#else
  return c == '/';
#endif
}

// Position of the last path separator in `path`, or npos.
size_t LastSeparator(std::string_view path);

// Searches for the entries matching `pattern`, whose last component may hold
// the wildcards * and ?. Appends the names found (without their folder) in
// the platform's order: Windows as FindFirstFileA/FindNextFileA report them;
// POSIX every directory entry (".", ".." and dot files included) whose name
// matches case-insensitively, sorted by name. False when the search cannot
// start (no match, missing folder, empty pattern).
bool FindFiles(const std::string& pattern, std::vector<std::string>* names);

// Deletes a file; false when it could not be deleted. On POSIX a device, a
// pipe or a folder is never deleted.
bool RemoveFile(const std::string& path);

// Deletes a file as RemoveFile does, but holds it open first where the
// system frees a deleted file's storage only when the last holder lets go
// (POSIX): freeing the cached pages of a large file takes milliseconds, which
// CloseHeldFile then spends on whichever thread calls it. Returns what to
// pass to CloseHeldFile, or -1 when nothing is held (the file was deleted
// outright, or could not be).
int RemoveFileHeld(const std::string& path);
void CloseHeldFile(int held);

// True when a file (or anything else) exists at `path`.
bool PathExists(const std::string& path);

// The current user's application-data folder, without a trailing separator
// (Windows: CSIDL_APPDATA; POSIX: $XDG_DATA_HOME, else ~/.local/share, made
// when missing). Empty when the platform reports none.
std::string AppDataFolder();

// Full path of the running executable (in a library: of the program that
// loaded it).
std::string ExecutablePath();

// Appends `bytes` to the file at `path` (created when missing) in one write
// at its end (POSIX O_APPEND, Windows FILE_APPEND_DATA), so that what several
// processes append at the same time never interleaves. False on failure.
bool AppendToFile(const std::string& path, std::string_view bytes);

// Profile (INI) files. The reading returns `defaultValue` when the file, the
// section or the key is missing or empty; section and key names match
// without regard to case. The writing creates the file and the section when
// missing, replaces the key's value and keeps every other line byte for
// byte, and replaces the file whole (a new file beside it, then a rename),
// so that a reader never sees a part of it. On Windows, when the rename
// stays blocked by a reader, the profile service writes the value instead.
int IniReadInt(const std::string& file, const std::string& section, const std::string& key, int defaultValue);
bool IniWriteString(const std::string& file, const std::string& section, const std::string& key,
                    const std::string& value);

// Tells the user that something failed. Windows: a message box with the
// text, the platform's default caption and the error icon, owned by
// `owner`. POSIX: one line on stderr naming the program, the text, the file
// and the reason ("tabrevo: Unable to open the output file: out/A.csv: No
// such file or directory").
void ShowFailure(Window owner, const std::string& text, const std::string& file, const std::string& reason);

// Records a failure that must not wait for anyone (a workbook or sheet that
// cannot be read): nothing is shown and nothing blocks. POSIX: the same one
// line on stderr as ShowFailure. Windows: the line goes to the debugger
// output only; the caller's log line, status word and result tell the rest.
void NoteFailure(const std::string& text, const std::string& file, const std::string& reason);

#ifndef _WIN32
// POSIX: a function ShowFailure calls before it writes its line, so that a
// progress line on the terminal is cleared first (nullptr: none).
void SetBeforeFailureLine(void (*clear)());
#endif

// Converts text of the A form to the OEM code page. Windows: CharToOemA
// (same length). POSIX: UTF-8 to code page 437, "?" for what 437 cannot show.
std::string TextToOem(std::string_view text);

// The A form of UTF-8 text: Windows the ANSI code page (characters it lacks
// become "?"), POSIX the UTF-8 itself.
std::string Utf8ToAnsi(std::string_view utf8);
// Number of characters of an A-form text (POSIX: UTF-8 code points;
// Windows: bytes).
size_t TextLength(std::string_view text);

#ifdef _WIN32
// A-form text (the ANSI code page) as UTF-16, and back. AnsiToUtf16 is false
// when the text does not convert; Utf16ToAnsi gives "?" for characters the
// code page lacks.
bool AnsiToUtf16(std::string_view text, std::u16string* out);
std::string Utf16ToAnsi(std::u16string_view text);
// The upper case of a file name as Windows compares names: by the system's
// case table, for every letter that has an upper case, not only a to z.
std::u16string FileNameUpperCase(std::u16string_view name);
#else
// The identity of the file at `path` (its device and inode; a symbolic link
// is not followed): two names of one file give the same. False when nothing
// is there.
bool FileIdentity(const std::string& path, uint64_t* device, uint64_t* inode);
#endif

// Local calendar fields of a time.
std::tm LocalTime(std::time_t t);

// The reason of the last failed C library call (errno), as text.
std::string LastErrorText();

}  // namespace platform
