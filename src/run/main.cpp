// floveran: converts a table of river discharges in m3/s into specific discharges
// in mm per time step, or back. The run, in its fixed order: banner; settings;
// input opened, then output; column detection; areas; rewind; header pass; record
// loop; files closed; "fertig..". Every failure ends the run at once with its
// message and status (run_end.h).
#include <csignal>
#include <string>

#include "run/run_end.h"
#include "run/settings.h"
#include "run/state.h"
#include "table/columns.h"
#include "table/header.h"
#include "table/records.h"

namespace floveran {
namespace {

constexpr std::string_view kBanner =
    "floveran: converting discharges from m3/s into specific discharges in mm/timestep "
    "or vice versa\n";
constexpr std::string_view kUsage =
    "usage: floveran <discharge_m3/s> <spec_disch._mm/dt> [<n1 headrows{def=5}>] "
    "[<n2 datacolumns{def=all}>] [<timestep in h{def=1h}>] "
    "[<method 1(to mm/step) or 2(to m3/s) {def=1}>\n\n";

[[noreturn]] void end_run_on_open_error(const std::string& name, int status) {
  end_run("error opening file " + name + "\n", status);
}

int run(int argument_count, const char* const* arguments) {
  print(kBanner);
  if (argument_count == 0) end_run(kUsage, kStatusUsage);

  RunSettings settings = read_settings(argument_count, arguments);
  if (argument_count >= 3 && settings.head_rows == 0) print("0 head rows..\n\n");

  RunState state;
  if (!open_input(state.input, settings.input_name)) {
    end_run_on_open_error(settings.input_name, kStatusInputFailed);
  }
  // An input name alone names no output: nothing is created.
  if (argument_count == 1) end_run(kUsage, kStatusUsage);
  if (!open_output(state.output, settings.output_name, state.input)) {
    end_run_on_open_error(settings.output_name, kStatusOutputFailed);
  }

  count_columns(state, settings);
  allocate_areas(state, settings.column_count);
  rewind_input(state.input);
  copy_header_block(state, settings);
  convert_records(state, settings);

  std::vector<double>().swap(state.areas);
  close_input(state.input);
  close_output(state.output);
  print("fertig..\n");
  return kStatusDone;
}

}  // namespace
}  // namespace floveran

int main(int argc, char** argv) {
  // A console reader that goes away must not end the conversion: writes to a
  // closed pipe then fail with EPIPE, and the console is dropped.
  std::signal(SIGPIPE, SIG_IGN);
  return floveran::run(argc - 1, argv + 1);
}
