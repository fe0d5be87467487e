#include "program_entry.h"

#include "engine/activity_log.h"
#include "engine/batch.h"
#include "engine/parameters.h"
#include "ini_settings.h"

bool HasWildcard(std::string_view text) { return text.find_first_of("*?") != std::string_view::npos; }

Road ChooseRoad(const ConverterSettings& s) {
  if (s.silent) return Road::kUnattended;
  if (s.batch && HasWildcard(s.sourceFile)) return Road::kUnattended;
  return Road::kWizard;
}

void BuildSettings(ConverterSettings& s, const std::string& iniPath, int count,
                   const char* const* arguments) {
  SetDefaultSettings(s);
  LoadIniSettingsFrom(iniPath, s);
  ParseParameters(s, count, arguments);
}

int RunUnattended(ConverterSettings& s) {
  ParseFieldDelimiter(s, s.fieldDelimiter);
  ParseRecordDelimiter(s, s.recordDelimiter);
  int result = RunBatch(s);
  // Callers watch the status file for the end of the run: the last word is
  // always "Successful", earlier "Failed" words of the run are overwritten;
  // Failures= beside it tells whether everything was converted.
  WriteRunEndStatus(s);
  return result;
}

int MissingNameExitCode(const ConverterSettings& s) {
  if (s.sourceFile.empty()) return kExitNoSource;
  if (s.outputFile.empty() && s.outputFolder.empty()) return kExitNoOutput;
  return kExitConverted;
}

int ExitCodeFor(const ConverterSettings& s, int batchResult) {
  if (s.writeFailures > 0) return kExitWriteFailure;
  if (s.readFailures > 0 || batchResult != 0) return kExitReadFailure;
  return kExitConverted;
}
