// The record loop on several threads against one thread, end to end: the same
// standard output, standard error, output bytes and exit status for tables that
// carry, at random places, every irregularity the record loop knows. With tiny
// chunks forced (FLOVERAN_CHUNK_BYTES, for tests only) every record meets a chunk
// edge; large generated tables run with the chunks a user gets; pipes as input
// too. The thread counts are those of FLOVERAN_THREADS: 1, 2, 3 and 8.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "e2e/run_tool.h"

#ifndef FLOVERAN_E2E_LARGE_YEARS
#define FLOVERAN_E2E_LARGE_YEARS 8
#endif

namespace floveran::testing {
namespace {

struct Outcome {
  int status = -1;
  std::string console;
  std::string errors;
  std::string output;
  int signal = 0;  // what ended a run that did not end by itself
};

struct Threads {
  int count;
  std::size_t chunk_bytes;  // 0: as users get them
};

std::vector<std::string> thread_settings(const Threads& threads) {
  std::vector<std::string> environment = {"FLOVERAN_THREADS=" + std::to_string(threads.count)};
  if (threads.chunk_bytes > 0) environment.push_back("FLOVERAN_CHUNK_BYTES=" + std::to_string(threads.chunk_bytes));
  return environment;
}

// `floveran INPUT out.txt ARGUMENTS` in `dir`; the output is read and removed.
Outcome run_with(const TempDir& dir, const std::string& input, const Threads& threads,
                 const std::vector<std::string>& extra_arguments = {}) {
  std::vector<std::string> arguments = {input, "out.txt"};
  arguments.insert(arguments.end(), extra_arguments.begin(), extra_arguments.end());
  ToolOptions options;
  options.environment = thread_settings(threads);
  const ToolRun run = run_tool(dir, arguments, options);
  Outcome outcome{run.status, run.console, run.errors, read_file(dir.file("out.txt")), run.signal};
  std::filesystem::remove(dir.file("out.txt"));
  return outcome;
}

// The same, with the input fed through a pipe: by cat as /dev/stdin, or on Windows
// through a named pipe read by its name, which stands as PIPE in what is returned
// (each run has a pipe of its own name).
Outcome run_through_pipe(const TempDir& dir, const std::string& input, const Threads& threads) {
#ifdef _WIN32
  NamedPipeWriter pipe;
  EXPECT_TRUE(pipe.ready());
  const std::string bytes = read_file(dir.file(input));
  std::thread feeder([&] { pipe.feed(bytes); });
  Outcome outcome = run_with(dir, pipe.name(), threads);
  feeder.join();
  const auto unnamed = [&](std::string text) {
    for (const std::string& name : {shown_name(pipe.name()), pipe.name()}) {
      for (std::size_t at = text.find(name); at != std::string::npos; at = text.find(name, at)) {
        text.replace(at, name.size(), "PIPE");
      }
    }
    return text;
  };
  return {outcome.status, unnamed(outcome.console), unnamed(outcome.errors), unnamed(outcome.output), outcome.signal};
#else
  std::string settings;
  for (const std::string& setting : thread_settings(threads)) settings += setting + " ";
  const std::string command = "cd '" + dir.path.string() + "' && cat '" + input + "' | " + settings + "'" + FLOVERAN_BINARY +
                              "' /dev/stdin out.txt > pipe.console 2> pipe.errors; echo $? > pipe.status";
  EXPECT_EQ(std::system(command.c_str()), 0) << command;
  Outcome outcome{std::stoi(read_file(dir.file("pipe.status"))), read_file(dir.file("pipe.console")),
                  read_file(dir.file("pipe.errors")), read_file(dir.file("out.txt"))};
  for (const char* name : {"out.txt", "pipe.console", "pipe.errors", "pipe.status"}) {
    std::filesystem::remove(dir.file(name));
  }
  return outcome;
#endif
}

// Where two byte strings part, with a little of each, for a readable failure.
std::string first_difference(const std::string& expected, const std::string& actual) {
  const auto parting = std::mismatch(expected.begin(), expected.end(), actual.begin(), actual.end());
  const std::size_t at = static_cast<std::size_t>(parting.first - expected.begin());
  const std::size_t from = at > 60 ? at - 60 : 0;
  return "sizes " + std::to_string(expected.size()) + " and " + std::to_string(actual.size()) +
         ", first difference at byte " + std::to_string(at) + ":\n  one thread: \"" +
         expected.substr(from, 120) + "\"\n  threads:    \"" + actual.substr(from, 120) + "\"";
}

void expect_same(const Outcome& one, const Outcome& many, const std::string& what) {
  EXPECT_EQ(many.status, one.status) << what;
  EXPECT_EQ(many.signal, one.signal) << what;
  EXPECT_TRUE(many.console == one.console) << what << ", console: " << first_difference(one.console, many.console);
  EXPECT_TRUE(many.errors == one.errors) << what << ", standard error: " << first_difference(one.errors, many.errors);
  EXPECT_TRUE(many.output == one.output) << what << ", output: " << first_difference(one.output, many.output);
}

std::string describe(const Threads& threads) {
  return std::to_string(threads.count) + " threads, chunks of " +
         (threads.chunk_bytes > 0 ? std::to_string(threads.chunk_bytes) + " bytes" : std::string("any size"));
}

// ------------------------------------------------------------------ tables

// A table of hourly records, one line each and without line ends: five header
// lines, then the records, each value with 0 to 3 decimals and about one in
// twenty missing. Day 1 carries a month line and each hour 1 a dot.
std::vector<std::string> table_lines(std::mt19937_64& random, int gauges, int records) {
  std::vector<std::string> lines = {"Test table", "YY\tMM\tDD\tHH", "stations", "m3/s", "hours 1 to 24"};
  for (int g = 0; g < gauges; ++g) lines[1] += "\t" + std::to_string(5 + random() % 5000) + ".5";
  for (int r = 0; r < records; ++r) {
    const int day = r / 24;
    std::string line = "2001\t" + std::to_string(1 + day / 28) + "\t" + std::to_string(1 + day % 28) + "\t" +
                       std::to_string(1 + r % 24);
    for (int g = 0; g < gauges; ++g) {
      if (random() % 20 == 0) {
        line += "\t-9999";
        continue;
      }
      const std::uint64_t thousandths = random() % 5000000;
      const std::size_t decimals = random() % 4;
      std::string digits = std::to_string(thousandths / 1000);
      if (decimals > 0) digits += "." + std::to_string(1000 + thousandths % 1000).substr(1, decimals);
      line += "\t" + digits;
    }
    lines.push_back(line);
  }
  return lines;
}

// The irregularities of tables as they come, each applied to one record line (the
// last two to the end of the table).
enum class Irregularity {
  empty_cell,        // a value left out: the record is read on into the next line
  word,              // "NA" for a value: the loop stops
  lone_dash,         // "-" for a value: the loop stops behind that record
  two_lines,         // the record broken over two lines: read on
  extra_values,      // more values than columns: skipped
  blank_lines,       // blank and white lines in front of the record
  lone_cr,           // a CR that is no line end, among the fields and at the line's end
  crlf,              // this line ends in CR LF
  ctrl_z,            // a Ctrl-Z inside the line: the input ends there
  no_last_line_end,  // the table's last line without its LF
  cut_last_record,   // the table ends inside its last record
};

struct Line {
  std::string text;
  std::string end = "\n";
};

// A value field of the line (1 is the first value), as [begin, end) offsets;
// begin is 0 when the line has no such field.
std::pair<std::size_t, std::size_t> field_span(const std::string& text, int field) {
  std::size_t begin = 0;
  for (int f = 0; f < 4 + field; ++f) {
    begin = text.find('\t', begin);
    if (begin == std::string::npos) return {0, 0};
    ++begin;
  }
  const std::size_t end = text.find('\t', begin);
  return {begin, end == std::string::npos ? text.size() : end};
}

void apply(Irregularity kind, std::vector<Line>& lines, std::size_t at, std::mt19937_64& random, int gauges) {
  Line& line = lines[at];
  const int field = 1 + static_cast<int>(random() % static_cast<std::uint64_t>(gauges));
  const auto [begin, end] = field_span(line.text, field);
  const bool in_a_field = kind == Irregularity::empty_cell || kind == Irregularity::word ||
                          kind == Irregularity::lone_dash || kind == Irregularity::two_lines ||
                          kind == Irregularity::lone_cr;
  if (in_a_field && begin == 0) return;  // a line changed before, without that field
  switch (kind) {
    case Irregularity::empty_cell:
      line.text.erase(begin, end - begin);
      break;
    case Irregularity::word:
      line.text.replace(begin, end - begin, "NA");
      break;
    case Irregularity::lone_dash:
      line.text.replace(begin, end - begin, "-");
      break;
    case Irregularity::two_lines:
      line.text[begin - 1] = '\n';
      break;
    case Irregularity::extra_values:
      line.text += "\t12.5\t7";
      break;
    case Irregularity::blank_lines:
      line.text.insert(0, random() % 2 == 0 ? "\n\n" : "  \t\n\r\n");
      break;
    case Irregularity::lone_cr:
      line.text.insert(begin, "\r");
      line.end = "\r\r\n";
      break;
    case Irregularity::crlf:
      line.end = "\r\n";
      break;
    case Irregularity::ctrl_z:
      line.text.insert(random() % (line.text.size() + 1), "\x1a");
      break;
    case Irregularity::no_last_line_end:
      lines.back().end.clear();
      break;
    case Irregularity::cut_last_record:
      lines.back().text.resize(lines.back().text.size() / 2);
      lines.back().end.clear();
      break;
  }
}

std::string joined(const std::vector<Line>& lines) {
  std::string table;
  for (const Line& line : lines) table += line.text + line.end;
  return table;
}

std::vector<Line> as_lines(const std::vector<std::string>& texts) {
  std::vector<Line> lines;
  lines.reserve(texts.size());
  for (const std::string& text : texts) lines.push_back({text});
  return lines;
}

// ------------------------------------------------------------------ small tables

struct IrregularCase {
  const char* name;
  std::vector<Irregularity> kinds;  // each applied `times` times, at random records
  int times;
};

// The thread counts and forced chunk sizes each small table runs with: a chunk of
// 1 byte is cut behind every LF, so every record begins a chunk.
const Threads kTinyChunks[] = {{1, 1}, {2, 1}, {3, 29}, {8, 1}, {2, 300}, {3, 1}, {8, 4096}};

TEST(Threads, EveryIrregularityAtEveryChunkEdgeGivesTheBytesOfOneThread) {
  using enum Irregularity;
  const IrregularCase cases[] = {
      {"clean", {}, 0},
      {"empty_cell", {empty_cell}, 1},
      {"empty_cells", {empty_cell}, 14},
      {"word", {word}, 1},
      {"lone_dash", {lone_dash}, 1},
      {"two_lines", {two_lines}, 3},
      {"extra_values", {extra_values}, 30},
      {"blank_lines", {blank_lines}, 30},
      {"lone_cr", {lone_cr}, 30},
      {"crlf_mixed_with_lf", {crlf}, 100},
      {"ctrl_z", {ctrl_z}, 1},
      {"no_last_line_end", {no_last_line_end}, 1},
      {"cut_last_record", {cut_last_record}, 1},
      {"harmless_mixture", {extra_values, blank_lines, lone_cr, crlf}, 20},
      {"read_on_then_word", {extra_values, empty_cell, crlf}, 3},
      {"everything", {empty_cell, word, lone_dash, two_lines, extra_values, blank_lines, lone_cr, crlf, ctrl_z}, 2},
      {"cut_behind_harmless_ones", {extra_values, blank_lines, lone_cr, crlf, cut_last_record}, 5},
  };
  TempDir dir;
  std::mt19937_64 random(20240616);
  for (const IrregularCase& c : cases) {
    for (int variant = 0; variant < 3; ++variant) {
      const int gauges = 1 + static_cast<int>(random() % 4);
      std::vector<Line> lines = as_lines(table_lines(random, gauges, 300));
      for (int t = 0; t < c.times; ++t) {
        for (Irregularity kind : c.kinds) {
          apply(kind, lines, 5 + random() % (lines.size() - 5), random, gauges);
        }
      }
      write_file(dir.file("in.txt"), joined(lines));
      const Outcome one = run_with(dir, "in.txt", {1, 0});
      for (const Threads& threads : kTinyChunks) {
        expect_same(one, run_with(dir, "in.txt", threads),
                    std::string(c.name) + " variant " + std::to_string(variant) + ", " + describe(threads));
      }
    }
  }
}

// Column counts given, so that records take values from the next line or leave
// them behind, and the daily time step.
TEST(Threads, ColumnCountsAndTimeStepsOfTheCommandLine) {
  TempDir dir;
  std::mt19937_64 random(7);
  write_file(dir.file("in.txt"), joined(as_lines(table_lines(random, 3, 400))));
  const std::vector<std::string> argument_sets[] = {{"5", "2"}, {"5", "4"}, {"5", "0", "24"}, {"5", "0", "1", "2"},
                                                    {"0"},      {"2"},      {"7", "3"}};
  for (const auto& arguments : argument_sets) {
    const Outcome one = run_with(dir, "in.txt", {1, 0}, arguments);
    for (const Threads& threads : kTinyChunks) {
      expect_same(one, run_with(dir, "in.txt", threads, arguments), "arguments " + arguments[0] + "... " +
                                                                        std::to_string(arguments.size()) + ", " +
                                                                        describe(threads));
    }
  }
}

TEST(Threads, PipeAsInput) {
  TempDir dir;
  std::mt19937_64 random(11);
  std::vector<Line> lines = as_lines(table_lines(random, 3, 600));
  for (Irregularity kind : {Irregularity::crlf, Irregularity::lone_cr, Irregularity::blank_lines}) {
    for (int t = 0; t < 10; ++t) apply(kind, lines, 5 + random() % (lines.size() - 5), random, 3);
  }
  write_file(dir.file("clean.txt"), joined(lines));
  apply(Irregularity::empty_cell, lines, 400, random, 3);
  write_file(dir.file("read_on.txt"), joined(lines));
  for (const char* input : {"clean.txt", "read_on.txt"}) {
    const Outcome one = run_through_pipe(dir, input, {1, 0});
    EXPECT_EQ(one.status, 0) << input;
    for (const Threads& threads : {Threads{2, 1}, Threads{3, 50}, Threads{8, 7}}) {
      expect_same(one, run_through_pipe(dir, input, threads), std::string(input) + " through a pipe, " +
                                                                  describe(threads));
    }
  }
}

// ------------------------------------------------------------------ large tables

// Tens of megabytes (fewer in the sanitizer builds) of the benchmark's tables,
// with the chunks a user gets.
class LargeTable : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new TempDir;
#ifdef _WIN32
    ASSERT_EQ(run_program(FLOVERAN_GENERATOR,
                          {"50", std::to_string(FLOVERAN_E2E_LARGE_YEARS), "hourly", "lf", "5", dir_->file("in.txt")}),
              0);
#else
    const std::string command = std::string("'") + FLOVERAN_GENERATOR + "' 50 " +
                                std::to_string(FLOVERAN_E2E_LARGE_YEARS) + " hourly lf 5 '" + dir_->file("in.txt") +
                                "' > /dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
#endif
  }
  static void TearDownTestSuite() {
    delete dir_;
    dir_ = nullptr;
  }
  static TempDir* dir_;
};
TempDir* LargeTable::dir_ = nullptr;

const Threads kUserChunks[] = {{2, 0}, {3, 0}, {8, 0}, {3, 65536}};

TEST_F(LargeTable, CleanGivesTheBytesOfOneThread) {
  const Outcome one = run_with(*dir_, "in.txt", {1, 0});
  EXPECT_EQ(one.status, 0);
  EXPECT_EQ(one.errors, "");
  for (const Threads& threads : kUserChunks) expect_same(one, run_with(*dir_, "in.txt", threads), describe(threads));
}

// Harmless irregularities all through it, then a record read on and a word near
// its end, where one thread takes over; and the same through a pipe.
TEST_F(LargeTable, IrregularitiesNearTheEndAndThroughAPipe) {
  const std::string table = read_file(dir_->file("in.txt"));
  std::vector<std::string> texts;
  for (std::size_t at = 0; at < table.size();) {
    const std::size_t lf = table.find('\n', at);
    texts.push_back(table.substr(at, lf - at));
    at = lf + 1;
  }
  std::vector<Line> lines = as_lines(texts);
  std::mt19937_64 random(3);
  for (int t = 0; t < 300; ++t) {
    for (Irregularity kind :
         {Irregularity::extra_values, Irregularity::blank_lines, Irregularity::lone_cr, Irregularity::crlf}) {
      apply(kind, lines, 5 + random() % (lines.size() - 5), random, 50);
    }
  }
  apply(Irregularity::empty_cell, lines, lines.size() * 7 / 10, random, 50);
  apply(Irregularity::word, lines, lines.size() * 9 / 10, random, 50);
  write_file(dir_->file("irregular.txt"), joined(lines));

  const Outcome one = run_with(*dir_, "irregular.txt", {1, 0});
  EXPECT_NE(one.errors, "");
  for (const Threads& threads : kUserChunks) {
    expect_same(one, run_with(*dir_, "irregular.txt", threads), describe(threads));
  }
  const Outcome one_through_pipe = run_through_pipe(*dir_, "irregular.txt", {1, 0});
  for (const Threads& threads : {Threads{2, 0}, Threads{3, 65536}}) {
    expect_same(one_through_pipe, run_through_pipe(*dir_, "irregular.txt", threads),
                "through a pipe, " + describe(threads));
  }
}

// A write that fails partway (a full disk): the status, standard error and the
// progress marks of one thread, which stops at the record in which its failed
// block filled; the same with chunks of one line each.
TEST_F(LargeTable, WriteThatFailsEndsAsOnOneThread) {
#ifdef _WIN32
  GTEST_SKIP() << "Windows has no /dev/full";
#else
  const auto run_into_full = [&](const Threads& threads) {
    ToolOptions options;
    options.environment = thread_settings(threads);
    const ToolRun run = run_tool(*dir_, {"in.txt", "/dev/full"}, options);
    return Outcome{run.status, run.console, run.errors, "", run.signal};
  };
  const Outcome one = run_into_full({1, 0});
  EXPECT_EQ(one.status, 3);
  EXPECT_EQ(one.errors, "floveran: cannot write the output \"/dev/full\": No space left on device\n");
  EXPECT_GT(std::count(one.console.begin(), one.console.end(), '.'), 10) << "marks of the records in front of the failed block";
  for (const Threads& threads : {Threads{2, 0}, Threads{3, 0}, Threads{8, 0}, Threads{2, 1}, Threads{3, 4096}}) {
    expect_same(one, run_into_full(threads), "into /dev/full, " + describe(threads));
  }
#endif
}

// ------------------------------------------------------------------ the setting

TEST(Threads, SettingThatIsNotAWholeNumberAboveZeroIsToldAndIgnored) {
  TempDir dir;
  write_file(dir.file("in.txt"), kSmallTable);
  const struct {
    const char* setting;
    std::string errors;
  } cases[] = {
      {"FLOVERAN_THREADS=", ""},
      {"FLOVERAN_THREADS=1", ""},
      {"FLOVERAN_THREADS=4", ""},
      {"FLOVERAN_THREADS=100000000000000000000", ""},
      {"FLOVERAN_THREADS=0", "floveran: FLOVERAN_THREADS \"0\" is not a whole number above 0; it is ignored\n"},
      {"FLOVERAN_THREADS=-2", "floveran: FLOVERAN_THREADS \"-2\" is not a whole number above 0; it is ignored\n"},
      {"FLOVERAN_THREADS=all", "floveran: FLOVERAN_THREADS \"all\" is not a whole number above 0; it is ignored\n"},
      {"FLOVERAN_THREADS= 2", "floveran: FLOVERAN_THREADS \" 2\" is not a whole number above 0; it is ignored\n"},
  };
  for (const auto& c : cases) {
    ToolOptions options;
    options.environment = {c.setting};
    const ToolRun run = run_tool(dir, {"in.txt", "out.txt"}, options);
    EXPECT_EQ(run.status, 0) << c.setting;
    EXPECT_EQ(run.console, kSmallTableConsole) << c.setting;
    EXPECT_EQ(run.errors, c.errors) << c.setting;
    EXPECT_EQ(read_file(dir.file("out.txt")), kSmallTableConverted) << c.setting;
  }
}

}  // namespace
}  // namespace floveran::testing
