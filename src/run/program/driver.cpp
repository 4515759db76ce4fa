// The run, in its fixed order: banner; settings; input opened, then output;
// column detection; areas; rewind; header pass; record loop; files closed;
// "fertig..". The phases and the streams report failures as values; this is the
// one place that turns them into a message and an exit status.
#include "run/program/driver.h"

#include <string>

#include "run/program/console.h"
#include "run/program/exit_status.h"
#include "run/program/settings.h"
#include "run/streams/platform.h"
#include "table/columns.h"
#include "table/header.h"
#include "table/records.h"
#include "table/run.h"

namespace floveran {
namespace {

// Ends a failed run: its message, and the output closed without the bytes it
// still held.
int fail(RunState& state, const std::string& message, int status) {
  print(state.console, message);
  abandon_output(state.output);
  close_input(state.input);
  return status;
}

int fail_to_read(RunState& state, const RunSettings& settings) {
  return fail(state, "error reading file " + settings.input_name + "\n", kStatusInputFailed);
}

int fail_to_write(RunState& state, const RunSettings& settings) {
  return fail(state, "error writing file " + settings.output_name + "\n", kStatusOutputFailed);
}

// Opens the output, refusing before anything is created or cut a file that is
// the input itself under any name (a link, a hard link, the same path). From
// then on an interrupt says what it leaves of the output.
bool open_output_table(RunState& state, const RunSettings& settings) {
  if (open_output(state.output, settings.output_name) != 0) return false;
  if (state.output.identity == state.input.identity || start_output(state.output) != 0) {
    abandon_output(state.output);
    return false;
  }
  platform::set_interrupt_note(interrupted_note(state.output));
  return true;
}

}  // namespace

int run_conversion(int argument_count, const char* const* arguments) {
  RunState state;
  open_console(state.console);
  print(state.console, kBanner);
  if (argument_count == 0) {
    print(state.console, kUsage);
    return kStatusUsage;
  }

  RunSettings settings = read_settings(argument_count, arguments);
  if (argument_count >= 3 && settings.head_rows == 0) print(state.console, kZeroHeadRows);

  if (open_input(state.input, settings.input_name) != 0) {
    return fail(state, "error opening file " + settings.input_name + "\n", kStatusInputFailed);
  }
  state.input.flush_before_read = &state.console;
  // An input name alone names no output: nothing is created.
  if (argument_count == 1) return fail(state, std::string(kUsage), kStatusUsage);
  if (!open_output_table(state, settings)) {
    return fail(state, "error opening file " + settings.output_name + "\n", kStatusOutputFailed);
  }

  const ColumnCount columns = count_columns(state.input, settings);
  if (state.input.error != 0) return fail_to_read(state, settings);
  if (!columns.area_line_read) return fail(state, std::string(kAreaLineMissing), kStatusInputFailed);
  settings.column_count = columns.count;
  print(state.console, std::to_string(columns.count) + " columns " + columns.token + "\n");

  if (!allocate_areas(state, settings.column_count)) {
    return fail(state, "not enough memory for " + std::to_string(settings.column_count) + " columns\n",
                kStatusInputFailed);
  }
  rewind_input(state.input);
  copy_header_block(state, settings);
  convert_records(state, settings);
  if (state.input.error != 0) return fail_to_read(state, settings);
  if (state.output.error != 0) return fail_to_write(state, settings);

  std::vector<double>().swap(state.areas);
  close_input(state.input);
  if (close_output(state.output) != 0) return fail_to_write(state, settings);
  print(state.console, kDone);
  return kStatusDone;
}

}  // namespace floveran
