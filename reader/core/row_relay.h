// Streaming a sheet with its parser on a thread of its own: the parser
// fills batches of rows while the calling thread hands the rows of the
// batch before to the sink, so that reading the records and what the sink
// does with the rows (rendering, writing) overlap. For sheets whose reading
// has no thread of its own (the binary .xls sheets, read from memory).
#pragma once

#include "reader/core/book.h"
#include "reader/core/cell_store.h"

namespace reader {

enum class RelayResult { Done, Stopped, Disordered, Damaged, NoThread };

// Runs `loader` in streaming mode on a second thread and gives its extent
// and rows to `sink` on this one, in the order the parser met them. The
// outcome is the one reading on this thread would have had: a stop by the
// sink ends the reading (rows parsed after it are dropped), and out of
// memory on either side counts as damage. NoThread when no thread could be
// started; nothing was read then.
RelayResult RelayRows(const SheetLoader& loader, RowSink& sink);

}  // namespace reader
