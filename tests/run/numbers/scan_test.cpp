// The scanning grammar on spans: what each scan assigns, what it returns, and
// where it stops (the rest of the text behind the scan). Then the word-at-a-time
// path of scan_double against the grammar alone, on table values and on hostile
// text, and atoi and atof.
#include "run/numbers/scan.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "run/numbers/plain_decimal.h"
#include "run/numbers/scan_cases.h"

namespace floveran {
namespace {

using testing::kDoubleCases;
using testing::kInf;
using testing::kIntCases;

std::string rest_behind(const std::string& text, const ScanEnd& end) {
  return std::string(end.stop, text.data() + text.size());
}

TEST(ScanInt, Grammar) {
  for (const testing::IntCase& c : kIntCases) {
    const std::string text = c.text;
    std::int32_t value = 0;
    const ScanEnd end = scan_int(text.data(), text.data() + text.size(), value);
    EXPECT_EQ(end.result, c.result) << c.text;
    if (c.result == 1) {
      EXPECT_EQ(value, c.value) << c.text;
    }
    EXPECT_EQ(rest_behind(text, end), c.rest) << c.text;
  }
}

TEST(ScanDouble, GrammarWithAndWithoutThePlainPath) {
  for (const testing::DoubleCase& c : kDoubleCases) {
    const std::string text = c.text;
    double value = 123.0;
    double grammar_value = 123.0;
    const ScanEnd end = scan_double(text.data(), text.data() + text.size(), value);
    const ScanEnd grammar_end = scan_double_grammar(text.data(), text.data() + text.size(), grammar_value);
    EXPECT_EQ(end.result, c.result) << c.text;
    EXPECT_EQ(grammar_end.result, c.result) << c.text;
    if (c.result == 1) {
      EXPECT_EQ(value, c.value) << c.text;
      EXPECT_EQ(std::signbit(value), std::signbit(c.value)) << c.text;
      EXPECT_EQ(std::bit_cast<std::uint64_t>(grammar_value), std::bit_cast<std::uint64_t>(value)) << c.text;
    }
    EXPECT_EQ(rest_behind(text, end), c.rest) << c.text;
    EXPECT_EQ(grammar_end.stop, end.stop) << c.text;
  }
}

// The plain path needs kPlainNumberReach bytes behind a number; the same texts at
// the end of a span are left to the grammar, at any distance from it.
TEST(ScanDouble, PlainNumbersNearTheEndOfTheSpan) {
  for (std::size_t padding = 0; padding <= kPlainNumberReach + 1; ++padding) {
    for (const char* number : {"12.345", "-0.5", "1234567.1234567", "9999999999999999999"}) {
      const std::string text = std::string(number) + std::string(padding, ' ');
      double value = 0.0;
      const ScanEnd end = scan_double(text.data(), text.data() + text.size(), value);
      EXPECT_EQ(end.result, 1) << number << " padding " << padding;
      EXPECT_EQ(value, std::strtod(number, nullptr)) << number << " padding " << padding;
      EXPECT_EQ(end.stop, text.data() + std::strlen(number)) << number << " padding " << padding;
    }
  }
}

// Walks a text from start to end with scan_double and with the grammar alone:
// every step must return the same, stop at the same byte and assign the same
// bits. A failed scan is stepped over by one byte on both.
void expect_plain_path_agrees(const std::string& text) {
  const char* p = text.data();
  const char* const last = text.data() + text.size();
  for (int step = 0; p != last; ++step) {
    double fast = -1.0;
    double grammar = -1.0;
    const ScanEnd a = scan_double(p, last, fast);
    const ScanEnd b = scan_double_grammar(p, last, grammar);
    const std::size_t offset = static_cast<std::size_t>(p - text.data());
    const std::string near = text.substr(offset, 32);
    ASSERT_EQ(a.result, b.result) << "step " << step << " at [" << near << "]";
    ASSERT_EQ(a.stop, b.stop) << "step " << step << " at [" << near << "]";
    if (a.result == 1) {
      ASSERT_EQ(std::bit_cast<std::uint64_t>(fast), std::bit_cast<std::uint64_t>(grammar)) << near;
    }
    p = (a.result == 1 || a.stop == last) ? a.stop : a.stop + 1;
  }
}

// Values of the shapes a table holds, most of them far from the end of the span.
TEST(ScanDouble, PlainPathAgreesWithTheGrammarOnTableValues) {
  std::mt19937_64 random(7);
  std::string table;
  const char* const shapes[] = {"%.3f", "%.0f", "%.1f", "%.12f", "-%.3f", "+%.2f", "%.0f.", "%.19g"};
  for (int i = 0; i < 50000; ++i) {
    char text[64];
    const double magnitude = std::ldexp(static_cast<double>(random() % 1000000), static_cast<int>(random() % 40) - 10);
    std::snprintf(text, sizeof text, shapes[random() % 8], magnitude);
    table += text;
    table += (i % 5 == 4) ? "\n" : "\t";
  }
  expect_plain_path_agrees(table);
}

// Random text made of the bytes that steer the plain path (digits, points, signs,
// exponent letters, blanks, bytes from 0xF9 up, whose addition of 6 carries) in
// runs of every length around the 8-byte words it reads.
TEST(ScanDouble, PlainPathAgreesWithTheGrammarOnHostileText) {
  std::mt19937_64 random(20261210);
  const std::string alphabet = "0123456789012345678901234567890123456789..--+eE\t \n\xf9\xfa\xff" "x";
  std::string text;
  while (text.size() < 200000) {
    const std::size_t run = random() % 30;
    for (std::size_t i = 0; i < run; ++i) text += alphabet[random() % alphabet.size()];
    text += (random() % 3 == 0) ? '\n' : '\t';
  }
  expect_plain_path_agrees(text);
}

TEST(ScanDouble, ALetterBlocksEveryFollowingScanInPlace) {
  const std::string text = "word 2.5\n";
  double value = 0;
  for (int i = 0; i < 3; ++i) {
    const ScanEnd end = scan_double(text.data(), text.data() + text.size(), value);
    EXPECT_EQ(end.result, 0);
    EXPECT_EQ(end.stop, text.data());
  }
}

TEST(ScanToken, TakesBytesUpToWhiteSpaceOfAnyLength) {
  const std::string long_token(100000, 'q');
  const struct {
    std::string text;
    int result;
    std::string token;
  } cases[] = {
      {"YY\tMM", 1, "YY"},
      {"  \n sum\n", 1, "sum"},
      {long_token + " x", 1, long_token},
      {std::string("a\0b c", 5), 1, std::string("a\0b", 3)},
      {"", -1, ""},
      {" \t ", -1, ""},
  };
  for (const auto& c : cases) {
    const ScanEnd end = scan_token(c.text.data(), c.text.data() + c.text.size());
    EXPECT_EQ(end.result, c.result);
    EXPECT_EQ(std::string(end.start, end.stop), c.token);
    EXPECT_EQ(first_token(c.text), c.token);
  }
}

TEST(Atoi, ClampsAndStopsAtTheFirstOtherCharacter) {
  const struct {
    const char* text;
    std::int32_t value;
  } cases[] = {
      {"5", 5},          {"  -12abc", -12},        {"+7", 7},
      {"word", 0},       {"", 0},                  {"0.5", 0},
      {"1x", 1},         {"2147483647", INT32_MAX}, {"2147483648", INT32_MAX},
      {"99999999999999999999", INT32_MAX},         {"-2147483648", INT32_MIN},
      {"-99999999999", INT32_MIN},                 {"- 5", 0},
  };
  for (const auto& c : cases) EXPECT_EQ(atoi(c.text), c.value) << c.text;
}

TEST(Atof, ReadsDExponentsAndGivesZeroForNonNumbers) {
  const struct {
    const char* text;
    double value;
  } cases[] = {
      {"24", 24.0},   {" 0.25h", 0.25}, {"1d3", 1000.0}, {"1D-1", 0.1}, {"1e", 1.0},
      {"2E2", 200.0}, {"-1", -1.0},     {"inf", 0.0},    {"nan", 0.0},  {"0x10", 0.0},
      {"word", 0.0},  {"", 0.0},        {"-", 0.0},      {".", 0.0},    {"1e999", kInf},
  };
  for (const auto& c : cases) EXPECT_EQ(atof(c.text), c.value) << c.text;
}

// Whether an argument is wholly a number: every byte read by atoi or atof as
// written, white space around it aside, and for atoi no clamping.
TEST(WholeNumbers, AllTheTextAndNothingClamped) {
  const struct {
    const char* text;
    bool integer;
    bool decimal;
  } cases[] = {
      {"5", true, true},           {" 5 ", true, true},          {"\t+7\n", true, true},
      {"-12", true, true},         {"0", true, true},            {"007", true, true},
      {"2147483647", true, true},  {"2147483648", false, true},  {"-2147483648", true, true},
      {"-2147483649", false, true}, {"00000000002147483647", true, true},
      {"99999999999999999999", false, true},
      {"", false, false},          {" ", false, false},          {"+", false, false},
      {"-", false, false},         {".", false, false},          {"word", false, false},
      {"5h", false, false},        {"15min", false, false},      {"1x", false, false},
      {"- 5", false, false},       {"5 5", false, false},        {"0,25", false, false},
      {"0.25", false, true},       {".5", false, true},          {"5.", false, true},
      {"-.5e-3", false, true},     {"1d3", false, true},         {"1D-1", false, true},
      {"2E+2", false, true},       {"1e", false, false},         {"1d", false, false},
      {"1e+", false, false},       {".e1", false, false},        {"1e1.5", false, false},
      {"inf", false, false},       {"nan", false, false},        {"0x10", false, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(is_whole_integer(c.text), c.integer) << c.text;
    EXPECT_EQ(is_whole_decimal(c.text), c.decimal) << c.text;
  }
}

}  // namespace
}  // namespace floveran
