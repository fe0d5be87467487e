#pragma once
#include "engine/progress.h"

struct ProgressLog {
  int range = -1;
  int steps = 0;
  int lastRow = -1;
};
ProgressLog& Progress();
