// Runs the built floveran binary in a folder of its own, as a user would: with the
// given arguments, standard input and standard output; captures the console bytes,
// standard error and the exit status, or the signal that ended it.
#pragma once

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "support/temp_dir.h"

namespace floveran::testing {

struct ToolRun {
  int status = -1;      // exit status, or -1 when the tool did not exit normally
  int signal = 0;       // the signal that ended it, if one did
  std::string console;  // everything written to standard output
  std::string errors;   // everything written to standard error
};

struct ToolOptions {
  std::string stdin_file = "/dev/null";
  int stdin_fd = -1;    // when set, standard input comes from there (stdin_file unused)
  int stdout_fd = -1;   // when set, standard output goes there and is not captured
  int umask = 022;
  bool ignore_interrupts = false;  // started with SIGINT and SIGHUP ignored, as by nohup
  bool unprivileged = false;       // run as user and group nobody when the tests run as root
  std::vector<std::string> environment = {};  // NAME=VALUE settings added to the tool's environment
};

// The user a test runs the tool as when it must lack the rights of root.
inline constexpr uid_t kNobody = 65534;

// A tool started by start_tool, to be ended by finish_tool.
struct StartedTool {
  pid_t pid = -1;
  std::string console_file;
  std::string errors_file;
  bool console_captured = true;
};

inline StartedTool start_tool(const TempDir& dir, const std::vector<std::string>& arguments,
                              const ToolOptions& options = {}) {
  StartedTool started{-1, dir.file(".console"), dir.file(".errors"), options.stdout_fd < 0};
  const std::string& console_file = started.console_file;
  const std::string& errors_file = started.errors_file;
  std::vector<char*> argv;
  std::string program = FLOVERAN_BINARY;
  argv.push_back(program.data());
  std::vector<std::string> copies = arguments;
  for (std::string& a : copies) argv.push_back(a.data());
  argv.push_back(nullptr);

  started.pid = ::fork();
  if (started.pid == 0) {
    if (::chdir(dir.path.c_str()) != 0) ::_exit(120);
    const int in = options.stdin_fd >= 0 ? options.stdin_fd : ::open(options.stdin_file.c_str(), O_RDONLY);
    const int out = options.stdout_fd >= 0
                        ? options.stdout_fd
                        : ::open(console_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int errors = ::open(errors_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || out < 0 || errors < 0 || ::dup2(in, 0) < 0 || ::dup2(out, 1) < 0 ||
        ::dup2(errors, 2) < 0) {
      ::_exit(121);
    }
    ::umask(static_cast<mode_t>(options.umask));
    // Interrupts as in a foreground command of an interactive shell, whatever
    // the test program was started with.
    sigset_t interrupts;
    sigemptyset(&interrupts);
    for (int signal_number : {SIGINT, SIGTERM, SIGHUP}) {
      sigaddset(&interrupts, signal_number);
      ::signal(signal_number, SIG_DFL);
    }
    ::sigprocmask(SIG_UNBLOCK, &interrupts, nullptr);
    if (options.ignore_interrupts) {
      ::signal(SIGINT, SIG_IGN);
      ::signal(SIGHUP, SIG_IGN);
    }
    for (const std::string& setting : options.environment) {
      const std::size_t equals = setting.find('=');
      ::setenv(setting.substr(0, equals).c_str(), setting.substr(equals + 1).c_str(), 1);
    }
    if (options.unprivileged && ::geteuid() == 0 &&
        (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)) {
      ::_exit(123);
    }
    ::execv(argv[0], argv.data());
    ::_exit(122);
  }
  return started;
}

inline ToolRun finish_tool(const StartedTool& started) {
  ToolRun run;
  int wait_status = 0;
  if (::waitpid(started.pid, &wait_status, 0) == started.pid) {
    if (WIFEXITED(wait_status)) run.status = WEXITSTATUS(wait_status);
    if (WIFSIGNALED(wait_status)) run.signal = WTERMSIG(wait_status);
  }
  if (started.console_captured) run.console = read_file(started.console_file);
  run.errors = read_file(started.errors_file);
  std::filesystem::remove(started.console_file);
  std::filesystem::remove(started.errors_file);
  return run;
}

inline ToolRun run_tool(const TempDir& dir, const std::vector<std::string>& arguments,
                        const ToolOptions& options = {}) {
  return finish_tool(start_tool(dir, arguments, options));
}

// The names in a folder, hidden ones included, sorted.
inline std::vector<std::string> folder_contents(const std::filesystem::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

// `floveran /dev/stdin out.txt` in a folder of its own, fed through a pipe that the
// test holds open, with one of its two output streams (1 or 2) read through another
// pipe and the other dropped: what it shows while its input is still coming.
struct StreamingRun {
  pid_t child = -1;
  int to_tool = -1;    // the tool's standard input
  int from_tool = -1;  // the watched stream
  std::string seen;    // read from it so far
};

inline StreamingRun start_streaming_run(const TempDir& dir, int watched) {
  int input[2];
  int output[2];
  StreamingRun run;
  if (::pipe(input) != 0 || ::pipe(output) != 0) return run;
  run.child = ::fork();
  if (run.child == 0) {
    const int dropped = ::open("/dev/null", O_WRONLY);
    if (::chdir(dir.path.c_str()) != 0 || dropped < 0 || ::dup2(input[0], 0) < 0 ||
        ::dup2(dropped, 3 - watched) < 0 || ::dup2(output[1], watched) < 0) {
      ::_exit(121);
    }
    ::close(input[1]);
    ::close(output[0]);
    ::execl(FLOVERAN_BINARY, FLOVERAN_BINARY, "/dev/stdin", "out.txt", static_cast<char*>(nullptr));
    ::_exit(122);
  }
  ::close(input[0]);
  ::close(output[1]);
  run.to_tool = input[1];
  run.from_tool = output[0];
  return run;
}

inline bool feed(StreamingRun& run, std::string_view bytes) {
  return ::write(run.to_tool, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
}

// Reads the watched stream until `enough` holds for what was seen, or 30 s pass
// without a byte, or the stream ends.
inline void read_until(StreamingRun& run, const std::function<bool(const std::string&)>& enough) {
  char buffer[4096];
  while (!enough(run.seen)) {
    pollfd ready{run.from_tool, POLLIN, 0};
    if (::poll(&ready, 1, 30000) != 1) return;
    const ssize_t n = ::read(run.from_tool, buffer, sizeof buffer);
    if (n <= 0) return;
    run.seen.append(buffer, static_cast<std::size_t>(n));
  }
}

// Ends the input, reads the rest of the watched stream and returns the exit status
// (-1 when the tool did not exit normally).
inline int finish(StreamingRun& run) {
  ::close(run.to_tool);
  read_until(run, [](const std::string&) { return false; });
  ::close(run.from_tool);
  int wait_status = 0;
  if (::waitpid(run.child, &wait_status, 0) != run.child || !WIFEXITED(wait_status)) return -1;
  return WEXITSTATUS(wait_status);
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

// A small table in the usual layout: 2 gauges, 5 header lines, 2 records.
inline const std::string kSmallTable =
    "T\n"
    "YY\tMM\tDD\tHH\t100.0\t50.0\n"
    "h3\n"
    "h4\n"
    "h5\n"
    "2000\t1\t1\t1\t10.0\t-9999\n"
    "2000\t1\t1\t2\t12.5\t3.2\n";

inline const std::string kSmallTableConverted = crlf(
    "specific_runoff_from_in.txt,_output_timestep:_1.00_h,_original:T\n"
    "YY\tMM\tDD\tHH\t100.000\t50.000\n"
    "h3\n"
    "h4\n"
    "h5\n"
    "2000\t1\t1\t1\t0.36\t-9999\n"
    "2000\t1\t1\t2\t0.45\t0.2304\n");

inline const std::string kSmallTableConsole = crlf(kBanner + "2 columns \n\nmonth 1/2000 .fertig..\n");

// A table converted by `floveran in.txt out.txt <extra arguments>` in a fresh
// folder: the status, the console after the banner and the output file. Checks on
// the way that the console starts with the banner, that the input file is byte
// for byte as it was, and that the folder holds nothing else but the output.
struct Conversion {
  int status;
  std::string console;  // without the banner
  std::string output;
  std::string errors;
  bool output_exists;
};

inline Conversion convert(const std::string& table, const std::vector<std::string>& extra_arguments = {}) {
  TempDir dir;
  write_file(dir.file("in.txt"), table);
  std::vector<std::string> arguments = {"in.txt", "out.txt"};
  arguments.insert(arguments.end(), extra_arguments.begin(), extra_arguments.end());
  const ToolRun run = run_tool(dir, arguments);
  const std::string banner = crlf(kBanner);
  EXPECT_EQ(run.console.substr(0, banner.size()), banner);
  // Not EXPECT_EQ: the tables of some tests are too large to print.
  EXPECT_TRUE(read_file(dir.file("in.txt")) == table) << "the input must stay as it was";
  const bool output_exists = std::filesystem::exists(dir.file("out.txt"));
  EXPECT_EQ(folder_contents(dir.path).size(), output_exists ? 2u : 1u) << "only in.txt and out.txt";
  return {run.status, run.console.substr(std::min(banner.size(), run.console.size())),
          read_file(dir.file("out.txt")), run.errors, output_exists};
}

}  // namespace floveran::testing
