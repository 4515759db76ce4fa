// Whole runs of the built tool on arbitrary tables and arguments.
//
// A run ends its process on every failure, so each input is run by the tool in a
// child process of its own (posix_spawn, in a process group of its own, killed
// after a time limit; on Windows CreateProcessW, terminated after the limit), in
// a private folder. The fuzz input starts with 6 bytes
// that make the command line:
//   byte 0   number of arguments, 1 to 6
//   byte 1   head_rows, -5 to 200, and the form of its text (bits 6 and 7 of byte 5)
//   byte 2   column count, -5 to 200, and the form of its text (bits 6 and 7 of byte 4)
//   byte 3   time step text, from a list
//   byte 4   method text, from a list
//   byte 5   the forms above; low three bits all set: the output is named
//            ./in.txt, the input itself under another name
// and the rest is the input table, written to in.txt. The tool runs as
// `floveran in.txt out.txt <args>` with its console in a file.
//
// Checked for every run: it ends by itself within the time limit, by exit, with a
// status of 0 to 3 and on standard error only the tool's diagnostics: whole lines
// that begin "floveran: ", end in a plain LF and hold nothing but printable ASCII
// between (a sanitizer report there, or a sanitizer's own exit status, is a
// failure; leaks are looked for in one run of eight); a reason there behind every
// status 2 and 3, and nothing behind status 1; the input file is unchanged byte
// for byte; the console starts with the
// banner, and ends with "fertig..\r\n" exactly when the status is 0; every LF of
// the output file and of the console is preceded by CR; status 1 only for a lone
// input name; status 3 exactly when the output names the input (the folder is
// writable); otherwise status 2 exactly when the input has no second line longer
// than 12 characters (judged only where the first two lines are plain: no NUL, at
// most 1999 characters each); the folder holds the output exactly after a run with
// status 0, and nothing else the tool made (no hidden file left behind).
//
// Then the same run at each lower vector level (FLOVERAN_VECTOR_LEVEL), and on
// three threads with chunks of 1 to 127 bytes (FLOVERAN_THREADS, FLOVERAN_CHUNK_BYTES;
// the first run, on a table this small, is on one thread), must end with the same
// status, console, standard error and output bytes (not on Windows, whose build
// has the scalar level alone and whose threads the end-to-end tests compare).
//
// FLOVERAN_TOOL in the environment names another binary to run in place of the
// built tool, to see the harness itself catch a faulty one.
//
// The child's coverage does not reach the fuzzer, so the outcome of each run is
// fed back as extra counters (status, console and output sizes, progress marks,
// column count, special number forms), which keeps inputs of distinct behaviour.
#ifdef _WIN32
#include <windows.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "support/windows_command_line.h"
#else
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#ifndef FLOVERAN_TOOL_PATH
#error "FLOVERAN_TOOL_PATH must name the built floveran binary"
#endif

#ifdef _WIN32
// libFuzzer does not run on this build; the counters are only filled.
std::uint8_t outcome_counters[1024];
#else
extern "C" char** environ;

// libFuzzer takes every nonzero byte of this section as a coverage feature.
__attribute__((used, section("__libfuzzer_extra_counters"))) std::uint8_t outcome_counters[1024];
#endif

namespace {

constexpr int kTimeLimitMilliseconds = 5000;
constexpr std::string_view kBanner =
    "floveran: converting discharges from m3/s into specific discharges in mm/timestep or vice "
    "versa\r\n";
constexpr std::string_view kDone = "fertig..\r\n";

[[noreturn]] void fail(const char* what, const std::string& detail = {}) {
  std::fprintf(stderr, "fuzz_run: %s\n%s\n", what, detail.c_str());
  std::fflush(stderr);
  std::abort();
}

void check(bool ok, const char* what, const std::string& detail = {}) {
  if (!ok) fail(what, detail);
}

#ifdef _WIN32

std::filesystem::path folder;

const std::string& private_folder() {
  static std::string name;
  if (name.empty()) {
    for (unsigned n = 0;; ++n) {
      folder = std::filesystem::temp_directory_path() /
               ("fuzz_run." + std::to_string(::GetCurrentProcessId()) + "." + std::to_string(n));
      if (::CreateDirectoryW(folder.c_str(), nullptr)) break;
      check(::GetLastError() == ERROR_ALREADY_EXISTS, "cannot make a private folder");
    }
    name = folder.string();
    std::atexit([] {
      std::error_code ignored;
      std::filesystem::remove_all(folder, ignored);
    });
  }
  return name;
}

void write_file(const std::string& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  check(static_cast<bool>(out), "cannot write", path);
}

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The names in the folder, hidden ones included, sorted.
std::vector<std::string> folder_names(const std::string& path) {
  std::vector<std::string> names;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(path, error)) {
    names.push_back(entry.path().filename().string());
  }
  check(!error, "cannot list the folder", path);
  std::sort(names.begin(), names.end());
  return names;
}

#else

std::string folder;

void remove_folder() {
  if (folder.empty()) return;
  for (const char* name : {"in.txt", "out.txt", "console.txt", "errors.txt"}) {
    ::unlink((folder + "/" + name).c_str());
  }
  ::rmdir(folder.c_str());
}

const std::string& private_folder() {
  if (folder.empty()) {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern =
        std::string(tmp != nullptr && *tmp != 0 ? tmp : "/tmp") + "/fuzz_run.XXXXXX";
    check(::mkdtemp(pattern.data()) != nullptr, "mkdtemp failed");
    folder = pattern;
    std::atexit(remove_folder);
  }
  return folder;
}

void write_file(const std::string& path, std::string_view bytes) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  check(fd >= 0, "cannot create", path);
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    check(n > 0, "cannot write", path);
    done += static_cast<std::size_t>(n);
  }
  ::close(fd);
}

std::string read_file(const std::string& path) {
  std::string bytes;
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return bytes;
  char block[65536];
  for (;;) {
    const ssize_t n = ::read(fd, block, sizeof block);
    if (n <= 0) break;
    bytes.append(block, static_cast<std::size_t>(n));
  }
  ::close(fd);
  return bytes;
}

// The names in the folder, hidden ones included, sorted.
std::vector<std::string> folder_names(const std::string& path) {
  std::vector<std::string> names;
  DIR* d = ::opendir(path.c_str());
  check(d != nullptr, "cannot list the folder", path);
  while (const dirent* entry = ::readdir(d)) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  ::closedir(d);
  std::sort(names.begin(), names.end());
  return names;
}

#endif

// A number argument: plain, behind blanks, with trailing text, as a word, or with "+".
std::string number_text(int value, int form) {
  switch (form & 3) {
    case 0:
      return std::to_string(value);
    case 1:
      return "  " + std::to_string(value);
    case 2:
      return std::to_string(value) + "x7";
    default:
      return value % 3 == 0 ? "abc" : "+" + std::to_string(value);
  }
}

const char* const kTimeSteps[] = {"1",
                                  "24",
                                  "0.25",
                                  "0",
                                  "-1",
                                  "abc",
                                  "1e2",
                                  "1d1",
                                  "0.5",
                                  "168",
                                  "3.6",
                                  "1e-300",
                                  "1e309",
                                  "2.5e",
                                  "  6",
                                  "12h",
                                  ".5",
                                  "-0",
                                  "1e-320",
                                  "0x10",
                                  "inf",
                                  "nan",
                                  "7.000000000000000000000001",
                                  "1,5"};
const char* const kMethods[] = {"1",  "2",  "0",  "1x",         "abc", "-1",
                                " 1", "+1", "01", "4294967297", "3"};

struct Outcome {
  int status = -1;  // exit status, or -1 when ended by a signal
  int signal = 0;
  std::string console;
  std::string output;
  std::string errors;
};

#ifdef _WIN32

// The arguments are ASCII: each widens byte by byte.
std::wstring quoted_argument(const std::string& argument) {
  return floveran::testing::quoted_argument(std::wstring(argument.begin(), argument.end()));
}

HANDLE inheritable_file(const std::wstring& name, bool writing) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  return ::CreateFileW(name.c_str(), writing ? GENERIC_WRITE : GENERIC_READ,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &inherit,
                       writing ? CREATE_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// Runs the tool in the private folder with its console in files; a run that has not
// ended within the time limit is terminated and reported.
Outcome run_tool(const std::vector<std::string>& arguments, bool) {
  const std::filesystem::path dir = private_folder();
  std::string tool = FLOVERAN_TOOL_PATH;
  if (const char* override_path = std::getenv("FLOVERAN_TOOL")) tool = override_path;
  const std::wstring tool_name(tool.begin(), tool.end());
  wchar_t full[4096];
  const DWORD length = ::GetFullPathNameW(tool_name.c_str(), 4096, full, nullptr);
  check(length > 0 && length < 4096, "cannot name the tool", tool);
  std::wstring command_line = floveran::testing::quoted_argument(full);
  for (const std::string& a : arguments) command_line += L" " + quoted_argument(a);

  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = inheritable_file(L"NUL", false);
  startup.hStdOutput = inheritable_file((dir / "console.txt").wstring(), true);
  startup.hStdError = inheritable_file((dir / "errors.txt").wstring(), true);
  check(startup.hStdInput != INVALID_HANDLE_VALUE && startup.hStdOutput != INVALID_HANDLE_VALUE &&
            startup.hStdError != INVALID_HANDLE_VALUE,
        "cannot open the standard files of the run");
  PROCESS_INFORMATION process{};
  const BOOL started = ::CreateProcessW(full, command_line.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                        dir.wstring().c_str(), &startup, &process);
  for (HANDLE h : {startup.hStdInput, startup.hStdOutput, startup.hStdError}) ::CloseHandle(h);
  check(started, "CreateProcessW failed", tool);
  ::CloseHandle(process.hThread);
  if (::WaitForSingleObject(process.hProcess, kTimeLimitMilliseconds) != WAIT_OBJECT_0) {
    ::TerminateProcess(process.hProcess, 255);
    ::WaitForSingleObject(process.hProcess, INFINITE);
    fail("the run did not end within the time limit");
  }
  DWORD code = 0;
  check(::GetExitCodeProcess(process.hProcess, &code), "GetExitCodeProcess failed");
  ::CloseHandle(process.hProcess);
  Outcome o;
  // An exception ends a program with an NTSTATUS of severity "error", not an exit
  // status of its own: taken as its signal.
  if ((code & 0xC0000000u) == 0xC0000000u) {
    o.signal = static_cast<int>(code);
  } else {
    o.status = static_cast<int>(code);
  }
  o.console = read_file((dir / "console.txt").string());
  o.output = read_file((dir / "out.txt").string());
  o.errors = read_file((dir / "errors.txt").string());
  return o;
}

#else

int pidfd_of(pid_t pid) { return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)); }

// Waits for the child up to the time limit; after it, kills the child's process
// group (the child leads one of its own) and reports a hang.
int wait_with_limit(pid_t pid) {
  int status = 0;
  const int pidfd = pidfd_of(pid);
  if (pidfd >= 0) {
    pollfd p{pidfd, POLLIN, 0};
    int r;
    do {
      r = ::poll(&p, 1, kTimeLimitMilliseconds);
    } while (r < 0 && errno == EINTR);
    ::close(pidfd);
    if (r == 0) {
      ::kill(-pid, SIGKILL);
      ::waitpid(pid, &status, 0);
      fail("the run did not end within the time limit");
    }
  } else {
    // Without pidfd: poll the child's state.
    for (int waited = 0;; ++waited) {
      const pid_t r = ::waitpid(pid, &status, WNOHANG);
      if (r == pid) return status;
      if (waited >= kTimeLimitMilliseconds) {
        ::kill(-pid, SIGKILL);
        ::waitpid(pid, &status, 0);
        fail("the run did not end within the time limit");
      }
      const timespec ms{0, 1000000};
      ::nanosleep(&ms, nullptr);
    }
  }
  while (::waitpid(pid, &status, 0) < 0) {
    check(errno == EINTR, "waitpid failed");
  }
  return status;
}

std::vector<std::string> child_environment(bool check_leaks) {
  std::vector<std::string> env;
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string_view v(*e);
    if (v.starts_with("ASAN_OPTIONS=") || v.starts_with("UBSAN_OPTIONS=") ||
        v.starts_with("LSAN_OPTIONS=") || v.starts_with("FLOVERAN_"))
      continue;
    env.emplace_back(v);
  }
  // A sanitizer report ends the child with a status the tool never uses.
  env.emplace_back(
      std::string("ASAN_OPTIONS=exitcode=86:abort_on_error=0:handle_abort=1:detect_leaks=") +
      (check_leaks ? "1" : "0"));
  env.emplace_back("UBSAN_OPTIONS=exitcode=86:halt_on_error=1:print_stacktrace=1");
  env.emplace_back("LSAN_OPTIONS=exitcode=86");
  return env;
}

// The leak check at exit triples the time of a run, so it is made for one input
// in eight, chosen by the input's bytes so that a rerun of an input repeats it.
Outcome run_tool(const std::vector<std::string>& arguments, bool check_leaks,
                 const std::vector<std::string>& settings = {}) {
  const std::string& dir = private_folder();
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addchdir_np(&actions, dir.c_str());
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "console.txt", O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, 2, "errors.txt", O_WRONLY | O_CREAT | O_TRUNC, 0600);

  static const std::vector<std::string> env_leaks = child_environment(true);
  static const std::vector<std::string> env_fast = child_environment(false);
  const std::vector<std::string>& env = check_leaks ? env_leaks : env_fast;
  std::vector<char*> envp;
  for (const std::string& e : env) envp.push_back(const_cast<char*>(e.c_str()));
  for (const std::string& setting : settings) envp.push_back(const_cast<char*>(setting.c_str()));
  envp.push_back(nullptr);

  std::string tool = FLOVERAN_TOOL_PATH;
  if (const char* override_path = std::getenv("FLOVERAN_TOOL")) tool = override_path;
  std::vector<char*> argv;
  argv.push_back(tool.data());
  for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);

  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
  posix_spawnattr_setpgroup(&attributes, 0);

  pid_t pid = 0;
  const int r = ::posix_spawn(&pid, tool.c_str(), &actions, &attributes, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  check(r == 0, "posix_spawn failed", tool + ": " + std::strerror(r));

  const int status = wait_with_limit(pid);
  Outcome o;
  if (WIFEXITED(status)) {
    o.status = WEXITSTATUS(status);
  } else if (WIFSIGNALED(status)) {
    o.signal = WTERMSIG(status);
  }
  o.console = read_file(dir + "/console.txt");
  o.output = read_file(dir + "/out.txt");
  o.errors = read_file(dir + "/errors.txt");
  return o;
}

#endif

// The text a reader of the input sees: CR LF as LF, the end at the first Ctrl-Z.
std::string translated(std::string_view raw) {
  std::string out;
  for (std::size_t i = 0; i < raw.size(); ++i) {
    if (raw[i] == 0x1A) break;
    if (raw[i] == '\r' && i + 1 < raw.size() && raw[i + 1] == '\n') continue;
    out += raw[i];
  }
  return out;
}

// Whether the second line exists and is longer than 12 characters; -1 when the
// first two lines are not plain enough to judge (a NUL, or more than 1999 bytes).
int second_line_accepted(std::string_view raw) {
  const std::string text = translated(raw);
  const std::size_t lf1 = text.find('\n');
  const std::size_t line1_length = lf1 == std::string::npos ? text.size() : lf1 + 1;
  if (line1_length > 1999 || text.substr(0, line1_length).find('\0') != std::string::npos)
    return -1;
  if (lf1 == std::string::npos || lf1 + 1 == text.size()) return 0;
  const std::size_t lf2 = text.find('\n', lf1 + 1);
  const std::string_view line2 = std::string_view(text).substr(
      lf1 + 1, lf2 == std::string::npos ? std::string::npos : lf2 - lf1);
  if (line2.size() > 1999 || line2.find('\0') != std::string_view::npos) return -1;
  return line2.size() > 12 ? 1 : 0;
}

// Whether standard error holds only diagnostics lines: "floveran: ", printable
// ASCII, LF.
bool only_diagnostics(std::string_view errors) {
  constexpr std::string_view kPrefix = "floveran: ";
  while (!errors.empty()) {
    const std::size_t lf = errors.find('\n');
    if (lf == std::string_view::npos || !errors.starts_with(kPrefix)) return false;
    for (const char c : errors.substr(0, lf)) {
      if (c < 0x20 || c > 0x7E) return false;
    }
    errors.remove_prefix(lf + 1);
  }
  return true;
}

bool every_lf_after_cr(std::string_view text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) return false;
  }
  return true;
}

// ---------------------------------------------------------------------------
// Outcome features.

unsigned log2_bucket(std::size_t n) {
  unsigned b = 0;
  while (n > 0 && b < 31) {
    n >>= 1;
    ++b;
  }
  return b;
}

void feature(unsigned group, unsigned value) {
  outcome_counters[(group * 32 + (value & 31)) % sizeof outcome_counters] = 1;
}

std::size_t count_of(std::string_view text, std::string_view what) {
  std::size_t n = 0;
  for (std::size_t at = text.find(what); at != std::string_view::npos; at = text.find(what, at + 1))
    ++n;
  return n;
}

void record_features(const Outcome& o, std::size_t argument_count) {
  feature(0, static_cast<unsigned>(o.status) * 8 + static_cast<unsigned>(argument_count));
  feature(1, log2_bucket(o.console.size()));
  feature(2, log2_bucket(o.output.size()));
  feature(3, log2_bucket(count_of(o.output, "\n")));
  feature(4, log2_bucket(count_of(o.console, ".")));
  feature(5, log2_bucket(count_of(o.console, "month")));
  const std::size_t columns_at = o.console.find(" columns ");
  if (columns_at != std::string::npos) {
    std::size_t begin = o.console.rfind('\n', columns_at);
    begin = begin == std::string::npos ? 0 : begin + 1;
    const long count = std::strtol(o.console.c_str() + begin, nullptr, 10);
    feature(6, count <= 0 ? static_cast<unsigned>(count + 5)
                          : 5 + log2_bucket(static_cast<std::size_t>(count)));
  }
  feature(7, log2_bucket(count_of(o.output, "-9999")));
  feature(8, log2_bucket(count_of(o.output, "#")));
  feature(9, log2_bucket(count_of(o.output, "e+")) + 16 * (count_of(o.output, "e-") > 0));
  feature(10, log2_bucket(count_of(o.output, "\t-0\r") + count_of(o.output, "\t-0\t")));
  feature(11, log2_bucket(count_of(o.console, " head rows")));
  // Which diagnostics a run gave, one bit each.
  const char* const kDiagnostics[] = {"is not wholly a number", "is not above 0", "counting stopped",
                                      "area 0 for", "was read on into", "records in all",
                                      "not a date", "which is not a number", "end of the input",
                                      "Ctrl-Z", "cannot "};
  unsigned seen = 0;
  for (unsigned k = 0; k < sizeof kDiagnostics / sizeof *kDiagnostics; ++k) {
    if (o.errors.find(kDiagnostics[k]) != std::string::npos) seen |= 1u << k;
  }
  feature(12, seen);
  feature(13, seen >> 5);
  feature(14, log2_bucket(count_of(o.errors, "\n")));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 6) return 0;
  const std::size_t argument_count = 1 + data[0] % 6;
  const int head_rows = data[1] % 206 - 5;
  const int columns = data[2] % 206 - 5;
  const char* const timestep = kTimeSteps[data[3] % (sizeof kTimeSteps / sizeof *kTimeSteps)];
  const char* const method = kMethods[data[4] % (sizeof kMethods / sizeof *kMethods)];
  const std::string_view table(reinterpret_cast<const char*>(data) + 6, size - 6);

  const bool output_is_input = argument_count >= 2 && (data[5] & 7) == 7;
  std::vector<std::string> arguments = {"in.txt",
                                        output_is_input ? "./in.txt" : "out.txt",
                                        number_text(head_rows, data[5] >> 6),
                                        number_text(columns, data[4] >> 6),
                                        timestep,
                                        method};
  arguments.resize(argument_count);

  const std::string& dir = private_folder();
  write_file(dir + "/in.txt", table);
  std::remove((dir + "/out.txt").c_str());

  std::uint32_t hash = 2166136261u;
  for (std::size_t i = 0; i < size; ++i) hash = (hash ^ data[i]) * 16777619u;
  const Outcome o = run_tool(arguments, hash % 8 == 0);
  std::string summary = "status " + std::to_string(o.status) + " signal " +
                        std::to_string(o.signal) + "\nconsole:\n" + o.console.substr(0, 2000) +
                        "\nstandard error:\n" + o.errors.substr(0, 6000);

  check(o.signal == 0, "the run ended by a signal", summary);
  check(only_diagnostics(o.errors), "standard error holds more than diagnostics lines", summary);
  check(o.status >= 0 && o.status <= 3, "exit status outside 0 to 3", summary);
  const bool reason_given = o.errors.starts_with("floveran: cannot ") ||
                            o.errors.find("\nfloveran: cannot ") != std::string::npos;
  check(reason_given == (o.status == 2 || o.status == 3),
        "a reason on standard error not exactly behind status 2 and 3", summary);
  check(o.status != 1 || o.errors.empty(), "standard error behind status 1", summary);
  check(read_file(dir + "/in.txt") == table, "the input file was changed", summary);
  check(o.console.starts_with(kBanner), "the console does not start with the banner", summary);
  check(o.console.ends_with(kDone) == (o.status == 0), "fertig.. and status 0 do not go together",
        summary);
  check(every_lf_after_cr(o.output), "an LF of the output file without CR", summary);
  check(every_lf_after_cr(o.console), "an LF of the console without CR", summary);
  check((o.status == 3) == output_is_input, "status 3 not exactly for an output that is the input",
        summary);
  check((o.status == 1) == (argument_count == 1), "status 1 not exactly for a lone input name",
        summary);
  if (argument_count >= 2 && !output_is_input) {
    const int accepted = second_line_accepted(table);
    if (accepted >= 0) {
      check((o.status == 2) == (accepted == 0), "status 2 does not match the second line", summary);
    }
  }
  const bool output_made = argument_count >= 2 && !output_is_input && o.status == 0;
  std::vector<std::string> expected = {"console.txt", "errors.txt", "in.txt"};
  if (output_made) expected.push_back("out.txt");
  std::vector<std::string> listing = folder_names(dir);
  std::string names;
  for (const std::string& name : listing) names += name + " ";
  check(listing == expected, "the folder does not hold exactly the files of the run",
        summary + "\nfolder: " + names);
  record_features(o, argument_count);

  // Every lower vector level writes the same bytes (a level the machine lacks runs
  // as the best it has, which changes nothing either), and so do three threads,
  // with chunks so small that records meet their edges.
  // Not on Windows (see the top of this file).
#ifndef _WIN32
  // Chunks of one line each, or of a few lines (a table of fewer than 4 chunks runs
  // on one thread).
  const std::string chunk_bytes = std::to_string(hash / 8 % 2 == 0 ? 1 + hash / 16 % 8 : 8 + hash / 16 % 120);
  const struct {
    std::vector<std::string> settings;
    std::string name;
  } others[] = {
      {{"FLOVERAN_VECTOR_LEVEL=scalar"}, "at level scalar"},
      {{"FLOVERAN_VECTOR_LEVEL=avx2"}, "at level avx2"},
      {{"FLOVERAN_THREADS=3", "FLOVERAN_CHUNK_BYTES=" + chunk_bytes}, "on 3 threads, chunks of " + chunk_bytes},
  };
  for (const auto& other : others) {
    ::unlink((dir + "/out.txt").c_str());
    const Outcome lower = run_tool(arguments, false, other.settings);
    const std::string which = other.name + "\n" + summary;
    check(lower.status == o.status, "another status", which);
    check(lower.console == o.console, "another console", which);
    check(lower.output == o.output, "another output", which);
    check(lower.errors == o.errors, "another standard error", which + lower.errors.substr(0, 2000));
    check(read_file(dir + "/in.txt") == table, "the input file was changed", which);
  }
#endif
  return 0;
}
