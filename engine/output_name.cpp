#include "output_name.h"

#include "../platform/platform.h"

namespace {

// Equal when `text` is `word` (upper-case ASCII) in any ASCII case.
bool IsWord(std::u16string_view text, std::string_view word) {
  if (text.size() != word.size()) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    char16_t c = text[i];
    if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
    if (c != static_cast<char16_t>(word[i])) return false;
  }
  return true;
}

// The part of a file name before its first dot names a device when it is
// one of these, blanks at its end ignored.
bool IsDeviceName(std::u16string_view base) {
  while (!base.empty() && base.back() == u' ') base.remove_suffix(1);
  if (base.size() == 3)
    return IsWord(base, "CON") || IsWord(base, "PRN") || IsWord(base, "AUX") || IsWord(base, "NUL");
  if (base.size() != 4) return false;
  const std::u16string_view port = base.substr(0, 3);
  if (!IsWord(port, "COM") && !IsWord(port, "LPT")) return false;
  const char16_t n = base[3];
  return (n >= u'1' && n <= u'9') || n == u'\u00B9' || n == u'\u00B2' || n == u'\u00B3';
}

bool IsForbiddenOnWindows(char16_t c) {
  return c < 0x20 || c == u'<' || c == u'>' || c == u':' || c == u'"' || c == u'/' || c == u'\\' ||
         c == u'|' || c == u'?' || c == u'*';
}

}  // namespace

std::u16string WindowsFileName(std::u16string name) {
  for (char16_t& c : name)
    if (IsForbiddenOnWindows(c)) c = u'_';
  size_t dot = name.find(u'.');
  if (dot == std::u16string::npos) dot = name.size();
  if (IsDeviceName(std::u16string_view(name).substr(0, dot))) name.insert(dot, 1, u'_');
  return name;
}

std::string PosixFileName(std::string name) {
  for (char& c : name)
    if (c == '/' || c == '\\') c = '_';
  return name;
}

std::string SheetFileName(std::string_view sheetName) {
#ifdef _WIN32
  // The rules work on characters, not on bytes: in the double-byte code
  // pages the second byte of a character may equal "\" or "|".
  std::u16string wide;
  if (!platform::AnsiToUtf16(sheetName, &wide)) {
    // Not text of the code page (it came from elsewhere than the reader):
    // each byte stands for itself, so the ASCII rules still hold.
    for (char c : sheetName) wide.push_back(static_cast<unsigned char>(c));
    std::u16string safe = WindowsFileName(wide);
    std::string bytes;
    for (char16_t c : safe) bytes.push_back(static_cast<char>(c));
    return bytes;
  }
  std::u16string safe = WindowsFileName(wide);
  if (safe == wide) return std::string(sheetName);
  return platform::Utf16ToAnsi(safe);
#else
  return PosixFileName(std::string(sheetName));
#endif
}

std::string SheetOutputPath(std::string_view folder, std::string_view sheetName) {
  std::string path(folder);
#ifndef _WIN32
  // An empty folder means the current folder (there is no "current drive").
  if (!path.empty())
#endif
    if (path.empty() || !platform::IsPathSeparator(path.back())) path += platform::kPathSeparator;
  path += SheetFileName(sheetName);
  path += ".csv";
  return path;
}

#ifdef _WIN32

std::u16string WrittenPaths::Key(const std::string& path) {
  std::u16string wide;
  if (!platform::AnsiToUtf16(path, &wide)) {
    wide.clear();
    for (char c : path) wide.push_back(static_cast<unsigned char>(c));
  }
  for (char16_t& c : wide)
    if (c == u'/') c = u'\\';
  return platform::FileNameUpperCase(wide);
}

bool WrittenPaths::Contains(const std::string& path) const { return names_.count(Key(path)) != 0; }

void WrittenPaths::Add(const std::string& path) { names_.insert(Key(path)); }

void WrittenPaths::clear() { names_.clear(); }

#else

bool WrittenPaths::Contains(const std::string& path) const {
  if (names_.count(path)) return true;
  if (files_.empty()) return false;
  uint64_t device, inode;
  return platform::FileIdentity(path, &device, &inode) && files_.count({device, inode});
}

void WrittenPaths::Add(const std::string& path) {
  names_.insert(path);
  uint64_t device, inode;
  if (platform::FileIdentity(path, &device, &inode)) files_.insert({device, inode});
}

void WrittenPaths::clear() {
  names_.clear();
  files_.clear();
}

#endif
