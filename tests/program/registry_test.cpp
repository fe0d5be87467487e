// Recent lists and last items in the registry of the Windows user (under
// Wine: the registry of the Wine prefix). The values touched are restored.
#ifdef _WIN32
#include "program/registry.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <map>
#include <optional>
#include <vector>

namespace {

// Saves the raw values of the key the test touches and puts them back.
class RegistryBackup {
 public:
  explicit RegistryBackup(std::vector<std::string> names) : names_(std::move(names)) {
    for (const std::string& name : names_) saved_[name] = Raw(name);
  }
  ~RegistryBackup() {
    HKEY key = nullptr;
    if (RegCreateKeyA(HKEY_CURRENT_USER, kRegistryKey, &key) != ERROR_SUCCESS) return;
    for (const auto& [name, value] : saved_) {
      if (value)
        RegSetValueExA(key, name.c_str(), 0, value->first,
                       reinterpret_cast<const BYTE*>(value->second.data()),
                       static_cast<DWORD>(value->second.size()));
      else
        RegDeleteValueA(key, name.c_str());
    }
    RegCloseKey(key);
  }

 private:
  using Value = std::optional<std::pair<DWORD, std::string>>;
  static Value Raw(const std::string& name) {
    HKEY key = nullptr;
    if (RegOpenKeyA(HKEY_CURRENT_USER, kRegistryKey, &key) != ERROR_SUCCESS) return std::nullopt;
    DWORD type = 0, size = 0;
    Value result;
    if (RegQueryValueExA(key, name.c_str(), nullptr, &type, nullptr, &size) == ERROR_SUCCESS) {
      std::string data(size, '\0');
      if (RegQueryValueExA(key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size) ==
          ERROR_SUCCESS)
        result = std::make_pair(type, data.substr(0, size));
    }
    RegCloseKey(key);
    return result;
  }
  std::vector<std::string> names_;
  std::map<std::string, Value> saved_;
};

std::vector<std::string> ListNames(const char* list) {
  std::vector<std::string> names;
  for (int i = 0; i < kRecentEntries; ++i) names.push_back(list + std::to_string(i));
  return names;
}

// Sets the entries of a list (the rest are removed).
void SetList(const char* list, const std::vector<std::string>& entries) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, kRegistryKey, &key), ERROR_SUCCESS);
  for (int i = 0; i < kRecentEntries; ++i) {
    std::string name = list + std::to_string(i);
    if (static_cast<size_t>(i) < entries.size())
      WriteRegistryText(name.c_str(), entries[static_cast<size_t>(i)]);
    else
      RegDeleteValueA(key, name.c_str());
  }
  RegCloseKey(key);
}

// Every entry of a list as stored, "<missing>" for an absent value.
std::vector<std::string> GetList(const char* list) {
  std::vector<std::string> entries;
  for (int i = 0; i < kRecentEntries; ++i) {
    std::string text;
    std::string name = list + std::to_string(i);
    entries.push_back(ReadRegistryText(name.c_str(), &text) ? text : "<missing>");
  }
  return entries;
}

std::vector<std::string> Padded(std::vector<std::string> entries) {
  entries.resize(kRecentEntries);
  return entries;
}

constexpr const char* kList = "XLSfiles";

TEST(Registry, TextRoundTripAndLimits) {
  RegistryBackup backup({"TabrevoTestValue", "TabrevoTestLong", "TabrevoTestNumber"});
  WriteRegistryText("TabrevoTestValue", "C:\\data\\book.xls");
  std::string text = "old";
  ASSERT_TRUE(ReadRegistryText("TabrevoTestValue", &text));
  EXPECT_EQ(text, "C:\\data\\book.xls");

  // The stored value is REG_SZ with its terminator counted.
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyA(HKEY_CURRENT_USER, kRegistryKey, &key), ERROR_SUCCESS);
  DWORD type = 0, size = 0;
  ASSERT_EQ(RegQueryValueExA(key, "TabrevoTestValue", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(size, 17u);  // 16 characters and the terminator

  // 254 characters and the terminator fit the 255 bytes read; one more does not.
  WriteRegistryText("TabrevoTestLong", std::string(254, 'a'));
  EXPECT_TRUE(ReadRegistryText("TabrevoTestLong", &text));
  EXPECT_EQ(text.size(), 254u);
  WriteRegistryText("TabrevoTestLong", std::string(255, 'a'));
  text = "old";
  EXPECT_FALSE(ReadRegistryText("TabrevoTestLong", &text));
  EXPECT_EQ(text, "");

  // A value of another type, without a terminator, still gives bounded text.
  DWORD number = 0x00414141;  // "AAA" and a zero byte
  ASSERT_EQ(RegSetValueExA(key, "TabrevoTestNumber", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number),
                           sizeof number),
            ERROR_SUCCESS);
  EXPECT_TRUE(ReadRegistryText("TabrevoTestNumber", &text));
  EXPECT_EQ(text, "AAA");
  RegCloseKey(key);

  text = "old";
  EXPECT_FALSE(ReadRegistryText("TabrevoTestNoSuchValue", &text));
  EXPECT_EQ(text, "");
}

TEST(Registry, SaveRecentListMovesTheItemToTheFront) {
  RegistryBackup backup(ListNames(kList));
  SetList(kList, {"one.xls", "two.xls", "three.xls"});
  SaveRecentList("two.xls", kList);
  // Missing entries are written back as empty ones: all ten values exist.
  EXPECT_EQ(GetList(kList), Padded({"two.xls", "one.xls", "three.xls"}));

  SetList(kList, {"one.xls", "two.xls", "three.xls"});
  SaveRecentList("TWO.XLS", kList);  // the letter case given now wins
  EXPECT_EQ(GetList(kList), Padded({"TWO.XLS", "one.xls", "three.xls"}));

  SetList(kList, {"a.xls", "", "c.xls"});  // an empty entry keeps its place
  SaveRecentList("new.xls", kList);
  EXPECT_EQ(GetList(kList), Padded({"new.xls", "a.xls", "", "c.xls"}));
}

TEST(Registry, FullListDropsTheOldest) {
  RegistryBackup backup(ListNames(kList));
  std::vector<std::string> full;
  for (int i = 0; i < kRecentEntries; ++i) full.push_back("book" + std::to_string(i) + ".xls");
  SetList(kList, full);
  SaveRecentList("C:\\new.xls", kList);
  std::vector<std::string> expected = {"C:\\new.xls"};
  expected.insert(expected.end(), full.begin(), full.end() - 1);
  EXPECT_EQ(GetList(kList), expected);
  // The item already in the list, as the oldest entry: nothing falls off.
  SaveRecentList("book8.xls", kList);
  expected.pop_back();
  expected.insert(expected.begin(), "book8.xls");
  EXPECT_EQ(GetList(kList), expected);
}

TEST(Registry, LoadRecentListFillsAComboBoxNewestFirst) {
  RegistryBackup backup(ListNames(kList));
  SetList(kList, {"first.xls", "", "third.xls"});
  HWND combo = CreateWindowA("COMBOBOX", "", CBS_DROPDOWN | WS_POPUP, 0, 0, 200, 200, nullptr, nullptr,
                             GetModuleHandleA(nullptr), nullptr);
  ASSERT_NE(combo, nullptr);
  SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>("already there"));
  LoadRecentList(combo, kList);
  ASSERT_EQ(SendMessageA(combo, CB_GETCOUNT, 0, 0), 3);
  char item[64];
  SendMessageA(combo, CB_GETLBTEXT, 1, reinterpret_cast<LPARAM>(item));
  EXPECT_STREQ(item, "first.xls");
  SendMessageA(combo, CB_GETLBTEXT, 2, reinterpret_cast<LPARAM>(item));
  EXPECT_STREQ(item, "third.xls");
  DestroyWindow(combo);
}

}  // namespace
#endif
