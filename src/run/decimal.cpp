// Decimal digits to the correctly rounded double.
//
// Fast path (Clinger): when the digits form an integer w of at most 2^53 and the
// decimal exponent k lies within [-22, 22], both w and 10^|k| are exact doubles, so
// the one multiplication w * 10^k or division w / 10^-k, rounded once by the
// hardware, is the correctly rounded result. That covers the short decimals of
// gauge tables (12.345 is 12345 / 10^3).
//
// Exact path: every other number is written back as "digits e exponent" and read
// with std::from_chars, which rounds correctly for any length; it is only reached
// for long or extreme numbers.
#include "run/decimal.h"

#include <charconv>
#include <cstring>
#include <limits>
#include <system_error>

namespace floveran {
namespace {

constexpr double kExactPowersOfTen[] = {
    1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
    1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

constexpr std::uint64_t kExactMantissaLimit = std::uint64_t{1} << 53;

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

  if (d.count <= 19 && d.leading <= kExactMantissaLimit && exponent10 >= -22 &&
      exponent10 <= 22) {
    const double w = static_cast<double>(d.leading);
    const double magnitude = exponent10 >= 0 ? w * kExactPowersOfTen[exponent10]
                                             : w / kExactPowersOfTen[-exponent10];
    return with_sign(d.negative, magnitude);
  }
  return with_sign(d.negative, convert_exactly(d, exponent10));
}

}  // namespace floveran
