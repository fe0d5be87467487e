#include "command_line.h"

#include <cstdio>

#include "ini_settings.h"
#include "program_entry.h"
#include "progress_line.h"

std::string UsageText() {
  return "usage: tabrevo WORKBOOK (FOLDER | FILE.csv | FILE.txt) [/KEYWORD[=VALUE] ...]\n"
         "\n"
         "Writes every sheet of WORKBOOK (.xls or .xlsx) as delimited text: one file per sheet,\n"
         "named after it, in FOLDER, or all sheets one after another into FILE. WORKBOOK may\n"
         "hold * and ? in its file name; quote it so that tabrevo, not the shell, expands it.\n"
         "Keywords begin with / or -:\n"
         "  /FIELDS=x   field delimiter: a text, TAB, PIPE or NONE (default ,)\n"
         "  /RECORDS=x  record delimiter: CRLF (default), CR, LF, NONE or a text; RECORDS=0 no rows\n"
         "  /QUOTES=0   strings without double quotes   /QUOTEALL=1  every cell in quotes\n"
         "  /ESCAPE=x   text before an inner double quote: DQ (default), SQ or a text\n"
         "  /OVERWRITE=YES|NO|SKIP   replace (default), append to or keep existing files\n"
         "  /OEM  strings in code page 437   /LOG  append failures to wizards.log\n"
         "  /STATUS=file  record the run's status word   /SILENT  no progress line\n"
         "Settings Log, OverWrite and Open of section [Common] in tabrevo.ini beside the\n"
         "program apply before the keywords.\n"
         "\n"
         "Examples:\n"
         "  tabrevo book.xlsx ./out\n"
         "  tabrevo 'data/*.xls' ./out/all.txt -FIELDS=TAB -QUOTES=0 -LOG\n"
         "\n"
         "Exit codes: 0 converted, 1 no workbook given, 2 no output given, 3 a workbook or\n"
         "sheet could not be read, 4 an output file could not be written.\n";
}

int ExitCodeFor(const ConverterSettings& s, int batchResult) {
  if (s.writeFailures > 0) return kExitWriteFailure;
  if (s.readFailures > 0 || batchResult != 0) return kExitReadFailure;
  return kExitConverted;
}

int RunCommandLine(int count, const char* const* arguments) {
  ConverterSettings settings{};
  BuildSettings(settings, IniSettingsPath(), count, arguments);
  // The checks of the library's export: nothing is touched without a source
  // and an output. Without an output the export would write into the current
  // folder, which nobody asked for.
  if (settings.sourceFile.empty()) {
    std::fputs(UsageText().c_str(), stderr);
    return kExitNoSource;
  }
  if (settings.outputFile.empty() && settings.outputFolder.empty()) {
    std::fprintf(stderr,
                 "tabrevo: no output given for %s: name an output folder or an output file "
                 "(.csv or .txt)\n",
                 settings.sourceFile.c_str());
    return kExitNoOutput;
  }
  bool progress = WantProgressLine(settings);
  if (progress) EnableProgressLine(&settings);
  int result = RunUnattended(settings);
  if (progress) {
    ClearProgressLine();
    EnableProgressLine(nullptr);
  }
  return ExitCodeFor(settings, result);
}
