// What a run leaves under the output name, end to end: the complete table after
// a successful run and nothing new or changed after a failed or interrupted one,
// with no hidden file left behind; permissions, owners and links of an existing
// output (attributes on Windows); outputs written in place (hard links, a folder
// that takes no new file, a file another program holds) and outputs written
// directly (pipes, a FIFO, standard output, devices).
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <thread>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "e2e/run_tool.h"
#include "support/links.h"

namespace floveran::testing {
namespace {

using Names = std::vector<std::string>;

const std::string kOldTable = "old table, to be kept\r\n";
const std::string kHeader = "T\nYY\tMM\tDD\tHH\t100.0\t50.0\nh3\nh4\nh5\n";
// Records stamped hour 2 show no progress marks, so that the console of a run
// cut off anywhere in the records is known.
const std::string kRecord = "2000 1 1 2 10 20\n";
const std::string kRow = "2000\t1\t1\t2\t0.36\t1.44\r\n";
// Enough records for several blocks of output (1 MB in, 1.3 MB out).
constexpr int kManyRecords = 60000;

std::string repeated(const std::string& text, int times) {
  std::string out;
  out.reserve(text.size() * static_cast<std::size_t>(times));
  for (int i = 0; i < times; ++i) out += text;
  return out;
}

std::string converted_header(const std::string& input_name) {
  return crlf("specific_runoff_from_" + input_name +
              ",_output_timestep:_1.00_h,_original:T\nYY\tMM\tDD\tHH\t100.000\t50.000\nh3\nh4\nh5\n");
}

#ifdef _WIN32

// What Windows tells of a file by a handle that may only look at it.
BY_HANDLE_FILE_INFORMATION information_of(const std::string& path) {
  BY_HANDLE_FILE_INFORMATION information{};
  const HANDLE file = ::CreateFileW(path_from_utf8(path).c_str(), FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  EXPECT_NE(file, INVALID_HANDLE_VALUE) << path;
  if (file != INVALID_HANDLE_VALUE) {
    EXPECT_TRUE(::GetFileInformationByHandle(file, &information)) << path;
    ::CloseHandle(file);
  }
  return information;
}

// Which file a name reaches (its file index), how many names it has, and its size
// as its handle knows it (the folder's entry may lag behind a writer).
std::uint64_t file_number(const std::string& path) {
  const BY_HANDLE_FILE_INFORMATION information = information_of(path);
  return (std::uint64_t{information.nFileIndexHigh} << 32) | information.nFileIndexLow;
}
unsigned link_count(const std::string& path) { return information_of(path).nNumberOfLinks; }
std::uint64_t size_of(const std::string& path) {
  const BY_HANDLE_FILE_INFORMATION information = information_of(path);
  return (std::uint64_t{information.nFileSizeHigh} << 32) | information.nFileSizeLow;
}
DWORD attributes_of(const std::string& path) { return ::GetFileAttributesW(path_from_utf8(path).c_str()); }

// Everything that shows whether a file was touched: bytes, file index,
// attributes, and the time it was last written.
struct FileState {
  std::string bytes;
  BY_HANDLE_FILE_INFORMATION information{};
};

FileState state_of(const std::string& path) { return {read_file(path), information_of(path)}; }

void expect_untouched(const FileState& before, const std::string& path, const std::string& label) {
  const FileState after = state_of(path);
  EXPECT_EQ(after.bytes, before.bytes) << label;
  EXPECT_EQ(after.information.nFileIndexLow, before.information.nFileIndexLow) << label;
  EXPECT_EQ(after.information.nFileIndexHigh, before.information.nFileIndexHigh) << label;
  EXPECT_EQ(after.information.dwFileAttributes, before.information.dwFileAttributes) << label;
  EXPECT_EQ(after.information.ftLastWriteTime.dwLowDateTime, before.information.ftLastWriteTime.dwLowDateTime)
      << label;
  EXPECT_EQ(after.information.ftLastWriteTime.dwHighDateTime, before.information.ftLastWriteTime.dwHighDateTime)
      << label;
}

// Whether `link` is still a symbolic link, and leads to the file `target` names.
bool link_leads_to(const std::string& link, const std::string& target) {
  const DWORD attributes = attributes_of(link);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
         file_number(link) == file_number(target);
}

// Ctrl-C as a user types it: Windows sends it to every process of a console, so
// the test process takes a console of its own, which the tools it starts share,
// and takes no notice of the events itself. Its standard handles stay those it
// was started with.
void share_a_console() {
  static const bool shared = [] {
    const HANDLE in = ::GetStdHandle(STD_INPUT_HANDLE);
    const HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
    const HANDLE errors = ::GetStdHandle(STD_ERROR_HANDLE);
    ::FreeConsole();
    const bool made = ::AllocConsole() != 0;
    ::SetStdHandle(STD_INPUT_HANDLE, in);
    ::SetStdHandle(STD_OUTPUT_HANDLE, out);
    ::SetStdHandle(STD_ERROR_HANDLE, errors);
    // Ctrl-C handled as in a console's foreground program, whatever the test
    // process was started with: the tools it starts inherit that.
    ::SetConsoleCtrlHandler(nullptr, FALSE);
    ::SetConsoleCtrlHandler([](DWORD) -> BOOL { return TRUE; }, TRUE);
    return made;
  }();
  EXPECT_TRUE(shared) << "no console of its own for the test";
}

// How a test interrupts a run (a console event), and what it looks like when the
// run has ended so.
using Interrupt = DWORD;
inline constexpr Interrupt kCtrlC = CTRL_C_EVENT;
std::string interrupt_name(Interrupt interrupt) { return interrupt == kCtrlC ? "Ctrl-C" : "Ctrl-Break"; }
int ending_of(Interrupt) { return kInterruptEnd; }

// A run fed through a named pipe that the test holds open, so that the tool is
// provably in the middle of its records until the test closes it. The tool reads
// the pipe by its name (input_name()), since Windows has no name for standard
// input; it shares the test's console, which sends it the interrupts.
class FedRun {
 public:
  FedRun(const TempDir& dir, const std::string& output, const ToolOptions& options = {}) {
    share_a_console();
    EXPECT_TRUE(pipe_.ready());
    started_ = start_tool(dir, {pipe_.name(), output}, options);
    EXPECT_TRUE(pipe_.wait_for_reader());
  }
  ~FedRun() {
    if (!finished_) {  // a test that stopped early: no tool is left running
      ::TerminateProcess(started_.process, 1);
      pipe_.close();
      finish_tool(started_);
    }
  }
  FedRun(const FedRun&) = delete;
  FedRun& operator=(const FedRun&) = delete;

  const std::string& input_name() const { return pipe_.name(); }
  bool feed(const std::string& bytes) { return pipe_.write(bytes); }
  // Sends the event, and gives the tool time to end by it before anything else
  // happens: Windows runs the handler on a thread it starts later. A tool that
  // ignores the event is given a few seconds. False where the system sends no
  // such event.
  bool interrupt(Interrupt interrupt, bool ignored = false) {
    if (!::GenerateConsoleCtrlEvent(interrupt, 0)) return false;
    ::WaitForSingleObject(started_.process, ignored ? 3000 : 60000);
    return true;
  }
  ToolRun finish() {
    pipe_.close();
    finished_ = true;
    return finish_tool(started_);
  }

 private:
  NamedPipeWriter pipe_;
  bool finished_ = false;
  StartedTool started_;
};

#else

struct stat stat_of(const std::string& path) {
  struct stat st {};
  EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
  return st;
}

unsigned mode_of(const std::string& path) { return stat_of(path).st_mode & 07777u; }
std::uint64_t file_number(const std::string& path) { return stat_of(path).st_ino; }
unsigned link_count(const std::string& path) { return static_cast<unsigned>(stat_of(path).st_nlink); }
std::uint64_t size_of(const std::string& path) { return static_cast<std::uint64_t>(stat_of(path).st_size); }

// Everything that shows whether a file was touched: bytes, mode, owner, inode,
// and the time it was last written.
struct FileState {
  std::string bytes;
  struct stat st {};
};

FileState state_of(const std::string& path) { return {read_file(path), stat_of(path)}; }

void expect_untouched(const FileState& before, const std::string& path, const std::string& label) {
  const FileState after = state_of(path);
  EXPECT_EQ(after.bytes, before.bytes) << label;
  EXPECT_EQ(after.st.st_ino, before.st.st_ino) << label;
  EXPECT_EQ(after.st.st_mode, before.st.st_mode) << label;
  EXPECT_EQ(after.st.st_uid, before.st.st_uid) << label;
  EXPECT_EQ(after.st.st_mtim.tv_sec, before.st.st_mtim.tv_sec) << label;
  EXPECT_EQ(after.st.st_mtim.tv_nsec, before.st.st_mtim.tv_nsec) << label;
}

std::string link_text(const std::string& path) {
  std::error_code error;
  return std::filesystem::read_symlink(path, error).string();
}

bool write_all(int fd, const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

// How a test interrupts a run (a signal), and what it looks like when the run
// has ended so.
using Interrupt = int;
inline constexpr Interrupt kCtrlC = SIGINT;
std::string interrupt_name(Interrupt interrupt) { return strsignal(interrupt); }
int ending_of(Interrupt interrupt) { return interrupt; }

// A run fed through a pipe that the test holds open, so that the tool is
// provably in the middle of its records until the test closes it. The tool reads
// it as /dev/stdin (input_name()).
class FedRun {
 public:
  FedRun(const TempDir& dir, const std::string& output, ToolOptions options = {}) {
    ::signal(SIGPIPE, SIG_IGN);  // a tool that ended early must fail a write, not the test
    EXPECT_EQ(::pipe2(feed_, O_CLOEXEC), 0);
    options.stdin_handle = feed_[0];
    started_ = start_tool(dir, {input_name(), output}, options);
    ::close(feed_[0]);
  }
  ~FedRun() {
    close_feed();
    if (!finished_) {  // a test that stopped early: no tool is left running
      ::kill(started_.pid, SIGKILL);
      finish_tool(started_);
    }
  }
  FedRun(const FedRun&) = delete;
  FedRun& operator=(const FedRun&) = delete;

  const std::string& input_name() const { return kInput; }
  bool feed(const std::string& bytes) { return write_all(feed_[1], bytes); }
  void close_feed() {
    if (feed_[1] >= 0) ::close(feed_[1]);
    feed_[1] = -1;
  }
  bool interrupt(Interrupt signal_number, bool = false) { return ::kill(started_.pid, signal_number) == 0; }
  ToolRun finish() {
    close_feed();
    finished_ = true;
    return finish_tool(started_);
  }

 private:
  inline static const std::string kInput = "/dev/stdin";
  int feed_[2] = {-1, -1};
  bool finished_ = false;
  StartedTool started_;
};

#endif

// The hidden file a run writes its table to, once it holds at least `size`
// bytes; waits up to 60 s. Empty when there is none.
std::string wait_for_replacement(const TempDir& dir, const std::string& output, std::uint64_t size) {
  const std::string prefix = "." + output + ".floveran-";
  for (int waited = 0; waited < 60000; waited += 10) {
    for (const std::string& name : folder_contents(dir.path)) {
      if (name.rfind(prefix, 0) != 0) continue;
      std::error_code gone;
      if (std::filesystem::exists(dir.path / path_from_utf8(name), gone) && size_of(dir.file(name)) >= size) {
        return dir.file(name);
      }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return {};
}

// ---------------------------------------------------------------- success ---

TEST(OutputFile, SuccessLeavesExactlyTheTableUnderTheName) {
  const struct {
    const char* name;
    bool old_output;
    std::string old_bytes;
  } cases[] = {{"new_output", false, ""},
               {"longer_old_output", true, std::string(5000, '#') + "\r\n"},
               {"shorter_old_output", true, "x"},
               {"empty_old_output", true, ""}};
  for (const auto& c : cases) {
    TempDir dir;
    write_file(dir.file("in.txt"), kSmallTable);
    if (c.old_output) write_file(dir.file("out.txt"), c.old_bytes);
    const ToolRun run = run_tool(dir, {"in.txt", "out.txt"});
    EXPECT_EQ(run.status, 0) << c.name;
    EXPECT_EQ(run.console, kSmallTableConsole) << c.name;
    EXPECT_EQ(run.errors, "") << c.name;
    EXPECT_EQ(read_file(dir.file("out.txt")), kSmallTableConverted) << c.name;
    EXPECT_EQ(folder_contents(dir.path), (Names{"in.txt", "out.txt"})) << c.name;
  }
}

TEST(OutputFile, NewOutputWithTheLongestNameAFolderTakes) {
  TempDir dir;
  write_file(dir.file("in.txt"), kSmallTable);
  const std::string output = std::string(251, 'o') + ".txt";
  const ToolRun run = run_tool(dir, {"in.txt", output});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.console, kSmallTableConsole);
  EXPECT_EQ(read_file(dir.file(output)), kSmallTableConverted);
  EXPECT_EQ(folder_contents(dir.path), (Names{"in.txt", output}));
}

// ---------------------------------------------------------------- failures ---

// The input that fails to be read: the memory file of the process on Linux; on
// Windows, which has none, in.txt locked by the test (UnreadableInput).
#ifdef _WIN32
const std::string kUnreadable = "in.txt, locked";
#else
const std::string kUnreadable = "/proc/self/mem";
#endif

TEST(OutputFile, FailedRunLeavesNoFileOrTheOldOneUntouched) {
  const struct {
    const char* name;
    std::string input;  // a file name; in.txt holds `table`
    std::string table;
    std::vector<std::string> extra_arguments;
    std::string console;  // after the banner; {input} stands for the input's name
    std::string errors;   // the reason, or its frame when the system gives the rest
    std::string system_text;  // the system's text behind the frame on Linux, if any
  } cases[] = {
      {"area_line_missing", "in.txt", "T\n", {}, "error reading a record\n",
       "floveran: cannot read the input \"in.txt\": line 2 is missing\n", ""},
      {"areas_too_many_to_hold", "in.txt", kSmallTable, {"5", "2147483647"},
       "2147483647 columns 100.0\t50.0\n\nnot enough memory for 2147483647 columns\n",
       "floveran: cannot hold the areas of 2147483647 columns in memory; is argument 4 right?\n", ""},
      {"read_error", kUnreadable, kSmallTable, {}, "error reading file {input}\n",
       "floveran: cannot read the input \"{input}\": ", "Input/output error"},
  };
  for (const auto& c : cases) {
    for (const bool old_output : {false, true}) {
      const std::string label = std::string(c.name) + (old_output ? " over an old output" : "");
      TempDir dir;
      write_file(dir.file("in.txt"), c.table);
      std::string input = c.input;
#ifdef _WIN32
      std::optional<UnreadableInput> unreadable;
      if (input == kUnreadable) {
        unreadable.emplace(dir, c.table, "in.txt");
        if (unreadable->name.empty()) GTEST_SKIP() << unreadable->missing;
        input = unreadable->name;
      }
#endif
      // The console shows the name as it is, standard error with its backslashes doubled.
      const auto named = [&input](std::string text, bool shown) {
        for (std::size_t at; (at = text.find("{input}")) != std::string::npos;) {
          text.replace(at, 7, shown ? shown_name(input) : input);
        }
        return text;
      };
      FileState before;
      if (old_output) {
        write_file(dir.file("out.txt"), kOldTable);
#ifndef _WIN32
        ::chmod(dir.file("out.txt").c_str(), 0640);
#endif
        before = state_of(dir.file("out.txt"));
      }
      std::vector<std::string> arguments = {input, "out.txt"};
      arguments.insert(arguments.end(), c.extra_arguments.begin(), c.extra_arguments.end());
      const ToolRun run = run_tool(dir, arguments);
      EXPECT_EQ(run.status, 2) << label;
      EXPECT_EQ(run.console, crlf(kBanner + named(c.console, false))) << label;
      if (c.system_text.empty()) {
        EXPECT_EQ(run.errors, c.errors) << label;
      } else {
        EXPECT_TRUE(has_system_reason(run.errors, named(c.errors, true), c.system_text)) << label;
      }
      if (old_output) {
        expect_untouched(before, dir.file("out.txt"), label);
        EXPECT_EQ(folder_contents(dir.path), (Names{"in.txt", "out.txt"})) << label;
      } else {
        EXPECT_EQ(folder_contents(dir.path), (Names{"in.txt"})) << label;
      }
    }
  }
}

#ifndef _WIN32
// Runs `script` with bash in a mount namespace of its own, in `dir`, so that it
// can mount a small file system; FLOVERAN names the tool. Its exit status, or
// -1 when no such namespace can be had here (not root, and no user namespaces).
int run_with_private_mounts(const TempDir& dir, const std::string& script) {
  write_file(dir.file("script.sh"), script);
  const std::string prefix = "cd '" + dir.path.string() + "' && FLOVERAN='" + FLOVERAN_BINARY + "' ";
  for (const char* unshare : {"unshare -m", "unshare -m -U -r"}) {
    if (std::system((std::string(unshare) + " true 2>/dev/null").c_str()) != 0) continue;
    const int status = std::system((prefix + unshare + " bash script.sh").c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
  }
  return -1;
}
#endif

// A file system that fills up in the middle of the table, or is full before the
// run so that the table fails at its last write, when the output is closed:
// status 3, and the old output as it was, or none.
TEST(OutputFile, FullFileSystemLeavesTheOldOutputAsItWas) {
#ifdef _WIN32
  GTEST_SKIP() << "no small file system to fill: Windows has no tmpfs to mount, and Wine's drives are "
                  "folders of the Linux file system";
#else
  const struct {
    const char* name;
    int records;
    bool full_before;  // a file fills the file system before the run
  } cases[] = {{"fills_up_in_the_middle", kManyRecords, false},
               {"full_before_the_run", 3, true}};
  for (const auto& c : cases) {
    for (const bool old_output : {false, true}) {
      const std::string label = std::string(c.name) + (old_output ? " over an old output" : "");
      TempDir dir;
      write_file(dir.file("in.txt"), kHeader + repeated(kRecord, c.records));
      std::filesystem::create_directory(dir.file("small"));
      const int status = run_with_private_mounts(
          dir, std::string("set -u\n"
                           "mount -t tmpfs -o size=512k floveran-test small || exit 97\n") +
                   (old_output ? "printf 'old table, to be kept\\r\\n' > small/out.txt\n"
                                 "chmod 640 small/out.txt\n"
                               : "") +
                   (c.full_before ? "cat /dev/zero > small/fill 2> /dev/null\n" : "") +
                   "cd small\n"
                   "\"$FLOVERAN\" ../in.txt out.txt > ../console.txt 2> ../errors.txt\n"
                   "echo $? > ../status.txt\n"
                   "ls -A > ../listing.txt\n"
                   "if [ -e out.txt ]; then cp -p out.txt ../after.txt; fi\n");
      if (status == -1 || status == 97) {
        GTEST_SKIP() << "no small file system to fill: neither `unshare -m` nor `unshare -m -U -r` "
                        "with a tmpfs mount works here";
      }
      ASSERT_EQ(status, 0) << label;
      EXPECT_EQ(read_file(dir.file("status.txt")), "3\n") << label;
      EXPECT_EQ(read_file(dir.file("console.txt")),
                crlf(kBanner + "2 columns \nerror writing file out.txt\n"))
          << label;
      EXPECT_EQ(read_file(dir.file("errors.txt")),
                "floveran: cannot write the output \"out.txt\": No space left on device\n")
          << label;
      const std::string fill = c.full_before ? "fill\n" : "";
      if (old_output) {
        EXPECT_EQ(read_file(dir.file("listing.txt")), fill + "out.txt\n") << label;
        EXPECT_EQ(read_file(dir.file("after.txt")), kOldTable) << label;
        EXPECT_EQ(mode_of(dir.file("after.txt")), 0640u) << label;
      } else {
        EXPECT_EQ(read_file(dir.file("listing.txt")), fill) << label;
      }
    }
  }
#endif
}

// ---------------------------------------------------------------- interrupts ---

// Interrupts a run in the middle of its table, over an old output or none: the
// run ends by the interrupt, with its note, and leaves the folder as it was.
// False when the system sent no such interrupt.
bool interrupted_run_leaves_no_trace(Interrupt interrupt, bool old_output) {
  const std::string label = interrupt_name(interrupt) + (old_output ? " over an old output" : "");
  TempDir dir;
  FileState before;
  if (old_output) {
    write_file(dir.file("out.txt"), kOldTable);
#ifndef _WIN32
    ::chmod(dir.file("out.txt").c_str(), 0644);
#endif
    before = state_of(dir.file("out.txt"));
  }
  FedRun run(dir, "out.txt");
  EXPECT_TRUE(run.feed(kHeader + repeated(kRecord, kManyRecords))) << label;
  // The table is being written: a block of it is out, the input is still open.
  const std::string replacement = wait_for_replacement(dir, "out.txt", 256 * 1024);
  EXPECT_NE(replacement, "") << label;
  if (replacement.empty()) return true;
#ifdef _WIN32
  EXPECT_NE(attributes_of(replacement) & FILE_ATTRIBUTE_HIDDEN, 0u) << label << ": shown while incomplete";
#else
  EXPECT_EQ(mode_of(replacement), 0600u) << label << ": readable by others while incomplete";
#endif
  if (!run.interrupt(interrupt)) return false;
  const ToolRun ended = run.finish();
  EXPECT_EQ(ended.signal, ending_of(interrupt)) << label;
  EXPECT_EQ(ended.status, -1) << label;
  EXPECT_EQ(ended.console, crlf(kBanner + "2 columns \n")) << label;
  EXPECT_EQ(ended.errors, "floveran: conversion interrupted, nothing was written to out.txt\n") << label;
  if (old_output) {
    expect_untouched(before, dir.file("out.txt"), label);
    EXPECT_EQ(folder_contents(dir.path), (Names{"out.txt"})) << label;
  } else {
    EXPECT_EQ(folder_contents(dir.path), Names{}) << label;
  }
  return true;
}

// Ctrl-C, a kill and a closed terminal on POSIX systems; Ctrl-C on Windows
// (Ctrl-Break below).
TEST(OutputFile, InterruptEndsTheRunBySignalAndLeavesNoTrace) {
#ifdef _WIN32
  const Interrupt interrupts[] = {kCtrlC};
#else
  const Interrupt interrupts[] = {SIGINT, SIGTERM, SIGHUP};
#endif
  for (const Interrupt interrupt : interrupts) {
    for (const bool old_output : {false, true}) {
      EXPECT_TRUE(interrupted_run_leaves_no_trace(interrupt, old_output)) << interrupt_name(interrupt);
    }
  }
}

#ifdef _WIN32
TEST(OutputFile, CtrlBreakEndsTheRunLikeCtrlC) {
  for (const bool old_output : {false, true}) {
    if (!interrupted_run_leaves_no_trace(CTRL_BREAK_EVENT, old_output)) {
      GTEST_SKIP() << "this system sends no Ctrl-Break to a console's processes (Wine: "
                      "GenerateConsoleCtrlEvent fails for it)";
    }
  }
}
#endif

// A shell's background jobs and nohup start the tool with interrupts ignored (on
// Windows a new process group, which starts with Ctrl-C ignored): they must stay
// ignored, and the run complete.
TEST(OutputFile, InterruptsIgnoredAtTheStartStayIgnored) {
  TempDir dir;
  FedRun run(dir, "out.txt", {.ignore_interrupts = true});
  EXPECT_TRUE(run.feed(kHeader + repeated(kRecord, kManyRecords)));
  ASSERT_NE(wait_for_replacement(dir, "out.txt", 256 * 1024), "");
  EXPECT_TRUE(run.interrupt(kCtrlC, true));
#ifndef _WIN32
  run.interrupt(SIGHUP, true);
#endif
  EXPECT_TRUE(run.feed(kRecord));
  const ToolRun ended = run.finish();
  EXPECT_EQ(ended.status, 0);
  EXPECT_EQ(ended.console, crlf(kBanner + "2 columns \nfertig..\n"));
  EXPECT_EQ(ended.errors, "");
  EXPECT_TRUE(read_file(dir.file("out.txt")) ==
              converted_header(run.input_name()) + repeated(kRow, kManyRecords + 1));
  EXPECT_EQ(folder_contents(dir.path), (Names{"out.txt"}));
}

// ---------------------------------------------------------------- permissions ---

TEST(OutputFile, ExistingOutputKeepsItsPermissionsAndANewOneFollowsTheUmask) {
#ifdef _WIN32
  GTEST_SKIP() << "Windows has no permission bits and no umask; ExistingOutputKeepsItsAttributes checks "
                  "what an existing output keeps there";
#else
  const struct {
    const char* name;
    int old_mode;  // -1: no old output
    int umask;
    unsigned mode;
  } cases[] = {
      {"old_0640", 0640, 022, 0640},  {"old_0604_under_umask_077", 0604, 077, 0604},
      {"old_0755", 0755, 022, 0755},  {"old_0600", 0600, 022, 0600},
      {"old_0666", 0666, 022, 0666},  {"new_under_umask_022", -1, 022, 0644},
      {"new_under_umask_027", -1, 027, 0640}, {"new_under_umask_0", -1, 0, 0666},
      {"new_under_umask_077", -1, 077, 0600},
  };
  for (const auto& c : cases) {
    TempDir dir;
    write_file(dir.file("in.txt"), kSmallTable);
    if (c.old_mode >= 0) {
      write_file(dir.file("out.txt"), kOldTable);
      ::chmod(dir.file("out.txt").c_str(), static_cast<mode_t>(c.old_mode));
    }
    const ToolRun run = run_tool(dir, {"in.txt", "out.txt"}, {.umask = c.umask});
    EXPECT_EQ(run.status, 0) << c.name;
    EXPECT_EQ(read_file(dir.file("out.txt")), kSmallTableConverted) << c.name;
    EXPECT_EQ(mode_of(dir.file("out.txt")), c.mode) << c.name;
    EXPECT_EQ(folder_contents(dir.path), (Names{"in.txt", "out.txt"})) << c.name;
  }
#endif
}

#ifdef _WIN32
// The attributes a user gives a file (hidden, system, not indexed) stay with the
// output; a new output is a plain file, without the replacement's hidden mark.
TEST(OutputFile, ExistingOutputKeepsItsAttributes) {
  constexpr DWORD kShown = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
  const struct {
    const char* name;
    bool old_output;
    DWORD old_attributes;
  } cases[] = {{"plain_old_output", true, FILE_ATTRIBUTE_NORMAL},
               {"hidden_old_output", true, FILE_ATTRIBUTE_HIDDEN},
               {"system_old_output", true, FILE_ATTRIBUTE_SYSTEM},
               {"hidden_system_old_output", true, FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM},
               {"new_output", false, 0}};
  for (const auto& c : cases) {
    TempDir dir;
    write_file(dir.file("in.txt"), kSmallTable);
    if (c.old_output) {
      write_file(dir.file("out.txt"), kOldTable);
      ASSERT_TRUE(::SetFileAttributesW(path_from_utf8(dir.file("out.txt")).c_str(), c.old_attributes)) << c.name;
    }
    const ToolRun run = run_tool(dir, {"in.txt", "out.txt"});
    EXPECT_EQ(run.status, 0) << c.name;
    EXPECT_EQ(read_file(dir.file("out.txt")), kSmallTableConverted) << c.name;
    EXPECT_EQ(attributes_of(dir.file("out.txt")) & kShown, c.old_attributes & kShown) << c.name;
    EXPECT_EQ(folder_contents(dir.path), (Names{"in.txt", "out.txt"})) << c.name;
  }
}
#endif

TEST(OutputFile, ExistingOutputKeepsItsOwnerAndGroup) {
#ifdef _WIN32
  GTEST_SKIP() << "on Windows only a privileged program may give a file another owner, and Wine keeps no "
                  "owners of files";
#else
  if (::geteuid() != 0) GTEST_SKIP() << "only root can give the old output another owner";
  TempDir dir;
  write_file(dir.file("in.txt"), kSmallTable);
  write_file(dir.file("out.txt"), kOldTable);
  ASSERT_EQ(::chown(dir.file("out.txt").c_str(), 1234, 5678), 0);
  ::chmod(dir.file("out.txt").c_str(), 0640);
  const ToolRun run = run_tool(dir, {"in.txt", "out.txt"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(read_file(dir.file("out.txt")), kSmallTableConverted);
  const struct stat st = stat_of(dir.file("out.txt"));
  EXPECT_EQ(st.st_uid, 1234u);
  EXPECT_EQ(st.st_gid, 5678u);
  EXPECT_EQ(st.st_mode & 07777u, 0640u);
#endif
}

// Run as a user without the rights of root (nobody, when the tests run as root):
// the decisions at opening time are those of a plain open for writing. On
// Windows: a read-only output is refused, and one that another program holds
// open without letting it be deleted is written in place, as a plain open for
// writing would.
TEST(OutputFile, RightsOfTheUserDecideAtOpeningTime) {
#ifdef _WIN32
  const struct {
    const char* name;
    DWORD old_attributes;
    bool held;  // another program holds it open, sharing reads and writes only
    int status;
    bool written;
  } cases[] = {{"read_only_old_output", FILE_ATTRIBUTE_READONLY, false, 3, false},
               {"old_output_held_by_another_program", FILE_ATTRIBUTE_NORMAL, true, 0, true}};
  for (const auto& c : cases) {
    TempDir dir;
    write_file(dir.file("in.txt"), kSmallTable);
    std::filesystem::create_directory(dir.path / "box");
    const std::string output = dir.file("box/out.txt");
    write_file(output, kOldTable);
    ASSERT_TRUE(::SetFileAttributesW(path_from_utf8(output).c_str(), c.old_attributes)) << c.name;
    const FileState before = state_of(output);
    const HANDLE holder = c.held ? ::CreateFileW(path_from_utf8(output).c_str(), GENERIC_READ,
                                                 FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                                 FILE_ATTRIBUTE_NORMAL, nullptr)
                                 : INVALID_HANDLE_VALUE;
    EXPECT_EQ(holder != INVALID_HANDLE_VALUE, c.held) << c.name;
    const ToolRun run = run_tool(dir, {"in.txt", "box/out.txt"});
    if (holder != INVALID_HANDLE_VALUE) ::CloseHandle(holder);
    EXPECT_EQ(run.status, c.status) << c.name;
    if (c.status == 3) {
      EXPECT_EQ(run.console, crlf(kBanner + "error opening file box/out.txt\n")) << c.name;
      EXPECT_TRUE(has_system_reason(run.errors, "floveran: cannot open the output \"box/out.txt\": ", ""))
          << c.name;
    } else {
      EXPECT_EQ(run.console, kSmallTableConsole) << c.name;
    }
    if (c.written) {
      EXPECT_EQ(read_file(output), kSmallTableConverted) << c.name;
      EXPECT_EQ(file_number(output), (std::uint64_t{before.information.nFileIndexHigh} << 32) |
                                         before.information.nFileIndexLow)
          << c.name << ": written in place";
    } else {
      expect_untouched(before, output, c.name);
    }
    EXPECT_EQ(folder_contents(dir.file("box")), Names{"out.txt"}) << c.name;
    ::SetFileAttributesW(path_from_utf8(output).c_str(), FILE_ATTRIBUTE_NORMAL);
  }
#else
  const bool root = ::geteuid() == 0;
  const auto give_to_runner = [root](const std::string& path) {
    if (root) {
      ASSERT_EQ(::lchown(path.c_str(), kNobody, kNobody), 0) << path;
    }
  };
  const struct {
    const char* name;
    bool only_as_root;
    std::string folder_mode;  // of the folder "box"
    bool old_output;          // box/out.txt exists
    bool owned_by_root;       // box and box/out.txt belong to root, not to the runner
    mode_t old_mode;
    int status;
    bool written;  // the table is under box/out.txt
    bool in_place; // the same file as before holds it
  } cases[] = {
      {"read_only_old_output", false, "755", true, false, 0444, 3, false, false},
      {"new_output_in_a_read_only_folder", false, "555", false, false, 0, 3, false, false},
      {"old_output_in_a_read_only_folder", false, "555", true, false, 0644, 0, true, true},
      {"old_output_of_root_in_a_sticky_folder", true, "1777", true, true, 0666, 0, true, true},
      {"old_output_of_root_in_a_shared_folder", true, "777", true, true, 0666, 0, true, false},
  };
  for (const auto& c : cases) {
    if (c.only_as_root && !root) continue;
    TempDir dir;
    ::chmod(dir.path.c_str(), 0755);
    write_file(dir.file("in.txt"), kSmallTable);
    const std::string box = dir.file("box");
    std::filesystem::create_directory(box);
    if (!c.owned_by_root) give_to_runner(box);
    const std::string output = dir.file("box/out.txt");
    FileState before;
    if (c.old_output) {
      write_file(output, kOldTable);
      if (!c.owned_by_root) give_to_runner(output);
      ::chmod(output.c_str(), c.old_mode);
      before = state_of(output);
    }
    ::chmod(box.c_str(), static_cast<mode_t>(std::stoi(c.folder_mode, nullptr, 8)));
    const ToolRun run = run_tool(dir, {"in.txt", "box/out.txt"}, {.unprivileged = true});
    ::chmod(box.c_str(), 0755);
    EXPECT_EQ(run.status, c.status) << c.name;
    if (c.status == 3) {
      EXPECT_EQ(run.console, crlf(kBanner + "error opening file box/out.txt\n")) << c.name;
    } else {
      EXPECT_EQ(run.console, kSmallTableConsole) << c.name;
    }
    if (c.written) {
      EXPECT_EQ(read_file(output), kSmallTableConverted) << c.name;
      EXPECT_EQ(stat_of(output).st_ino == before.st.st_ino, c.in_place) << c.name;
      EXPECT_EQ(mode_of(output), static_cast<unsigned>(c.old_mode)) << c.name;
    } else if (c.old_output) {
      expect_untouched(before, output, c.name);
    }
    EXPECT_EQ(folder_contents(box), c.old_output ? Names{"out.txt"} : Names{}) << c.name;
  }
#endif
}

// ---------------------------------------------------------------- links ---

// On Windows a link that leads to no file is not followed: such an output cannot
// be opened (status 3), and nothing is created.
TEST(OutputFile, SymbolicLinkStaysAndTheFileItLeadsToIsReplaced) {
  {
    TempDir probe;
    if (!make_symbolic_link("absent.txt", probe.file("link.txt"))) GTEST_SKIP() << kNoSymbolicLinks;
  }
#ifdef _WIN32
  constexpr bool kMissingFilesFollowed = false;
#else
  constexpr bool kMissingFilesFollowed = true;
#endif
  const struct {
    const char* name;
    std::vector<std::pair<std::string, std::string>> links;  // name, text
    std::string output;
    bool old_target;
    Names top;  // the test folder after the run
    Names data;  // the folder data after the run
  } cases[] = {
      {"relative_link_into_a_folder", {{"out.txt", "data/real.txt"}}, "out.txt", true,
       {"data", "in.txt", "out.txt"}, {"real.txt"}},
      {"link_to_a_missing_file", {{"out.txt", "data/real.txt"}}, "out.txt", false,
       {"data", "in.txt", "out.txt"}, kMissingFilesFollowed ? Names{"real.txt"} : Names{}},
      {"chain_of_links", {{"out.txt", "hop.txt"}, {"hop.txt", "data/real.txt"}}, "out.txt", true,
       {"data", "hop.txt", "in.txt", "out.txt"}, {"real.txt"}},
      {"link_read_from_its_own_folder", {{"data/link.txt", "real.txt"}}, "data/link.txt", true,
       {"data", "in.txt"}, {"link.txt", "real.txt"}},
      {"absolute_link", {{"out.txt", "@/data/real.txt"}}, "out.txt", true,
       {"data", "in.txt", "out.txt"}, {"real.txt"}},
  };
  for (const auto& c : cases) {
    for (const bool fails : {false, true}) {
      const std::string label = std::string(c.name) + (fails ? " in a failed run" : "");
      TempDir dir;
      write_file(dir.file("in.txt"), fails ? "T\n" : kSmallTable);
      std::filesystem::create_directory(dir.file("data"));
      const std::string target = dir.file("data/real.txt");
      FileState before;
      if (c.old_target) {
        write_file(target, kOldTable);
#ifndef _WIN32
        ::chmod(target.c_str(), 0604);
#endif
        before = state_of(target);
      }
      std::vector<std::string> texts;
      for (const auto& [name, text] : c.links) {
        texts.push_back(text[0] == '@' ? dir.name() + text.substr(1) : text);
        ASSERT_TRUE(make_symbolic_link(texts.back(), dir.file(name))) << label;
      }
      const ToolRun run = run_tool(dir, {"in.txt", c.output});
      for (std::size_t i = 0; i < c.links.size(); ++i) {
#ifdef _WIN32
        if (c.old_target) {
          EXPECT_TRUE(link_leads_to(dir.file(c.links[i].first), target)) << label;
        }
#else
        EXPECT_EQ(link_text(dir.file(c.links[i].first)), texts[i]) << label;
#endif
      }
      if (!c.old_target && !kMissingFilesFollowed) {
        EXPECT_EQ(run.status, fails ? 2 : 3) << label;
        EXPECT_EQ(folder_contents(dir.file("data")), c.data) << label;
      } else if (fails) {
        EXPECT_EQ(run.status, 2) << label;
        if (c.old_target) expect_untouched(before, target, label);
        Names data = c.data;
        if (!c.old_target) std::erase(data, "real.txt");
        EXPECT_EQ(folder_contents(dir.file("data")), data) << label;
      } else {
        EXPECT_EQ(run.status, 0) << label;
        EXPECT_EQ(read_file(target), kSmallTableConverted) << label;
#ifndef _WIN32
        EXPECT_EQ(mode_of(target), c.old_target ? 0604u : 0644u) << label;
#endif
        EXPECT_EQ(folder_contents(dir.file("data")), c.data) << label;
      }
      EXPECT_EQ(folder_contents(dir.path), c.top) << label;
    }
  }
}

// Replacing one name of a file with several would part it from the others: it
// is written in place, as a plain open for writing does, also when the run then
// fails.
TEST(OutputFile, OutputWithSeveralNamesIsWrittenInPlace) {
  const struct {
    const char* name;
    std::string table;
    int status;
    std::string output;
  } cases[] = {{"complete_run", kSmallTable, 0, kSmallTableConverted},
               {"rejected_input_empties_it", "T\n", 2, ""}};
  for (const auto& c : cases) {
    TempDir dir;
    write_file(dir.file("in.txt"), c.table);
    write_file(dir.file("out.txt"), kOldTable);
    std::filesystem::create_hard_link(dir.path / "out.txt", dir.path / "other.txt");
    const std::uint64_t number = file_number(dir.file("out.txt"));
    const ToolRun run = run_tool(dir, {"in.txt", "out.txt"});
    EXPECT_EQ(run.status, c.status) << c.name;
    EXPECT_EQ(read_file(dir.file("out.txt")), c.output) << c.name;
    EXPECT_EQ(read_file(dir.file("other.txt")), c.output) << c.name;
    EXPECT_EQ(file_number(dir.file("out.txt")), number) << c.name;
    EXPECT_EQ(link_count(dir.file("other.txt")), 2u) << c.name;
    EXPECT_EQ(folder_contents(dir.path), (Names{"in.txt", "other.txt", "out.txt"})) << c.name;
  }
}

// Interrupted in place, the table is cut short, and the note says so.
TEST(OutputFile, InterruptOfAnOutputWrittenInPlaceSaysItIsIncomplete) {
#ifdef _WIN32
  const Interrupt interrupt = kCtrlC;
#else
  const Interrupt interrupt = SIGTERM;
#endif
  TempDir dir;
  write_file(dir.file("out.txt"), kOldTable);
  std::filesystem::create_hard_link(dir.path / "out.txt", dir.path / "other.txt");
  FedRun run(dir, "out.txt");
  EXPECT_TRUE(run.feed(kHeader + repeated(kRecord, kManyRecords)));
  for (int waited = 0; waited < 60000 && size_of(dir.file("out.txt")) < 256 * 1024; waited += 10) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_TRUE(run.interrupt(interrupt));
  const ToolRun ended = run.finish();
  EXPECT_EQ(ended.signal, ending_of(interrupt));
  EXPECT_EQ(ended.errors,
            "floveran: conversion interrupted, the table written to out.txt is incomplete\n");
  const std::string written = read_file(dir.file("other.txt"));
  EXPECT_GE(written.size(), 256u * 1024);
  EXPECT_TRUE(written.starts_with(converted_header(run.input_name()) + kRow));
  EXPECT_EQ(folder_contents(dir.path), (Names{"other.txt", "out.txt"}));
}

// A file mounted on a name of its own (as into a container) cannot be replaced:
// it is written in place.
TEST(OutputFile, FileMountedOnItsOwnIsWrittenInPlace) {
#ifdef _WIN32
  GTEST_SKIP() << "Windows mounts no single file on a name of its own";
#else
  TempDir dir;
  write_file(dir.file("in.txt"), kSmallTable);
  write_file(dir.file("out.txt"), kOldTable);
  write_file(dir.file("mounted.txt"), "");
  const int status = run_with_private_mounts(
      dir,
      "set -u\n"
      "mount --bind out.txt mounted.txt || exit 97\n"
      "\"$FLOVERAN\" in.txt mounted.txt > console.txt 2> errors.txt\n"
      "echo $? > status.txt\n"
      "ls -A > listing.txt\n");
  if (status == -1 || status == 97) {
    GTEST_SKIP() << "no private mount namespace with bind mounts here";
  }
  ASSERT_EQ(status, 0);
  EXPECT_EQ(read_file(dir.file("status.txt")), "0\n");
  EXPECT_EQ(read_file(dir.file("errors.txt")), "");
  EXPECT_EQ(read_file(dir.file("console.txt")), kSmallTableConsole);
  EXPECT_EQ(read_file(dir.file("out.txt")), kSmallTableConverted);
  EXPECT_EQ(read_file(dir.file("listing.txt")),
            "console.txt\nerrors.txt\nin.txt\nlisting.txt\nmounted.txt\nout.txt\nscript.sh\n"
            "status.txt\n");
#endif
}

// ---------------------------------------------------------------- streams ---

// On Windows: a named pipe with a reader, and the NUL device; Windows has no name
// for standard output, and no process substitution.
TEST(OutputFile, PipesAFifoAndStandardOutputAreWrittenDirectly) {
  TempDir dir;
  write_file(dir.file("in.txt"), kSmallTable);
#ifdef _WIN32
  const std::string pipe_name = "\\\\.\\pipe\\floveran-test-table-" + std::to_string(::GetCurrentProcessId());
  const HANDLE reader = ::CreateNamedPipeW(path_from_utf8(pipe_name).c_str(), PIPE_ACCESS_INBOUND,
                                           PIPE_TYPE_BYTE | PIPE_WAIT, 1, 4096, 4096, 0, nullptr);
  ASSERT_NE(reader, INVALID_HANDLE_VALUE);
  std::string from_pipe;
  std::thread takes_all([reader, &from_pipe] {
    if (::ConnectNamedPipe(reader, nullptr) || ::GetLastError() == ERROR_PIPE_CONNECTED) {
      read_pipe_to_end(reader, from_pipe);
    }
    ::CloseHandle(reader);
  });
  ToolRun run = run_tool(dir, {"in.txt", pipe_name});
  takes_all.join();
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.console, kSmallTableConsole);
  EXPECT_EQ(from_pipe, kSmallTableConverted);
  EXPECT_EQ(folder_contents(dir.path), (Names{"in.txt"}));

  // A device.
  run = run_tool(dir, {"in.txt", kNullDevice});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.console, kSmallTableConsole);
  EXPECT_EQ(folder_contents(dir.path), (Names{"in.txt"}));
#else

  // A process substitution, through bash.
  TempDir scripts;
  write_file(scripts.file("substitution.sh"),
             "\"$1\" in.txt >(cat > piped.txt) > /dev/null\nstatus=$?\nwait $!\nexit $status\n");
  EXPECT_EQ(std::system(("cd '" + dir.path.string() + "' && bash '" + scripts.file("substitution.sh") +
                         "' '" + FLOVERAN_BINARY + "'")
                            .c_str()),
            0);
  EXPECT_EQ(read_file(dir.file("piped.txt")), kSmallTableConverted);
  EXPECT_EQ(folder_contents(dir.path), (Names{"in.txt", "piped.txt"}));
  std::filesystem::remove(dir.file("piped.txt"));

  // A FIFO with a reader.
  ASSERT_EQ(::mkfifo(dir.file("fifo").c_str(), 0644), 0);
  std::string from_fifo;
  std::thread reader([&] { from_fifo = read_file(dir.file("fifo")); });
  ToolRun run = run_tool(dir, {"in.txt", "fifo"});
  reader.join();
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.console, kSmallTableConsole);
  EXPECT_EQ(from_fifo, kSmallTableConverted);
  EXPECT_EQ(folder_contents(dir.path), (Names{"fifo", "in.txt"}));

  // Standard output, a pipe: the table goes out when the output is closed, after
  // the progress marks and before the closing message.
  int console[2];
  ASSERT_EQ(::pipe2(console, O_CLOEXEC), 0);
  run = run_tool(dir, {"in.txt", "/dev/stdout"}, {.stdout_handle = console[1]});
  ::close(console[1]);
  std::string shown;
  char block[4096];
  for (ssize_t n; (n = ::read(console[0], block, sizeof block)) > 0;) {
    shown.append(block, static_cast<std::size_t>(n));
  }
  ::close(console[0]);
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(shown, crlf(kBanner + "2 columns \n\nmonth 1/2000 .") + kSmallTableConverted +
                       crlf("fertig..\n"));

  // A device.
  run = run_tool(dir, {"in.txt", "/dev/null"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.console, kSmallTableConsole);
  EXPECT_EQ(folder_contents(dir.path), (Names{"fifo", "in.txt"}));
#endif
}

// ---------------------------------------------------------------- opening ---

// The dangling link is left out where the system makes no symbolic link
// (kNoSymbolicLinks).
TEST(OutputFile, NamesThatCannotBeOpenedCreateNothing) {
  const struct {
    const char* name;
    std::string output;
  } cases[] = {{"folder", "folder"},
               {"missing_folder", "no/such/folder/out.txt"},
               {"file_as_folder", "in.txt/out.txt"},
               {"name_ending_in_a_slash", "new/"},
               {"empty_name", ""},
               {"link_into_a_missing_folder", "dangling.txt"}};
  for (const auto& c : cases) {
    TempDir dir;
    write_file(dir.file("in.txt"), kSmallTable);
    std::filesystem::create_directory(dir.path / "folder");
    const bool linked = make_symbolic_link("no/such/folder/out.txt", dir.file("dangling.txt"));
#ifndef _WIN32
    ASSERT_TRUE(linked);
#endif
    if (!linked && c.output == "dangling.txt") continue;
    const ToolRun run = run_tool(dir, {"in.txt", c.output});
    EXPECT_EQ(run.status, 3) << c.name;
    EXPECT_EQ(run.console, crlf(kBanner + "error opening file " + c.output + "\n")) << c.name;
    const Names listing = linked ? Names{"dangling.txt", "folder", "in.txt"} : Names{"folder", "in.txt"};
    EXPECT_EQ(folder_contents(dir.path), listing) << c.name;
    EXPECT_EQ(folder_contents(dir.file("folder")), Names{}) << c.name;
  }
}

}  // namespace
}  // namespace floveran::testing
