// Runs the built floveran binary in a folder of its own, as a user would: with the
// given arguments, standard input and standard output; captures the console bytes,
// standard error and the exit status, or the signal that ended it.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#ifdef _WIN32
#include <windows.h>

#include "support/windows_command_line.h"
#include "support/windows_files.h"
#else
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "support/temp_dir.h"

namespace floveran::testing {

// A handle of the system (a descriptor on POSIX systems, a HANDLE on Windows) and
// the name of the device that reads as empty.
#ifdef _WIN32
using SystemHandle = HANDLE;
inline const SystemHandle kNoHandle = nullptr;
inline const std::string kNullDevice = "NUL";
#else
using SystemHandle = int;
inline constexpr SystemHandle kNoHandle = -1;
inline const std::string kNullDevice = "/dev/null";
#endif

// The two output streams of the tool, as start_streaming_run watches them.
inline constexpr int kStandardOutput = 1;
inline constexpr int kStandardError = 2;

struct ToolRun {
  int status = -1;      // exit status, or -1 when the tool did not exit normally
  int signal = 0;       // the signal that ended it, if one did; on Windows the
                        // status of an abnormal end (an exception, or Ctrl-C:
                        // STATUS_CONTROL_C_EXIT), which has no exit status
  std::string console;  // everything written to standard output
  std::string errors;   // everything written to standard error
};

struct ToolOptions {
  std::string stdin_file = kNullDevice;
  SystemHandle stdin_handle = kNoHandle;   // when set, standard input comes from there (stdin_file unused)
  SystemHandle stdout_handle = kNoHandle;  // when set, standard output goes there and is not captured
  int umask = 022;                         // POSIX systems only
  bool ignore_interrupts = false;  // started with interrupts ignored: SIGINT and SIGHUP, as by
                                   // nohup; on Windows Ctrl-C, as for a new process group
  bool unprivileged = false;       // run as user and group nobody when the tests run as root
                                   // (POSIX systems only)
  std::vector<std::string> environment = {};  // NAME=VALUE settings added to the tool's environment
};

// A tool started by start_tool, to be ended by finish_tool.
struct StartedTool {
#ifdef _WIN32
  HANDLE process = nullptr;
  DWORD id = 0;
#else
  pid_t pid = -1;
#endif
  std::string console_file;
  std::string errors_file;
  bool console_captured = true;
};

#ifdef _WIN32

// How Windows ends a console program on Ctrl-C, Ctrl-Break or a closed console.
inline constexpr int kInterruptEnd = static_cast<int>(0xC000013Au);

inline std::wstring wide_from_utf8(const std::string& text) { return path_from_utf8(text).wstring(); }

// A name as a full Windows path: a test's temporary folder is on another drive
// than the build folder, whose names a cross build writes the POSIX way.
inline std::string full_path(const std::string& name) {
  const std::wstring wide = wide_from_utf8(name);
  wchar_t full[4096];
  const DWORD length = ::GetFullPathNameW(wide.c_str(), 4096, full, nullptr);
  return length > 0 && length < 4096 ? utf8_from_path(std::filesystem::path(std::wstring(full, length))) : name;
}

// An inheritable copy of a handle, for a child's standard handle; closed after the
// start.
inline HANDLE inheritable(HANDLE handle) {
  HANDLE copy = nullptr;
  ::DuplicateHandle(::GetCurrentProcess(), handle, ::GetCurrentProcess(), &copy, 0, TRUE,
                    DUPLICATE_SAME_ACCESS);
  return copy;
}

inline HANDLE open_for_child(const std::string& name, bool writing) {
  return ::CreateFileW(wide_from_utf8(name).c_str(), writing ? GENERIC_WRITE : GENERIC_READ,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       writing ? CREATE_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// Starts `program` in `folder` with the given standard handles and creation flags;
// its process, or no process when it could not be started.
inline PROCESS_INFORMATION start_program(const std::string& program, const std::string& folder,
                                         const std::vector<std::string>& arguments, HANDLE in, HANDLE out,
                                         HANDLE errors, DWORD flags = 0) {
  std::wstring command_line = quoted_argument(wide_from_utf8(full_path(program)));
  for (const std::string& a : arguments) command_line += L" " + quoted_argument(wide_from_utf8(a));
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = inheritable(in);
  startup.hStdOutput = inheritable(out);
  startup.hStdError = inheritable(errors);
  PROCESS_INFORMATION process{};
  const std::wstring directory = wide_from_utf8(folder);
  // Under Wine a start now and then fails while other tests start programs beside
  // it; a start that failed is tried again (a program that started and failed is
  // not, its status is the test's to see).
  bool started = false;
  for (int attempt = 0; attempt < 5 && !started; ++attempt) {
    if (attempt > 0) ::Sleep(200);
    started = ::CreateProcessW(nullptr, command_line.data(), nullptr, nullptr, TRUE, flags, nullptr,
                               directory.empty() ? nullptr : directory.c_str(), &startup, &process) != 0;
  }
  if (!started) {
    ADD_FAILURE() << "CreateProcessW failed with error " << ::GetLastError() << " for " << program;
    process = {};
  }
  for (HANDLE h : {startup.hStdInput, startup.hStdOutput, startup.hStdError}) {
    if (h != nullptr) ::CloseHandle(h);
  }
  if (process.hThread != nullptr) ::CloseHandle(process.hThread);
  return process;
}

// Waits for a started program to end; what it ended with.
inline void wait_for_program(HANDLE process, ToolRun& run) {
  if (process == nullptr) return;
  ::WaitForSingleObject(process, INFINITE);
  DWORD code = 0;
  if (::GetExitCodeProcess(process, &code)) {
    // Exceptions and Ctrl-C end a program with an NTSTATUS of severity "error".
    if ((code & 0xC0000000u) == 0xC0000000u) {
      run.signal = static_cast<int>(code);
    } else {
      run.status = static_cast<int>(code);
    }
  }
  ::CloseHandle(process);
}

// A program's exit status, with its standard output and error dropped; -1 when it
// did not end by itself.
inline int run_program(const std::string& program, const std::vector<std::string>& arguments) {
  const HANDLE in = open_for_child(kNullDevice, false);
  const HANDLE out = open_for_child(kNullDevice, true);
  const PROCESS_INFORMATION process = start_program(program, "", arguments, in, out, out);
  ::CloseHandle(in);
  ::CloseHandle(out);
  ToolRun run;
  wait_for_program(process.hProcess, run);
  return run.status;
}

// Ctrl-C, Ctrl-Break or a closed console are what interrupts a Windows program.
// ignore_interrupts starts the tool in a process group of its own, which Windows
// starts with Ctrl-C ignored.
inline StartedTool start_tool(const TempDir& dir, const std::vector<std::string>& arguments,
                              const ToolOptions& options = {}) {
  StartedTool started{nullptr, 0, dir.file(".console"), dir.file(".errors"), options.stdout_handle == kNoHandle};
  const HANDLE in = options.stdin_handle != kNoHandle ? options.stdin_handle
                                                      : open_for_child(options.stdin_file, false);
  const HANDLE out = started.console_captured ? open_for_child(started.console_file, true)
                                              : options.stdout_handle;
  const HANDLE errors = open_for_child(started.errors_file, true);
  if (in != INVALID_HANDLE_VALUE && out != INVALID_HANDLE_VALUE && errors != INVALID_HANDLE_VALUE) {
    // The child inherits the environment of this process: the settings are put in
    // it for the start, and what was there before is put back after.
    std::vector<std::pair<std::wstring, std::optional<std::wstring>>> before;
    for (const std::string& setting : options.environment) {
      const std::size_t equals = setting.find('=');
      const std::wstring name = path_from_utf8(setting.substr(0, equals)).wstring();
      wchar_t value[32768];
      const DWORD length = ::GetEnvironmentVariableW(name.c_str(), value, 32768);
      before.emplace_back(name, length > 0 && length < 32768 ? std::optional<std::wstring>(value) : std::nullopt);
      ::SetEnvironmentVariableW(name.c_str(), path_from_utf8(setting.substr(equals + 1)).wstring().c_str());
    }
    const PROCESS_INFORMATION process =
        start_program(FLOVERAN_BINARY, dir.name(), arguments, in, out, errors,
                      options.ignore_interrupts ? CREATE_NEW_PROCESS_GROUP : 0);
    started.process = process.hProcess;
    started.id = process.dwProcessId;
    for (auto it = before.rbegin(); it != before.rend(); ++it) {
      ::SetEnvironmentVariableW(it->first.c_str(), it->second ? it->second->c_str() : nullptr);
    }
  }
  if (options.stdin_handle == kNoHandle && in != INVALID_HANDLE_VALUE) ::CloseHandle(in);
  if (started.console_captured && out != INVALID_HANDLE_VALUE) ::CloseHandle(out);
  if (errors != INVALID_HANDLE_VALUE) ::CloseHandle(errors);
  return started;
}

inline ToolRun finish_tool(const StartedTool& started) {
  ToolRun run;
  wait_for_program(started.process, run);
  if (started.console_captured) run.console = read_file(started.console_file);
  run.errors = read_file(started.errors_file);
  std::filesystem::remove(path_from_utf8(started.console_file));
  std::filesystem::remove(path_from_utf8(started.errors_file));
  return run;
}

#else

// The user a test runs the tool as when it must lack the rights of root.
inline constexpr uid_t kNobody = 65534;

inline StartedTool start_tool(const TempDir& dir, const std::vector<std::string>& arguments,
                              const ToolOptions& options = {}) {
  StartedTool started{-1, dir.file(".console"), dir.file(".errors"), options.stdout_handle < 0};
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
    const int in =
        options.stdin_handle >= 0 ? options.stdin_handle : ::open(options.stdin_file.c_str(), O_RDONLY);
    const int out = options.stdout_handle >= 0
                        ? options.stdout_handle
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

#endif

inline ToolRun run_tool(const TempDir& dir, const std::vector<std::string>& arguments,
                        const ToolOptions& options = {}) {
  return finish_tool(start_tool(dir, arguments, options));
}

// The names in a folder, hidden ones included, sorted, in UTF-8.
inline std::vector<std::string> folder_contents(const std::filesystem::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    names.push_back(utf8_from_path(entry.path().filename()));
  }
  std::sort(names.begin(), names.end());
  return names;
}
inline std::vector<std::string> folder_contents(const std::string& folder) {
  return folder_contents(path_from_utf8(folder));
}

// `floveran <input> out.txt` in a folder of its own, fed through a pipe that the
// test holds open, with one of its two output streams (kStandardOutput or
// kStandardError) read through another pipe and the other dropped: what it shows
// while its input is still coming. The input is /dev/stdin on POSIX systems, a
// named pipe read by its name on Windows, which has no name for standard input.
struct StreamingRun {
#ifdef _WIN32
  HANDLE process = nullptr;
  std::unique_ptr<NamedPipeWriter> to_tool;
  HANDLE from_tool = nullptr;
#else
  pid_t child = -1;
  int to_tool = -1;    // the tool's standard input
  int from_tool = -1;  // the watched stream
#endif
  std::string seen;    // read from the watched stream so far
};

#ifdef _WIN32

inline StreamingRun start_streaming_run(const TempDir& dir, int watched) {
  StreamingRun run;
  run.to_tool = std::make_unique<NamedPipeWriter>();
  HANDLE write_end = nullptr;
  if (!run.to_tool->ready() || !::CreatePipe(&run.from_tool, &write_end, nullptr, 0)) return run;
  const HANDLE dropped = open_for_child(kNullDevice, true);
  const HANDLE in = open_for_child(kNullDevice, false);
  const PROCESS_INFORMATION process =
      start_program(FLOVERAN_BINARY, dir.name(), {run.to_tool->name(), "out.txt"}, in,
                    watched == kStandardOutput ? write_end : dropped,
                    watched == kStandardError ? write_end : dropped);
  for (HANDLE h : {write_end, dropped, in}) ::CloseHandle(h);
  run.process = process.hProcess;
  if (run.process != nullptr) run.to_tool->wait_for_reader();
  return run;
}

inline bool feed(StreamingRun& run, std::string_view bytes) { return run.to_tool->write(bytes); }

// Reads the watched stream until `enough` holds for what was seen, or 30 s pass
// without a byte, or the stream ends.
inline void read_until(StreamingRun& run, const std::function<bool(const std::string&)>& enough) {
  char buffer[4096];
  ULONGLONG last_byte = ::GetTickCount64();
  while (!enough(run.seen) && ::GetTickCount64() - last_byte < 30000) {
    DWORD available = 0;
    if (!::PeekNamedPipe(run.from_tool, nullptr, 0, nullptr, &available, nullptr)) return;
    if (available == 0) {
      ::Sleep(5);
      continue;
    }
    DWORD read = 0;
    if (!::ReadFile(run.from_tool, buffer, sizeof buffer, &read, nullptr) || read == 0) return;
    run.seen.append(buffer, read);
    last_byte = ::GetTickCount64();
  }
}

// Ends the input, reads the rest of the watched stream and returns the exit status
// (-1 when the tool did not exit normally).
inline int finish(StreamingRun& run) {
  run.to_tool->close();
  read_pipe_to_end(run.from_tool, run.seen);
  ::CloseHandle(run.from_tool);
  ToolRun ended;
  wait_for_program(run.process, ended);
  return ended.status;
}

#else

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

#endif

// Standard error of a failure whose reason is the system's text for an error:
// `frame` ("floveran: cannot open the input \"x\": "), that text and a line end.
// The texts of POSIX systems are compared; those of Windows differ by version and
// language, so there any one-line reason passes.
inline ::testing::AssertionResult has_system_reason(const std::string& errors, const std::string& frame,
                                                    const std::string& posix_text) {
#ifdef _WIN32
  static_cast<void>(posix_text);
  const bool framed = errors.starts_with(frame) && errors.size() > frame.size() + 1 && errors.ends_with("\n") &&
                      errors.find('\n') == errors.size() - 1 && errors.find('\r') == std::string::npos;
  if (framed) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "standard error \"" << errors << "\" is not \"" << frame
                                       << "<the system's text>\\n\"";
#else
  if (errors == frame + posix_text + "\n") return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "standard error \"" << errors << "\" is not \"" << frame << posix_text
                                       << "\\n\"";
#endif
}

// `text` with `mark` written in front of every `c`.
inline std::string marked(std::string_view text, char c, char mark) {
  std::string out;
  for (char t : text) {
    if (t == c) out += mark;
    out += t;
  }
  return out;
}

// A name as standard error shows it between its quotes, where backslashes are
// doubled (Windows paths; the e2e tables use no quotes or control bytes there).
inline std::string shown_name(std::string_view name) { return marked(name, '\\', '\\'); }

// The console text of a run: the banner, then what the run printed, with every
// line end written as CR LF.
inline std::string crlf(std::string_view text) { return marked(text, '\n', '\r'); }

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
  const bool output_exists = std::filesystem::exists(dir.path / "out.txt");
  EXPECT_EQ(folder_contents(dir.path).size(), output_exists ? 2u : 1u) << "only in.txt and out.txt";
  return {run.status, run.console.substr(std::min(banner.size(), run.console.size())),
          read_file(dir.file("out.txt")), run.errors, output_exists};
}

}  // namespace floveran::testing
