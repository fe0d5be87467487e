// Streaming a sheet's rows to a sink: on the calling thread, or with the
// parser on a thread of its own, filling batches of rows while the calling
// thread hands the rows of the batch before to the sink, so that reading
// the records and what the sink does with the rows (rendering, writing)
// overlap. The second is for large sheets whose reading has no thread of
// its own (the binary .xls sheets).
#pragma once

#include <optional>

#include "reader/core/book.h"
#include "reader/core/cell_store.h"

namespace reader {

// What reading a sheet in streaming mode ended with.
struct StreamOutcome {
  Status status;             // the loader's
  bool sinkStopped = false;  // the sink said stop
  bool disordered = false;   // cells came out of row-major order
  bool outOfMemory = false;
  // As StreamRows tells it: a stop by the sink comes before any disorder
  // met after it, out of memory counts as damage.
  XlSheet::StreamResult result() const;
};

// Runs `loader` in streaming mode on this thread, its extent and rows to
// `sink` as they are read.
StreamOutcome StreamHere(const SheetLoader& loader, RowSink& sink);

// Runs `loader` in streaming mode on a second thread and gives its extent
// and rows to `sink` on this one, in the order the parser met them, with
// the result reading on this thread would have had (rows parsed after a
// stop are dropped). Nothing when no thread could be started; nothing was
// read then.
std::optional<XlSheet::StreamResult> RelayRows(const SheetLoader& loader, RowSink& sink);

}  // namespace reader
