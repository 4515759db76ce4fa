// Unsigned 128-bit integers as two 64-bit halves, with the few operations the
// number writer needs. The 64 x 64 -> 128-bit product uses the compiler's 128-bit
// type where it has one and four 32-bit products elsewhere; FLOVERAN_PORTABLE_WIDE
// forces the 32-bit products, so that they are built and tested here too. Every
// operation is constexpr, so tables of scaled powers can be built at compile time.
#pragma once

#include <cstdint>

namespace floveran {

struct Uint128 {
  std::uint64_t high = 0;
  std::uint64_t low = 0;
  friend constexpr bool operator==(const Uint128&, const Uint128&) = default;
};

constexpr Uint128 multiply_64x64_portable(std::uint64_t a, std::uint64_t b) {
  const std::uint64_t a_low = a & 0xFFFFFFFFu;
  const std::uint64_t a_high = a >> 32;
  const std::uint64_t b_low = b & 0xFFFFFFFFu;
  const std::uint64_t b_high = b >> 32;
  const std::uint64_t low_low = a_low * b_low;
  const std::uint64_t high_low = a_high * b_low;
  const std::uint64_t low_high = a_low * b_high;
  const std::uint64_t high_high = a_high * b_high;
  // The middle column: at most 3 x (2^32 - 1), no overflow.
  const std::uint64_t middle = (low_low >> 32) + (high_low & 0xFFFFFFFFu) + (low_high & 0xFFFFFFFFu);
  return {high_high + (high_low >> 32) + (low_high >> 32) + (middle >> 32),
          (middle << 32) | (low_low & 0xFFFFFFFFu)};
}

constexpr Uint128 multiply_64x64(std::uint64_t a, std::uint64_t b) {
#if defined(__SIZEOF_INT128__) && !defined(FLOVERAN_PORTABLE_WIDE)
  __extension__ using native = unsigned __int128;
  const native product = static_cast<native>(a) * b;
  return {static_cast<std::uint64_t>(product >> 64), static_cast<std::uint64_t>(product)};
#else
  return multiply_64x64_portable(a, b);
#endif
}

constexpr Uint128 add(Uint128 a, Uint128 b) {
  const std::uint64_t low = a.low + b.low;
  return {a.high + b.high + (low < a.low ? 1u : 0u), low};
}

constexpr Uint128 add(Uint128 a, std::uint64_t b) { return add(a, Uint128{0, b}); }

constexpr Uint128 minus_one(Uint128 a) { return {a.high - (a.low == 0 ? 1u : 0u), a.low - 1}; }

// a x factor, for a product below 2^128.
constexpr Uint128 multiply(Uint128 a, std::uint32_t factor) {
  const Uint128 low = multiply_64x64(a.low, factor);
  return {a.high * factor + low.high, low.low};
}

// x x 2^shift, for 0 <= shift < 64.
constexpr Uint128 shift_left(std::uint64_t x, int shift) {
  if (shift == 0) return {0, x};
  return {x >> (64 - shift), x << shift};
}

constexpr Uint128 shift_left(Uint128 x, int shift) {
  if (shift >= 64) return {x.low << (shift - 64), 0};
  if (shift == 0) return x;
  return {(x.high << shift) | (x.low >> (64 - shift)), x.low << shift};
}

constexpr Uint128 shift_right(Uint128 x, int shift) {
  if (shift >= 64) return {0, x.high >> (shift - 64)};
  if (shift == 0) return x;
  return {x.high >> shift, (x.low >> shift) | (x.high << (64 - shift))};
}

constexpr int bit_length(Uint128 x) {
  int n = 0;
  for (; x.high != 0 || x.low != 0; x = shift_right(x, 1)) ++n;
  return n;
}

// floor(a / divisor), bit by bit: for tables built at compile time only.
constexpr Uint128 divide(Uint128 a, std::uint64_t divisor) {
  Uint128 quotient{};
  Uint128 remainder{};
  for (int bit = 127; bit >= 0; --bit) {
    remainder = shift_left(remainder, 1);
    remainder.low |= (bit >= 64 ? a.high >> (bit - 64) : a.low >> bit) & 1u;
    quotient = shift_left(quotient, 1);
    if (remainder.high != 0 || remainder.low >= divisor) {
      remainder = add(remainder, Uint128{~std::uint64_t{0}, 0u - divisor});  // - divisor, mod 2^128
      quotient.low |= 1u;
    }
  }
  return quotient;
}

}  // namespace floveran
