// floveran: converts a table of river discharges in m3/s into specific discharges
// in mm per time step, or back (driver.h), and ends with the run's exit status.
#include <string>
#include <vector>

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
  // UTF-8 file names on Windows, whatever the code page of the console.
  const std::vector<std::string> arguments = floveran::platform::program_arguments(argc, argv);
  std::vector<const char*> pointers;
  pointers.reserve(arguments.size());
  for (const std::string& argument : arguments) pointers.push_back(argument.c_str());
  return floveran::run_conversion(static_cast<int>(pointers.size()), pointers.data());
}
