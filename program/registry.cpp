#include "registry.h"

#include <windows.h>

#include <array>

namespace {

// At most this many bytes of a value are read, terminator included.
constexpr DWORD kValueBytes = 255;

std::string EntryName(const char* listName, int index) {
  return std::string(listName) + std::to_string(index);
}

// Letter case of the ANSI code page does not count, as for the file names
// the lists hold.
bool EqualsIgnoringCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  std::string ua = a, ub = b;
  if (!ua.empty()) CharUpperBuffA(ua.data(), static_cast<DWORD>(ua.size()));
  if (!ub.empty()) CharUpperBuffA(ub.data(), static_cast<DWORD>(ub.size()));
  return ua == ub;
}

}  // namespace

bool ReadRegistryText(const char* valueName, std::string* text) {
  text->clear();
  HKEY key = nullptr;
  if (RegOpenKeyA(HKEY_CURRENT_USER, kRegistryKey, &key) != ERROR_SUCCESS) return false;
  // One byte more than may be read, so that the text is terminated even
  // when the stored value is not.
  std::array<char, kValueBytes + 1> data{};
  DWORD size = kValueBytes;
  LONG rc = RegQueryValueExA(key, valueName, nullptr, nullptr, reinterpret_cast<BYTE*>(data.data()), &size);
  RegCloseKey(key);
  if (rc != ERROR_SUCCESS) return false;
  // The value's type is not checked; its bytes up to the first NUL are the text.
  size_t n = 0;
  while (n < size && data[n] != '\0') ++n;
  text->assign(data.data(), n);
  return true;
}

void WriteRegistryText(const char* valueName, const std::string& text) {
  HKEY key = nullptr;
  if (RegCreateKeyA(HKEY_CURRENT_USER, kRegistryKey, &key) != ERROR_SUCCESS) return;
  RegSetValueExA(key, valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                 static_cast<DWORD>(text.size() + 1));
  RegCloseKey(key);
}

void LoadRecentList(platform::Window comboBox, const char* listName) {
  for (int i = 0; i < kRecentEntries; ++i) {
    std::string entry;
    if (ReadRegistryText(EntryName(listName, i).c_str(), &entry) && !entry.empty())
      SendMessageA(static_cast<HWND>(comboBox), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry.c_str()));
  }
}

void SaveRecentList(const std::string& item, const char* listName) {
  // Slot 0 holds the item; the old entries fill the next slots in order,
  // skipping one equal to the item. Missing entries count as empty ones.
  std::array<std::string, kRecentEntries + 1> slots;
  slots[0] = item;
  size_t next = 1;
  for (int i = 0; i < kRecentEntries; ++i) {
    std::string entry;
    ReadRegistryText(EntryName(listName, i).c_str(), &entry);
    if (EqualsIgnoringCase(entry, item)) continue;
    if (next < slots.size()) slots[next++] = std::move(entry);
  }
  for (int i = 0; i < kRecentEntries; ++i)
    WriteRegistryText(EntryName(listName, i).c_str(), slots[static_cast<size_t>(i)]);
}
