// Plain numbers a word at a time. Up to seven digits before and seven after the
// point are read as two 8-byte words: the digits of a word are found with one
// test on all its bytes and added up by three multiplications. Longer parts fall
// to a digit-by-digit loop of the same rules; every number of more than 19 digits
// or above 2^53, and everything with an exponent, falls to the grammar. The value
// comes from scale_exactly, as in the grammar: at most 19 digits within 2^53 and
// at most 19 decimals, so the operation is the one the grammar performs.
#include "run/numbers/plain_decimal.h"

#include <bit>
#include <cstdint>

#include "run/numbers/byte_words.h"
#include "run/numbers/decimal.h"
#include "run/numbers/scan.h"

namespace floveran {
namespace {

constexpr std::uint64_t kPowersOfTenU64[] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000};

// Whether the byte behind a plain number leaves it plain: an exponent letter or a
// second point would continue it in the grammar.
bool ends_plain(int next) { return next != 'e' && next != 'E' && next != '.'; }

// The plain number from p on, digit by digit; nullptr as above. Kept out of line,
// like the grammar, so that the common path stays small.
[[gnu::noinline]] const char* scan_plain_digits(const char* p, double& value) {
  const bool negative = *p == '-';
  if (*p == '-' || *p == '+') ++p;
  std::uint64_t digits = 0;
  int decimals = 0;
  // Unsigned arithmetic wraps harmlessly for more than 19 digits, which are refused;
  // the reach guarantees a byte that ends the number before 20 digits are passed.
  int digit_count = 0;
  while (is_digit(*p) && digit_count <= 19) {
    digits = digits * 10 + static_cast<unsigned>(*p++ - '0');
    ++digit_count;
  }
  if (*p == '.' && digit_count <= 19) {
    const char* const fraction = ++p;
    while (is_digit(*p) && digit_count <= 19) {
      digits = digits * 10 + static_cast<unsigned>(*p++ - '0');
      ++digit_count;
    }
    decimals = static_cast<int>(p - fraction);
  }
  if (digit_count == 0 || digit_count > 19 || !ends_plain(static_cast<unsigned char>(*p)) ||
      digits > kExactMantissaLimit) {
    return nullptr;
  }
  const double magnitude = scale_exactly(digits, -decimals);
  value = negative ? -magnitude : magnitude;
  return p;
}

// How many of the eight bytes of x, from the lowest, are digits before the first
// byte that is not (8 when all are). A byte is a digit when its high nibble is 3
// and adding 6 leaves it 3 (low nibble at most 9). The addition can carry out of a
// byte of 0xFA or more, but only into higher bytes, and such a byte is itself no
// digit, so the first non-digit is found all the same.
int leading_digits(std::uint64_t x) {
  constexpr std::uint64_t kHigh = 0xF0F0F0F0F0F0F0F0ULL;
  constexpr std::uint64_t kThrees = 0x3030303030303030ULL;
  const std::uint64_t not_digit = ((x & kHigh) ^ kThrees) | (((x + 0x0606060606060606ULL) & kHigh) ^ kThrees);
  return not_digit == 0 ? 8 : std::countr_zero(not_digit) >> 3;
}

// The number formed by the first n (0 to 7) digit bytes of x. The digits are moved
// to the top of the word, zeros come in below them, and three multiplications add
// neighbouring digits, pairs and quadruples (each partial sum stays inside its
// lane: at most 99, 9999 and 99999999).
std::uint64_t digits_value(std::uint64_t x, int n) {
  x = (x << (56 - 8 * n)) << 8;  // two steps: a shift by 64 for n = 0 is undefined
  x = ((x & 0x0F0F0F0F0F0F0F0FULL) * 2561) >> 8;
  x = ((x & 0x00FF00FF00FF00FFULL) * 6553601) >> 16;
  return ((x & 0x0000FFFF0000FFFFULL) * 42949672960001ULL) >> 32;
}

}  // namespace

const char* scan_plain_decimal(const char* first, const char* last, double& value) {
  if (last - first < kPlainNumberReach) return nullptr;
  // The reach covers every load below: the sign, 8 bytes, the point and 8 bytes.
  const char* q = first;
  const bool negative = *q == '-';
  if (*q == '-' || *q == '+') ++q;
  const std::uint64_t whole_bytes = load_word(q);
  const int whole = leading_digits(whole_bytes);
  if (whole == 8) return scan_plain_digits(first, value);
  std::uint64_t digits = digits_value(whole_bytes, whole);
  q += whole;
  int decimals = 0;
  if (*q == '.') {
    const std::uint64_t fraction_bytes = load_word(q + 1);
    decimals = leading_digits(fraction_bytes);
    if (decimals == 8) return scan_plain_digits(first, value);
    digits = digits * kPowersOfTenU64[decimals] + digits_value(fraction_bytes, decimals);
    q += 1 + decimals;
  }
  if (whole + decimals == 0 || !ends_plain(static_cast<unsigned char>(*q))) return nullptr;
  // At most 14 digits: within 2^53, and at most 7 decimals.
  const double magnitude = scale_exactly(digits, -decimals);
  value = negative ? -magnitude : magnitude;
  return q;
}

}  // namespace floveran
