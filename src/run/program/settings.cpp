// Arguments beyond the sixth are ignored; each numeric one is read by atoi or
// atof, so text that is not a number reads as 0, and standard error tells of it.
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

void report_argument_readings(Diagnostics& diagnostics, int argument_count, const char* const* arguments,
                              const RunSettings& settings) {
  const auto report_integer = [&](int position, std::int32_t value) {
    const std::string_view text = arguments[position - 1];
    if (!is_whole_integer(text)) {
      report_argument(diagnostics, {.position = position,
                                    .text = text,
                                    .value = static_cast<double>(value),
                                    .whole_number = false});
    }
  };
  if (argument_count >= 3) report_integer(3, settings.head_rows);
  if (argument_count == 4) report_integer(4, settings.column_count);
  if (argument_count >= 5) {
    const std::string_view text = arguments[4];
    const bool whole_number = is_whole_decimal(text);
    const double value = atof(text);
    const bool replaced = settings.timestep_hours != value;  // by read_settings' rule
    if (!whole_number || replaced) {
      report_argument(diagnostics, {.position = 5, .text = text, .value = value, .whole_number = whole_number,
                                    .timestep_replaced = replaced});
    }
  }
  if (argument_count >= 6) report_integer(6, settings.method);
}

}  // namespace floveran
