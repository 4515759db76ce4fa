// The exact reference of the number writers.
//
// Digit string. A finite nonzero double is m x 2^e with an integer m < 2^53. For
// e >= 0 that is the integer N = m x 2^e; for e < 0 it is N x 10^e with the integer
// N = m x 5^-e, because 2^e = 5^-e x 10^e. N is built exactly in base 10^9 limbs
// (at most 86 of them: m x 5^1074 has 767 decimal digits), so its leading decimal
// digits are the leading digits of the value, with no rounding anywhere. The first
// 18 of them, truncated, are rounded to 17 by the 18th (5 or more rounds up; a
// carry out of the 17 digits leaves the single digit 1 and raises the exponent).
//
// Layout. The fixed and general forms are built from the digit string character by
// character, exactly as the rules read: the string is rounded to K characters by
// the character after them ('5' and above, which includes every letter, rounds up
// by incrementing the last kept character, with '9' carrying), missing characters
// count as '0', and the notation is laid out from the rounded characters. This code
// favours plainness over speed; it is the yardstick for the fast path and is used
// on its own when FLOVERAN_REFERENCE_PATHS is defined.
#include "run/numbers/number_exact.h"

#include <bit>
#include <cstdint>
#include <cstring>

namespace floveran {
namespace {

constexpr std::uint32_t kLimbBase = 1000000000;  // 10^9
constexpr int kMaxLimbs = 90;

// A non-negative integer in base 10^9, least significant limb first.
struct BigDecimal {
  std::uint32_t limb[kMaxLimbs];
  int size;
};

// n = n x factor, for factor < 2^32. A limb is below 10^9 < 2^30, so the product
// with the carry stays below 2^62.
void multiply(BigDecimal& n, std::uint32_t factor) {
  std::uint64_t carry = 0;
  for (int i = 0; i < n.size; ++i) {
    const std::uint64_t t = std::uint64_t{n.limb[i]} * factor + carry;
    n.limb[i] = static_cast<std::uint32_t>(t % kLimbBase);
    carry = t / kLimbBase;
  }
  while (carry != 0) {
    n.limb[n.size++] = static_cast<std::uint32_t>(carry % kLimbBase);
    carry /= kLimbBase;
  }
}

int decimal_length(std::uint64_t x) {
  int n = 1;
  while (x >= 10) {
    x /= 10;
    ++n;
  }
  return n;
}

std::uint64_t power_of_ten(int n) {
  std::uint64_t p = 1;
  for (int i = 0; i < n; ++i) p *= 10;
  return p;
}

DigitString letters(bool negative, const char* text) {
  DigitString d{};
  d.negative = negative;
  d.exponent = 1;
  d.count = static_cast<int>(std::strlen(text));
  std::memcpy(d.digits, text, static_cast<std::size_t>(d.count));
  return d;
}

// The digit string rounded to k characters: `digit` holds `count` characters and
// every position past them reads as '0'. count == 0 stands for zero.
struct RoundedDigits {
  int exponent;
  int count;
  char digit[24];
};

char digit_at(const RoundedDigits& r, int i) { return i < r.count ? r.digit[i] : '0'; }

RoundedDigits round_to(const DigitString& d, int k) {
  RoundedDigits r{};
  r.exponent = d.exponent;
  if (k < 0) return r;  // nothing kept, nothing rounded: zero
  if (k == 0) {
    if (d.digits[0] >= '5') {
      r.digit[0] = '1';
      r.count = 1;
      ++r.exponent;
    }
    return r;
  }
  if (k >= d.count) {  // no character follows the kept ones
    r.count = d.count;
    std::memcpy(r.digit, d.digits, static_cast<std::size_t>(d.count));
    return r;
  }
  r.count = k;
  std::memcpy(r.digit, d.digits, static_cast<std::size_t>(k));
  if (d.digits[k] >= '5') {
    int i = k - 1;
    while (i >= 0 && r.digit[i] == '9') r.digit[i--] = '0';
    if (i >= 0) {
      ++r.digit[i];
    } else {
      r.digit[0] = '1';
      r.count = 1;
      ++r.exponent;
    }
  }
  return r;
}

char* put_repeated(char* out, char c, int n) {
  for (int i = 0; i < n; ++i) *out++ = c;
  return out;
}

// Fixed notation of rounded characters with `decimals` digits after the point.
char* lay_out_fixed(bool negative, const RoundedDigits& r, int decimals, char* out) {
  if (negative) *out++ = '-';
  int next = 0;  // index of the next character of r to write
  if (r.exponent > 0) {
    for (; next < r.exponent; ++next) *out++ = digit_at(r, next);
  } else {
    *out++ = '0';
  }
  if (decimals > 0) {
    *out++ = '.';
    int zeros = 0;
    if (r.exponent < 0) zeros = -r.exponent < decimals ? -r.exponent : decimals;
    out = put_repeated(out, '0', zeros);
    for (int i = zeros; i < decimals; ++i) *out++ = digit_at(r, next++);
  }
  return out;
}

// Drops the zeros at the end of [begin, end) when a point lies in it, and the
// point too when nothing is left behind it.
char* drop_trailing_zeros(char* begin, char* end) {
  if (std::memchr(begin, '.', static_cast<std::size_t>(end - begin)) == nullptr) return end;
  while (end[-1] == '0') --end;
  if (end[-1] == '.') --end;
  return end;
}

}  // namespace

DigitString digit_string_exact(double value) {
  const auto bits = std::bit_cast<std::uint64_t>(value);
  const bool negative = (bits >> 63) != 0;
  const int biased = static_cast<int>((bits >> 52) & 0x7FF);
  const std::uint64_t fraction = bits & ((std::uint64_t{1} << 52) - 1);
  constexpr std::uint64_t kQuietBit = std::uint64_t{1} << 51;

  if (biased == 0x7FF) {
    if (fraction == 0) return letters(negative, "1#INF");
    if ((fraction & kQuietBit) == 0) return letters(negative, "1#SNAN");
    if (negative && fraction == kQuietBit) return letters(negative, "1#IND");
    return letters(negative, "1#QNAN");
  }
  DigitString d{};
  d.negative = negative;
  if (biased == 0 && fraction == 0) {
    d.digits[0] = '0';
    d.count = 1;
    d.exponent = 0;
    return d;
  }

  const std::uint64_t m = biased == 0 ? fraction : fraction | (std::uint64_t{1} << 52);
  const int e = biased == 0 ? -1074 : biased - 1075;

  BigDecimal n{};
  for (std::uint64_t rest = m; rest != 0; rest /= kLimbBase) {
    n.limb[n.size++] = static_cast<std::uint32_t>(rest % kLimbBase);
  }
  int point_shift = 0;  // value = N x 10^point_shift
  if (e >= 0) {
    int left = e;
    for (; left >= 29; left -= 29) multiply(n, std::uint32_t{1} << 29);
    multiply(n, std::uint32_t{1} << left);
  } else {
    constexpr std::uint32_t kFivePow13 = 1220703125;
    int left = -e;
    for (; left >= 13; left -= 13) multiply(n, kFivePow13);
    std::uint32_t five_pow = 1;
    for (int i = 0; i < left; ++i) five_pow *= 5;
    multiply(n, five_pow);
    point_shift = e;
  }

  // The first 18 digits of N, truncated: the top limb has `top_digits` digits, the
  // next two limbs (zero where N has none) supply at least 18 more.
  const std::uint64_t top = n.limb[n.size - 1];
  const int top_digits = decimal_length(top);
  const std::uint64_t second = n.size >= 2 ? n.limb[n.size - 2] : 0;
  const std::uint64_t third = n.size >= 3 ? n.limb[n.size - 3] : 0;
  const std::uint64_t first18 = top * power_of_ten(18 - top_digits) +
                                (second * kLimbBase + third) / power_of_ten(top_digits);
  d.exponent = top_digits + 9 * (n.size - 1) + point_shift;

  std::uint64_t first17 = (first18 + 5) / 10;
  if (first17 == power_of_ten(17)) {
    first17 = power_of_ten(16);
    ++d.exponent;
  }
  for (int i = 16; i >= 0; --i) {
    d.digits[i] = static_cast<char>('0' + first17 % 10);
    first17 /= 10;
  }
  d.count = 17;
  while (d.digits[d.count - 1] == '0') --d.count;
  return d;
}

char* format_fixed_exact(double value, int decimals, char* out) {
  const DigitString d = digit_string_exact(value);
  return lay_out_fixed(d.negative, round_to(d, d.exponent + decimals), decimals, out);
}

char* format_general_exact(double value, int precision, char* out) {
  const DigitString d = digit_string_exact(value);
  const RoundedDigits r = round_to(d, precision);
  const int x = r.exponent - 1;
  char* const begin = out;
  if (x < -4 || x >= precision) {
    if (d.negative) *out++ = '-';
    *out++ = digit_at(r, 0);
    *out++ = '.';
    for (int i = 1; i < precision; ++i) *out++ = digit_at(r, i);
    out = drop_trailing_zeros(begin, out);
    *out++ = 'e';
    *out++ = x < 0 ? '-' : '+';
    const int magnitude = x < 0 ? -x : x;
    *out++ = static_cast<char>('0' + magnitude / 100);
    *out++ = static_cast<char>('0' + magnitude / 10 % 10);
    *out++ = static_cast<char>('0' + magnitude % 10);
    return out;
  }
  out = lay_out_fixed(d.negative, r, precision - 1 - x, out);
  return drop_trailing_zeros(begin, out);
}

}  // namespace floveran
