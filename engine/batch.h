// The unattended conversion over every workbook that settings.sourceFile
// names or matches (wildcards * and ? in its last component).
#pragma once

#include "settings.h"

// Result: 0 when every matching workbook could be read (also when nothing
// matched), 3 when at least one could not; the others are still converted.
int RunBatch(ConverterSettings& settings);
