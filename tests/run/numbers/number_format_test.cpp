// The number writers. Tables of the forms the tool must write ("%.7lg", "%.3lf",
// "%.2lf"), grouped by scenario; then the exact digit strings against an
// independent oracle (glibc's printf with 800 digits, which prints the complete
// binary expansion), and the fast path of format_general against the exact path
// on random doubles of every magnitude.
#include "run/numbers/number_format.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "run/numbers/number_exact.h"

namespace floveran {
namespace {

std::string general(double v, int precision = 7) {
  char buffer[kFormatCapacity];
  return std::string(buffer, format_general(v, precision, buffer));
}

std::string general_exact(double v, int precision = 7) {
  char buffer[kFormatCapacity];
  return std::string(buffer, format_general_exact(v, precision, buffer));
}

std::string fixed(double v, int decimals) {
  char buffer[kFormatCapacity];
  return std::string(buffer, format_fixed(v, decimals, buffer));
}

double from_bits(std::uint64_t bits) { return std::bit_cast<double>(bits); }

struct GeneralCase {
  double value;
  const char* text;
};

void check_general(const std::vector<GeneralCase>& cases) {
  for (const auto& c : cases) {
    EXPECT_EQ(general(c.value), c.text) << "value " << c.value;
    EXPECT_EQ(general_exact(c.value), c.text) << "exact path, value " << c.value;
  }
}

struct FixedCase {
  double value;
  int decimals;
  const char* text;
};

void check_fixed(const std::vector<FixedCase>& cases) {
  for (const auto& c : cases) {
    EXPECT_EQ(fixed(c.value, c.decimals), c.text) << "value " << c.value << " decimals " << c.decimals;
  }
}

TEST(GeneralForm, PlainAndExponentForms) {
  check_general({
      {12345678.0, "1.234568e+007"},
      {0.00001, "1e-005"},
      {0.000015, "1.5e-005"},
      {0.0001, "0.0001"},
      {0.00009999999, "9.999999e-005"},
      {1234567.0, "1234567"},
      {1e10, "1e+010"},
      {2.0 / 3.0, "0.6666667"},
      {100.0, "100"},
      {0.0, "0"},
      {-0.0, "-0"},
      {-12.5, "-12.5"},
      {1e100, "1e+100"},
      {1.5e-300, "1.5e-300"},
      {1.7976931348623157e308, "1.797693e+308"},
      {5e-324, "4.940656e-324"},
      {2.2250738585072009e-308, "2.225074e-308"},
  });
}

TEST(GeneralForm, RoundingCarries) {
  check_general({
      {9999999.5, "1e+007"},  // the carry raises the exponent into the e-form
      {9.9999995e-5, "9.999999e-005"},  // 17 digits 99999994999999999: no carry
      {9.99999951e-5, "0.0001"},  // the carry lifts X from -5 to -4: plain form
      {999999.95, "999999.9"},  // 999999.949999999953...: no carry
      {0.99999996, "1"},
      {1234.5625, "1234.563"},  // an exact tie at the 8th digit rounds away from zero
      {-1234.5625, "-1234.563"},
      {0.00012345675, "0.0001234567"},  // 1.2345674999999999899e-4
  });
}

TEST(GeneralForm, DoubleRoundingOnTheDigitString) {
  // 1000000000000000.25 is exact in binary; its 18 digits end in a tie at the 17th,
  // which rounds up, and that 3 then decides nothing at precision 7.
  check_general({
      {1000000000000000.25, "1e+015"},
      {2.675, "2.675"},
      // 1.0000014999999999876...: the 17-digit string is 10000015, whose 5 then
      // rounds up at precision 7, although the value lies below the tie.
      {1.0000015, "1.000002"},
      {1.0000125, "1.000013"},
      // 0.3 + 0.6 = 0.89999999999999991118...: 17 digits 89999999999999991.
      {0.3 + 0.6, "0.9"},
      // Eight-digit ties whose double lies so close to the point where the 18
      // digits read 49999999995 behind the 7th that the fast path cannot tell
      // the side and has to hand the value over: an 18th digit of 4 keeps the
      // 7 digits, one of 5 makes the 17-digit string a tie that rounds up. Both
      // sides, magnitudes with an exact and with a truncated power of ten, and
      // the first guess of the decimal exponent right (k + 1) or one too low
      // (k + 2).
      {4.9397395, "4.939739"},  // 4.93973949999999994986...
      {19.146175, "19.14617"},
      {102.33675, "102.3367"},  // k + 2
      {0.00038074995, "0.0003807499"},
      {3.0852145e-11, "3.085214e-011"},
      {3.1960915e-26, "3.196092e-026"},  // 3.19609149999999995011...
      {5.2649685e+29, "5.264969e+029"},
      {1.8044505e+28, "1.804451e+028"},  // k + 2
      {1.0560635e-22, "1.056064e-022"},  // k + 2
      {1.1676845e-07, "1.167684e-007"},  // k + 2
      {1.3695905e-31, "1.36959e-031"},  // k + 2
  });
  // Precision 16 and 17 see the 17-digit string directly.
  EXPECT_EQ(general(1000000000000000.25, 17), "1000000000000000.3");
  EXPECT_EQ(general(0.1, 17), "0.10000000000000001");
  EXPECT_EQ(general(0.1, 16), "0.1");
}

TEST(FixedForm, DecimalsAndSigns) {
  check_fixed({
      {123.4, 3, "123.400"},
      {0.0005, 3, "0.001"},  // K = 0: the first digit decides
      {0.0004, 3, "0.000"},
      {0.0115, 3, "0.012"},  // 17-digit string 115: the tie rounds up
      {-0.0001, 3, "-0.000"},
      {-0.0, 3, "-0.000"},
      {0.0, 3, "0.000"},
      {0.125, 2, "0.13"},
      {2.675, 2, "2.67"},  // 17-digit string 26749999999999998
      {1.0, 2, "1.00"},
      {0.00001, 2, "0.00"},  // K negative: prints as zero
      {999.9996, 3, "1000.000"},
      {1000000000000000.25, 2, "1000000000000000.30"},
      {5280.5, 3, "5280.500"},
      {1e-320, 3, "0.000"},
  });
  // 1e300 is 1.00000000000000005250...e300: 17 digits 10000000000000001.
  EXPECT_EQ(fixed(1e300, 3), "10000000000000001" + std::string(284, '0') + ".000");
}

TEST(NonFiniteForms, LetterDigitStrings) {
  const double inf = std::numeric_limits<double>::infinity();
  const double invalid = from_bits(0xFFF8000000000000ULL);  // 0 / 0 on this hardware
  const double quiet = from_bits(0x7FF8000000000000ULL);
  const double quiet_payload = from_bits(0x7FF8000000000001ULL);
  const double negative_quiet = from_bits(0xFFF8000000000001ULL);
  const double signalling = from_bits(0x7FF0000000000001ULL);
  struct Case {
    double value;
    const char* general;
    const char* three;
    const char* two;
  };
  const Case cases[] = {
      {inf, "1.#INF", "1.#IO", "1.#J"},
      {-inf, "-1.#INF", "-1.#IO", "-1.#J"},
      {invalid, "-1.#IND", "-1.#IO", "-1.#J"},
      {quiet, "1.#QNAN", "1.#QO", "1.#R"},
      {quiet_payload, "1.#QNAN", "1.#QO", "1.#R"},
      {negative_quiet, "-1.#QNAN", "-1.#QO", "-1.#R"},
      {signalling, "1.#SNAN", "1.#SO", "1.#T"},
  };
  for (const Case& c : cases) {
    const std::uint64_t bits = std::bit_cast<std::uint64_t>(c.value);
    EXPECT_EQ(general(c.value), c.general) << std::hex << bits;
    EXPECT_EQ(fixed(c.value, 3), c.three) << std::hex << bits;
    EXPECT_EQ(fixed(c.value, 2), c.two) << std::hex << bits;
  }
  // The division at run time, as the conversion does it: a compiler folding 0 / 0
  // itself may give a NaN of another sign.
  volatile double zero = 0.0;
  EXPECT_EQ(general(zero / zero), "-1.#IND");
}

// The oracle for the digit string: the complete decimal expansion of the double
// (printf with 800 digits holds all of it), truncated to 18 significant digits,
// rounded to 17 by the 18th, trailing zeros dropped.
DigitString digit_string_oracle(double v) {
  DigitString d{};
  d.negative = std::signbit(v);
  if (v == 0) {
    d.exponent = 0;
    d.count = 1;
    d.digits[0] = '0';
    return d;
  }
  char text[1000];
  std::snprintf(text, sizeof text, "%.800e", std::fabs(v));
  std::string mantissa;
  const char* p = text;
  for (; *p != 'e'; ++p) {
    if (*p != '.') mantissa += *p;
  }
  int exponent = std::atoi(p + 1) + 1;
  std::string digits = mantissa.substr(0, 17);
  if (mantissa[17] >= '5') {
    int i = 16;
    while (i >= 0 && digits[static_cast<std::size_t>(i)] == '9') digits[static_cast<std::size_t>(i--)] = '0';
    if (i < 0) {
      digits = "1" + std::string(16, '0');
      ++exponent;
    } else {
      ++digits[static_cast<std::size_t>(i)];
    }
  }
  while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
  d.exponent = exponent;
  d.count = static_cast<int>(digits.size());
  for (std::size_t i = 0; i < digits.size(); ++i) d.digits[i] = digits[i];
  return d;
}

void expect_digit_string(double v) {
  const DigitString got = digit_string_exact(v);
  const DigitString want = digit_string_oracle(v);
  ASSERT_EQ(std::string(got.digits, static_cast<std::size_t>(got.count)),
            std::string(want.digits, static_cast<std::size_t>(want.count)))
      << std::hex << std::bit_cast<std::uint64_t>(v);
  ASSERT_EQ(got.exponent, want.exponent) << std::hex << std::bit_cast<std::uint64_t>(v);
  ASSERT_EQ(got.negative, want.negative);
}

TEST(DigitString, KnownStrings) {
  const struct {
    double value;
    const char* digits;
    int exponent;
  } cases[] = {
      {0.0, "0", 0},
      {1.0, "1", 1},
      {2.675, "26749999999999998", 1},
      {0.0115, "115", -1},
      {0.1, "10000000000000001", 0},
      {1000000000000000.25, "10000000000000003", 16},
      {9007199254740993.0, "9007199254740992", 16},
  };
  for (const auto& c : cases) {
    const DigitString d = digit_string_exact(c.value);
    EXPECT_EQ(std::string(d.digits, static_cast<std::size_t>(d.count)), c.digits) << c.value;
    EXPECT_EQ(d.exponent, c.exponent) << c.value;
  }
}

TEST(DigitString, MatchesFullExpansionOnRandomDoubles) {
  std::mt19937_64 random(20261210);
  for (int i = 0; i < 20000; ++i) {
    double v = from_bits(random());
    if (!std::isfinite(v)) continue;
    expect_digit_string(v);
  }
  // Subnormals and the extremes.
  for (std::uint64_t bits : {0x1ULL, 0x2ULL, 0xFFFFFFFFFFFFFULL, 0x10000000000000ULL, 0x7FEFFFFFFFFFFFFFULL}) {
    expect_digit_string(from_bits(bits));
  }
}

// Values whose 18-digit expansion ends in a tie or near-tie: the fast path must
// hand these to the exact path or get them right itself.
TEST(FastPath, AgreesOnNearTies) {
  for (int n = 1; n < 100000; ++n) {
    for (double scale : {1e-3, 1e-2, 1e-1, 1.0, 10.0, 1e3}) {
      const double v = (n + 0.5) * scale;  // ties at the last place of a short decimal
      ASSERT_EQ(general(v), general_exact(v)) << v;
      const double w = n / 1024.0;  // exact binary fractions, ties at many places
      ASSERT_EQ(general(w), general_exact(w)) << w;
    }
  }
}

TEST(FastPath, AgreesOnRandomDoublesOfEveryMagnitude) {
  std::mt19937_64 random(7);
  std::uniform_int_distribution<int> precision_of(1, 17);
  for (int i = 0; i < 300000; ++i) {
    const double v = from_bits(random());
    const int precision = i % 3 == 0 ? precision_of(random) : 7;
    ASSERT_EQ(general(v, precision), general_exact(v, precision))
        << std::hex << std::bit_cast<std::uint64_t>(v) << std::dec << " precision " << precision;
  }
}

TEST(FastPath, AgreesOnTableLikeValues) {
  // Discharges with up to three decimals over areas of 5 to 25000 km2: the values
  // the tool formats most.
  std::mt19937_64 random(11);
  std::uniform_int_distribution<int> thousandths(0, 5000000);
  std::uniform_real_distribution<double> area(5.0, 25000.0);
  for (int i = 0; i < 300000; ++i) {
    const double q = thousandths(random) / 1000.0;
    const double a = area(random);
    const double v = q / a * 3.6;
    ASSERT_EQ(general(v), general_exact(v)) << v;
    const double back = v * a / 3.6;
    ASSERT_EQ(general(back), general_exact(back)) << back;
  }
}

}  // namespace
}  // namespace floveran
