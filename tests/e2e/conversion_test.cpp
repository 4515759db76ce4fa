// Whole tables end to end: the header block, both conversion directions, missing
// values, malformed records, the progress display and the line ends, with the
// exact bytes of the output table and the console.
#include <gtest/gtest.h>

#include "e2e/run_tool.h"

namespace floveran::testing {
namespace {

const std::string kHeader =
    "T\n"
    "YY\tMM\tDD\tHH\t100.0\t50.0\n"
    "h3\n"
    "h4\n"
    "h5\n";

const std::string kOutputHeader =
    "specific_runoff_from_in.txt,_output_timestep:_1.00_h,_original:T\n"
    "YY\tMM\tDD\tHH\t100.000\t50.000\n"
    "h3\n"
    "h4\n"
    "h5\n";

TEST(WorkedExample, ConvertsThereAndBackAgain) {
  TempDir dir;
  write_file(dir.file("in.txt"), kHeader +
                                     "2000\t1\t1\t1\t10.0\t-9999\n"
                                     "2000\t1\t1\t2\t12.5\t3.2\n");
  ToolRun run = run_tool(dir, {"in.txt", "out.txt"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.console, crlf(kBanner + "2 columns \n\nmonth 1/2000 .fertig..\n"));
  EXPECT_EQ(read_file(dir.file("out.txt")), crlf(kOutputHeader +
                                                 "2000\t1\t1\t1\t0.36\t-9999\n"
                                                 "2000\t1\t1\t2\t0.45\t0.2304\n"));

  run = run_tool(dir, {"out.txt", "back.txt", "5", "0", "1", "2"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.console, crlf(kBanner + "2 columns \n\nmonth 1/2000 .fertig..\n"));
  EXPECT_EQ(read_file(dir.file("back.txt")),
            crlf("specific_runoff_from_out.txt,_output_timestep:_1.00_h,_original:"
                 "specific_runoff_from_in.txt,_output_timestep:_1.00_h,_original:T\n"
                 "YY\tMM\tDD\tHH\t100.000\t50.000\n"
                 "h3\nh4\nh5\n"
                 "2000\t1\t1\t1\t10\t-9999\n"
                 "2000\t1\t1\t2\t12.5\t3.2\n"));
}

TEST(LineEnds, CrLfAndLfInputGiveTheSameOutput) {
  const std::string lf = kHeader + "2000\t1\t1\t1\t10.0\t-9999\n2000\t1\t1\t2\t12.5\t3.2\n";
  const Conversion from_lf = convert(lf);
  const Conversion from_crlf = convert(crlf(lf));
  EXPECT_EQ(from_crlf.output, from_lf.output);
  EXPECT_EQ(from_crlf.console, from_lf.console);
  EXPECT_EQ(from_crlf.errors, "");
  EXPECT_EQ(from_lf.errors, "");
}

TEST(MissingValues, BelowTheThresholdInBothMethods) {
  const std::string table = "T\nYY\tMM\tDD\tHH\t100\t100\t100\t100\n\n\n\n"
                            "2000\t1\t2\t3\t-9999.5\t-9990.5\t-9990\t-9999\n";
  Conversion c = convert(table);
  EXPECT_EQ(c.status, 0);
  EXPECT_NE(c.output.find("2000\t1\t2\t3\t-9999\t-9999\t-359.64\t-9999\r\n"), std::string::npos)
      << c.output;
  c = convert(table, {"5", "0", "1", "2"});
  EXPECT_NE(c.output.find("2000\t1\t2\t3\t-9999\t-9999\t-277500\t-9999\r\n"), std::string::npos)
      << c.output;
}

// The console stays quiet; standard error tells where the loop stopped.
TEST(MalformedRecords, EndTheLoopQuietlyWithStatus0) {
  const std::string header = "T\nYY\tMM\tDD\tHH\t100\t100\t100\n\n\n\n";
  const std::string area_row = "YY\tMM\tDD\tHH\t100.000\t100.000\t100.000\n\n\n\n";
  const std::string title = "specific_runoff_from_in.txt,_output_timestep:_1.00_h,_original:T\n";
  const struct {
    const char* name;
    std::string records;
    std::string rows;
    std::string console;
    std::string errors;
  } cases[] = {
      {"word_in_second_column", "2000 1 1 1 10 word 30\n2000 1 1 2 10 20 30\n",
       "2000\t1\t1\t1\t0.36\n", "\nmonth 1/2000 .",
       "floveran: line 6: stopped at \"word 30\", which is not a number; 1 record converted (the last with "
       "1 of 3 values), 1 line not converted\n"},
      {"lone_minus_in_second_column", "2000 1 1 1 10 - 30\n2000 1 1 2 10 20 30\n",
       "2000\t1\t1\t1\t0.36\t1.08\n", "\nmonth 1/2000 .",
       "floveran: line 6: stopped at \"- 30\", which is not a number; 1 record converted (the last with "
       "2 of 3 values), 1 line not converted\n"},
      {"date_not_an_integer", "2000 1 1 1 10 20 30\n2000 x 1 2 10 20 30\n",
       "2000\t1\t1\t1\t0.36\t0.72\t1.08\n", "\nmonth 1/2000 .",
       "floveran: line 7: stopped at \"x 1 2 10 20 30\", which is not a date of four whole numbers; "
       "1 record converted, 1 line not converted\n"},
      {"end_of_input_inside_a_record", "2000 1 1 2 10 20", "2000\t1\t1\t2\t0.36\t0.72\n", "",
       "floveran: line 6: stopped at the end of the input, inside a record; 1 record converted (the last "
       "with 2 of 3 values), 0 lines not converted\n"},
      {"last_record_without_newline", "2000 1 1 2 10 20 30", "2000\t1\t1\t2\t0.36\t0.72\t1.08\n", "", ""},
      {"values_run_over_the_line_end", "2000 1 1 2 10\n20 30 99\n2000 1 1 3 1 2 3\n",
       "2000\t1\t1\t2\t0.36\t0.72\t1.08\n2000\t1\t1\t3\t0.036\t0.072\t0.108\n", "",
       "floveran: line 6: fewer values than columns (3); the record was read on into line 7\n"},
      {"trailing_columns_are_dropped", "2000 1 1 2 10 20 30 40 50\n",
       "2000\t1\t1\t2\t0.36\t0.72\t1.08\n", "", ""},
  };
  for (const auto& c : cases) {
    const Conversion result = convert(header + c.records);
    EXPECT_EQ(result.status, 0) << c.name;
    EXPECT_EQ(result.output, crlf(title + area_row + c.rows)) << c.name;
    EXPECT_EQ(result.console, crlf("3 columns \n" + c.console + "fertig..\n")) << c.name;
    EXPECT_EQ(result.errors, c.errors) << c.name;
  }
}

// A record of 130 columns, read in batches: a failing value at either side of a
// batch boundary leaves the same partial row, and the same report of how many
// values it holds, as anywhere else. A word stops every later scan of the record;
// a lone "-" is consumed, so each later column reads the value one place further
// on, and only the last value of the line goes unwritten.
TEST(MalformedRecords, FailuresOnEitherSideOfABatchOfValues) {
  constexpr int kColumns = 130;
  std::string area_line = "YY\tMM\tDD\tHH";
  std::string area_row = "YY\tMM\tDD\tHH";
  for (int c = 0; c < kColumns; ++c) {
    area_line += "\t100";
    area_row += "\t100.000";
  }
  const std::string head = "T\n" + area_line + "\n\n\n\n";
  const std::string title = "specific_runoff_from_in.txt,_output_timestep:_1.00_h,_original:T\n";
  for (int bad : {1, 63, 64, 65, 66, 128, 129, 130}) {
    for (const std::string token : {"word", "-"}) {
      std::string record = "2000 1 1 2";
      for (int c = 1; c <= kColumns; ++c) record += c == bad ? " " + token : " 10";
      const int written = token == "word" ? bad - 1 : kColumns - 1;
      std::string row = "2000\t1\t1\t2";
      for (int c = 0; c < written; ++c) row += "\t0.36";
      std::string found = token;
      for (int c = bad + 1; c <= kColumns; ++c) found += " 10";
      const std::string errors = "floveran: line 6: stopped at \"" + found.substr(0, 40) +
                                 "\", which is not a number; 1 record converted (the last with " +
                                 std::to_string(written) + " of 130 values), 0 lines not converted\n";
      const Conversion result = convert(head + record + "\n");
      EXPECT_EQ(result.status, 0) << token << " at " << bad;
      EXPECT_EQ(result.output, crlf(title + area_row + "\n\n\n\n" + row + "\n")) << token << " at " << bad;
      EXPECT_EQ(result.errors, errors);
    }
  }
}

TEST(Progress, MonthLineAndOneDotPerDay) {
  const struct {
    const char* name;
    std::string records;
    std::vector<std::string> arguments;
    std::string console;
  } cases[] = {
      {"hours_1_to_24",
       "2001 3 1 1 1\n2001 3 1 2 1\n2001 3 1 24 1\n2001 3 2 1 1\n2001 3 2 24 1\n2001 4 1 1 1\n",
       {}, "\nmonth 3/2001 ..\nmonth 4/2001 ."},
      {"hours_0_to_23_dot_at_hour_1",
       "2001 3 1 0 1\n2001 3 1 1 1\n2001 3 1 2 1\n2001 3 2 0 1\n2001 3 2 1 1\n", {},
       "\nmonth 3/2001 .."},
      {"daily_records_with_a_time_step_of_24",
       "2001 1 30 24 1\n2001 1 31 24 1\n2001 2 1 24 1\n2001 2 2 24 1\n", {"5", "0", "24"},
       "..\nmonth 2/2001 .."},
      {"hour_not_equal_to_the_time_step", "2001 1 1 1 1\n2001 1 1 2 1\n", {"5", "0", "0.5"},
       ""},
  };
  for (const auto& c : cases) {
    const Conversion result = convert("T\nYY\tMM\tDD\tHH\t100\n\n\n\n" + c.records, c.arguments);
    EXPECT_EQ(result.status, 0) << c.name;
    EXPECT_EQ(result.console, crlf("1 columns \n" + c.console + "fertig..\n")) << c.name;
  }
}

// The marks reach the console while the conversion runs: fed through a pipe that
// stays open, the tool must show the month line and the dots of the records it has
// read before it sees the end of its input.
TEST(Progress, MarksAppearWhileTheInputIsStillComing) {
  TempDir dir;
  StreamingRun run = start_streaming_run(dir, kStandardOutput);
  ASSERT_TRUE(feed(run, "T\nYY\tMM\tDD\tHH\t100\n\n\n\n2001 3 1 1 1\n2001 3 2 1 1\n"));
  // The marks of the two records while the pipe is open.
  const std::string marks = crlf("\nmonth 3/2001 ..");
  read_until(run, [&](const std::string& console) { return console.find(marks) != std::string::npos; });
  EXPECT_NE(run.seen.find(marks), std::string::npos) << "console so far: " << run.seen;
  EXPECT_TRUE(feed(run, "2001 3 3 1 1\n"));
  EXPECT_EQ(finish(run), 0);
  EXPECT_EQ(run.seen, crlf(kBanner + "1 columns \n\nmonth 3/2001 ...fertig..\n"));
}

TEST(TimeStep, EntersTheTitleAndTheConversion) {
  const Conversion c = convert("T\nYY\tMM\tDD\tHH\t100\n\n\n\n2001 1 1 24 10\n", {"5", "0", "24"});
  EXPECT_EQ(c.output, crlf("specific_runoff_from_in.txt,_output_timestep:_24.00_h,_original:T\n"
                           "YY\tMM\tDD\tHH\t100.000\n\n\n\n"
                           "2001\t1\t1\t24\t8.64\n"));
}

TEST(HeaderBlock, HeadRowsAndAreaLines) {
  const std::string records = "2000\t1\t1\t2\t12.5\t3.2\n";
  const struct {
    const char* name;
    std::string table;
    std::vector<std::string> arguments;
    std::string output;
    std::string console;
    std::string errors = "";
  } cases[] = {
      {"head_rows_1_writes_only_the_title", kHeader + records, {"1"},
       "specific_runoff_from_in.txt,_output_timestep:_1.00_h,_original:T\n", "2 columns \n",
       "floveran: area 0 for 2 columns: 1 to 2 (line 2 is not read with fewer than 2 head rows); their "
       "values become 1.#INF, -1.#INF or -1.#IND\n"
       "floveran: line 2: stopped at \"YY\\tMM\\tDD\\tHH\\t100.0\\t50.0\", which is not a date of four "
       "whole numbers; 0 records converted, 5 lines not converted\n"},
      {"head_rows_2", kHeader + records, {"2"},
       "specific_runoff_from_in.txt,_output_timestep:_1.00_h,_original:T\n"
       "YY\tMM\tDD\tHH\t100.000\t50.000\n",
       "2 columns \n",
       "floveran: line 3: stopped at \"h3\", which is not a date of four whole numbers; 0 records "
       "converted, 4 lines not converted\n"},
      {"negative_head_rows_write_nothing", kHeader + records, {"-3"}, "", "2 columns \n",
       "floveran: area 0 for 2 columns: 1 to 2 (line 2 is not read with fewer than 2 head rows); their "
       "values become 1.#INF, -1.#INF or -1.#IND\n"
       "floveran: line 1: stopped at \"T\", which is not a date of four whole numbers; 0 records "
       "converted, 6 lines not converted\n"},
      {"more_head_rows_than_lines", kHeader, {"2000000000"}, kOutputHeader, "2 columns \n"},
      {"areas_written_with_three_decimals_used_in_full",
       "T\nYY\tMM\tDD\tHH\t123.4567\t0.0005\n\n\n\n2000 1 1 2 5 1\n", {"5", "2"},
       "specific_runoff_from_in.txt,_output_timestep:_1.00_h,_original:T\n"
       "YY\tMM\tDD\tHH\t123.457\t0.001\n\n\n\n2000\t1\t1\t2\t0.1458001\t7200\n",
       "2 columns 123.4567\t0.0005\n\n"},
      {"more_areas_than_columns", kHeader + records, {"5", "1"},
       "specific_runoff_from_in.txt,_output_timestep:_1.00_h,_original:T\n"
       "YY\tMM\tDD\tHH\t100.000\nh3\nh4\nh5\n2000\t1\t1\t2\t0.45\n",
       "1 columns 100.0\t50.0\n\n"},
      // The missing area is scanned from the next line and fails there; the rest of
      // that line is dropped, so the header block ends one line further down.
      {"fewer_areas_than_columns",
       kHeader + "2000\t1\t1\t1\t10.0\t-9999\t1\n2000\t1\t1\t2\t12.5\t3.2\t2\n", {"5", "3"},
       "specific_runoff_from_in.txt,_output_timestep:_1.00_h,_original:T\n"
       "YY\tMM\tDD\tHH\t100.000\t50.000\t0.000\nh4\nh5\n2000\t1\t1\t1\t10.0\t-9999\t1\n"
       "2000\t1\t1\t2\t0.45\t0.2304\t1.#INF\n",
       "3 columns 100.0\t50.0\n\n",
       "floveran: area 0 for 1 column: 3 (not a number, or 0, on line 2); its values become 1.#INF, "
       "-1.#INF or -1.#IND\n"},
      {"column_count_0", kHeader + records, {"5", "0"},
       "specific_runoff_from_in.txt,_output_timestep:_1.00_h,_original:T\n"
       "YY\tMM\tDD\tHH\nh3\nh4\nh5\n2000\t1\t1\t2\n",
       "0 columns 100.0\t50.0\n\n"},
      {"space_separated_records", kHeader + "2000 1 1 2   12.5 3.2\n", {},
       kOutputHeader + "2000\t1\t1\t2\t0.45\t0.2304\n", "2 columns \n"},
      {"header_lines_copied_byte_for_byte",
       std::string("T \t x\nYY\tMM\tDD\tHH\t100.0\t50.0\n\xe4\xf6 \x01\r\n\n  h5  \t\n") + records, {},
       std::string("specific_runoff_from_in.txt,_output_timestep:_1.00_h,_original:T \t x\n"
                   "YY\tMM\tDD\tHH\t100.000\t50.000\n\xe4\xf6 \x01\n\n  h5  \t\n") +
           "2000\t1\t1\t2\t0.45\t0.2304\n",
       "2 columns \n"},
  };
  for (const auto& c : cases) {
    const Conversion result = convert(c.table, c.arguments);
    EXPECT_EQ(result.status, 0) << c.name;
    EXPECT_EQ(result.output, crlf(c.output)) << c.name;
    EXPECT_EQ(result.console, crlf(c.console + "fertig..\n")) << c.name;
    EXPECT_EQ(result.errors, c.errors) << c.name;
  }
}

TEST(ZeroAreas, GiveInfinitiesNanAndNegativeZero) {
  Conversion c = convert("T\nYY\tMM\tDD\tHH\t0\t0\t0\n\n\n\n2000 1 1 2 5 -5 0\n", {"5", "3"});
  EXPECT_NE(c.output.find("2000\t1\t1\t2\t1.#INF\t-1.#INF\t-1.#IND\r\n"), std::string::npos)
      << c.output;
  EXPECT_EQ(c.errors,
            "floveran: area 0 for 3 columns: 1 to 3 (not a number, or 0, on line 2); their values become "
            "1.#INF, -1.#INF or -1.#IND\n");
  // A zero area ends the count and is counted: it stands last here.
  c = convert("T\nYY\tMM\tDD\tHH\t100\t0\n\n\n\n2000 1 1 2 5 -5\n2000 1 1 3 5 5\n",
              {"5", "0", "1", "2"});
  EXPECT_NE(c.output.find("2000\t1\t1\t2\t138.8889\t-0\r\n2000\t1\t1\t3\t138.8889\t0\r\n"),
            std::string::npos)
      << c.output;
  EXPECT_EQ(c.errors,
            "floveran: area 0 for 1 column: 2 (not a number, or 0, on line 2); its values become 0 or -0\n");
}

TEST(ColumnDetection, ShortOrMissingAreaLineEndsWithStatus2AndNoOutput) {
  const std::string missing = "floveran: cannot read the input \"in.txt\": line 2 is missing\n";
  const std::string short_line =
      "floveran: cannot read the input \"in.txt\": line 2 holds no fields (it has 12 characters or fewer)\n";
  const struct {
    std::string table;
    std::string errors;
  } cases[] = {
      {"", missing},
      {"title only\n", missing},
      {"T\nYY\tMM\tDD\tHH\t", short_line},  // 12 characters, no newline
      {"T\nYY\tMM\tDD\tHH\n", short_line},  // 12 with the newline
      {"T\r\nYY\tMM\tDD\tH\t\r\n", short_line},
  };
  for (const auto& c : cases) {
    const Conversion result = convert(c.table);
    EXPECT_EQ(result.status, 2) << c.table;
    EXPECT_EQ(result.console, crlf("error reading a record\n")) << c.table;
    EXPECT_FALSE(result.output_exists) << c.table;
    EXPECT_EQ(result.errors, c.errors) << c.table;
  }
  // Thirteen characters, the labels with their tab and the newline, are enough.
  const Conversion c = convert("T\nYY\tMM\tDD\tHH\t\n");
  EXPECT_EQ(c.status, 0);
  EXPECT_EQ(c.console, crlf("0 columns \nfertig..\n"));
  EXPECT_EQ(c.output, crlf("specific_runoff_from_in.txt,_output_timestep:_1.00_h,_original:T\n"
                           "YY\tMM\tDD\tHH\n"));
  EXPECT_EQ(c.errors, "");
}

TEST(ColumnDetection, ExplicitCountThatCannotBeAllocated) {
  for (const char* count : {"2147483647", "2000000000"}) {
    const Conversion c = convert(kHeader, {"5", count});
    EXPECT_EQ(c.status, 2) << count;
    EXPECT_EQ(c.console, crlf(std::string(count) + " columns 100.0\t50.0\n\nnot enough memory for " +
                              count + " columns\n"));
    EXPECT_EQ(c.errors, "floveran: cannot hold the areas of " + std::string(count) +
                            " columns in memory; is argument 4 right?\n");
    EXPECT_FALSE(c.output_exists);
  }
}

TEST(ColumnDetection, WideAreaLineOf500Gauges) {
  std::string area_line = "YY\tMM\tDD\tHH";
  std::string area_row = "YY\tMM\tDD\tHH";
  std::string record = "2000\t1\t1\t2";
  std::string row = "2000\t1\t1\t2";
  for (int i = 0; i < 500; ++i) {
    area_line += "\t36000";
    area_row += "\t36000.000";
    record += "\t10";
    row += "\t0.001";
  }
  std::string long_header(5000, 'h');
  const Conversion c = convert("T\n" + area_line + "\n" + long_header + "\n\n\n" + record + "\n");
  EXPECT_EQ(c.console, crlf("500 columns \nfertig..\n"));
  EXPECT_EQ(c.errors, "");
  EXPECT_EQ(c.output,
            crlf("specific_runoff_from_in.txt,_output_timestep:_1.00_h,_original:T\n" + area_row +
                 "\n" + long_header + "\n\n\n" + row + "\n"));
}

}  // namespace
}  // namespace floveran::testing
