#include "activity_log.h"

#include <cstdio>
#include <ctime>

#include "../platform/platform.h"

std::string ActivityLogPath() {
  std::string path = platform::AppDataFolder();
  if (path.empty() || !platform::IsPathSeparator(path.back())) path += platform::kPathSeparator;
  path += "wizards.log";
  return path;
}

std::string LogMessage(const ConverterSettings& s, unsigned kind, const char* text) {
  switch (kind) {
    case kLogStart: return "Start. " + s.sourceFile + " -> " + s.outputFile;
    case kLogStop: return "Stop. " + std::to_string(s.recordCount) + " records have been imported.";
    case kLogCannotCreate: return "Cannot create output file.";
    default: return text ? text : "";
  }
}

void WriteLogLine(const char* source, const ConverterSettings& s, unsigned kind, const char* text) {
  AppendLogLine(ActivityLogPath(), source, s, kind, text);
}

void AppendLogLine(const std::string& path, const char* source, const ConverterSettings& s, unsigned kind,
                   const char* text) {
  std::tm t = platform::LocalTime(std::time(nullptr));
  std::string message = LogMessage(s, kind, text);
  char head[64];
  std::snprintf(head, sizeof head, "\n%04d.%02d.%02d %02d:%02d:%02d ", t.tm_year + 1900, t.tm_mon + 1,
                t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec);
  std::string line = head;
  std::string name = source ? source : "";
  if (name.size() < 10) name.append(10 - name.size(), ' ');
  line += name;
  line += ' ';
  line += message;
#ifdef _WIN32
  // A text file: every line break is stored as carriage return and line feed.
  std::string stored;
  stored.reserve(line.size() + 2);
  for (char c : line) {
    if (c == '\n') stored += '\r';
    stored += c;
  }
  line.swap(stored);
#endif
  // One append of the whole line, so that the lines of processes writing at
  // the same time never mix. A log that cannot be written is skipped.
  platform::AppendToFile(path, line);
}

void WriteStatus(const char* word, const ConverterSettings& s) {
  if (s.statusFile.empty()) return;
  platform::IniWriteString(s.statusFile, "TABREVO", "Result", word);
}

void WriteRunEndStatus(const ConverterSettings& s) {
  if (s.statusFile.empty()) return;
  // The count goes first, so that whoever sees the last word finds it.
  platform::IniWriteString(s.statusFile, "TABREVO", "Failures", std::to_string(RunFailures(s)));
  WriteStatus(kStatusSuccessful, s);
}
