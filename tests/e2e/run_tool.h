// Runs the built floveran binary in a folder of its own, as a user would: with the
// given arguments, standard input and standard output; captures the console bytes
// and the exit status.
#pragma once

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace floveran::testing {

struct ToolRun {
  int status = -1;      // exit status, or -1 when the tool did not exit normally
  std::string console;  // everything written to standard output
};

struct ToolOptions {
  std::string stdin_file = "/dev/null";
  int stdout_fd = -1;   // when set, standard output goes there and is not captured
};

inline ToolRun run_tool(const TempDir& dir, const std::vector<std::string>& arguments,
                        const ToolOptions& options = {}) {
  const std::string console_file = dir.file(".console");
  std::vector<char*> argv;
  std::string program = FLOVERAN_BINARY;
  argv.push_back(program.data());
  std::vector<std::string> copies = arguments;
  for (std::string& a : copies) argv.push_back(a.data());
  argv.push_back(nullptr);

  const pid_t child = ::fork();
  if (child == 0) {
    if (::chdir(dir.path.c_str()) != 0) ::_exit(120);
    const int in = ::open(options.stdin_file.c_str(), O_RDONLY);
    const int out = options.stdout_fd >= 0
                        ? options.stdout_fd
                        : ::open(console_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || out < 0 || ::dup2(in, 0) < 0 || ::dup2(out, 1) < 0) ::_exit(121);
    ::execv(argv[0], argv.data());
    ::_exit(122);
  }
  ToolRun run;
  int wait_status = 0;
  if (::waitpid(child, &wait_status, 0) == child && WIFEXITED(wait_status)) {
    run.status = WEXITSTATUS(wait_status);
  }
  if (options.stdout_fd < 0) run.console = read_file(console_file);
  return run;
}

// The console text of a run: the banner, then what the run printed, with every
// line end written as CR LF.
inline std::string crlf(std::string_view text) {
  std::string out;
  for (char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

inline const std::string kBanner =
    "floveran: converting discharges from m3/s into specific discharges in mm/timestep or vice "
    "versa\n";
inline const std::string kUsage =
    "usage: floveran <discharge_m3/s> <spec_disch._mm/dt> [<n1 headrows{def=5}>] [<n2 "
    "datacolumns{def=all}>] [<timestep in h{def=1h}>] [<method 1(to mm/step) or 2(to m3/s) "
    "{def=1}>\n\n";

}  // namespace floveran::testing
