// The scanning grammar: what each scan assigns, what it returns, and where it
// leaves the input (the rest of the text after the scan). The same cases run on a
// text and on the input stream read with one-byte blocks, so that every item also
// spans block boundaries.
#include "run/scan.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdio>
#include <random>
#include <vector>
#include <limits>
#include <string>

#include "support/temp_dir.h"

namespace floveran {
namespace {

using testing::TempDir;
using testing::write_file;

// The rest of the input after a scan, read through the stream.
std::string rest_of(TextInput& in) {
  std::string rest;
  std::string line;
  while (read_line(in, line)) rest += line;
  return rest;
}

struct IntCase {
  const char* text;
  int result;
  std::int32_t value;  // checked when result is 1
  const char* rest;
};

const IntCase kIntCases[] = {
    {"42 7", 1, 42, " 7"},
    {"  \t\n-17x", 1, -17, "x"},
    {"+5", 1, 5, ""},
    {"4294967297", 1, 1, ""},              // modulo 2^32
    {"2147483648", 1, INT32_MIN, ""},
    {"-2147483649", 1, INT32_MAX, ""},
    {"007", 1, 7, ""},
    {"-x", 0, 0, "x"},                     // the sign stays consumed
    {"-", 0, 0, ""},
    {"abc", 0, 0, "abc"},
    {"1.5", 1, 1, ".5"},
    {"", -1, 0, ""},
    {" \t\r\n", -1, 0, ""},
};

TEST(ScanInt, GrammarOnTextAndStream) {
  TempDir dir;
  for (const IntCase& c : kIntCases) {
    std::int32_t value = 0;
    ScanCursor cursor = cursor_on(std::string_view(c.text));
    EXPECT_EQ(scan_int(cursor, value), c.result) << c.text;
    if (c.result == 1) {
      EXPECT_EQ(value, c.value) << c.text;
    }
    EXPECT_EQ(std::string(cursor.p, cursor.e), c.rest) << c.text;

    write_file(dir.file("in"), c.text);
    TextInput in;
    ASSERT_TRUE(open_input(in, dir.file("in"), 1));
    std::int32_t stream_value = 0;
    EXPECT_EQ(scan_ints(in, &stream_value, 1), c.result) << c.text;
    if (c.result == 1) {
      EXPECT_EQ(stream_value, c.value) << c.text;
    }
    EXPECT_EQ(rest_of(in), c.rest) << c.text;
  }
}

TEST(ScanInts, StopsAtTheFirstFailureAndCountsWhatWasAssigned) {
  const struct {
    const char* text;
    int result;
  } cases[] = {
      {"2001 7 1 24 5.5", 4}, {"2001 7 x", 2}, {"", -1}, {"x", 0}, {"2001 7 1", 3},
  };
  TempDir dir;
  for (const auto& c : cases) {
    write_file(dir.file("in"), c.text);
    TextInput in;
    ASSERT_TRUE(open_input(in, dir.file("in")));
    std::int32_t values[4] = {};
    EXPECT_EQ(scan_ints(in, values, 4), c.result) << c.text;
  }
}

struct DoubleCase {
  const char* text;
  int result;
  double value;  // checked when result is 1; the sign of zero too
  const char* rest;
};

const double kInf = std::numeric_limits<double>::infinity();

const DoubleCase kDoubleCases[] = {
    // Plain numbers.
    {"12.345\t", 1, 12.345, "\t"},
    {"-0.5 ", 1, -0.5, " "},
    {"+3", 1, 3.0, ""},
    {".5", 1, 0.5, ""},
    {"5.", 1, 5.0, ""},
    {"-0", 1, -0.0, ""},
    {"-9999", 1, -9999.0, ""},
    // Exponents.
    {"1e3", 1, 1000.0, ""},
    {"1E-2x", 1, 0.01, "x"},
    {"1e x", 1, 1.0, " x"},                // letter without digits: consumed, ignored
    {"1e+", 1, 1.0, ""},
    {"2e-z", 1, 2.0, "z"},
    {"1d3", 1, 1.0, "d3"},                 // d is no exponent letter for a scan
    {"1e400", 1, kInf, ""},
    {"-1e400", 1, -kInf, ""},
    {"1e-400", 1, 0.0, ""},
    {"1e99999999999999999999", 1, kInf, ""},
    {"0e99999", 1, 0.0, ""},
    // What stops a number.
    {"0x5", 1, 0.0, "x5"},                 // no hexadecimal
    {"1,5", 1, 1.0, ",5"},                 // a comma is no number character
    {"1.2.3", 1, 1.2, ".3"},
    // Failures, and what stays consumed.
    {"-\t7", 0, 0, "\t7"},                 // a lone sign is consumed
    {".x", 0, 0, "x"},                     // so is a lone point
    {"-.e5", 0, 0, "e5"},
    {"inf", 0, 0, "inf"},                  // no infinity or NaN words
    {"nan", 0, 0, "nan"},
    {"e5", 0, 0, "e5"},
    {"", -1, 0, ""},
    {"   ", -1, 0, ""},
};

TEST(ScanDouble, GrammarOnTextAndStream) {
  TempDir dir;
  for (const DoubleCase& c : kDoubleCases) {
    double value = 123.0;
    ScanCursor cursor = cursor_on(std::string_view(c.text));
    EXPECT_EQ(scan_double(cursor, value), c.result) << c.text;
    if (c.result == 1) {
      EXPECT_EQ(value, c.value) << c.text;
      EXPECT_EQ(std::signbit(value), std::signbit(c.value)) << c.text;
    }
    EXPECT_EQ(std::string(cursor.p, cursor.e), c.rest) << c.text;

    write_file(dir.file("in"), c.text);
    TextInput in;
    ASSERT_TRUE(open_input(in, dir.file("in"), 1));
    double stream_value = 123.0;
    EXPECT_EQ(scan_double(in, stream_value), c.result) << c.text;
    if (c.result == 1) {
      EXPECT_EQ(stream_value, c.value) << c.text;
    }
    EXPECT_EQ(rest_of(in), c.rest) << c.text;
  }
}

// Values in the middle of a large buffer take the plain-decimal path of the stream
// scan; the same texts scanned on a text take the full grammar. Both must agree to
// the bit and leave the same rest.
TEST(ScanDouble, PlainDecimalPathAgreesWithTheFullGrammar) {
  std::mt19937_64 random(7);
  std::string table;
  std::vector<std::string> texts;
  const char* const shapes[] = {"%.3f", "%.0f", "%.1f", "%.12f", "-%.3f", "+%.2f", "%.0f.", "%.19g"};
  for (int i = 0; i < 50000; ++i) {
    char text[64];
    const double magnitude = std::ldexp(static_cast<double>(random() % 1000000), static_cast<int>(random() % 40) - 10);
    std::snprintf(text, sizeof text, shapes[random() % 8], magnitude);
    texts.emplace_back(text);
    table += text;
    table += (i % 5 == 4) ? "\n" : "\t";
  }
  table += std::string(64, ' ');
  TempDir dir;
  write_file(dir.file("in"), table);
  TextInput in;
  ASSERT_TRUE(open_input(in, dir.file("in")));
  for (const std::string& text : texts) {
    double from_stream = 0.0;
    ASSERT_EQ(scan_double(in, from_stream), 1) << text;
    double from_text = 0.0;
    ScanCursor c = cursor_on(std::string_view(text));
    ASSERT_EQ(scan_double(c, from_text), 1) << text;
    ASSERT_EQ(std::string(c.p, c.e), "") << text;
    ASSERT_EQ(std::signbit(from_stream), std::signbit(from_text)) << text;
    ASSERT_EQ(from_stream, from_text) << text;
  }
}

// Random text made of the bytes that steer the plain-decimal path (digits, points,
// signs, exponent letters, blanks, bytes from 0xF9 up, whose addition of 6 carries)
// in runs of every length around the 8-byte words it reads: the stream scan and the
// full grammar on a text must assign the same bits, return the same and stop at the
// same byte. A failed scan is stepped over by one byte on both.
TEST(ScanDouble, PlainDecimalPathAgreesOnHostileText) {
  std::mt19937_64 random(20261210);
  const std::string alphabet = "0123456789012345678901234567890123456789..--+eE\t \n\xf9\xfa\xff" "x";
  std::string text;
  while (text.size() < 200000) {
    const std::size_t run = random() % 20;
    for (std::size_t i = 0; i < run; ++i) text += alphabet[random() % alphabet.size()];
    text += (random() % 3 == 0) ? '\n' : '\t';
  }
  TempDir dir;
  write_file(dir.file("in"), text);
  TextInput in;
  ASSERT_TRUE(open_input(in, dir.file("in")));
  ScanCursor c = cursor_on(std::string_view(text));
  for (int step = 0; c.p != c.e; ++step) {
    double from_stream = -1.0;
    double from_text = -1.0;
    const int stream_result = scan_double(in, from_stream);
    const int text_result = scan_double(c, from_text);
    const std::size_t offset = text.size() - static_cast<std::size_t>(c.e - c.p);
    const std::string near = text.substr(offset < 24 ? 0 : offset - 24, 32);
    ASSERT_EQ(stream_result, text_result) << "step " << step << " near [" << near << "]";
    ASSERT_EQ(in.end - in.pos, static_cast<std::size_t>(c.e - c.p)) << "step " << step << " near [" << near << "]";
    if (text_result == 1) {
      ASSERT_EQ(std::bit_cast<std::uint64_t>(from_stream), std::bit_cast<std::uint64_t>(from_text)) << near;
    } else if (c.p != c.e) {
      ++c.p;
      ++in.pos;
    }
  }
}

TEST(ScanDouble, ALetterBlocksEveryFollowingScanInPlace) {
  TempDir dir;
  write_file(dir.file("in"), "1.5 word 2.5\n");
  TextInput in;
  ASSERT_TRUE(open_input(in, dir.file("in")));
  double value = 0;
  EXPECT_EQ(scan_double(in, value), 1);
  EXPECT_EQ(scan_double(in, value), 0);
  EXPECT_EQ(scan_double(in, value), 0);
  EXPECT_EQ(rest_of(in), "word 2.5\n");
}

TEST(ScanToken, TakesBytesUpToWhiteSpaceOfAnyLength) {
  const std::string long_token(100000, 'q');
  const struct {
    std::string text;
    int result;
    std::string token;
    std::string rest;
  } cases[] = {
      {"YY\tMM", 1, "YY", "\tMM"},
      {"  \n sum\n", 1, "sum", "\n"},
      {long_token + " x", 1, long_token, " x"},
      {std::string("a\0b c", 5), 1, std::string("a\0b", 3), " c"},
      {"", -1, "", ""},
      {" \t ", -1, "", ""},
  };
  TempDir dir;
  for (const auto& c : cases) {
    write_file(dir.file("in"), c.text);
    TextInput in;
    ASSERT_TRUE(open_input(in, dir.file("in"), 3));
    std::string token = "unchanged";
    EXPECT_EQ(scan_token(in, &token), c.result);
    if (c.result == 1) {
      EXPECT_EQ(token, c.token);
    }
    EXPECT_EQ(rest_of(in), c.rest);
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

}  // namespace
}  // namespace floveran
