// The records of one run: RunSettings, the settings of the command line, and
// RunState, the streams, the diagnostics and the areas the phases work with. The
// program fills and owns both and lends them to the phases of this folder: column
// detection, the header pass and the record loop.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "run/streams/text_input.h"
#include "run/streams/text_output.h"
#include "table/diagnostics.h"

namespace floveran {

// Read from the command line (and the environment, for the threads) before any
// file is opened; column_count is settled by column detection, and nothing changes
// after that.
struct RunSettings {
  std::string input_name;          // argument 1
  std::string output_name;         // argument 2
  std::int32_t head_rows = 5;      // argument 3 by atoi, when at least 3 are given
  bool column_count_given = false; // exactly 4 arguments: argument 4 sets the count
  std::int32_t column_count = 0;   // argument 4 by atoi, or counted on the area line
  double timestep_hours = 1.0;     // argument 5 by atof; not above 0 means 1.0
  std::int32_t method = 1;         // argument 6 by atoi; 1 converts into mm per time step
  std::int32_t threads = 1;        // threads that convert records: FLOVERAN_THREADS, or the
                                   // processors the process may run on, at most kMostThreads
  bool threads_asked = false;      // FLOVERAN_THREADS set them; else processors that other
                                   // programs keep busy are left to them
  std::size_t chunk_bytes = 0;     // the part of the input a thread takes at a time; 0:
                                   // chosen by the thread count (FLOVERAN_CHUNK_BYTES, for tests)
};

// More threads than this would wait on the one that reads and writes.
inline constexpr std::int32_t kMostThreads = 64;

struct RunState {
  TextInput input;
  TextOutput output;
  TextOutput console;         // progress marks are held here until the next message or read
  Diagnostics diagnostics;    // standard error
  std::vector<double> areas;  // area of column c at index c; index 0 unused
};

// The largest column count whose areas are allocated: 2^27 columns (1 GiB of
// areas), far beyond any gauge table; an area line that long would itself be
// gigabytes of text.
inline constexpr std::int64_t kMaxColumns = std::int64_t{1} << 27;

// Allocates column_count + 1 zeroed areas, none for a count of 0 or less. False
// when they cannot be had.
bool allocate_areas(RunState& state, std::int32_t column_count);

}  // namespace floveran
