// Arguments beyond the sixth are ignored; each numeric one is read by atoi or
// atof, so text that is not a number reads as 0.
#include "run/program/settings.h"

#include "run/numbers/scan.h"

namespace floveran {

RunSettings read_settings(int argument_count, const char* const* arguments) {
  RunSettings settings;
  if (argument_count >= 1) settings.input_name = arguments[0];
  if (argument_count >= 2) settings.output_name = arguments[1];
  if (argument_count >= 3) settings.head_rows = atoi(arguments[2]);
  if (argument_count == 4) {
    settings.column_count_given = true;
    settings.column_count = atoi(arguments[3]);
  }
  if (argument_count >= 5) {
    settings.timestep_hours = atof(arguments[4]);
    // Also catches a time step that is not a number at all; atof gives none of those.
    if (!(settings.timestep_hours > 0.0)) settings.timestep_hours = 1.0;
  }
  if (argument_count >= 6) settings.method = atoi(arguments[5]);
  return settings;
}

}  // namespace floveran
