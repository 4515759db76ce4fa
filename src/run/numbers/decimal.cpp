// Decimal digits to the correctly rounded double.
//
// Fast path: scale_exactly, when the digits form an integer of at most 2^53 and the
// decimal exponent lies within [-22, 22].
//
// Exact path: every other number is written back as "digits e exponent" and read
// with std::from_chars, which rounds correctly for any length; it is only reached
// for long or extreme numbers.
#include "run/numbers/decimal.h"

#include <charconv>
#include <cstring>
#include <limits>
#include <system_error>

namespace floveran {
namespace {

double with_sign(bool negative, double magnitude) { return negative ? -magnitude : magnitude; }

double convert_exactly(const DecimalDigits& d, std::int64_t exponent10) {
  // Digits, 'e', and an exponent of at most 11 characters.
  char text[kMaxSignificantDigits + 16];
  std::memcpy(text, d.digits, static_cast<std::size_t>(d.count));
  char* p = text + d.count;
  *p++ = 'e';
  p = std::to_chars(p, text + sizeof text, exponent10).ptr;
  double magnitude = 0.0;
  const auto result = std::from_chars(text, p, magnitude, std::chars_format::scientific);
  if (result.ec == std::errc::result_out_of_range) {
    magnitude = exponent10 > 0 ? std::numeric_limits<double>::infinity() : 0.0;
  }
  return magnitude;
}

}  // namespace

double decimal_to_double(const DecimalDigits& d, std::int64_t written_exponent) {
  if (d.count == 0) return with_sign(d.negative, 0.0);
  const std::int64_t exponent10 = d.exponent + written_exponent;
  const std::int64_t point_exponent = d.count + exponent10;  // value = 0.D x 10^this
  if (point_exponent > kDecimalExponentLimit) {
    return with_sign(d.negative, std::numeric_limits<double>::infinity());
  }
  if (point_exponent < -kDecimalExponentLimit) return with_sign(d.negative, 0.0);

  if (d.count <= 19 && d.leading <= kExactMantissaLimit && exponent10 >= -kMaxExactPowerOfTen &&
      exponent10 <= kMaxExactPowerOfTen) {
    return with_sign(d.negative, scale_exactly(d.leading, static_cast<int>(exponent10)));
  }
  return with_sign(d.negative, convert_exactly(d, exponent10));
}

}  // namespace floveran
