// The activity log ("wizards.log" in the user's application-data folder)
// and the status report (key Result of section TABREVO in the status file).
#pragma once

#include <string>

#include "settings.h"

// Message kinds of WriteLogLine.
enum LogKind : unsigned {
  kLogStart = 0,         // "Start. <sourceFile> -> <outputFile>"
  kLogStop = 1,          // "Stop. <recordCount> records have been imported."
  kLogCannotCreate = 2,  // "Cannot create output file."
  kLogText = 3,          // any other kind: the text argument
};

// The source name every caller passes.
inline constexpr const char* kLogSource = "TABREVO";

// Status words.
inline constexpr const char* kStatusWelcome = "Welcome dialog";
inline constexpr const char* kStatusSource = "Source file selection";
inline constexpr const char* kStatusOutput = "Output file selection";
inline constexpr const char* kStatusInProgress = "Conversion In Progress";
inline constexpr const char* kStatusFailed = "Failed";
inline constexpr const char* kStatusCancelled = "Cancelled";
inline constexpr const char* kStatusSuccessful = "Successful";

// Path of the activity log file.
std::string ActivityLogPath();

// Appends one line: line break, local date and time, the source name padded
// to 10 characters, the message. Best effort: a log that cannot be written
// is skipped without a report.
void WriteLogLine(const char* source, const ConverterSettings& settings, unsigned kind, const char* text);
// The same line appended to the log file at `path`.
void AppendLogLine(const std::string& path, const char* source, const ConverterSettings& settings,
                   unsigned kind, const char* text);

// The message text of a kind, as WriteLogLine writes it.
std::string LogMessage(const ConverterSettings& settings, unsigned kind, const char* text);

// Records a status word in settings.statusFile (nothing when it is empty).
// Best effort.
void WriteStatus(const char* word, const ConverterSettings& settings);

// The end of a run in the status file: Failures=<RunFailures> and then the
// status word "Successful", which callers wait for as the end of the run
// (also when some workbooks or sheets failed: the count tells how many).
// Nothing when settings.statusFile is empty. Best effort.
void WriteRunEndStatus(const ConverterSettings& settings);
