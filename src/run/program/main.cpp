// floveran: converts a table of river discharges in m3/s into specific discharges
// in mm per time step, or back (driver.h), and ends with the run's exit status.
#include "run/program/console.h"
#include "run/program/driver.h"
#include "run/streams/platform.h"

int main(int argc, char** argv) {
  // A console reader that goes away must not end the conversion: its writes then
  // fail, and the console is dropped.
  floveran::platform::keep_running_on_broken_pipes();
  // Ctrl-C, a kill or a closed terminal ends the run without leaving a file that
  // looks complete, and tells so on standard error.
  floveran::platform::end_by_interrupts(floveran::kInterruptedNothingWritten);
  return floveran::run_conversion(argc - 1, argv + 1);
}
