// The arithmetic of one value in both directions, to the bit, with zero areas.
#include "convert/convert.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

namespace floveran {
namespace {

std::uint64_t bits_of(double v) {
  std::uint64_t b;
  std::memcpy(&b, &v, sizeof b);
  return b;
}

TEST(ConvertValue, BothDirectionsToTheBit) {
  const struct {
    double value, area, timestep;
    std::int32_t method;
    double expected;
  } cases[] = {
      {1.0, 3.6, 1.0, 1, 1.0},
      {10.0, 100.0, 24.0, 1, 8.64},
      {8.64, 100.0, 24.0, 2, 10.000000000000002},
      {10.0, 100.0, 1.0, 1, 0.36},
      {-5.0, 100.0, 1.0, 1, -0.18},
      {0.36, 100.0, 1.0, 0, 10.0},
      {0.36, 100.0, 1.0, -7, 10.0},
      // Each operation rounded on its own: ((v * 3.6) / a) * t, not v * (3.6 / a) * t.
      {0.1, 7.0, 3.0, 1, ((0.1 * 3.6) / 7.0) * 3.0},
      {0.7, 9.0, 5.0, 2, ((9.0 / 3.6) * 0.7) / 5.0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(bits_of(convert_value(c.value, c.area, c.timestep, c.method)), bits_of(c.expected))
        << c.value << " " << c.area << " " << c.timestep << " " << c.method;
  }
}

TEST(ConvertValue, ZeroAreaGivesInfinitiesAndTheNanOfInvalidArithmetic) {
  EXPECT_EQ(convert_value(2.0, 0.0, 1.0, 1), INFINITY);
  EXPECT_EQ(convert_value(-2.0, 0.0, 1.0, 1), -INFINITY);
  // 0 / 0 on this hardware: sign bit set, only the top mantissa bit set.
  EXPECT_EQ(bits_of(convert_value(0.0, 0.0, 1.0, 1)), 0xFFF8000000000000u);
  EXPECT_EQ(bits_of(convert_value(5.0, 0.0, 1.0, 2)), bits_of(0.0));
  EXPECT_EQ(bits_of(convert_value(-5.0, 0.0, 1.0, 2)), bits_of(-0.0));
}

}  // namespace
}  // namespace floveran
