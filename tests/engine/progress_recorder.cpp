// The export's display operations, recorded for the tests.
#include "progress_recorder.h"

ProgressLog& Progress() {
  static ProgressLog log;
  return log;
}

void SetProgressRange(platform::Window, int rowCount) { Progress().range = rowCount; }
void StepProgress(platform::Window) { ++Progress().steps; }
void ShowTimeEstimate(platform::Window, std::time_t, std::time_t, int row, int) {
  ProgressLog& log = Progress();
  log.lastRow = row;
  if (row == log.cancelAtRow && log.cancel) log.cancel->store(1);
}
