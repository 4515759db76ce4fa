// The record loop: converts the records one by one and shows the progress on the
// console, a month line at the first time step of each month and a dot at the
// first time step of each day. It ends at the first record that cannot be read,
// with the console as quiet as ever, and early when the output fails (the
// output's error then tells). Standard error gets each record that was read on
// into a later line, and where the loop stopped when input other than white space
// was left.
#pragma once

#include "table/run.h"

namespace floveran {

void convert_records(RunState& state, const RunSettings& settings);

}  // namespace floveran
