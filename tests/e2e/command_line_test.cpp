// The command line and the run driver, end to end: every exit status with its
// console text, and the safety rules around the two files (the input is never
// harmed, failures are never reported as success).
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <thread>

#ifdef _WIN32
#include "support/windows_files.h"
#endif

#include "e2e/run_tool.h"
#include "support/links.h"

namespace floveran::testing {
namespace {

class CommandLine : public ::testing::Test {
 protected:
  TempDir dir;
  void SetUp() override { write_file(dir.file("in.txt"), kSmallTable); }
  bool exists(const char* name) const { return std::filesystem::exists(dir.file(name)); }
  void expect_input_unchanged() const { EXPECT_EQ(read_file(dir.file("in.txt")), kSmallTable); }
};

TEST_F(CommandLine, NoArgumentPrintsUsageAndEndsWithStatus1) {
  const ToolRun run = run_tool(dir, {});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.console, crlf(kBanner + kUsage));
  EXPECT_EQ(run.errors, "");
}

TEST_F(CommandLine, CompletedRunEndsWithFertigAndStatus0) {
  const ToolRun run = run_tool(dir, {"in.txt", "out.txt"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.console, kSmallTableConsole);
  EXPECT_EQ(run.errors, "");
  EXPECT_EQ(read_file(dir.file("out.txt")), kSmallTableConverted);
  expect_input_unchanged();
}

TEST_F(CommandLine, MissingInputEndsWithStatus2AndLeavesTheOutputAlone) {
  write_file(dir.file("out.txt"), "keep me\n");
  const ToolRun run = run_tool(dir, {"missing.txt", "out.txt"});
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.console, crlf(kBanner + "error opening file missing.txt\n"));
  EXPECT_TRUE(has_system_reason(run.errors, "floveran: cannot open the input \"missing.txt\": ",
                                "No such file or directory"));
  EXPECT_EQ(read_file(dir.file("out.txt")), "keep me\n");
}

TEST_F(CommandLine, DirectoryAsInputCannotBeOpened) {
  std::filesystem::create_directory(dir.file("folder"));
  const ToolRun run = run_tool(dir, {"folder", "out.txt"});
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.console, crlf(kBanner + "error opening file folder\n"));
  EXPECT_EQ(run.errors, "floveran: cannot open the input \"folder\": Is a directory\n");
  EXPECT_FALSE(exists("out.txt"));
}

TEST_F(CommandLine, InputNameAloneOpensTheInputThenPrintsUsage) {
  ToolRun run = run_tool(dir, {"in.txt"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.console, crlf(kBanner + kUsage));
  EXPECT_EQ(run.errors, "");
  run = run_tool(dir, {"missing.txt"});
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.console, crlf(kBanner + "error opening file missing.txt\n"));
  EXPECT_TRUE(has_system_reason(run.errors, "floveran: cannot open the input \"missing.txt\": ",
                                "No such file or directory"));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path), {}), 1)
      << "only the input may exist";
}

TEST_F(CommandLine, OutputInAMissingFolderEndsWithStatus3) {
  const ToolRun run = run_tool(dir, {"in.txt", "no/such/folder/out.txt"});
  EXPECT_EQ(run.status, 3);
  EXPECT_EQ(run.console, crlf(kBanner + "error opening file no/such/folder/out.txt\n"));
  EXPECT_TRUE(has_system_reason(run.errors, "floveran: cannot open the output \"no/such/folder/out.txt\": ",
                                "No such file or directory"));
  expect_input_unchanged();
  EXPECT_EQ(folder_contents(dir.path), std::vector<std::string>{"in.txt"});
}

TEST_F(CommandLine, OutputThatIsTheInputIsRefusedBeforeAnythingIsTruncated) {
  std::filesystem::create_hard_link(dir.path / "in.txt", dir.path / "hardlink.txt");
  std::vector<std::string> outputs = {"in.txt", "./in.txt", "hardlink.txt"};
#ifdef _WIN32
  // Other spellings of the same name that Windows takes.
  outputs.insert(outputs.end(), {".\\in.txt", "IN.TXT", dir.file("in.txt")});
#endif
  for (const std::string& output : outputs) {
    const ToolRun run = run_tool(dir, {"in.txt", output});
    EXPECT_EQ(run.status, 3) << output;
    EXPECT_EQ(run.console, crlf(kBanner + "error opening file " + output + "\n")) << output;
    EXPECT_EQ(run.errors, "floveran: cannot open the output \"" + shown_name(output) +
                              "\": the output is the input file\n");
    expect_input_unchanged();
    EXPECT_EQ(folder_contents(dir.path), (std::vector<std::string>{"hardlink.txt", "in.txt"})) << output;
  }
}

TEST_F(CommandLine, OutputThatIsASymbolicLinkToTheInputIsRefused) {
  if (!make_symbolic_link("in.txt", dir.file("symlink.txt"))) GTEST_SKIP() << kNoSymbolicLinks;
  const ToolRun run = run_tool(dir, {"in.txt", "symlink.txt"});
  EXPECT_EQ(run.status, 3);
  EXPECT_EQ(run.console, crlf(kBanner + "error opening file symlink.txt\n"));
  EXPECT_EQ(run.errors, "floveran: cannot open the output \"symlink.txt\": the output is the input file\n");
  expect_input_unchanged();
  EXPECT_EQ(folder_contents(dir.path), (std::vector<std::string>{"in.txt", "symlink.txt"}));
}

TEST_F(CommandLine, FullDiskIsAWriteErrorWithStatus3) {
#ifdef _WIN32
  GTEST_SKIP() << "Windows has no /dev/full; OutputWhoseReaderGoesAwayIsAWriteErrorWithStatus3 "
                  "makes the write error there";
#endif
  const ToolRun run = run_tool(dir, {"in.txt", "/dev/full"});
  EXPECT_EQ(run.status, 3);
  EXPECT_EQ(run.console, crlf(kBanner + "2 columns \n\nmonth 1/2000 .error writing file /dev/full\n"));
  EXPECT_EQ(run.errors, "floveran: cannot write the output \"/dev/full\": No space left on device\n");
  expect_input_unchanged();
}

// A table larger than the pipe holds, written to a named pipe whose reader takes a
// few bytes and goes away: the tool's next write fails.
TEST_F(CommandLine, OutputWhoseReaderGoesAwayIsAWriteErrorWithStatus3) {
#ifdef _WIN32
  std::string table = kSmallTable;
  for (int i = 0; i < 40000; ++i) table += "2000\t1\t2\t3\t12.5\t3.2\n";
  write_file(dir.file("in.txt"), table);
  HANDLE reader = INVALID_HANDLE_VALUE;
  const std::string pipe_name = "\\\\.\\pipe\\floveran-test-output-" + std::to_string(::GetCurrentProcessId());
  reader = ::CreateNamedPipeW(path_from_utf8(pipe_name).c_str(), PIPE_ACCESS_INBOUND,
                              PIPE_TYPE_BYTE | PIPE_WAIT, 1, 4096, 4096, 0, nullptr);
  ASSERT_NE(reader, INVALID_HANDLE_VALUE);
  std::thread takes_a_little([reader] {
    const BOOL connected = ::ConnectNamedPipe(reader, nullptr);
    if (connected || ::GetLastError() == ERROR_PIPE_CONNECTED) {
      char buffer[100];
      DWORD read = 0;
      ::ReadFile(reader, buffer, sizeof buffer, &read, nullptr);
    }
    ::CloseHandle(reader);
  });
  const ToolRun run = run_tool(dir, {"in.txt", pipe_name});
  takes_a_little.join();
  EXPECT_EQ(run.status, 3);
  EXPECT_EQ(run.console, crlf(kBanner + "2 columns \n\nmonth 1/2000 .error writing file " + pipe_name + "\n"));
  EXPECT_TRUE(
      has_system_reason(run.errors, "floveran: cannot write the output \"" + shown_name(pipe_name) + "\": ", ""));
  EXPECT_EQ(read_file(dir.file("in.txt")), table);
#else
  GTEST_SKIP() << "a named pipe's reader cannot be timed here without racing the tool's open; "
                  "FullDiskIsAWriteErrorWithStatus3 makes the write error on POSIX systems";
#endif
}

TEST_F(CommandLine, ReadErrorOfTheInputEndsWithStatus2) {
#ifdef _WIN32
  const UnreadableInput input(dir, kSmallTable);
  if (input.name.empty()) GTEST_SKIP() << input.missing;
  const ToolRun run = run_tool(dir, {input.name, "out.txt"});
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.console, crlf(kBanner + "error reading file " + input.name + "\n"));
  EXPECT_TRUE(
      has_system_reason(run.errors, "floveran: cannot read the input \"" + shown_name(input.name) + "\": ", ""));
#else
  // Reading a process's memory file at offset 0 fails with an I/O error.
  const ToolRun run = run_tool(dir, {"/proc/self/mem", "out.txt"});
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.console, crlf(kBanner + "error reading file /proc/self/mem\n"));
  EXPECT_EQ(run.errors, "floveran: cannot read the input \"/proc/self/mem\": Input/output error\n");
#endif
}

TEST_F(CommandLine, ConsoleThatGoesAwayDoesNotStopTheConversion) {
#ifdef _WIN32
  HANDLE read_end = nullptr;
  HANDLE write_end = nullptr;
  ASSERT_TRUE(::CreatePipe(&read_end, &write_end, nullptr, 0));
  ::CloseHandle(read_end);  // nobody will ever read the console
  const ToolRun run = run_tool(dir, {"in.txt", "out.txt"}, {.stdout_handle = write_end});
  ::CloseHandle(write_end);
#else
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  ::close(fds[0]);  // nobody will ever read the console
  const ToolRun run = run_tool(dir, {"in.txt", "out.txt"}, {.stdout_handle = fds[1]});
  ::close(fds[1]);
#endif
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(read_file(dir.file("out.txt")), kSmallTableConverted);
  expect_input_unchanged();
}

TEST_F(CommandLine, LongFileNamesAreHeldAndPrintedInFull) {
  std::string folder = std::string(120, 'd');
  std::filesystem::create_directory(path_from_utf8(dir.file(folder)));
  const std::string input = folder + "/" + std::string(150, 'i') + ".txt";
  const std::string output = folder + "/" + std::string(150, 'o') + ".txt";
  write_file(dir.file(input), kSmallTable);
  ToolRun run = run_tool(dir, {input, output});
  EXPECT_EQ(run.status, 0);
  const std::string converted = read_file(dir.file(output));
  EXPECT_EQ(converted.substr(0, 21 + input.size()), "specific_runoff_from_" + input);
  run = run_tool(dir, {input + ".missing", output});
  EXPECT_EQ(run.console, crlf(kBanner + "error opening file " + input + ".missing\n"));
}

TEST_F(CommandLine, HeadRowsOfZeroAreAnnounced) {
  // No header is written, no area read, and the record loop stops at once on the
  // title line.
  const std::string stop =
      "floveran: area 0 for 2 columns: 1 to 2 (line 2 is not read with fewer than 2 head rows); their "
      "values become 1.#INF, -1.#INF or -1.#IND\n"
      "floveran: line 1: stopped at \"T\", which is not a date of four whole numbers; 0 records converted, "
      "7 lines not converted\n";
  const struct {
    const char* head_rows;
    std::string errors;
  } cases[] = {
      {"0", stop},
      {"word", "floveran: argument 3 (head rows) \"word\" is not wholly a number; read as 0\n" + stop},
  };
  for (const auto& c : cases) {
    const ToolRun run = run_tool(dir, {"in.txt", "out.txt", c.head_rows});
    EXPECT_EQ(run.status, 0) << c.head_rows;
    EXPECT_EQ(run.console, crlf(kBanner + "0 head rows..\n\n2 columns \nfertig..\n")) << c.head_rows;
    EXPECT_EQ(read_file(dir.file("out.txt")), "") << c.head_rows;
    EXPECT_EQ(run.errors, c.errors) << c.head_rows;
  }
}

TEST_F(CommandLine, TimestepNotAboveZeroIsOneHour) {
  const struct {
    const char* timestep;
    const char* errors;
  } cases[] = {
      {"0", "floveran: argument 5 (time step in hours) \"0\" is not above 0; 1 is used\n"},
      {"-1", "floveran: argument 5 (time step in hours) \"-1\" is not above 0; 1 is used\n"},
      {"word",
       "floveran: argument 5 (time step in hours) \"word\" is not wholly a number; read as 0, which is not "
       "above 0, so 1 is used\n"},
  };
  for (const auto& c : cases) {
    const ToolRun run = run_tool(dir, {"in.txt", "out.txt", "5", "2", c.timestep});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(read_file(dir.file("out.txt")), kSmallTableConverted) << c.timestep;
    EXPECT_EQ(run.errors, c.errors);
  }
}

TEST_F(CommandLine, OnlyAMethodReadAsOneConvertsIntoMillimetres) {
  const struct {
    const char* method;
    const char* first_value;
    const char* errors;
  } cases[] = {
      {"1", "0.36", ""},
      {"1x", "0.36",
       "floveran: argument 6 (method) \"1x\" is not wholly a number; read as 1, which converts m3/s into mm "
       "per time step\n"},
      {"2", "277.7778", ""},
      {"0", "277.7778", ""},
      {"word", "277.7778",
       "floveran: argument 6 (method) \"word\" is not wholly a number; read as 0, which converts mm per time "
       "step into m3/s\n"},
  };
  for (const auto& c : cases) {
    const ToolRun run = run_tool(dir, {"in.txt", "out.txt", "5", "2", "1", c.method});
    EXPECT_EQ(run.status, 0);
    const std::string out = read_file(dir.file("out.txt"));
    EXPECT_NE(out.find(std::string("2000\t1\t1\t1\t") + c.first_value + "\t"), std::string::npos)
        << c.method << "\n" << out;
    EXPECT_EQ(run.errors, c.errors);
  }
}

TEST_F(CommandLine, FourthArgumentCountsOnlyWhenExactlyFourAreGiven) {
  ToolRun run = run_tool(dir, {"in.txt", "out.txt", "5", "1"});
  EXPECT_EQ(run.console, crlf(kBanner + "1 columns 100.0\t50.0\n\n\nmonth 1/2000 .fertig..\n"));
  EXPECT_NE(read_file(dir.file("out.txt")).find("2000\t1\t1\t2\t0.45\r\n"), std::string::npos);
  run = run_tool(dir, {"in.txt", "out.txt", "5", "1", "1"});
  EXPECT_EQ(run.console, kSmallTableConsole);
  run = run_tool(dir, {"in.txt", "out.txt", "5", "1", "1", "1"});
  EXPECT_EQ(run.console, kSmallTableConsole);
}

TEST_F(CommandLine, ArgumentsBeyondTheSixthAreIgnored) {
  const ToolRun run = run_tool(dir, {"in.txt", "out.txt", "5", "2", "1", "1", "extra", "more"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(read_file(dir.file("out.txt")), kSmallTableConverted);
}

// Input that cannot be repositioned reads exactly like the same bytes in a file.
TEST_F(CommandLine, PipeAsInputConvertsLikeAFile) {
#ifdef _WIN32
  // Windows has no name for standard input; a named pipe is read by its name.
  NamedPipeWriter pipe;
  ASSERT_TRUE(pipe.ready());
  std::thread feeder([&pipe] { pipe.feed(kSmallTable); });
  const ToolRun run = run_tool(dir, {pipe.name(), "out.txt"});
  feeder.join();
  EXPECT_EQ(run.status, 0);
  std::string expected = kSmallTableConverted;
  expected.replace(21, 6, pipe.name());
  EXPECT_EQ(read_file(dir.file("out.txt")), expected);
#else
  const ToolRun run = run_tool(dir, {"/dev/stdin", "out.txt"}, {.stdin_file = dir.file("in.txt")});
  EXPECT_EQ(run.status, 0);
  std::string expected = kSmallTableConverted;
  expected.replace(21, 6, "/dev/stdin");
  EXPECT_EQ(read_file(dir.file("out.txt")), expected);

  const std::string command = "cd '" + dir.name() + "' && cat in.txt | '" +
                              FLOVERAN_BINARY + "' /dev/stdin piped.txt > /dev/null";
  ASSERT_EQ(std::system(command.c_str()), 0);
  EXPECT_EQ(read_file(dir.file("piped.txt")), expected);
#endif
}

// Arguments reach the tool as they were given, whatever blanks, quotes and
// backslashes they hold (on Windows they pass through one quoted command line).
// Standard error shows each name quoted, with quotes, backslashes and tabs escaped.
TEST_F(CommandLine, ArgumentsArriveAsGiven) {
  const struct {
    std::string input;
    std::string shown;
  } cases[] = {{"no such table.txt", "no such table.txt"},
               {"say \"no\".txt", "say \\\"no\\\".txt"},
               {"trailing\\", "trailing\\\\"},
               {"in\\\"side\\\\\" x", "in\\\\\\\"side\\\\\\\\\\\" x"},
               {"\t tab and blank ", "\\t tab and blank "}};
  for (const auto& c : cases) {
    const ToolRun run = run_tool(dir, {c.input, "out.txt"});
    EXPECT_EQ(run.status, 2) << c.input;
    EXPECT_EQ(run.console, crlf(kBanner + "error opening file " + c.input + "\n")) << c.input;
    EXPECT_TRUE(has_system_reason(run.errors, "floveran: cannot open the input \"" + c.shown + "\": ",
                                  "No such file or directory"));
  }
}

// Names with letters beyond ASCII, given as UTF-8 (on Windows through the UTF-16
// command line), open as input and as output, in a folder whose name has a blank,
// and come back as the same UTF-8 bytes in the title line and on the console; on
// standard error, which holds printable ASCII only, as those bytes written \xHH.
TEST_F(CommandLine, NamesWithLettersBeyondAsciiOpenAndPrintInUtf8) {
  const std::string input = "Abfl\xc3\xbcsse_\xc3\xa4\xc3\xb8\xc3\x9f.txt";    // Abflüsse_äøß.txt
  const std::string output = "Spende_\xc3\xb8\xc3\x9f\xc3\xa4.txt";               // Spende_øßä.txt
  const std::string folder = "Gro\xc3\x9f" "e \xc3\x98re";                           // "Große Øre"
  std::filesystem::create_directory(path_from_utf8(dir.file(folder)));
  write_file(dir.file(folder + "/" + input), kSmallTable);
  const ToolRun run = run_tool(dir, {folder + "/" + input, folder + "/" + output});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.console, kSmallTableConsole);
  std::string expected = kSmallTableConverted;
  expected.replace(21, 6, folder + "/" + input);
  EXPECT_EQ(read_file(dir.file(folder + "/" + output)), expected);

  const ToolRun missing = run_tool(dir, {"fehlt_\xc3\xa4.txt", output});
  EXPECT_EQ(missing.status, 2);
  EXPECT_EQ(missing.console, crlf(kBanner + "error opening file fehlt_\xc3\xa4.txt\n"));
  EXPECT_TRUE(has_system_reason(missing.errors, "floveran: cannot open the input \"fehlt_\\xc3\\xa4.txt\": ",
                                "No such file or directory"));
  const ToolRun unwritable = run_tool(dir, {folder + "/" + input, "nirgends_\xc3\xb8/" + output});
  EXPECT_EQ(unwritable.status, 3);
  EXPECT_EQ(unwritable.console, crlf(kBanner + "error opening file nirgends_\xc3\xb8/" + output + "\n"));
  EXPECT_TRUE(has_system_reason(unwritable.errors,
                                "floveran: cannot open the output \"nirgends_\\xc3\\xb8/Spende_\\xc3\\xb8\\xc3\\x9f"
                                "\\xc3\\xa4.txt\": ",
                                "No such file or directory"));

  // A reason of the tool's own, with the name in it.
  write_file(dir.file(folder + "/" + input), "T\n");
  const ToolRun rejected = run_tool(dir, {folder + "/" + input, folder + "/" + output});
  EXPECT_EQ(rejected.status, 2);
  EXPECT_EQ(rejected.errors,
            "floveran: cannot read the input \"Gro\\xc3\\x9fe \\xc3\\x98re/Abfl\\xc3\\xbcsse_\\xc3\\xa4"
            "\\xc3\\xb8\\xc3\\x9f.txt\": line 2 is missing\n");
  EXPECT_EQ(read_file(dir.file(folder + "/" + output)), expected) << "the old output stays";
}

}  // namespace
}  // namespace floveran::testing
