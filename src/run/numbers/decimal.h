// Decimal text to double. The scanners collect at most 24 significant digits of a
// number (leading zeros not counted; further integer digits only scale the value,
// further fraction digits are dropped) and a decimal exponent; decimal_to_double
// turns them into the correctly rounded double. Short decimals take one exact
// operation, scale_exactly, which the plain-number scanner shares.
#pragma once

#include <cstdint>

namespace floveran {

// Every power of ten that is an exact double.
inline constexpr double kExactPowersOfTen[] = {
    1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
    1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
inline constexpr int kMaxExactPowerOfTen = 22;
inline constexpr std::uint64_t kExactMantissaLimit = std::uint64_t{1} << 53;

// w x 10^exponent10, correctly rounded, for w <= 2^53 and |exponent10| <= 22
// (Clinger): w and 10^|exponent10| are both exact doubles, so the one
// multiplication or division, rounded once by the hardware, is the correctly
// rounded result. That covers the short decimals of gauge tables (12.345 is
// 12345 / 10^3). Always inlined: the vector kernels, compiled for their own
// instruction sets, use it too, and no out-of-line copy built for one of them may
// stand in for the scalar code's.
[[gnu::always_inline]] inline double scale_exactly(std::uint64_t w, int exponent10) {
  const double x = static_cast<double>(w);
  return exponent10 >= 0 ? x * kExactPowersOfTen[exponent10] : x / kExactPowersOfTen[-exponent10];
}

inline constexpr int kMaxSignificantDigits = 24;

struct DecimalDigits {
  bool negative = false;
  bool any_digit = false;       // at least one mantissa digit, zeros included
  int count = 0;                // significant digits kept, 0 to kMaxSignificantDigits
  char digits[kMaxSignificantDigits] = {};  // '1'..'9' first, then '0'..'9'
  std::uint64_t leading = 0;    // the value of the first min(count, 19) digits
  std::int64_t exponent = 0;    // value = digits x 10^exponent
};

// The collecting steps, applied by the grammar of each scanner in text order.
inline void add_integer_digit(DecimalDigits& d, int digit) {
  d.any_digit = true;
  if (d.count == 0 && digit == 0) return;
  if (d.count < kMaxSignificantDigits) {
    if (d.count < 19) d.leading = d.leading * 10 + static_cast<unsigned>(digit);
    d.digits[d.count++] = static_cast<char>('0' + digit);
  } else {
    ++d.exponent;
  }
}

inline void add_fraction_digit(DecimalDigits& d, int digit) {
  d.any_digit = true;
  if (d.count == 0 && digit == 0) {
    --d.exponent;
    return;
  }
  if (d.count < kMaxSignificantDigits) {
    if (d.count < 19) d.leading = d.leading * 10 + static_cast<unsigned>(digit);
    d.digits[d.count++] = static_cast<char>('0' + digit);
    --d.exponent;
  }
}

// Written exponents are accumulated up to this magnitude and held there: far
// beyond every limit below, and small enough that no sum overflows.
inline constexpr std::int64_t kExponentCeiling = 1000000000;

// A number whose decimal exponent (value = 0.D x 10^E) lies above this is infinite,
// below its negative zero.
inline constexpr std::int64_t kDecimalExponentLimit = 5200;

// The correctly rounded double nearest to the collected digits; infinity on
// overflow and zero on underflow, with the collected sign.
double decimal_to_double(const DecimalDigits& d, std::int64_t written_exponent);

}  // namespace floveran
