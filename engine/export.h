// Sheet export: one worksheet of the open workbook as one delimited text file.
#pragma once

#include <string>
#include <string_view>

#include "../platform/platform.h"
#include "output_file.h"
#include "output_name.h"
#include "settings.h"

// Writes settings.sheet of settings.book. `sheetName` names the output file
// when the run has no output file of its own (the caller passes the sheet's
// name in upper case). Success and failure show in the output file, the
// status word, the activity log or a failure message, the record count and
// the failure counters of the settings.
void ExportSheet(platform::Window window, ConverterSettings& settings, const char* sheetName);

// The name failures give for the output of settings.toStandardOutput.
inline constexpr const char* kStandardOutputName = "standard output";

// Writes `text`, and in front of every byte equal to `quote` the settings'
// escape text. The export passes the double quote for an enclosed string and
// NUL otherwise, so escaping happens only inside enclosed strings.
void WriteField(const ConverterSettings& settings, OutputFile& out, std::string_view text, char quote);
