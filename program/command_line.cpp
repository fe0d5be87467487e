#include "command_line.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string_view>
#include <system_error>

#include "ini_settings.h"
#include "program_entry.h"
#include "progress_line.h"

std::string UsageText() {
  return "usage: tabrevo WORKBOOK (FOLDER | FILE.csv | FILE.txt | -) [/KEYWORD[=VALUE] ...]\n"
         "       tabrevo --help | -h | --version\n"
         "\n"
         "Writes every sheet of WORKBOOK as delimited text: one file per sheet, named after it,\n"
         "in FOLDER, or all sheets one after another into FILE, or with - to standard output\n"
         "(OVERWRITE= does not apply to it). WORKBOOK is the first name\n"
         "ending in .xls, .xlsx, .xlsm, .xlsb, .xlt, .xltx or .xltm (the content decides how\n"
         "it is read); it may hold * and ? in its file name: quote it so that tabrevo, not the\n"
         "shell, expands it. FOLDER needs five characters or more: ./out, not out.\n"
         "Keywords begin with / or -:\n"
         "  /FIELDS=x   field delimiter: a text, TAB, PIPE or NONE (default ,)\n"
         "  /RECORDS=x  record delimiter: CRLF (default), CR, LF, NONE or a text; RECORDS=0 no rows\n"
         "  /QUOTES=0   strings without double quotes   /QUOTEALL=1  every cell in quotes\n"
         "  /ESCAPE=x   text before an inner double quote: DQ (default), SQ or a text\n"
         "  /CRLF=KEEP|REMOVE|REPLACE  line breaks inside strings: kept (default), removed or \\r\\n\n"
         "  /OVERWRITE=YES|NO|SKIP   replace (default), append to or keep existing files\n"
         "  /OEM  strings in code page 437   /LOG  append failures to wizards.log\n"
         "  /SHEETS=a;b  only these sheets   /BOM  UTF-8 byte-order mark at the start of new files\n"
         "  /ERRORS=TEXT  error cells as #DIV/0!, #N/A...   /UTF8  accepted (strings are UTF-8)\n"
         "  /STATUS=file  record the run's status word and failure count   /SILENT  no progress line\n"
         "Settings Log, OverWrite and Open of section [Common] in tabrevo.ini beside the\n"
         "program apply before the keywords.\n"
         "\n"
         "Examples:\n"
         "  tabrevo book.xlsx ./out\n"
         "  tabrevo 'data/*.xls' ./out/all.txt -FIELDS=TAB -QUOTES=0 -LOG\n"
         "\n"
         "  tabrevo book.xlsb - /RECORDS=LF | head\n"
         "\n"
         "Exit codes: 0 converted, 1 no workbook given, 2 no output given (or - together with\n"
         "another output), 3 a workbook or sheet could not be read, 4 an output file could not\n"
         "be written. More in the manual page: man tabrevo\n";
}

std::string VersionText() { return "tabrevo " TABREVO_VERSION "\n"; }

namespace {

// A folder name that the parameters take: ./out for out, or the absolute
// form when even that is too short (./a).
std::string FolderSuggestion(std::string_view arg) {
  std::string relative = "./" + std::string(arg);
  if (relative.size() > 4) return relative;
  std::error_code ec;
  std::filesystem::path cwd = std::filesystem::current_path(ec);
  if (ec) return relative;
  return (cwd / std::string(arg)).lexically_normal().string();
}

// Tells about every bare argument that the parameters skipped for being
// four characters or fewer: the user most likely meant it as the output
// folder.
void ExplainSkippedShortNames(int count, const char* const* arguments) {
  for (int i = 1; i < count; ++i) {
    std::string_view arg = arguments[i] ? arguments[i] : "";
    if (arg.empty() || arg.size() > 4 || arg[0] == '/' || arg[0] == '-') continue;
    std::string line = "tabrevo: \"" + std::string(arg) +
                       "\" was not taken as a folder (a name of four characters or fewer is "
                       "skipped); write it as " +
                       FolderSuggestion(arg) + "\n";
    std::fputs(line.c_str(), stderr);
  }
}

// Writes all of `text` to standard output; false when it could not.
bool PrintToStandardOutput(const std::string& text) {
  return std::fwrite(text.data(), 1, text.size(), stdout) == text.size() && std::fflush(stdout) == 0;
}

}  // namespace

int RunCommandLine(int count, const char* const* arguments) {
  // --help, -h and --version are answered before anything else. The keyword
  // language skips all three (no keyword is named "H", "-HELP" or
  // "-VERSION"), so they change no run that worked before; "-" likewise is
  // too short to be a name or a keyword.
  bool toStandardOutput = false;
  for (int i = 1; i < count; ++i) {
    std::string_view arg = arguments[i] ? arguments[i] : "";
    if (arg == "--help" || arg == "-h") return PrintToStandardOutput(UsageText()) ? 0 : kExitWriteFailure;
    if (arg == "--version") return PrintToStandardOutput(VersionText()) ? 0 : kExitWriteFailure;
    if (arg == "-") toStandardOutput = true;
  }

  // With standard output closed, the next file the process opens would take
  // its place, and the records would go into that file.
  if (toStandardOutput && ::fcntl(STDOUT_FILENO, F_GETFD) == -1) {
    std::fputs("tabrevo: standard output is closed: nowhere to write the records to\n", stderr);
    return kExitWriteFailure;
  }

  ConverterSettings settings{};
  BuildSettings(settings, IniSettingsPath(), count, arguments);
  if (toStandardOutput) {
    // Two outputs where the records go one way: rather than guess which one
    // was meant, nothing is converted.
    if (!settings.outputFile.empty() || !settings.outputFolder.empty()) {
      std::fprintf(stderr, "tabrevo: both - (standard output) and %s given as the output: name one\n",
                   (settings.outputFolder.empty() ? settings.outputFile : settings.outputFolder).c_str());
      return kExitNoOutput;
    }
    settings.toStandardOutput = true;
  }
  // The checks of the library's export: nothing is touched without a source
  // and an output. Without an output the export would write into the current
  // folder, which nobody asked for.
  if (settings.sourceFile.empty()) {
    std::fputs(UsageText().c_str(), stderr);
    return kExitNoSource;
  }
  if (settings.outputFile.empty() && settings.outputFolder.empty() && !settings.toStandardOutput) {
    std::fprintf(stderr,
                 "tabrevo: no output given for %s: name an output folder or an output file "
                 "(.csv or .txt)\n",
                 settings.sourceFile.c_str());
    ExplainSkippedShortNames(count, arguments);
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
