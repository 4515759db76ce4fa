// Runs the built floveran binary in a folder of its own, as a user would: with the
// given arguments, standard input and standard output; captures the console bytes,
// standard error and the exit status.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>

#include "support/windows_command_line.h"
#else
#include <fcntl.h>
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

struct ToolRun {
  int status = -1;      // exit status, or -1 when the tool did not exit normally
  std::string console;  // everything written to standard output
  std::string errors;   // everything written to standard error
};

struct ToolOptions {
  std::string stdin_file = kNullDevice;
  SystemHandle stdout_handle = kNoHandle;  // when set, standard output goes there and is not captured
};

#ifdef _WIN32

inline std::wstring wide_from_utf8(const std::string& text) {
  return path_from_utf8(text).wstring();
}

// The built tool as a full Windows path (FLOVERAN_BINARY may be written the POSIX
// way, as a cross build names it).
inline std::wstring tool_path() {
  const std::wstring name = wide_from_utf8(FLOVERAN_BINARY);
  wchar_t full[4096];
  const DWORD length = ::GetFullPathNameW(name.c_str(), 4096, full, nullptr);
  return length > 0 && length < 4096 ? std::wstring(full, length) : name;
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

// Starts the tool in `folder` with the given standard handles; returns its process
// handle, or nullptr.
inline HANDLE start_tool(const std::string& folder, const std::vector<std::string>& arguments,
                         HANDLE in, HANDLE out, HANDLE errors) {
  std::wstring command_line = quoted_argument(tool_path());
  for (const std::string& a : arguments) command_line += L" " + quoted_argument(wide_from_utf8(a));
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = inheritable(in);
  startup.hStdOutput = inheritable(out);
  startup.hStdError = inheritable(errors);
  PROCESS_INFORMATION process{};
  const std::wstring directory = wide_from_utf8(folder);
  const BOOL started = ::CreateProcessW(nullptr, command_line.data(), nullptr, nullptr, TRUE, 0,
                                        nullptr, directory.c_str(), &startup, &process);
  for (HANDLE h : {startup.hStdInput, startup.hStdOutput, startup.hStdError}) {
    if (h != nullptr) ::CloseHandle(h);
  }
  if (!started) return nullptr;
  ::CloseHandle(process.hThread);
  return process.hProcess;
}

// Waits for the tool to end; its exit status.
inline int wait_for_tool(HANDLE process) {
  ::WaitForSingleObject(process, INFINITE);
  DWORD code = 0;
  const bool got = ::GetExitCodeProcess(process, &code);
  ::CloseHandle(process);
  return got ? static_cast<int>(code) : -1;
}

inline ToolRun run_tool(const TempDir& dir, const std::vector<std::string>& arguments,
                        const ToolOptions& options = {}) {
  const std::string console_file = dir.file(".console");
  const std::string errors_file = dir.file(".errors");
  const HANDLE in = open_for_child(options.stdin_file, false);
  const HANDLE out = options.stdout_handle != kNoHandle ? options.stdout_handle
                                                         : open_for_child(console_file, true);
  const HANDLE errors = open_for_child(errors_file, true);
  ToolRun run;
  if (in != INVALID_HANDLE_VALUE && out != INVALID_HANDLE_VALUE && errors != INVALID_HANDLE_VALUE) {
    if (const HANDLE process = start_tool(dir.name(), arguments, in, out, errors)) {
      run.status = wait_for_tool(process);
    }
  }
  for (HANDLE h : {in, errors}) {
    if (h != INVALID_HANDLE_VALUE) ::CloseHandle(h);
  }
  if (options.stdout_handle == kNoHandle && out != INVALID_HANDLE_VALUE) ::CloseHandle(out);
  if (options.stdout_handle == kNoHandle) run.console = read_file(console_file);
  run.errors = read_file(errors_file);
  std::filesystem::remove(path_from_utf8(console_file));
  std::filesystem::remove(path_from_utf8(errors_file));
  return run;
}

#else

inline ToolRun run_tool(const TempDir& dir, const std::vector<std::string>& arguments,
                        const ToolOptions& options = {}) {
  const std::string console_file = dir.file(".console");
  const std::string errors_file = dir.file(".errors");
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
    const int out = options.stdout_handle >= 0
                        ? options.stdout_handle
                        : ::open(console_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int errors = ::open(errors_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || out < 0 || errors < 0 || ::dup2(in, 0) < 0 || ::dup2(out, 1) < 0 ||
        ::dup2(errors, 2) < 0) {
      ::_exit(121);
    }
    ::execv(argv[0], argv.data());
    ::_exit(122);
  }
  ToolRun run;
  int wait_status = 0;
  if (::waitpid(child, &wait_status, 0) == child && WIFEXITED(wait_status)) {
    run.status = WEXITSTATUS(wait_status);
  }
  if (options.stdout_handle < 0) run.console = read_file(console_file);
  run.errors = read_file(errors_file);
  std::filesystem::remove(console_file);
  std::filesystem::remove(errors_file);
  return run;
}

#endif

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

// A table converted by `floveran in.txt out.txt <extra arguments>` in a fresh
// folder: the status, the console after the banner and the output file. Checks on
// the way that the console starts with the banner and that the input file is
// byte for byte as it was.
struct Conversion {
  int status;
  std::string console;  // without the banner
  std::string output;
  std::string errors;
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
  return {run.status, run.console.substr(std::min(banner.size(), run.console.size())),
          read_file(dir.file("out.txt")), run.errors};
}

}  // namespace floveran::testing
