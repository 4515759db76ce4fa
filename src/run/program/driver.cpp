// The run, in its fixed order: banner; settings; input opened, then output;
// column detection; areas; rewind; header pass; record loop; files closed;
// "fertig..". The phases and the streams report failures as values; this is the
// one place that turns them into a message, its reason on standard error, and an
// exit status.
#include "run/program/driver.h"

#include <string>
#include <string_view>

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

// The same, with the reason behind the message on standard error.
int fail(RunState& state, const std::string& message, int status, FileFailure failure, std::string_view name,
         std::string_view reason) {
  print(state.console, message);
  report_file_failure(state.diagnostics, failure, name, reason);
  return fail(state, "", status);
}

int fail_to_read(RunState& state, const RunSettings& settings) {
  return fail(state, "error reading file " + settings.input_name + "\n", kStatusInputFailed,
              FileFailure::read_input, settings.input_name, platform::error_text(state.input.error));
}

int fail_to_write(RunState& state, const RunSettings& settings) {
  return fail(state, "error writing file " + settings.output_name + "\n", kStatusOutputFailed,
              FileFailure::write_output, settings.output_name, platform::error_text(state.output.error));
}

// Opens the output, refusing before anything is created or cut a file that is
// the input itself under any name (a link, a hard link, the same path). From
// then on an interrupt says what it leaves of the output. Returns why it could
// not be opened, or nothing.
std::string open_output_table(RunState& state, const RunSettings& settings) {
  if (const platform::SystemError error = open_output(state.output, settings.output_name)) {
    return platform::error_text(error);
  }
  std::string reason;
  if (state.output.identity == state.input.identity) {
    reason = kOutputIsInput;
  } else if (const platform::SystemError error = start_output(state.output)) {
    reason = platform::error_text(error);
  }
  if (!reason.empty()) {
    abandon_output(state.output);
    return reason;
  }
  platform::set_interrupt_note(interrupted_note(state.output));
  return reason;
}

// Whether the output is written to the file of the console or of standard error
// (as /dev/stdout is): their bytes then mix in the order in which one thread's
// buffers go out.
bool output_shares_a_stream(const RunState& state) {
  const platform::FileIdentity output = state.output.identity;
  if (output_replaces(state.output) || output == platform::FileIdentity{}) return false;
  return output == platform::file_identity(platform::standard_output()) ||
         output == platform::file_identity(platform::standard_error());
}

}  // namespace

int run_conversion(int argument_count, const char* const* arguments) {
  RunState state;
  open_console(state.console);
  open_diagnostics(state.diagnostics, state.console);
  const std::string_view only_argument = argument_count == 1 ? arguments[0] : "";
  if (only_argument == "--version") {
    print(state.console, kVersion);
    return kStatusDone;
  }
  print(state.console, kBanner);
  if (only_argument == "--help" || only_argument == "-h") {
    print(state.console, kHelp);
    return kStatusDone;
  }
  if (argument_count == 0) {
    print(state.console, kUsage);
    return kStatusUsage;
  }

  RunSettings settings = read_settings(argument_count, arguments);
  if (argument_count >= 3 && settings.head_rows == 0) print(state.console, kZeroHeadRows);
  report_argument_readings(state.diagnostics, argument_count, arguments, settings);
  if (const std::string ignored = read_thread_settings(settings); !ignored.empty()) {
    report_threads_ignored(state.diagnostics, ignored);
  }

  if (const platform::SystemError error = open_input(state.input, settings.input_name)) {
    return fail(state, "error opening file " + settings.input_name + "\n", kStatusInputFailed,
                FileFailure::open_input, settings.input_name, platform::error_text(error));
  }
  state.input.flush_before_read = &state.console;
  // An input name alone names no output: nothing is created.
  if (argument_count == 1) return fail(state, std::string(kUsage), kStatusUsage);
  if (const std::string reason = open_output_table(state, settings); !reason.empty()) {
    return fail(state, "error opening file " + settings.output_name + "\n", kStatusOutputFailed,
                FileFailure::open_output, settings.output_name, reason);
  }
  if (output_shares_a_stream(state)) settings.threads = 1;

  const ColumnCount columns = count_columns(state.input, settings);
  if (state.input.error != 0) return fail_to_read(state, settings);
  if (!columns.area_line_read) {
    return fail(state, std::string(kAreaLineMissing), kStatusInputFailed, FileFailure::read_input,
                settings.input_name, columns.line_2_found ? kLine2HoldsNoFields : kNoLine2);
  }
  settings.column_count = columns.count;
  print(state.console, std::to_string(columns.count) + " columns " + columns.token + "\n");
  if (columns.fields_left_out > 0) {
    report_columns_left_out(state.diagnostics, columns.count, columns.token, columns.fields_left_out);
  }

  if (!allocate_areas(state, settings.column_count)) {
    print(state.console, "not enough memory for " + std::to_string(settings.column_count) + " columns\n");
    report_columns_too_many(state.diagnostics, settings.column_count);
    return fail(state, "", kStatusInputFailed);
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
