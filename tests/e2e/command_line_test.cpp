// The command line and the run driver, end to end: every exit status with its
// console text, and the safety rules around the two files (the input is never
// harmed, failures are never reported as success).
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "e2e/run_tool.h"

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
}

TEST_F(CommandLine, CompletedRunEndsWithFertigAndStatus0) {
  const ToolRun run = run_tool(dir, {"in.txt", "out.txt"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.console, kSmallTableConsole);
  EXPECT_EQ(read_file(dir.file("out.txt")), kSmallTableConverted);
  expect_input_unchanged();
}

TEST_F(CommandLine, MissingInputEndsWithStatus2AndLeavesTheOutputAlone) {
  write_file(dir.file("out.txt"), "keep me\n");
  const ToolRun run = run_tool(dir, {"missing.txt", "out.txt"});
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.console, crlf(kBanner + "error opening file missing.txt\n"));
  EXPECT_EQ(read_file(dir.file("out.txt")), "keep me\n");
}

TEST_F(CommandLine, DirectoryAsInputCannotBeOpened) {
  std::filesystem::create_directory(dir.file("folder"));
  const ToolRun run = run_tool(dir, {"folder", "out.txt"});
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.console, crlf(kBanner + "error opening file folder\n"));
  EXPECT_FALSE(exists("out.txt"));
}

TEST_F(CommandLine, InputNameAloneOpensTheInputThenPrintsUsage) {
  ToolRun run = run_tool(dir, {"in.txt"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.console, crlf(kBanner + kUsage));
  run = run_tool(dir, {"missing.txt"});
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.console, crlf(kBanner + "error opening file missing.txt\n"));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path), {}), 1)
      << "only the input may exist";
}

TEST_F(CommandLine, OutputInAMissingFolderEndsWithStatus3) {
  const ToolRun run = run_tool(dir, {"in.txt", "no/such/folder/out.txt"});
  EXPECT_EQ(run.status, 3);
  EXPECT_EQ(run.console, crlf(kBanner + "error opening file no/such/folder/out.txt\n"));
  expect_input_unchanged();
  EXPECT_EQ(folder_contents(dir.path), std::vector<std::string>{"in.txt"});
}

TEST_F(CommandLine, OutputThatIsTheInputIsRefusedBeforeAnythingIsTruncated) {
  ASSERT_EQ(::symlink("in.txt", dir.file("symlink.txt").c_str()), 0);
  ASSERT_EQ(::link(dir.file("in.txt").c_str(), dir.file("hardlink.txt").c_str()), 0);
  for (const char* output : {"in.txt", "./in.txt", "symlink.txt", "hardlink.txt"}) {
    const ToolRun run = run_tool(dir, {"in.txt", output});
    EXPECT_EQ(run.status, 3) << output;
    EXPECT_EQ(run.console, crlf(kBanner + "error opening file " + output + "\n")) << output;
    expect_input_unchanged();
    EXPECT_EQ(folder_contents(dir.path),
              (std::vector<std::string>{"hardlink.txt", "in.txt", "symlink.txt"}))
        << output;
  }
}

TEST_F(CommandLine, FullDiskIsAWriteErrorWithStatus3) {
  const ToolRun run = run_tool(dir, {"in.txt", "/dev/full"});
  EXPECT_EQ(run.status, 3);
  EXPECT_EQ(run.console, crlf(kBanner + "2 columns \n\nmonth 1/2000 .error writing file /dev/full\n"));
  expect_input_unchanged();
}

TEST_F(CommandLine, ReadErrorOfTheInputEndsWithStatus2) {
  // Reading a process's memory file at offset 0 fails with an I/O error.
  const ToolRun run = run_tool(dir, {"/proc/self/mem", "out.txt"});
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.console, crlf(kBanner + "error reading file /proc/self/mem\n"));
}

TEST_F(CommandLine, ConsoleThatGoesAwayDoesNotStopTheConversion) {
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  ::close(fds[0]);  // nobody will ever read the console
  const ToolRun run = run_tool(dir, {"in.txt", "out.txt"}, {.stdout_fd = fds[1]});
  ::close(fds[1]);
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(read_file(dir.file("out.txt")), kSmallTableConverted);
  expect_input_unchanged();
}

TEST_F(CommandLine, LongFileNamesAreHeldAndPrintedInFull) {
  std::string folder = std::string(120, 'd');
  std::filesystem::create_directory(dir.file(folder));
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
  for (const char* head_rows : {"0", "word"}) {
    const ToolRun run = run_tool(dir, {"in.txt", "out.txt", head_rows});
    EXPECT_EQ(run.status, 0) << head_rows;
    // No header is written and the record loop stops at once on the title line.
    EXPECT_EQ(run.console, crlf(kBanner + "0 head rows..\n\n2 columns \nfertig..\n")) << head_rows;
    EXPECT_EQ(read_file(dir.file("out.txt")), "") << head_rows;
  }
}

TEST_F(CommandLine, TimestepNotAboveZeroIsOneHour) {
  for (const char* timestep : {"0", "-1", "word"}) {
    const ToolRun run = run_tool(dir, {"in.txt", "out.txt", "5", "2", timestep});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(read_file(dir.file("out.txt")), kSmallTableConverted) << timestep;
  }
}

TEST_F(CommandLine, OnlyAMethodReadAsOneConvertsIntoMillimetres) {
  const struct {
    const char* method;
    const char* first_value;
  } cases[] = {{"1", "0.36"}, {"1x", "0.36"}, {"2", "277.7778"}, {"0", "277.7778"}, {"word", "277.7778"}};
  for (const auto& c : cases) {
    const ToolRun run = run_tool(dir, {"in.txt", "out.txt", "5", "2", "1", c.method});
    EXPECT_EQ(run.status, 0);
    const std::string out = read_file(dir.file("out.txt"));
    EXPECT_NE(out.find(std::string("2000\t1\t1\t1\t") + c.first_value + "\t"), std::string::npos)
        << c.method << "\n" << out;
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
  const ToolRun run = run_tool(dir, {"/dev/stdin", "out.txt"}, {.stdin_file = dir.file("in.txt")});
  EXPECT_EQ(run.status, 0);
  std::string expected = kSmallTableConverted;
  expected.replace(21, 6, "/dev/stdin");
  EXPECT_EQ(read_file(dir.file("out.txt")), expected);

  const std::string command = "cd '" + dir.path.string() + "' && cat in.txt | '" +
                              FLOVERAN_BINARY + "' /dev/stdin piped.txt > /dev/null";
  ASSERT_EQ(std::system(command.c_str()), 0);
  EXPECT_EQ(read_file(dir.file("piped.txt")), expected);
}

}  // namespace
}  // namespace floveran::testing
