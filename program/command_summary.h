// The command-line summary of a wizard run: the run's settings written as
// keyword parameters, so that the same conversion can be repeated
// unattended by pasting the text behind the program's name.
#pragma once

#include <string>
#include <string_view>

#include "engine/settings.h"

// One argument as the Windows C runtime splits a command line: unchanged
// when it holds no blank, tab, line break or double quote, else enclosed in
// double quotes with its double quotes and the backslashes before them
// escaped.
std::string CommandLineArgument(std::string_view text);

// The summary text: source, output, the keyword parameters (each followed
// by one blank), then a line feed and "/SILENT ". Every value reads back
// through the parameter parser to the setting it was written from. The
// sheet selection is written as SHEETS= when fewer than all sheets of the
// open book are selected; the log switch and the column settings are not
// written.
std::string CommandLineSummary(const ConverterSettings& settings);
