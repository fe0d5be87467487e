// The keyword parameter language: bare file and folder names, keywords
// behind "/" or "-".
#pragma once

#include "settings.h"

// Applies arguments[1] to arguments[count - 1] to the settings, in order.
// arguments[0] stands for the program's name and is never read.
void ParseParameters(ConverterSettings& settings, int count, const char* const* arguments);
