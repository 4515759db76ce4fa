// The text kernels of every vector level this machine runs, against the exact
// path: wherever a kernel lays out a value, the pieces put together must be the
// text of format_general_exact, byte for byte; values it must leave alone (zero,
// subnormals, infinities, NaNs, magnitudes out of its table, forms with an
// exponent part) it leaves; and on table values it lays out nearly all, so that
// the checks see its texts.
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

// Lays out the values in batches of every length up to 64 (the record loop's),
// and checks each text laid out, and that the kernel writes no entry behind the
// batch; returns how many were laid out.
long check_laid_out(const std::vector<double>& values, int precision, const char* level) {
  long laid_out = 0;
  std::size_t batch = 1;
  for (std::size_t first = 0; first < values.size(); first += batch, batch = batch % 64 + 1) {
    const int count = static_cast<int>(std::min(batch, values.size() - first));
    std::uint64_t heads[65];
    std::uint64_t tails[65];
    std::uint32_t shapes[65];
    for (std::uint32_t& shape : shapes) shape = 0xDEADBEEF;  // must be overwritten, up to the count
    if (!prove_general_texts(values.data() + first, count, precision, heads, tails, shapes)) return 0;
    if (shapes[count] != 0xDEADBEEF) {
      ADD_FAILURE() << level << " wrote behind a batch of " << count;
      return laid_out;
    }
    for (int i = 0; i < count; ++i) {
      const double v = values[first + static_cast<std::size_t>(i)];
      if (shapes[i] == 0) continue;
      ++laid_out;
      char buffer[kFormatCapacity];
      const std::string text(buffer, put_general_pieces(heads[i], tails[i], shapes[i], buffer));
      if (text != exact_text(v, precision)) {
        ADD_FAILURE() << level << " precision " << precision << " value 0x" << std::hex
                      << std::bit_cast<std::uint64_t>(v) << std::dec << ": " << text << " != "
                      << exact_text(v, precision);
        return laid_out;
      }
    }
  }
  return laid_out;
}

// check_laid_out at every vector level and every precision the kernels serve;
// some values must be laid out, so that the checks see texts.
void check_every_precision(const std::vector<double>& values) {
  for (VectorLevel level : levels_to_test()) {
    if (level == VectorLevel::scalar) continue;
    LevelInUse in_use(level);
    long laid_out = 0;
    for (int precision = 1; precision <= kMaxBatchPrecision; ++precision) {
      laid_out += check_laid_out(values, precision, vector_level_name(level));
    }
    EXPECT_GT(laid_out, 0) << vector_level_name(level);
  }
}

TEST(GeneralDigits, LeavesWhatItCannotProve) {
  const double inf = std::numeric_limits<double>::infinity();
  // The last five have forms with an exponent part at precision 7.
  const std::vector<double> values = {0.0,    -0.0,  5e-324,      -2.2e-308, inf,     -inf,
                                      std::numeric_limits<double>::quiet_NaN(), 1e300,       -1e-300,   1e-40,
                                      0.00009999, 1.5e7, -12345678.0, 1e-5};
  for (VectorLevel level : levels_to_test()) {
    LevelInUse in_use(level);
    std::uint64_t heads[16];
    std::uint64_t tails[16];
    std::uint32_t shapes[16];
    if (!prove_general_texts(values.data(), static_cast<int>(values.size()), 7, heads, tails, shapes)) {
      EXPECT_EQ(level, VectorLevel::scalar);
      continue;
    }
    for (std::size_t i = 0; i < values.size(); ++i) {
      EXPECT_EQ(shapes[i], 0u) << vector_level_name(level) << " value " << values[i];
    }
    // Precisions the kernels do not serve lay out nothing.
    const double one = 1.5;
    for (int precision : {0, 9, 17}) {
      ASSERT_TRUE(prove_general_texts(&one, 1, precision, heads, tails, shapes));
      EXPECT_EQ(shapes[0], 0u) << vector_level_name(level) << " precision " << precision;
    }
  }
}

// The bounds of the forms without an exponent part, at every precision: 10^-4
// and 10^P, the values that round up to them and the ones just inside.
TEST(GeneralDigits, LaysOutUpToTheBoundsOfTheFormsWithoutExponent) {
  std::vector<double> values;
  for (double bound : {1e-4, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8}) {
    for (double scale : {1.0, 0.99999999, 0.9999999, 0.999999, 0.99999, 0.9999, 1.0000001, 0.5, 1.5}) {
      double x = bound * scale;
      for (int step = 0; step < 3; ++step) {
        values.push_back(x);
        values.push_back(-x);
        x = std::nextafter(x, 0.0);
      }
    }
  }
  check_every_precision(values);
}

// Converted table values, as the record loop writes them: nearly all laid out.
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
    const long laid_out = check_laid_out(values, 7, vector_level_name(level));
    EXPECT_GT(laid_out, 199000) << vector_level_name(level);
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
  check_every_precision(values);
}

}  // namespace
}  // namespace floveran
