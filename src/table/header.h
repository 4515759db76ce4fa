// The header pass: with the input at its first byte, writes the output title line,
// the area row and the copied header lines, and fills the areas from line 2;
// reports the columns whose area stays 0.
#pragma once

#include "table/run.h"

namespace floveran {

void copy_header_block(RunState& state, const RunSettings& settings);

}  // namespace floveran
