// Standard error end to end: tables as they come from spreadsheets, loggers and
// broken downloads, and arguments as users type them. Each run must give the exact
// diagnostics lines, while the console, the output table and the exit status stay
// what they always were; clean tables, the shipped examples and the benchmark
// tables among them, must give nothing at all.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "e2e/run_tool.h"

namespace floveran::testing {
namespace {

// Three gauges whose first records all convert to 0.36, 0.72 and 1.08.
const std::string kHeader = "T\nYY\tMM\tDD\tHH\t100\t50\t25\nh3\nh4\nh5\n";
const std::string kOutputHeader =
    "specific_runoff_from_in.txt,_output_timestep:_1.00_h,_original:T\n"
    "YY\tMM\tDD\tHH\t100.000\t50.000\t25.000\nh3\nh4\nh5\n";
const std::string kRecord1 = "2024\t1\t1\t1\t10\t5\t2.5\n";
const std::string kRecord2 = "2024\t1\t1\t2\t20\t10\t5\n";
const std::string kRecord3 = "2024\t1\t1\t3\t30\t15\t7.5\n";
const std::string kRow1 = "2024\t1\t1\t1\t0.36\t0.36\t0.36\n";
const std::string kRow2 = "2024\t1\t1\t2\t0.72\t0.72\t0.72\n";
const std::string kConsole = "3 columns \n\nmonth 1/2024 .fertig..\n";

struct TableCase {
  const char* name;
  std::string records;  // behind kHeader
  std::string rows;     // behind kOutputHeader
  std::string errors;
};

// The record loop stops, or reads a record on into the next line.
TEST(Diagnostics, RecordsAsSpreadsheetsAndDownloadsLeaveThem) {
  const TableCase cases[] = {
      {"clean", kRecord1 + kRecord2 + kRecord3,
       kRow1 + kRow2 + "2024\t1\t1\t3\t1.08\t1.08\t1.08\n", ""},
      // The empty cell takes its value from the year of the next line, whose record
      // is lost.
      {"empty_cell", kRecord1 + "2024\t1\t1\t2\t20\t\t5\n" + kRecord3,
       kRow1 + "2024\t1\t1\t2\t0.72\t0.36\t291.456\n",
       "floveran: line 7: fewer values than columns (3); the record was read on into line 8\n"},
      {"na", kRecord1 + "2024\t1\t1\t2\tNA\t10\t5\n" + kRecord3, kRow1 + "2024\t1\t1\t2\n",
       "floveran: line 7: stopped at \"NA\\t10\\t5\", which is not a number; 2 records converted "
       "(the last with 0 of 3 values), 1 line not converted\n"},
      {"nan", kRecord1 + "2024\t1\t1\t2\t20\tNaN\t5\n" + kRecord3, kRow1 + "2024\t1\t1\t2\t0.72\n",
       "floveran: line 7: stopped at \"NaN\\t5\", which is not a number; 2 records converted "
       "(the last with 1 of 3 values), 1 line not converted\n"},
      {"decimal_comma", kRecord1 + "2024\t1\t1\t2\t20\t10,5\t5\n" + kRecord3,
       kRow1 + "2024\t1\t1\t2\t0.72\t0.72\n",
       "floveran: line 7: stopped at \",5\\t5\", which is not a number; 2 records converted "
       "(the last with 2 of 3 values), 1 line not converted\n"},
      {"sum_line", kRecord1 + kRecord2 + "sum\t30\t15\t7.5\n", kRow1 + kRow2,
       "floveran: line 8: stopped at \"sum\\t30\\t15\\t7.5\", which is not a date of four whole "
       "numbers; 2 records converted, 1 line not converted\n"},
      // The dashes read as signs: the date is 2024, -1, -1, 2, and the values fail.
      {"date_with_dashes", kRecord1 + "2024-01-01 02:00\t20\t10\t5\n" + kRecord3, kRow1 + "2024\t-1\t-1\t2\n",
       "floveran: line 7: stopped at \":00\\t20\\t10\\t5\", which is not a number; 2 records "
       "converted (the last with 0 of 3 values), 1 line not converted\n"},
      {"cut_inside_the_values", kRecord1 + "2024\t1\t1\t2\t20\t1", kRow1 + "2024\t1\t1\t2\t0.72\t0.072\n",
       "floveran: line 7: stopped at the end of the input, inside a record; 2 records converted "
       "(the last with 2 of 3 values), 0 lines not converted\n"},
      {"cut_behind_a_line_end", kRecord1 + "2024\t1\t1\t2\t20\t10\n", kRow1 + "2024\t1\t1\t2\t0.72\t0.72\n",
       "floveran: line 7: stopped at the end of the input, inside a record; 2 records converted "
       "(the last with 2 of 3 values), 0 lines not converted\n"},
      {"cut_inside_the_date", kRecord1 + "2024\t1", kRow1,
       "floveran: line 7: stopped at the end of the input, inside a record; 1 record converted, "
       "1 line not converted\n"},
      // Read on into the next line, then cut there: both are told.
      {"read_on_then_cut", kRecord1 + "2024\t1\t1\t2\t20\n10", kRow1 + "2024\t1\t1\t2\t0.72\t0.72\n",
       "floveran: line 7: fewer values than columns (3); the record was read on into line 8\n"
       "floveran: line 8: stopped at the end of the input, inside a record; 2 records converted "
       "(the last with 2 of 3 values), 0 lines not converted\n"},
      {"blank_lines_between_records_are_no_fault", kRecord1 + "\n\r\n  \n" + kRecord2, kRow1 + kRow2, ""},
      {"ctrl_z_before_more_records", kRecord1 + "\x1a" + kRecord2 + kRecord3, kRow1,
       "floveran: line 7: stopped at \"\\x1a2024\\t1\\t1\\t2\\t20\\t10\\t5\", a Ctrl-Z byte that ends "
       "the input; 1 record converted, 2 lines not converted\n"},
      {"ctrl_z_inside_a_record", kRecord1 + "2024\t1\t1\t2\t20\x1a\t10\t5\r\n" + kRecord3,
       kRow1 + "2024\t1\t1\t2\t0.72\n",
       "floveran: line 7: stopped at \"\\x1a\\t10\\t5\", a Ctrl-Z byte that ends the input; "
       "2 records converted (the last with 1 of 3 values), 1 line not converted\n"},
      {"ctrl_z_as_the_old_end_of_file_mark", kRecord1 + kRecord2 + "\x1a", kRow1 + kRow2, ""},
      {"ctrl_z_with_line_ends_behind_it", kRecord1 + kRecord2 + "\x1a\r\n\x1a", kRow1 + kRow2, ""},
      // Only the first 40 bytes of what was found are shown.
      {"long_text_found", kRecord1 + "2024\t1\t1\t2\t20\tn/a" + std::string(60, 'x') + "\n",
       kRow1 + "2024\t1\t1\t2\t0.72\n",
       "floveran: line 7: stopped at \"n/a" + std::string(37, 'x') +
           "\", which is not a number; 2 records converted (the last with 1 of 3 values), "
           "0 lines not converted\n"},
  };
  for (const TableCase& c : cases) {
    const Conversion result = convert(kHeader + c.records);
    EXPECT_EQ(result.status, 0) << c.name;
    EXPECT_EQ(result.console, crlf(kConsole)) << c.name;
    EXPECT_EQ(result.output, crlf(kOutputHeader + c.rows)) << c.name;
    EXPECT_EQ(result.errors, c.errors) << c.name;
  }
}

TEST(Diagnostics, TheFirstTenRecordsReadOnAreListedThenTheTotal) {
  // Two values for three gauges: each record takes the year of the next line.
  std::string records;
  std::string rows;
  std::string errors;
  for (int i = 0; i < 12; ++i) {
    const std::string hour = std::to_string(2 * i + 1);
    records += "2024\t1\t1\t" + hour + "\t10\t5\n2024\t1\t1\t" + std::to_string(2 * i + 2) + "\t10\t5\n";
    rows += "2024\t1\t1\t" + hour + "\t0.36\t0.36\t291.456\n";
    if (i < 10) {
      errors += "floveran: line " + std::to_string(6 + 2 * i) +
                ": fewer values than columns (3); the record was read on into line " +
                std::to_string(7 + 2 * i) + "\n";
    }
  }
  errors += "floveran: 12 records in all were read on into a later line; the first 10 are listed above\n";
  const Conversion result = convert(kHeader + records);
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.console, crlf(kConsole));
  EXPECT_EQ(result.output, crlf(kOutputHeader + rows));
  EXPECT_EQ(result.errors, errors);
}

// The diagnostics go out as they are found, not at the end of the run: fed through
// a pipe that stays open, the tool must have told of the record read on before it
// sees the end of its input.
TEST(Diagnostics, AppearWhileTheInputIsStillComing) {
  TempDir dir;
  StreamingRun run = start_streaming_run(dir, kStandardError);
  ASSERT_TRUE(feed(run, kHeader + "2024\t1\t1\t1\t10\t5\n2024\t1\t1\t2\t10\t5\n"));
  const std::string told =
      "floveran: line 6: fewer values than columns (3); the record was read on into line 7\n";
  read_until(run, [&](const std::string& errors) { return errors.size() >= told.size(); });
  EXPECT_EQ(run.seen, told);
  EXPECT_EQ(finish(run), 0);
  EXPECT_EQ(run.seen, told);
}

// A column count that stopped short, and gauges without an area.
TEST(Diagnostics, AreaLinesThatHideOrInventGauges) {
  // 300 gauges; the one in column 50 has 0.8 km2, and ends the count there.
  std::string area_line = "YY\tMM\tDD\tHH";
  std::string record = "2024\t1\t1\t1";
  std::string row = "2024\t1\t1\t1";
  std::string area_row = "YY\tMM\tDD\tHH";
  for (int c = 1; c <= 300; ++c) {
    area_line += c == 50 ? "\t0.8" : "\t36";
    record += c == 50 ? "\t0.8" : "\t10";
    if (c <= 50) {
      row += c == 50 ? "\t3.6" : "\t1";
      area_row += c == 50 ? "\t0.800" : "\t36.000";
    }
  }
  const struct {
    const char* name;
    std::string table;
    std::vector<std::string> arguments;
    std::string console;
    std::string output;
    std::string errors;
  } cases[] = {
      {"small_gauge_in_column_50_of_300", "T\n" + area_line + "\nh3\nh4\nh5\n" + record + "\n", {},
       "50 columns 0.8\n\nmonth 1/2024 .fertig..\n",
       "specific_runoff_from_in.txt,_output_timestep:_1.00_h,_original:T\n" + area_row + "\nh3\nh4\nh5\n" +
           row + "\n",
       "floveran: line 2: counting stopped at \"0.8\", which reads as 0, after 50 columns; 250 more "
       "fields left out; if there are more gauges, give their number as the fourth and last argument\n"},
      {"areas_separated_by_spaces", "T\nYY MM DD HH 100 50 25\nh3\nh4\nh5\n2024 1 1 1 10 5 2.5\n", {},
       "1 columns \n\nmonth 1/2024 .fertig..\n",
       "specific_runoff_from_in.txt,_output_timestep:_1.00_h,_original:T\nYY\tMM\tDD\tHH\t100.000\n"
       "h3\nh4\nh5\n2024\t1\t1\t1\t0.36\n",
       "floveran: line 2: counting stopped after 1 column, since the fields behind it are not "
       "separated by tabs; 2 more fields left out; if there are more gauges, give their number as "
       "the fourth and last argument\n"},
      {"trailing_label_becomes_a_gauge",
       "T\nYY\tMM\tDD\tHH\t100\t50\ttotal\nh3\nh4\nh5\n2024\t1\t1\t1\t10\t5\t15\n2024\t1\t1\t2\t10\t5\t0\n",
       {}, "3 columns total\n\nmonth 1/2024 .fertig..\n",
       "specific_runoff_from_in.txt,_output_timestep:_1.00_h,_original:T\n"
       "YY\tMM\tDD\tHH\t100.000\t50.000\t0.000\nh3\nh4\nh5\n"
       "2024\t1\t1\t1\t0.36\t0.36\t1.#INF\n2024\t1\t1\t2\t0.36\t0.36\t-1.#IND\n",
       "floveran: area 0 for 1 column: 3 (not a number, or 0, on line 2); its values become 1.#INF, "
       "-1.#INF or -1.#IND\n"},
      // Told once, even without a record to convert; in method 2 they become 0.
      {"zero_area_without_records", "T\nYY\tMM\tDD\tHH\t0\n\n\n\n", {"5", "0", "1", "2"},
       "1 columns 0\nfertig..\n",
       "specific_runoff_from_in.txt,_output_timestep:_1.00_h,_original:T\n"
       "YY\tMM\tDD\tHH\t0.000\n\n\n\n",
       "floveran: area 0 for 1 column: 1 (not a number, or 0, on line 2); its values become 0 or -0\n"},
      {"zero_areas_in_runs", "T\nYY\tMM\tDD\tHH\t0\t-\t7\t0.0\t9\t0\n\n\n\n", {"5", "6"},
       "6 columns 0\t-\t7\t0.0\t9\t0\n\nfertig..\n",
       "specific_runoff_from_in.txt,_output_timestep:_1.00_h,_original:T\n"
       "YY\tMM\tDD\tHH\t0.000\t0.000\t7.000\t0.000\t9.000\t0.000\n\n\n\n",
       "floveran: area 0 for 4 columns: 1 to 2, 4, 6 (not a number, or 0, on line 2); their values "
       "become 1.#INF, -1.#INF or -1.#IND\n"},
      {"head_rows_below_2_leave_every_area_0", kHeader + kRecord1, {"1"}, "3 columns \nfertig..\n",
       "specific_runoff_from_in.txt,_output_timestep:_1.00_h,_original:T\n",
       "floveran: area 0 for 3 columns: 1 to 3 (line 2 is not read with fewer than 2 head rows); their "
       "values become 1.#INF, -1.#INF or -1.#IND\n"
       "floveran: line 2: stopped at \"YY\\tMM\\tDD\\tHH\\t100\\t50\\t25\", which is not a date of four "
       "whole numbers; 0 records converted, 5 lines not converted\n"},
  };
  for (const auto& c : cases) {
    const Conversion result = convert(c.table, c.arguments);
    EXPECT_EQ(result.status, 0) << c.name;
    EXPECT_EQ(result.console, crlf(c.console)) << c.name;
    EXPECT_EQ(result.output, crlf(c.output)) << c.name;
    EXPECT_EQ(result.errors, c.errors) << c.name;
  }
}

// Each argument as users type it gives what its plainly written twin gives, and
// says what it was read as.
TEST(Diagnostics, ArgumentsThatAreNotWhollyNumbers) {
  const std::string table = kHeader + kRecord1 + kRecord2;
  const struct {
    std::vector<std::string> arguments;
    std::vector<std::string> read_as;
    std::string errors;
  } cases[] = {
      {{"5", "0", "15min"}, {"5", "0", "15"},
       "floveran: argument 5 (time step in hours) \"15min\" is not wholly a number; read as 15\n"},
      {{"5", "0", "1d"}, {"5", "0", "1"},
       "floveran: argument 5 (time step in hours) \"1d\" is not wholly a number; read as 1\n"},
      {{"5", "0", "0,25"}, {"5", "0", "1"},
       "floveran: argument 5 (time step in hours) \"0,25\" is not wholly a number; read as 0, which is "
       "not above 0, so 1 is used\n"},
      {{"5", "0", "0"}, {"5", "0", "1"},
       "floveran: argument 5 (time step in hours) \"0\" is not above 0; 1 is used\n"},
      {{"5", "0", "-0.5"}, {"5", "0", "1"},
       "floveran: argument 5 (time step in hours) \"-0.5\" is not above 0; 1 is used\n"},
      {{"5", "0", "1", "back"}, {"5", "0", "1", "2"},
       "floveran: argument 6 (method) \"back\" is not wholly a number; read as 0, which converts mm per "
       "time step into m3/s\n"},
      {{"5", "0", "1", "1st"}, {"5", "0", "1", "1"},
       "floveran: argument 6 (method) \"1st\" is not wholly a number; read as 1, which converts m3/s into "
       "mm per time step\n"},
      {{"5h", "0", "0.25"}, {"5", "0", "0.25"},
       "floveran: argument 3 (head rows) \"5h\" is not wholly a number; read as 5\n"},
      {{"5", "2.9"}, {"5", "2"},
       "floveran: argument 4 (columns) \"2.9\" is not wholly a number; read as 2\n"},
      // Written plainly, with blanks around them, and in every form atof reads whole.
      {{" 5 ", "3", "2.5e-1", "+1"}, {"5", "3", "0.25", "1"}, ""},
      {{"5", "0", "1D1"}, {"5", "0", "10"}, ""},
      {{"5", "0", ".5"}, {"5", "0", "0.5"}, ""},
      // The fourth of five arguments is not read, so it is not told of.
      {{"5", "three", "1"}, {"5", "0", "1"}, ""},
  };
  for (const auto& c : cases) {
    const Conversion typed = convert(table, c.arguments);
    const Conversion plain = convert(table, c.read_as);
    EXPECT_EQ(typed.status, 0) << c.arguments[2];
    EXPECT_EQ(typed.console, plain.console) << c.errors;
    EXPECT_EQ(typed.output, plain.output) << c.errors;
    EXPECT_EQ(typed.errors, c.errors);
    EXPECT_EQ(plain.errors, "") << c.errors;
  }
}

TEST(Diagnostics, HelpAndVersion) {
  TempDir dir;
  for (const char* help : {"--help", "-h"}) {
    const ToolRun run = run_tool(dir, {help});
    EXPECT_EQ(run.status, 0) << help;
    EXPECT_TRUE(run.console.starts_with(crlf(kBanner + "usage: floveran INPUT OUTPUT [HEAD_ROWS")))
        << run.console;
    for (const char* part : {"mm   = ((Q [m3/s] * 3.6) / A [km2]) * dt [h]",
                             "m3/s = ((A [km2] / 3.6) * mm) / dt [h]",
                             "TIMESTEP   time step in hours (default 1", "Exit status: 0 done",
                             "man floveran"}) {
      EXPECT_NE(run.console.find(part), std::string::npos) << part;
    }
    EXPECT_EQ(run.console.find('\n'), run.console.find("\r\n") + 1) << "CR LF line ends";
    EXPECT_EQ(run.errors, "");
  }
  const ToolRun run = run_tool(dir, {"--version"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.console, "floveran " FLOVERAN_VERSION "\r\n");
  EXPECT_EQ(run.errors, "");
  EXPECT_TRUE(std::filesystem::is_empty(dir.path)) << "nothing is created";
  // Behind a first argument, they are file names like any other.
  const ToolRun named = run_tool(dir, {"--help", "out.txt"});
  EXPECT_EQ(named.status, 2);
  EXPECT_EQ(named.console, crlf(kBanner + "error opening file --help\n"));
  EXPECT_TRUE(has_system_reason(named.errors, "floveran: cannot open the input \"--help\": ",
                                "No such file or directory"));
}

// The shipped examples and the four tables of the throughput benchmark, in small.
TEST(Diagnostics, CleanTablesGiveNothing) {
  const struct {
    const char* input;
    std::vector<std::string> arguments;
  } examples[] = {
      {"kinzig_hourly.txt", {}},
      {"kinzig_daily.txt", {"5", "0", "24"}},
      {"murg_hourly.txt", {}},
      {"kinzig_hourly_mm.txt", {"5", "0", "1", "2"}},
  };
  for (const auto& example : examples) {
    TempDir dir;
    std::string input = std::string(FLOVERAN_EXAMPLES) + "/" + example.input;
#ifdef _WIN32
    input = full_path(input);  // the examples are on another drive than the test's folder
#endif
    std::vector<std::string> arguments = {input, "out.txt"};
    arguments.insert(arguments.end(), example.arguments.begin(), example.arguments.end());
    const ToolRun run = run_tool(dir, arguments);
    EXPECT_EQ(run.status, 0) << example.input;
    EXPECT_TRUE(run.console.ends_with("fertig..\r\n")) << example.input;
    EXPECT_EQ(run.errors, "") << example.input;
  }

  TempDir dir;
  const auto generate = [&](const std::vector<std::string>& arguments) {
#ifdef _WIN32
    ASSERT_EQ(run_program(FLOVERAN_GENERATOR, arguments), 0) << arguments.back();
#else
    std::string command = std::string("'") + FLOVERAN_GENERATOR + "'";
    for (const std::string& argument : arguments) command += " '" + argument + "'";
    command += " > /dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
#endif
  };
  generate({"50", "1", "hourly", "lf", "1", dir.file("a.txt")});
  generate({"500", "3", "daily", "lf", "2", dir.file("b.txt")});
  generate({"50", "1", "hourly", "crlf", "1", dir.file("c.txt")});
  const struct {
    const char* input;
    std::vector<std::string> arguments;
  } benchmark_cases[] = {
      {"a.txt", {}}, {"b.txt", {"5", "0", "24", "1"}}, {"c.txt", {}}, {"d.txt", {"5", "0", "1", "2"}}};
  for (const auto& c : benchmark_cases) {
    std::vector<std::string> arguments = {c.input, std::string("out_") + c.input};
    arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
    const ToolRun run = run_tool(dir, arguments);
    EXPECT_EQ(run.status, 0) << c.input;
    EXPECT_TRUE(run.console.ends_with("fertig..\r\n")) << c.input;
    EXPECT_EQ(run.errors, "") << c.input;
    // (d) is the output of (a), converted back.
    if (c.input == std::string("a.txt")) std::filesystem::rename(dir.path / "out_a.txt", dir.path / "d.txt");
  }
}

}  // namespace
}  // namespace floveran::testing
