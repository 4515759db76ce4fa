// The portable pieces of the number code against what they stand for: the 32-bit
// products of the 128-bit multiply against the compiler's 128-bit type (where it
// has one) and against known products, and the word layout of byte_words.h.
#include "run/numbers/wide_multiply.h"

#include <gtest/gtest.h>

#include <random>

#include "run/numbers/byte_words.h"

namespace floveran {
namespace {

TEST(WideMultiply, KnownProducts) {
  constexpr std::uint64_t kMax = ~std::uint64_t{0};
  const struct {
    std::uint64_t a, b;
    Uint128 product;
  } cases[] = {
      {0, kMax, {0, 0}},
      {1, kMax, {0, kMax}},
      {kMax, kMax, {kMax - 1, 1}},                     // (2^64 - 1)^2 = 2^128 - 2^65 + 1
      {std::uint64_t{1} << 32, std::uint64_t{1} << 32, {1, 0}},
      {0xFFFFFFFFu, 0xFFFFFFFFu, {0, 0xFFFFFFFE00000001u}},
      {0x8000000000000000u, 2, {1, 0}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(multiply_64x64_portable(c.a, c.b), c.product) << c.a << " x " << c.b;
    EXPECT_EQ(multiply_64x64(c.a, c.b), c.product) << c.a << " x " << c.b;
  }
}

TEST(WideMultiply, PortableProductsAgreeWithTheCompilersOnRandomWords) {
#ifndef __SIZEOF_INT128__
  GTEST_SKIP() << "this compiler has no 128-bit type to compare with";
#else
  std::mt19937_64 random(128);
  __extension__ using native = unsigned __int128;
  for (int i = 0; i < 1000000; ++i) {
    // Words of every bit length, so that the carries of every column are met.
    const std::uint64_t a = random() >> (random() % 64);
    const std::uint64_t b = random() >> (random() % 64);
    const native n = static_cast<native>(a) * b;
    const Uint128 expected{static_cast<std::uint64_t>(n >> 64), static_cast<std::uint64_t>(n)};
    ASSERT_EQ(multiply_64x64_portable(a, b), expected) << a << " x " << b;
  }
#endif
}

TEST(WideMultiply, CarriesAndShifts) {
  EXPECT_EQ(add(Uint128{0, ~std::uint64_t{0}}, 1), (Uint128{1, 0}));
  EXPECT_EQ(minus_one(Uint128{1, 0}), (Uint128{0, ~std::uint64_t{0}}));
  EXPECT_EQ(shift_left(std::uint64_t{0x8000000000000001u}, 1), (Uint128{1, 2}));
  EXPECT_EQ(shift_right(Uint128{1, 0}, 1), (Uint128{0, 0x8000000000000000u}));
  EXPECT_EQ(multiply(Uint128{1, 0x8000000000000000u}, 10), (Uint128{15, 0}));
  EXPECT_EQ(divide(Uint128{std::uint64_t{1} << 63, 0}, 5), (Uint128{0x1999999999999999u, 0x9999999999999999u}));
  EXPECT_EQ(bit_length(Uint128{1, 0}), 65);
}

TEST(ByteWords, ByteZeroIsTheLowestOnEveryByteOrder) {
  const char bytes[8] = {'0', '1', '2', '3', '4', '5', '6', '7'};
  EXPECT_EQ(load_word(bytes), 0x3736353433323130u);
  char stored[8] = {};
  store_word(stored, 0x0102030405060708u);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(stored[i], 8 - i);
}

}  // namespace
}  // namespace floveran
