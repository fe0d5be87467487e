#include "program/wizard/page_choices.h"

#include <cstdio>

#include "engine/settings.h"

namespace {

template <size_t N>
int WordIndex(const char* const (&words)[N], std::string_view word) {
  for (size_t i = 0; i < N; ++i)
    if (EqualsNoCase(word, words[i])) return static_cast<int>(i);
  return -1;
}

}  // namespace

int FieldWordIndex(std::string_view word) { return WordIndex(kFieldWords, word); }

int RecordWordIndex(std::string_view word) { return WordIndex(kRecordWords, word); }

std::vector<std::string> SelectedSheetNames(const std::vector<std::string>& chosenEntries) {
  std::vector<std::string> names;
  names.reserve(chosenEntries.size());
  for (const std::string& entry : chosenEntries) names.push_back(UpperAscii(entry));
  return names;
}

std::string HelpFilePath(std::string_view programPath) {
  // Windows takes "/" between folders as well as "\".
  const size_t folderEnd = programPath.find_last_of("\\/");
  if (folderEnd == std::string_view::npos) return "wizards.chm";
  std::string path(programPath.substr(0, folderEnd));
  path += "\\wizards.chm";
  return path;
}

std::string FolderWithoutTrailingSeparator(std::string_view folder) {
  if (!folder.empty() && folder.back() == '\\') folder.remove_suffix(1);
  return std::string(folder);
}

std::string RecordsLine(long long records) {
  char line[64];
  std::snprintf(line, sizeof line, "%lld records have been imported.", records);
  return line;
}
