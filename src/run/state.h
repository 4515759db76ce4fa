// RunState: everything a run works with, owned by the driver from start to end and
// lent to the phases of column detection, header pass and record loop.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "run/text_input.h"
#include "run/text_output.h"

namespace floveran {

struct RecordDate {
  std::int32_t year = 0;
  std::int32_t month = 0;
  std::int32_t day = 0;
  std::int32_t hour = 0;
};

struct RunState {
  TextInput input;
  TextOutput output;
  std::string line_buffer;   // line 2 and the working string of column detection
  std::string token_buffer;  // the token column detection examined last
  std::vector<double> areas; // area of column c at index c; index 0 unused
  RecordDate date;
  double value = 0.0;
  bool end_of_data = false;
};

// The largest column count whose areas are allocated: 2^27 columns (1 GiB of
// areas), far beyond any gauge table; an area line that long would itself be
// gigabytes of text.
inline constexpr std::int64_t kMaxColumns = std::int64_t{1} << 27;

// Allocates column_count + 1 zeroed areas, none for a count of 0 or less; ends the
// run with "not enough memory for %d columns\n" and status 2 when they cannot be had.
void allocate_areas(RunState& state, std::int32_t column_count);

}  // namespace floveran
