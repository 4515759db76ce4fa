// What a stretch of the record loop tells when it returns, on inputs in memory as
// the threads give it their chunks: only the end of the input where a record
// would begin lets a chunk count; a record read on, a failed scan and a record
// cut by the end each return as such, with the lines and the rows written.
#include "table/records.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace floveran {
namespace {

struct StretchCase {
  const char* name;
  std::string input;
  StretchEnd end;
  std::int64_t records;
  std::string output;
  std::string console;
  std::int64_t line_ends;  // consumed when the stretch returned
};

struct Stretch {
  StretchEnd end;
  RecordTally tally;
  std::string output;
  std::string console;
  std::int64_t line_ends;
};

Stretch run_stretch(const std::string& bytes, std::uint64_t pause_at = kNoPause) {
  RunSettings settings;
  settings.column_count = 3;
  const std::vector<double> areas = {0.0, 100.0, 50.0, 25.0};
  TextInput in;
  auto copy = std::make_unique<char[]>(bytes.size() + 1);
  std::memcpy(copy.get(), bytes.data(), bytes.size());
  open_memory_input(in, std::move(copy), bytes.size(), 0);
  TextOutput output;
  TextOutput console;
  open_memory_output(output, 64);
  open_memory_output(console, 64);
  Stretch stretch;
  stretch.end = convert_record_stretch({in, output, console, areas}, settings, stretch.tally, pause_at);
  stretch.output = output_bytes(output);
  stretch.console = output_bytes(console);
  stretch.line_ends = in.line_ends;
  return stretch;
}

TEST(RecordStretch, TellsWhyItReturned) {
  const std::string row = "2024\t1\t1\t1\t0.36\t0.36\t0.36\r\n";
  const StretchCase cases[] = {
      {"nothing", "", StretchEnd::input_ended, 0, "", "", 0},
      {"white_space", " \n\t\n", StretchEnd::input_ended, 0, "", "", 2},
      {"one_record", "2024 1 1 1 10 5 2.5\n", StretchEnd::input_ended, 1, row, "\r\nmonth 1/2024 .", 1},
      {"no_last_line_end", "2024 1 1 1 10 5 2.5", StretchEnd::input_ended, 1, row, "\r\nmonth 1/2024 .", 0},
      {"extra_values_and_blank_lines", "\n2024 1 1 1 10 5 2.5 7 8\n\n", StretchEnd::input_ended, 1, row,
       "\r\nmonth 1/2024 .", 3},
      {"read_on", "2024 1 1 1 10 5\n2.5 1 1\n", StretchEnd::read_on, 1, row, "\r\nmonth 1/2024 .", 1},
      {"read_on_to_the_end", "2024 1 1 1 10 5\n", StretchEnd::scan_failed, 1,
       "2024\t1\t1\t1\t0.36\t0.36\r\n", "\r\nmonth 1/2024 .", 1},
      {"word", "2024 1 1 1 10 NA 2.5\n2024 1 1 2 1 1 1\n", StretchEnd::scan_failed, 1,
       "2024\t1\t1\t1\t0.36\r\n", "\r\nmonth 1/2024 .", 1},
      {"not_a_date", "sum 1 2 3\n", StretchEnd::scan_failed, 0, "", "", 0},
      {"date_cut", "2024 1 1\n", StretchEnd::scan_failed, 0, "", "", 1},
  };
  for (const StretchCase& c : cases) {
    const Stretch stretch = run_stretch(c.input);
    EXPECT_EQ(stretch.end, c.end) << c.name;
    EXPECT_EQ(stretch.tally.records, c.records) << c.name;
    EXPECT_EQ(stretch.output, c.output) << c.name;
    EXPECT_EQ(stretch.console, c.console) << c.name;
    EXPECT_EQ(stretch.line_ends, c.line_ends) << c.name;
  }
}

TEST(RecordStretch, NotesWhereAScanFailedAndWhichRecordWasReadOn) {
  const Stretch word = run_stretch("2024 1 1 1 10 NA 2.5\n");
  EXPECT_TRUE(word.tally.stopped);
  EXPECT_EQ(word.tally.stop.cause, StopCause::not_a_number);
  EXPECT_EQ(word.tally.stop.text, "NA 2.5");
  EXPECT_EQ(word.tally.stop.line, 1);
  EXPECT_EQ(word.tally.stop.last_row_values, 1);

  const Stretch read_on = run_stretch("\n2024 1 1 1 10 5\n\n2.5 1 1\n");
  EXPECT_FALSE(read_on.tally.stopped);
  EXPECT_EQ(read_on.tally.read_on_from, 2);
  EXPECT_EQ(read_on.tally.read_on_to, 4);
}

// A pause is met in front of a record only.
TEST(RecordStretch, PausesInFrontOfARecord) {
  const Stretch paused = run_stretch("2024 1 1 1 10 5 2.5\n", 0);
  EXPECT_EQ(paused.end, StretchEnd::paused);
  EXPECT_EQ(paused.tally.records, 0);
  EXPECT_EQ(paused.output, "");
}

}  // namespace
}  // namespace floveran
