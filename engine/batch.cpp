#include "batch.h"

#include <string>
#include <vector>

#include "workbook.h"

int RunBatch(ConverterSettings& s) {
  // The pattern stays as given while sourceFile names each match in turn.
  const std::string pattern = s.sourceFile;

  // A folder names the output files after their sheets; an output file
  // given with it has no effect. The paths of an earlier run are not this
  // run's.
  if (!s.outputFolder.empty()) s.outputFile.clear();
  s.outputFileBuilt = false;
  s.pathsWritten.clear();

  const int32_t readFailuresBefore = s.readFailures;
  int result = 0;

  std::vector<std::string> names;
  if (!platform::FindFiles(pattern, &names)) {
#if TABREVO_PROGRAM
    // A workbook named without wildcards that does not exist is most often
    // a mistyped name: the program tries to open it, so that the failure is
    // reported with the reader's reason and the run does not end as a
    // success. A pattern that matches nothing stays a quiet, successful run,
    // and the library keeps its result 0 for both.
    if (!pattern.empty() && pattern.find_first_of("*?") == std::string::npos) {
      OpenWorkbook(nullptr, s, "");
      return s.readFailures > readFailuresBefore ? 3 : 0;
    }
#endif
    return 0;  // nothing matched
  }

  // Matches are found in the pattern's folder: everything up to its last
  // separator ("\" or "/" on Windows). A pattern without one names files of
  // the current folder.
  const size_t sep = platform::LastSeparator(pattern);
  const std::string folder = sep == std::string::npos ? std::string() : pattern.substr(0, sep + 1);

  for (const std::string& name : names) {
    // ".", ".." and hidden files.
    if (name.empty() || name[0] == '.') continue;
    s.sourceFile = folder + name;
    if (OpenWorkbook(nullptr, s, "")) {
      ConvertSelectedSheets(nullptr, s);
    } else {
      // No book could even be made (memory ran out): a workbook not read.
      result = 3;
      ++s.readFailures;
      platform::NoteFailure("Unable to read the workbook", s.sourceFile, "out of memory");
    }
  }

  // A workbook or sheet that could not be read (wholly) is no success either.
  if (s.readFailures > readFailuresBefore) result = 3;
  return result;
}
