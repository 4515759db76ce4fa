// Decimal text to double. The scanners collect at most 24 significant digits of a
// number (leading zeros not counted; further integer digits only scale the value,
// further fraction digits are dropped) and a decimal exponent; decimal_to_double
// turns them into the correctly rounded double.
#pragma once

#include <cstdint>

namespace floveran {

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
