#pragma once
#include <atomic>
#include <cstdint>

#include "engine/progress.h"

struct ProgressLog {
  int range = -1;
  int steps = 0;
  int lastRow = -1;
  // A cancel as the wizard's Cancel makes it: set while the row with this
  // index is being written, so that it is seen before the next row.
  int cancelAtRow = -1;
  std::atomic<int32_t>* cancel = nullptr;
};
ProgressLog& Progress();
