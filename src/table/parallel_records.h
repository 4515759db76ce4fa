// The record loop on several threads, writing exactly the bytes of one: the input
// behind the loop's position is cut into chunks at line starts, worker threads run
// the record loop on each chunk alone into memory, and the chunks are written in
// order. A chunk counts only when its loop met nothing to tell; at the first that
// did, its bytes and all behind them go back to the run's own loop.
#pragma once

#include <cstdint>

#include "table/records.h"
#include "table/run.h"

namespace floveran {

// Where the run's own loop hands its records over to the threads, as a pause of
// convert_record_stretch: at the first record of a table of a few megabytes or
// more, or, for an input whose size is not known before (a pipe), once that much
// has been read; kNoPause for one thread or a smaller table.
std::uint64_t parallel_start(const TextInput& in, const RunSettings& settings);

// Converts the records from the input's position on, at a record's start, on
// settings.threads threads, this one among them (fewer where other work keeps
// processors busy, unless FLOVERAN_THREADS asked for them), and writes them to the run's output and console,
// counting them in `tally`. Returns with the input at the first byte that was not
// converted, with its line count, for the run's own loop to go on from: at its
// end when every chunk counted, or where a chunk met something to tell.
void convert_records_in_parallel(RunState& state, const RunSettings& settings, RecordTally& tally);

}  // namespace floveran
