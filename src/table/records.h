// The record loop: converts the records one by one and shows the progress, a
// month line at the first time step of each month and a dot at the first time step
// of each day.
#pragma once

#include "run/settings.h"
#include "run/state.h"

namespace floveran {

void convert_records(RunState& state, const RunSettings& settings);

}  // namespace floveran
