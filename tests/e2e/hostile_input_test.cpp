// Input as it comes from loggers, spreadsheets and other programs: enormous lines,
// control and binary bytes anywhere, absurd arguments. Each run must end with the
// defined behaviour, in time proportional to the input, and leave the input as it
// was (the conversion helper checks that).
#include <gtest/gtest.h>

#include "e2e/run_tool.h"

namespace floveran::testing {
namespace {

const std::string kTitle = "specific_runoff_from_in.txt,_output_timestep:_1.00_h,_original:";
const std::string kAreaLine = "YY\tMM\tDD\tHH\t100.0\t50.0\n";
const std::string kAreaRow = "YY\tMM\tDD\tHH\t100.000\t50.000\n";

TEST(EnormousLines, OneLineOf100MegabytesWithoutLineEnd) {
  const Conversion c = convert(std::string(100'000'000, 'x'));
  EXPECT_EQ(c.status, 2);
  EXPECT_EQ(c.console, crlf("error reading a record\n"));
  EXPECT_EQ(c.errors, "floveran: cannot read the input \"in.txt\": line 2 is missing\n");
  EXPECT_FALSE(c.output_exists);
}

TEST(EnormousLines, TitleLineOf20MegabytesIsCopiedWhole) {
  const std::string title(20'000'000, 't');
  const Conversion c = convert(title + "\n" + kAreaLine + "h3\nh4\nh5\n2000 1 1 2 10 20\n");
  EXPECT_EQ(c.status, 0);
  EXPECT_TRUE(c.output == crlf(kTitle + title + "\n" + kAreaRow + "h3\nh4\nh5\n2000\t1\t1\t2\t0.36\t1.44\n"));
  EXPECT_EQ(c.errors, "");
}

TEST(EnormousLines, AreaLineOf10MegabytesOfBlanksAndTabs) {
  std::string blanks;
  for (int i = 0; i < 5'000'000; ++i) blanks += " \t";
  const Conversion c = convert("T\nYY\tMM\tDD\tHH\t" + blanks + "\nh3\nh4\nh5\n2000 1 1 2 10\n");
  EXPECT_EQ(c.status, 0);
  EXPECT_EQ(c.console, crlf("0 columns \nfertig..\n"));
  EXPECT_EQ(c.output, crlf(kTitle + "T\nYY\tMM\tDD\tHH\nh3\nh4\nh5\n2000\t1\t1\t2\n"));
  EXPECT_EQ(c.errors, "");
}

TEST(EnormousLines, RecordOfAMillionColumns) {
  std::string area_line = "YY\tMM\tDD\tHH";
  std::string record = "2000\t1\t1\t2";
  std::string row = "2000\t1\t1\t2";
  for (int i = 0; i < 1'000'000; ++i) {
    area_line += "\t36";
    record += "\t10";
    row += "\t1";
  }
  const Conversion c = convert("T\n" + area_line + "\n\n\n\n" + record + "\n" + record + "\n");
  EXPECT_EQ(c.status, 0);
  EXPECT_EQ(c.console, crlf("1000000 columns \nfertig..\n"));
  EXPECT_EQ(c.errors, "");
  const std::string rows = crlf(row + "\n" + row + "\n");
  ASSERT_GE(c.output.size(), rows.size());
  EXPECT_TRUE(c.output.compare(c.output.size() - rows.size(), rows.size(), rows) == 0);
}

TEST(Arguments, HeadRowsOfTwoBillionOnAFiveLineFile) {
  const Conversion c = convert("T\n" + kAreaLine + "h3\nh4\nh5\n", {"2000000000"});
  EXPECT_EQ(c.status, 0);
  EXPECT_EQ(c.errors, "");
  EXPECT_EQ(c.output, crlf(kTitle + "T\n" + kAreaRow + "h3\nh4\nh5\n"));
}

TEST(ControlBytes, CtrlZNulAndHighBytesInEveryPart) {
  const std::string header_rest = "h3\nh4\nh5\n";
  const struct {
    const char* name;
    std::string table;
    std::string output;
    std::string console;
    std::string errors = "";
  } cases[] = {
      {"ctrl_z_in_a_record_ends_the_input",
       "T\n" + kAreaLine + header_rest + "2000 1 1 2 10 20\n2000 1 1 3 12.5\x1a 3.2\n2000 1 1 4 1 1\n",
       kTitle + "T\n" + kAreaRow + header_rest + "2000\t1\t1\t2\t0.36\t1.44\n2000\t1\t1\t3\t0.45\n",
       "2 columns \n",
       "floveran: line 7: stopped at \"\\x1a 3.2\", a Ctrl-Z byte that ends the input; 2 records "
       "converted (the last with 1 of 2 values), 1 line not converted\n"},
      {"ctrl_z_in_the_area_line", "T\nYY\tMM\tDD\tHH\t100.0\x1a\t50.0\n" + header_rest,
       kTitle + "T\nYY\tMM\tDD\tHH\t100.000\n", "1 columns \n",
       "floveran: line 2: stopped at \"\\x1a\\t50.0\", a Ctrl-Z byte that ends the input; 0 records "
       "converted, 4 lines not converted\n"},
      {"ctrl_z_in_a_header_line", "T\n" + kAreaLine + "h3\nh\x1a" "4\nh5\n2000 1 1 2 10 20\n",
       kTitle + "T\n" + kAreaRow + "h3\nh", "2 columns \n",
       "floveran: line 4: stopped at \"\\x1a" "4\", a Ctrl-Z byte that ends the input; 0 records "
       "converted, 3 lines not converted\n"},
      {"ctrl_z_as_the_first_byte", "\x1aT\n" + kAreaLine, "", "error reading a record\n",
       "floveran: cannot read the input \"in.txt\": line 2 is missing\n"},
      {"nul_in_the_title_is_copied", std::string("T\0itle\n", 7) + kAreaLine + header_rest,
       kTitle + std::string("T\0itle\n", 7) + kAreaRow + header_rest, "2 columns \n"},
      {"nul_ends_the_area_line_text", std::string("T\nYY\tMM\tDD\tHH\t100.0\t\0" "50.0\n", 26) + header_rest,
       kTitle + "T\nYY\tMM\tDD\tHH\t100.000\n" + header_rest, "1 columns \n"},
      {"nul_in_a_record_ends_the_loop",
       "T\n" + kAreaLine + header_rest + std::string("2000 1 1 2 10\0 20\n2000 1 1 3 1 1\n", 32),
       kTitle + "T\n" + kAreaRow + header_rest + "2000\t1\t1\t2\t0.36\n", "2 columns \n",
       "floveran: line 6: stopped at \"\\x00 20\", which is not a number; 1 record converted (the last "
       "with 1 of 2 values), 1 line not converted\n"},
      {"high_bytes_in_header_lines_are_copied", "T\xe9\n" + kAreaLine + "\xff\xfe\n\x80\nh5\n",
       kTitle + "T\xe9\n" + kAreaRow + "\xff\xfe\n\x80\nh5\n", "2 columns \n"},
      {"high_bytes_in_a_record_end_the_loop",
       "T\n" + kAreaLine + header_rest + "2000 1 1 2 10 \xb5" "20\n2000 1 1 3 1 1\n",
       kTitle + "T\n" + kAreaRow + header_rest + "2000\t1\t1\t2\t0.36\n", "2 columns \n",
       "floveran: line 6: stopped at \"\\xb5" "20\", which is not a number; 1 record converted (the last "
       "with 1 of 2 values), 1 line not converted\n"},
      {"lone_cr_in_a_record_is_white_space",
       "T\n" + kAreaLine + header_rest + "2000 1 1 2 10\r20\n",
       kTitle + "T\n" + kAreaRow + header_rest + "2000\t1\t1\t2\t0.36\t1.44\n", "2 columns \n"},
  };
  for (const auto& c : cases) {
    const Conversion result = convert(c.table);
    const bool rejected = c.console == "error reading a record\n";
    EXPECT_EQ(result.status, rejected ? 2 : 0) << c.name;
    EXPECT_EQ(result.output, crlf(c.output)) << c.name;
    EXPECT_EQ(result.console, crlf(c.console + (rejected ? "" : "fertig..\n"))) << c.name;
    EXPECT_EQ(result.errors, c.errors) << c.name;
  }
}

}  // namespace
}  // namespace floveran::testing
