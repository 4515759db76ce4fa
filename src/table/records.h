// The record loop: converts the records one by one and shows the progress on the
// console, a month line at the first time step of each month and a dot at the
// first time step of each day. It ends at the first record that cannot be read,
// with the console as quiet as ever, and early when the output fails (the
// output's error then tells). Standard error gets each record that was read on
// into a later line, and where the loop stopped when input other than white space
// was left.
//
// The loop runs in stretches that return whenever they meet something to tell, so
// that the same loop serves the run's own streams and a part of the input in
// memory (parallel_records.h), where anything to tell means that part is left to
// the run's own loop.
#pragma once

#include <cstdint>
#include <limits>
#include <vector>

#include "table/run.h"

namespace floveran {

// Where a record that showed a progress mark began in an output kept in memory,
// and the console's length behind its mark.
struct MarkPlace {
  std::size_t output_at = 0;
  std::size_t console_end = 0;
};

// The streams one stretch of the loop works on, and the areas (areas[c] for
// column c).
struct RecordStreams {
  TextInput& input;
  TextOutput& output;
  TextOutput& console;  // the progress marks
  const std::vector<double>& areas;
  std::vector<MarkPlace>* marks = nullptr;  // when set, each mark's place is noted
};

// What the loop found on its way, reported when it ends.
struct RecordTally {
  std::int64_t records = 0;        // rows written, in full or in part
  bool stopped = false;            // a scan failed: `stop` says where
  RecordStop stop;
  std::int32_t unread_values = 0;  // of the record in which a value failed, ...
  std::int64_t record_line = 0;    // ... the line it began on ...
  std::int64_t last_line = 0;      // ... and the line its reading ended on
  std::int64_t read_on_from = 0;   // the record read on that a stretch returned for:
  std::int64_t read_on_to = 0;     // the line it began on and the line it ended on
};

// Why a stretch returned.
enum class StretchEnd {
  input_ended,    // the end of the input where a record would begin: nothing to tell
  read_on,        // a record was read on into a later line (read_on_from and
                  // read_on_to); the rest of that line is still to be skipped
  scan_failed,    // a scan failed: the tally says where; the loop is over
  output_failed,  // the output's error tells; the loop is over
  paused,         // where a record may begin, the input having been read to the pause
};

inline constexpr std::uint64_t kNoPause = std::numeric_limits<std::uint64_t>::max();

// Converts records from the input's position on, counting them in `tally`, until
// one of the ends above; it pauses in front of a record once the file has been
// read to `pause_at` bytes or more (TextInput::raw_bytes_read).
StretchEnd convert_record_stretch(const RecordStreams& streams, const RunSettings& settings, RecordTally& tally,
                                  std::uint64_t pause_at = kNoPause);

// The record loop of a run, from the first record to its end reports. Tables of a
// few megabytes or more are converted by several threads when settings.threads
// is above 1 (parallel_records.h), with the same bytes as one.
void convert_records(RunState& state, const RunSettings& settings);

}  // namespace floveran
