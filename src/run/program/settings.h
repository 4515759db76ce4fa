// The command line: up to six positional arguments read into RunSettings with
// their defaults, before any file is opened.
#pragma once

#include "table/run.h"

namespace floveran {

// Reads the arguments after the program name.
RunSettings read_settings(int argument_count, const char* const* arguments);

// Reports on standard error each numeric argument the settings took whose text is
// not wholly a number, and a time step not above 0, with what it was read as.
void report_argument_readings(Diagnostics& diagnostics, int argument_count, const char* const* arguments,
                              const RunSettings& settings);

}  // namespace floveran
