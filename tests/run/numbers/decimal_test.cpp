// Decimal text to double, against glibc's strtod (correctly rounded) as the oracle:
// tables of hard cases, then many random decimals of every length and magnitude.
// Numbers of more than 24 significant digits are read from their first 24.
#include "run/numbers/decimal.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <random>
#include <string>

#include "run/numbers/scan.h"

namespace floveran {
namespace {

double scanned(const std::string& text) {
  double value = -12345.0;
  const ScanEnd end = scan_double_grammar(text.data(), text.data() + text.size(), value);
  EXPECT_EQ(end.result, 1) << text;
  return value;
}

// The oracle: strtod of the text cut to its first 24 significant digits.
std::string first_24_digits(const std::string& text) {
  std::string out;
  int significant = 0;
  bool in_exponent = false;
  bool in_fraction = false;
  for (char ch : text) {
    if (ch == 'e' || ch == 'E') in_exponent = true;
    if (in_exponent || !is_digit(ch)) {
      if (ch == '.') in_fraction = true;
      out += ch;
      continue;
    }
    if (significant == 0 && ch == '0') {
      out += ch;
      continue;
    }
    if (significant < kMaxSignificantDigits) {
      ++significant;
      out += ch;
    } else if (!in_fraction) {
      out += '0';  // further integer digits only scale the value
    }
  }
  return out;
}

void expect_same_bits(double actual, double expected, const std::string& text) {
  EXPECT_EQ(std::signbit(actual), std::signbit(expected)) << text;
  if (std::isnan(expected)) return;
  EXPECT_EQ(actual, expected) << text << " got " << std::hexfloat << actual << " want " << expected;
}

TEST(DecimalToDouble, HardCases) {
  const char* const cases[] = {
      "0.1", "0.2", "0.3", "12.345", "9007199254740993", "9007199254740992.5",
      "1.7976931348623157e308", "1.7976931348623158e308", "1.7976931348623159e308",
      "2.2250738585072011e-308", "2.2250738585072014e-308", "4.9406564584124654e-324",
      "2.4703282292062327e-324", "2.4703282292062328e-324", "1e-320", "123456789012345678901234",
      "1234567890123456789012345", "0.000000000000000000000000000000000001",
      "89255.0e-22", "8.9255e-18", "1e22", "1e23", "123456789e-22", "3.0e-44",
      "7.038531e-26", "4.35679e-10", "1448997445238699", "100000000000000000000000000000",
      "0.30000000000000001665", "0.3000000000000000166533453693773481063544750213623046875",
  };
  for (const char* text : cases) {
    expect_same_bits(scanned(text), std::strtod(first_24_digits(text).c_str(), nullptr), text);
  }
}

TEST(DecimalToDouble, ExponentLimits) {
  // Beyond a decimal exponent of 5200 the value is infinite, below -5200 zero,
  // however many zeros stand in front of the digits.
  const std::string zeros(6000, '0');
  expect_same_bits(scanned("0." + zeros + "1e6001"), 1e0, "6000 zeros, e6001");
  expect_same_bits(scanned("1" + zeros), INFINITY, "1 and 6000 zeros");
  expect_same_bits(scanned("0." + zeros + "1"), 0.0, "0.<6000 zeros>1");
  expect_same_bits(scanned("-1e-9999999999999"), -0.0, "-1e-9999999999999");
}

TEST(DecimalToDouble, RandomDecimalsAgreeWithTheOracle) {
  std::mt19937_64 random(20261210);
  std::uniform_int_distribution<int> length(1, 30);
  std::uniform_int_distribution<int> digit(0, 9);
  std::uniform_int_distribution<int> exponent(-340, 320);
  std::uniform_int_distribution<int> shape(0, 3);
  for (int i = 0; i < 200000; ++i) {
    std::string text;
    if (random() & 1) text += '-';
    const int digits = length(random);
    const int point = std::uniform_int_distribution<int>(0, digits)(random);
    for (int k = 0; k < digits; ++k) {
      if (k == point) text += '.';
      text += static_cast<char>('0' + digit(random));
    }
    switch (shape(random)) {
      case 0: break;  // short decimals such as table values
      case 1: text.append("e").append(std::to_string(exponent(random))); break;
      case 2: text.append("e").append(std::to_string(exponent(random) / 10)); break;
      default: text = std::string("0.000").append(text, text[0] == '-' ? 1 : 0); break;
    }
    if (text.find_first_of("123456789") == std::string::npos && text.back() == '.') continue;
    expect_same_bits(scanned(text), std::strtod(first_24_digits(text).c_str(), nullptr), text);
    if (HasFailure()) return;
  }
}

}  // namespace
}  // namespace floveran
