#include "ini_settings.h"

#include "platform/platform.h"

namespace {

constexpr const char* kSection = "Common";

}  // namespace

std::string IniPathFor(const std::string& programPath) {
  // Only a full stop inside the file name starts the extension: a program
  // without one in a folder such as ~/.local/bin gets tabrevo.ini beside it,
  // not a file named after the folder.
  size_t sep = platform::LastSeparator(programPath);
  size_t nameStart = sep == std::string::npos ? 0 : sep + 1;
  size_t dot = programPath.rfind('.');
  std::string path = programPath;
  if (dot != std::string::npos && dot >= nameStart) path.resize(dot);
  path += ".ini";
  return path;
}

std::string IniSettingsPath() {
  std::string program = platform::ExecutablePath();
  // Without a path of its own the program has no settings file; an empty
  // name never reads or writes anything.
  if (program.empty()) return std::string();
  return IniPathFor(program);
}

void LoadIniSettingsFrom(const std::string& iniPath, ConverterSettings& s) {
  if (iniPath.empty()) {
    s.logEnabled = 0;
    s.overwrite = kOverwriteYes;
    s.openResult = 1;
    return;
  }
  s.logEnabled = platform::IniReadInt(iniPath, kSection, "Log", 0);
  s.overwrite = platform::IniReadInt(iniPath, kSection, "OverWrite", kOverwriteYes);
  s.openResult = platform::IniReadInt(iniPath, kSection, "Open", 1);
}

void SaveIniSettingsTo(const std::string& iniPath, const ConverterSettings& s) {
  if (iniPath.empty()) return;
  // Each key is written on its own, results unexamined: saving settings is
  // best effort and never fails the run.
  platform::IniWriteString(iniPath, kSection, "Log", std::to_string(s.logEnabled));
  platform::IniWriteString(iniPath, kSection, "OverWrite", std::to_string(s.overwrite));
  platform::IniWriteString(iniPath, kSection, "Open", std::to_string(s.openResult));
}

void LoadIniSettings(ConverterSettings& s) { LoadIniSettingsFrom(IniSettingsPath(), s); }

void SaveIniSettings(const ConverterSettings& s) { SaveIniSettingsTo(IniSettingsPath(), s); }
