// The run driver: one conversion from the command line to its exit status.
#pragma once

namespace floveran {

// Runs the tool on the arguments after the program name and returns the exit
// status. Everything the run prints goes to standard output.
int run_conversion(int argument_count, const char* const* arguments);

}  // namespace floveran
