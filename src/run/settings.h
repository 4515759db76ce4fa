// RunSettings: the six positional arguments of the command line with their
// defaults, read once before any file is opened and never changed afterwards.
#pragma once

#include <cstdint>
#include <string>

namespace floveran {

struct RunSettings {
  int argument_count = 0;          // positional arguments given (beyond the sixth ignored)
  std::string input_name;          // argument 1
  std::string output_name;         // argument 2
  std::int32_t head_rows = 5;      // argument 3 by atoi, when at least 3 are given
  bool column_count_given = false; // exactly 4 arguments: argument 4 sets the count
  std::int32_t column_count = 0;   // settled by column detection
  double timestep_hours = 1.0;     // argument 5 by atof; not above 0 means 1.0
  std::int32_t method = 1;         // argument 6 by atoi; 1 converts into mm per time step
};

// Reads the arguments after the program name.
RunSettings read_settings(int argument_count, const char* const* arguments);

}  // namespace floveran
