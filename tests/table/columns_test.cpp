// The counting rule of column detection on area lines, and its cost: wide and
// pathological lines must be counted in time linear in their length (a quadratic
// count of the lines below would not finish within the test timeout).
#include "table/columns.h"

#include <gtest/gtest.h>

#include <string>

namespace floveran {
namespace {

// The working string of an area line: behind its 12 label characters, one tab added.
int count_line(const std::string& line, std::string& token) {
  return count_fields(line.substr(12) + "\t", token);
}

TEST(FindTab, ZeroForATabInFrontAndForNoTab) {
  EXPECT_EQ(find_tab("ab\tc"), 2u);
  EXPECT_EQ(find_tab("\tab"), 0u);
  EXPECT_EQ(find_tab("abc"), 0u);
  EXPECT_EQ(find_tab(""), 0u);
}

TEST(DropPrefix, RemovesTheFirstCharactersAndIgnoresNegativeCounts) {
  std::string_view text = "abcdef";
  drop_prefix(text, 2);
  EXPECT_EQ(text, "cdef");
  drop_prefix(text, -3);
  EXPECT_EQ(text, "cdef");
  drop_prefix(text, 0);
  EXPECT_EQ(text, "cdef");
}

struct CountCase {
  const char* name;
  std::string fields;  // behind "YY\tMM\tDD\tHH\t"
  int count;
  std::string token;
  std::int64_t left_out = 0;  // fields never counted
};

const CountCase kCountCases[] = {
    {"two_areas", "123.4\t567.8\n", 2, ""},
    {"area_below_one_is_counted_and_ends", "123.4\t0.5\t89\n", 2, "0.5", 1},
    {"trailing_word_counts", "123.4\t567.8\tsum\n", 3, "sum"},
    {"empty_field_is_skipped", "\t123.4\n", 1, ""},
    {"blank_field_counts_the_next_twice", "123.4\t \t567.8\n", 3, ""},
    {"blank_field_then_small_area", "123.4\t \t0.5\n", 2, "0.5"},
    {"negative_area_keeps_counting", "-5.2\t7\n", 2, ""},
    {"nothing_behind_the_labels", "\n", 0, ""},
    {"no_newline_on_the_last_line", "100\t200", 2, ""},
    {"crlf_already_translated", "100\t200\n", 2, ""},
    {"trailing_tabs", "100\t200\t\t\t\n", 2, ""},
    {"many_blanks_in_a_field", "100\t   \t\t300\n", 3, ""},
    {"word_in_front_of_more_areas", "100\tx\t300\t400\n", 2, "x", 2},
    {"areas_separated_by_blanks", "100 200 300\n", 1, "", 2},
    {"blanks_inside_a_field_then_a_small_area", "100 200\t0.5\t300\n", 2, "0.5", 2},
};

class CountFields : public ::testing::TestWithParam<CountCase> {};

TEST_P(CountFields, CountsAndKeepsTheTokenThatEndedTheCount) {
  const CountCase& c = GetParam();
  std::string token = "stale";
  EXPECT_EQ(count_line("YY\tMM\tDD\tHH\t" + c.fields, token), c.count);
  EXPECT_EQ(token, c.token);
  std::int64_t left_out = -1;
  count_fields(c.fields + "\t", token, &left_out);
  EXPECT_EQ(left_out, c.left_out);
}

INSTANTIATE_TEST_SUITE_P(AreaLines, CountFields, ::testing::ValuesIn(kCountCases),
                         [](const auto& param_info) { return std::string(param_info.param.name); });

TEST(CountFields, SpaceSeparatedLabelsAndFieldsGiveOneColumn) {
  std::string token;
  EXPECT_EQ(count_line("YY MM DD HH 123.4 567.8\n", token), 1);
  EXPECT_EQ(token, "");
}

TEST(CountFields, FiveThousandGauges) {
  std::string line = "YY\tMM\tDD\tHH";
  for (int i = 0; i < 5000; ++i) line.append("\t").append(std::to_string(5 + i)).append(".25");
  line += "\n";
  std::string token;
  EXPECT_EQ(count_line(line, token), 5000);
}

TEST(CountFields, LinearOnAMillionFields) {
  std::string line = "YY\tMM\tDD\tHH";
  line.reserve(10'000'000);
  for (int i = 0; i < 1'000'000; ++i) line += "\t12345.5";
  line += "\n";
  std::string token;
  EXPECT_EQ(count_line(line, token), 1'000'000);
}

TEST(CountFields, LinearOnAMillionTabs) {
  std::string token;
  EXPECT_EQ(count_line("YY\tMM\tDD\tHH" + std::string(1'000'000, '\t') + "7\n", token), 1);
}

TEST(CountFields, LinearOnBlankFieldsBeforeOneNumber) {
  // Each blank field counts once more for the number behind all of them, which is
  // still one field.
  std::string blanks;
  for (int i = 0; i < 1'000'000; ++i) blanks += " \t";
  std::string token;
  EXPECT_EQ(count_line("YY\tMM\tDD\tHH\t" + blanks + "7\n", token), 1'000'001);
  EXPECT_EQ(token, "");
  std::int64_t left_out = -1;
  count_fields(blanks + "7\n\t", token, &left_out);
  EXPECT_EQ(left_out, 0);
}

TEST(CountFields, LinearOnALongLineWithoutTabs) {
  std::string token;
  EXPECT_EQ(count_line("YY MM DD HH " + std::string(5'000'000, '9') + "\n", token), 1);
}

}  // namespace
}  // namespace floveran
