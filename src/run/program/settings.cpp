// Arguments beyond the sixth are ignored; each numeric one is read by atoi or
// atof, so text that is not a number reads as 0, and standard error tells of it.
// The environment is read only for the threads: how many, and, for tests, the size
// of the chunks they take.
#include "run/program/settings.h"

#include <algorithm>
#include <cstdlib>

#include "run/numbers/scan.h"
#include "run/streams/platform.h"

namespace floveran {
namespace {

// A whole number above 0, of digits alone, held to `most`; 0 for any other text.
std::uint64_t count_setting(std::string_view text, std::uint64_t most) {
  if (text.empty() || !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return 0;
  }
  std::uint64_t value = 0;
  for (const char c : text) {
    value = std::min(most, value * 10 + static_cast<std::uint64_t>(c - '0'));
  }
  return value;
}

std::string_view environment(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

}  // namespace

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

std::string read_thread_settings(RunSettings& settings) {
  const std::string_view threads = environment("FLOVERAN_THREADS");
  const std::uint64_t asked = count_setting(threads, kMostThreads);
  settings.threads = asked > 0 ? static_cast<std::int32_t>(asked)
                               : std::min(platform::available_processors(), kMostThreads);
  settings.threads_asked = asked > 0;
  settings.chunk_bytes = static_cast<std::size_t>(count_setting(environment("FLOVERAN_CHUNK_BYTES"), 1 << 30));
  return asked > 0 || threads.empty() ? std::string() : std::string(threads);
}

}  // namespace floveran
