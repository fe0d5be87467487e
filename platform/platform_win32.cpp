// Windows implementation of the platform services, through the ANSI forms
// of the Windows functions.
#include <shlobj.h>
#include <windows.h>

#include <cstring>

#include "ini_file.h"
#include "platform.h"

namespace platform {

bool FindFiles(const std::string& pattern, std::vector<std::string>* names) {
  if (pattern.empty()) return false;
  WIN32_FIND_DATAA data;
  HANDLE search = FindFirstFileA(pattern.c_str(), &data);
  if (search == INVALID_HANDLE_VALUE) return false;
  do {
    names->emplace_back(data.cFileName);
  } while (FindNextFileA(search, &data));
  FindClose(search);
  return true;
}

bool RemoveFile(const std::string& path) { return DeleteFileA(path.c_str()) != 0; }

// Windows frees a deleted file's storage at once only when no one holds it;
// nothing is gained by holding it here.
int RemoveFileHeld(const std::string& path) {
  RemoveFile(path);
  return -1;
}
void CloseHeldFile(int) {}

bool PathExists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string AppDataFolder() {
  char path[MAX_PATH] = {};
  LPITEMIDLIST list = nullptr;
  if (SUCCEEDED(SHGetSpecialFolderLocation(nullptr, CSIDL_APPDATA, &list)) && list) {
    SHGetPathFromIDListA(list, path);
    CoTaskMemFree(list);
  }
  std::string folder(path);
  while (!folder.empty() && (folder.back() == '\\' || folder.back() == '/')) folder.pop_back();
  return folder;
}

bool AppendToFile(const std::string& path, std::string_view bytes) {
  // Append access: every write goes to the end of the file. Processes that
  // append at once also take turns through a lock on one byte far past any
  // real data, so that no line lands inside another where appending is not
  // one step of the file system (Wine, some network shares).
  HANDLE file = CreateFileA(path.c_str(), FILE_APPEND_DATA | FILE_READ_DATA | SYNCHRONIZE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  OVERLAPPED turn = {};
  turn.Offset = 0xFFFFFFFEu;
  turn.OffsetHigh = 0x7FFFFFFFu;
  const bool locked = LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &turn) != 0;
  DWORD written = 0;
  bool ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
            written == bytes.size();
  if (locked) UnlockFileEx(file, 0, 1, 0, &turn);
  if (!CloseHandle(file)) ok = false;
  return ok;
}

std::string ExecutablePath() {
  std::string buffer(MAX_PATH, '\0');
  for (;;) {
    DWORD n = GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return std::string();
    if (n < buffer.size()) {
      buffer.resize(n);
      return buffer;
    }
    if (buffer.size() >= 32768) return std::string();
    buffer.resize(buffer.size() * 2);
  }
}

int IniReadInt(const std::string& file, const std::string& section, const std::string& key,
               int defaultValue) {
  return static_cast<int>(GetPrivateProfileIntA(section.c_str(), key.c_str(), defaultValue, file.c_str()));
}

namespace {

// Where the profile service keeps a file named without a folder: the Windows
// folder; any other name is taken as it stands.
std::string ProfilePath(const std::string& file) {
  if (file.find_first_of("\\/:") != std::string::npos) return file;
  char windows[MAX_PATH] = {};
  UINT n = GetWindowsDirectoryA(windows, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return file;
  return std::string(windows, n) + "\\" + file;
}

// Writes `text` to a new file in the folder of `path` and puts it in the
// place of `path` with one rename, so that a reader opens either the old
// file or the new one and never meets a file half rewritten. A reader
// holding the file open blocks the rename for a moment: it is tried again
// for up to about two seconds. False when the rename never succeeds.
bool ReplaceWholeFile(const std::string& path, const std::string& text) {
  size_t sep = path.find_last_of("\\/");
  std::string folder = sep == std::string::npos ? "." : path.substr(0, sep + 1);
  char temp[MAX_PATH] = {};
  if (GetTempFileNameA(folder.c_str(), "tbr", 0, temp) == 0) return false;
  HANDLE h = CreateFileA(temp, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    DeleteFileA(temp);
    return false;
  }
  DWORD written = 0;
  bool ok = WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
            written == text.size();
  ok = FlushFileBuffers(h) && ok;
  ok = CloseHandle(h) && ok;
  for (int attempt = 0; ok; ++attempt) {
    if (MoveFileExA(temp, path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return true;
    DWORD error = GetLastError();
    if ((error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION) || attempt >= 400) break;
    Sleep(5);
  }
  DeleteFileA(temp);
  return false;
}

}  // namespace

bool IniWriteString(const std::string& file, const std::string& section, const std::string& key,
                    const std::string& value) {
  // The profile service rewrites the file in place, in several writes under
  // some systems; a program polling the file could read half of it. The new
  // text is made here with the service's rules and put in place whole.
  const std::string path = ProfilePath(file);
  std::string text;
  ReadWholeFile(path, &text);  // a missing file starts empty
  // Lines added end as the file's own lines do; in a new file, as Windows
  // text lines do.
  std::string updated = IniSetValue(text, section, key, value, "\r\n");
  if (ReplaceWholeFile(path, updated)) return true;
  // A folder that takes no new file, or a reader that keeps the file open:
  // the value still reaches the file through the service.
  return WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(), file.c_str()) != 0;
}

void ShowFailure(Window owner, const std::string& text, const std::string& /*file*/,
                 const std::string& /*reason*/) {
  MessageBoxA(static_cast<HWND>(owner), text.c_str(), nullptr, MB_OK | MB_ICONERROR);
}

void NoteFailure(const std::string& text, const std::string& file, const std::string& reason) {
  std::string line = "tabrevo: " + text;
  if (!file.empty()) line += ": " + file;
  if (!reason.empty()) line += ": " + reason;
  line += '\n';
  OutputDebugStringA(line.c_str());
}

std::string TextToOem(std::string_view text) {
  std::string out(text);
  if (!out.empty()) CharToOemA(out.c_str(), out.data());
  return out;
}

std::string Utf8ToAnsi(std::string_view utf8) {
  if (utf8.empty()) return std::string();
  int n = static_cast<int>(utf8.size());
  bool ascii = true;
  for (char c : utf8)
    if (static_cast<unsigned char>(c) >= 0x80) {
      ascii = false;
      break;
    }
  if (ascii) return std::string(utf8);
  int wide = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), n, nullptr, 0);
  if (wide <= 0) return std::string(utf8);
  std::wstring w(static_cast<size_t>(wide), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), n, w.data(), wide);
  int bytes = WideCharToMultiByte(CP_ACP, 0, w.data(), wide, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return std::string();
  std::string out(static_cast<size_t>(bytes), '\0');
  WideCharToMultiByte(CP_ACP, 0, w.data(), wide, out.data(), bytes, nullptr, nullptr);
  return out;
}

bool AnsiToUtf16(std::string_view text, std::u16string* out) {
  out->clear();
  if (text.empty()) return true;
  int n = static_cast<int>(text.size());
  int wide = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text.data(), n, nullptr, 0);
  if (wide <= 0) return false;
  std::wstring w(static_cast<size_t>(wide), L'\0');
  MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text.data(), n, w.data(), wide);
  out->assign(w.begin(), w.end());
  return true;
}

std::string Utf16ToAnsi(std::u16string_view text) {
  if (text.empty()) return std::string();
  std::wstring w(text.begin(), text.end());
  int n = static_cast<int>(w.size());
  int bytes = WideCharToMultiByte(CP_ACP, 0, w.data(), n, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return std::string();
  std::string out(static_cast<size_t>(bytes), '\0');
  WideCharToMultiByte(CP_ACP, 0, w.data(), n, out.data(), bytes, nullptr, nullptr);
  return out;
}

std::u16string FileNameUpperCase(std::u16string_view name) {
  if (name.empty()) return std::u16string();
  std::wstring w(name.begin(), name.end());
  // Without LCMAP_LINGUISTIC_CASING the mapping follows the file system's
  // casing, the same for every locale.
  int n = static_cast<int>(w.size());
  std::wstring upper(w.size(), L'\0');
  if (LCMapStringW(LOCALE_INVARIANT, LCMAP_UPPERCASE, w.data(), n, upper.data(), n) != n) {
    for (wchar_t& c : w)  // cannot happen for a same-length mapping; a to z at least
      if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - L'a' + L'A');
    return std::u16string(w.begin(), w.end());
  }
  return std::u16string(upper.begin(), upper.end());
}

size_t TextLength(std::string_view text) { return text.size(); }

std::tm LocalTime(std::time_t t) {
  std::tm fields{};
  localtime_s(&fields, &t);
  return fields;
}

}  // namespace platform
