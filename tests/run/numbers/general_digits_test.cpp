// The digit kernels of every vector level this machine runs, against the exact
// path: wherever a kernel proves digits, their layout must be the text of
// format_general_exact, byte for byte; values it must leave alone (zero,
// subnormals, infinities, NaNs, magnitudes out of its table) it leaves; and on
// table values it proves nearly all, so that the checks see its digits.
#include "run/numbers/general_digits.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "convert/convert.h"
#include "run/numbers/general_layout.h"
#include "run/numbers/number_exact.h"
#include "run/numbers/number_format.h"
#include "support/vector_levels.h"

namespace floveran {
namespace {

using testing::LevelInUse;
using testing::levels_to_test;

std::string exact_text(double v, int precision) {
  char buffer[kFormatCapacity];
  return std::string(buffer, format_general_exact(v, precision, buffer));
}

// Proves the values in batches of every length up to 64 (the record loop's), and
// checks each proved text; returns how many were proved.
long check_proved(const std::vector<double>& values, int precision, const char* level) {
  long proved = 0;
  std::size_t batch = 1;
  for (std::size_t first = 0; first < values.size(); first += batch, batch = batch % 64 + 1) {
    const int count = static_cast<int>(std::min(batch, values.size() - first));
    ProvedDigits digits[64];
    for (ProvedDigits& d : digits) d = {12345, 99};  // must be overwritten
    if (!prove_general_digits(values.data() + first, count, precision, digits)) return 0;
    for (int i = 0; i < count; ++i) {
      const double v = values[first + static_cast<std::size_t>(i)];
      if (digits[i].digits == 0) continue;
      ++proved;
      char buffer[kFormatCapacity];
      const std::string text(buffer, lay_out_general(std::signbit(v), digits[i].digits, digits[i].exponent,
                                                     precision, buffer));
      if (text != exact_text(v, precision)) {
        ADD_FAILURE() << level << " precision " << precision << " value 0x" << std::hex
                      << std::bit_cast<std::uint64_t>(v) << std::dec << ": " << text << " != "
                      << exact_text(v, precision);
        return proved;
      }
    }
  }
  return proved;
}

TEST(GeneralDigits, LeavesWhatItCannotProve) {
  const double inf = std::numeric_limits<double>::infinity();
  const std::vector<double> values = {0.0, -0.0, 5e-324, -2.2e-308, inf, -inf,
                                      std::numeric_limits<double>::quiet_NaN(), 1e300, -1e-300, 1e-40};
  for (VectorLevel level : levels_to_test()) {
    LevelInUse in_use(level);
    ProvedDigits digits[16];
    if (!prove_general_digits(values.data(), static_cast<int>(values.size()), 7, digits)) {
      EXPECT_EQ(level, VectorLevel::scalar);
      continue;
    }
    for (std::size_t i = 0; i < values.size(); ++i) {
      EXPECT_EQ(digits[i].digits, 0u) << vector_level_name(level) << " value " << values[i];
    }
    // Precisions the kernels do not serve prove nothing.
    const double one = 1.5;
    for (int precision : {0, 9, 17}) {
      ASSERT_TRUE(prove_general_digits(&one, 1, precision, digits));
      EXPECT_EQ(digits[0].digits, 0u) << vector_level_name(level) << " precision " << precision;
    }
  }
}

// Converted table values, as the record loop writes them: nearly all proved.
TEST(GeneralDigits, ProvesConvertedTableValuesAsTheExactPathWrites) {
  std::mt19937_64 random(1717);
  std::vector<double> values;
  for (int i = 0; i < 200000; ++i) {
    const double discharge = static_cast<double>(random() % 5000001) / 1000.0;
    const double area = static_cast<double>(50 + random() % 249951) / 10.0;
    values.push_back(convert_value(random() % 20 == 0 ? -discharge : discharge, area, 1.0, 1));
  }
  for (VectorLevel level : levels_to_test()) {
    if (level == VectorLevel::scalar) continue;
    LevelInUse in_use(level);
    const long proved = check_proved(values, 7, vector_level_name(level));
    EXPECT_GT(proved, 199000) << vector_level_name(level);
  }
}

// Every precision the kernels serve, on values next to the places where digits
// are hard to prove: decimal ties and near-ties at the rounding place and at the
// 18th digit, powers of ten and the carry boundaries 0.99..95 x 10^j, and a few
// ulps around each; and random bit patterns of every magnitude.
TEST(GeneralDigits, AgreesWithTheExactPathNearTiesPowersOfTenAndEverywhere) {
  std::mt19937_64 random(20261217);
  std::vector<double> values;
  for (int i = 0; i < 60000; ++i) {
    const int precision_digits = 1 + static_cast<int>(random() % 8);
    const int extra = static_cast<int>(random() % 12);
    const double tie = (static_cast<double>(random() % 100000000) * 10.0 + 5.0) *
                       std::pow(10.0, static_cast<double>(extra) - precision_digits - 10);
    const double power = std::pow(10.0, static_cast<double>(static_cast<int>(random() % 60) - 30));
    const double boundary = power * (1.0 - 5.0 * std::pow(10.0, -1.0 - precision_digits));
    for (double v : {tie, power, boundary}) {
      double x = v;
      for (int step = 0; step < 4; ++step) {
        values.push_back(x);
        x = std::nextafter(x, random() % 2 ? 0.0 : 1e300);
      }
    }
    values.push_back(std::bit_cast<double>(random()));
    values.push_back(std::ldexp(static_cast<double>(random() % (std::uint64_t{1} << 53)), static_cast<int>(random() % 200) - 150));
  }
  for (VectorLevel level : levels_to_test()) {
    if (level == VectorLevel::scalar) continue;
    LevelInUse in_use(level);
    long proved = 0;
    for (int precision = 1; precision <= kMaxBatchPrecision; ++precision) {
      proved += check_proved(values, precision, vector_level_name(level));
    }
    EXPECT_GT(proved, 0) << vector_level_name(level);
  }
}

}  // namespace
}  // namespace floveran
