// The command line: up to six positional arguments read into RunSettings with
// their defaults, before any file is opened; and the threads of the run, from the
// environment or the processors the process may run on.
#pragma once

#include <string>

#include "table/run.h"

namespace floveran {

// Reads the arguments after the program name.
RunSettings read_settings(int argument_count, const char* const* arguments);

// Reports on standard error each numeric argument the settings took whose text is
// not wholly a number, and a time step not above 0, with what it was read as.
void report_argument_readings(Diagnostics& diagnostics, int argument_count, const char* const* arguments,
                              const RunSettings& settings);

// The threads that convert records: FLOVERAN_THREADS when it is a whole number
// above 0 (at most kMostThreads are used), else the processors the process may run
// on; and, for tests only, the chunk size FLOVERAN_CHUNK_BYTES. Returns the text
// of a FLOVERAN_THREADS that is set but not such a number, to be told of, or "".
std::string read_thread_settings(RunSettings& settings);

}  // namespace floveran
