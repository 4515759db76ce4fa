// The scanning grammar of "%d", "%lf" and "%s", and atoi and atof, written once on
// a ScanCursor so that the input stream and plain texts are read by the same code.
// The cursor reads straight out of the input buffer; only when a stretch runs out
// does it go back to the stream for the next block, so an item may span blocks.
#include "run/scan.h"

#include "run/decimal.h"

#include <bit>
#include <cstring>

namespace floveran {
namespace {

int skip_space(ScanCursor& c) {
  for (;;) {
    const int ch = cursor_peek(c);
    if (!is_space(ch)) return ch;
    ++c.p;
  }
}

int take_next(ScanCursor& c) {
  ++c.p;
  return cursor_peek(c);
}

// The floating grammar shared by "%lf" and atof, after the white space: a sign;
// digits; a point and digits; then, only after a mantissa digit, an exponent letter
// (e or E, and for atof also d or D), a sign and digits. An exponent letter without
// digits is consumed and ignored. Returns 1 with the value, or 0 when no mantissa
// digit was found (whatever sign or point was taken stays consumed).
int scan_decimal(ScanCursor& c, int ch, bool d_exponent, double& value) {
  DecimalDigits d;
  if (ch == '+' || ch == '-') {
    d.negative = ch == '-';
    ch = take_next(c);
  }
  while (is_digit(ch)) {
    add_integer_digit(d, ch - '0');
    ch = take_next(c);
  }
  if (ch == '.') {
    ch = take_next(c);
    while (is_digit(ch)) {
      add_fraction_digit(d, ch - '0');
      ch = take_next(c);
    }
  }
  if (!d.any_digit) return 0;

  std::int64_t written_exponent = 0;
  if (ch == 'e' || ch == 'E' || (d_exponent && (ch == 'd' || ch == 'D'))) {
    ch = take_next(c);
    bool exponent_negative = false;
    if (ch == '+' || ch == '-') {
      exponent_negative = ch == '-';
      ch = take_next(c);
    }
    while (is_digit(ch)) {
      if (written_exponent < kExponentCeiling) written_exponent = written_exponent * 10 + (ch - '0');
      ch = take_next(c);
    }
    if (exponent_negative) written_exponent = -written_exponent;
  }
  value = decimal_to_double(d, written_exponent);
  return 1;
}

}  // namespace

ScanCursor cursor_on(TextInput& in) {
  char* base = in.buffer.get();
  return {&in, base + in.pos, base + in.end};
}

ScanCursor cursor_on(std::string_view text) {
  return {nullptr, text.data(), text.data() + text.size()};
}

void cursor_done(ScanCursor& c) {
  if (c.in != nullptr) c.in->pos = static_cast<std::size_t>(c.p - c.in->buffer.get());
}

bool cursor_refill(ScanCursor& c) {
  if (c.in == nullptr) return false;
  TextInput& in = *c.in;
  in.pos = in.end;
  const bool more = refill_input(in);
  c.p = in.buffer.get() + in.pos;
  c.e = in.buffer.get() + in.end;
  return more;
}

int scan_int(ScanCursor& c, std::int32_t& value) {
  int ch = skip_space(c);
  if (ch < 0) return -1;
  bool negative = false;
  if (ch == '+' || ch == '-') {
    negative = ch == '-';
    ch = take_next(c);
  }
  if (!is_digit(ch)) return 0;
  std::uint32_t magnitude = 0;  // accumulates modulo 2^32 by design
  do {
    magnitude = magnitude * 10u + static_cast<std::uint32_t>(ch - '0');
    ch = take_next(c);
  } while (is_digit(ch));
  value = static_cast<std::int32_t>(negative ? 0u - magnitude : magnitude);
  return 1;
}

int scan_double(ScanCursor& c, double& value) {
  const int ch = skip_space(c);
  if (ch < 0) return -1;
  return scan_decimal(c, ch, false, value);
}

int scan_token(ScanCursor& c, std::string* token) {
  if (skip_space(c) < 0) return -1;
  if (token != nullptr) token->clear();
  for (;;) {
    const char* start = c.p;
    while (c.p != c.e && !is_space(static_cast<unsigned char>(*c.p))) ++c.p;
    if (token != nullptr) token->append(start, static_cast<std::size_t>(c.p - start));
    if (c.p != c.e || !cursor_refill(c)) return 1;
  }
}

std::string_view first_token(std::string_view text) {
  std::size_t begin = 0;
  while (begin < text.size() && is_space(static_cast<unsigned char>(text[begin]))) ++begin;
  std::size_t end = begin;
  while (end < text.size() && !is_space(static_cast<unsigned char>(text[end]))) ++end;
  return text.substr(begin, end - begin);
}

int scan_ints(TextInput& in, std::int32_t* values, int count) {
  ScanCursor c = cursor_on(in);
  int assigned = 0;
  while (assigned < count) {
    const int result = scan_int(c, values[assigned]);
    if (result != 1) {
      if (result < 0 && assigned == 0) assigned = -1;
      break;
    }
    ++assigned;
  }
  cursor_done(c);
  return assigned;
}

namespace {

// The common case of a table value, read straight from the buffer: optional blanks,
// a sign, at most 19 digits with an optional point, no exponent, and behind it a
// byte that cannot continue a number. For such text the full grammar collects the
// same digits and decimal exponent, and decimal_to_double takes its exact
// one-operation path whenever this one does (an integer of at most 2^53, at most
// 22 decimals), so the value is the same to the bit. Anything else (a long or
// exotic number, a failure, a number near the end of the buffer) is left to the
// full grammar, from the same position: nothing is consumed here unless it
// succeeds.
constexpr double kFastPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                       1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                       1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

constexpr std::uint64_t kPowersOfTenU64[] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000};

// Bytes a plain number needs in the buffer behind its start: the sign, 19 digits,
// the point and the byte that ends it, with margin.
constexpr std::ptrdiff_t kPlainNumberReach = 32;

// The plain number from p on (after the blanks), digit by digit; false as above.
// Kept out of line, like the full grammar, so that the common path stays small.
[[gnu::noinline]] bool scan_plain_digits(TextInput& in, const char* p, double& value) {
  const char* const e = in.buffer.get() + in.end;
  const bool negative = *p == '-';
  if (*p == '-' || *p == '+') ++p;
  std::uint64_t digits = 0;
  int decimals = 0;
  const char* const start = p;
  // Unsigned arithmetic wraps harmlessly for more than 19 digits, which are refused.
  while (p != e && is_digit(*p)) digits = digits * 10 + static_cast<unsigned>(*p++ - '0');
  int digit_count = static_cast<int>(p - start);
  if (p != e && *p == '.') {
    const char* const fraction = ++p;
    while (p != e && is_digit(*p)) digits = digits * 10 + static_cast<unsigned>(*p++ - '0');
    decimals = static_cast<int>(p - fraction);
    digit_count += decimals;
  }
  if (p == e) return false;
  const int next = static_cast<unsigned char>(*p);
  if (digit_count == 0 || digit_count > 19 || next == 'e' || next == 'E' || next == '.' ||
      digits > (std::uint64_t{1} << 53)) {
    return false;
  }
  const double magnitude = static_cast<double>(digits) / kFastPowersOfTen[decimals];
  value = negative ? -magnitude : magnitude;
  in.pos = static_cast<std::size_t>(p - in.buffer.get());
  return true;
}

// Eight bytes at p as one word, the byte at p lowest.
std::uint64_t load8(const char* p) {
  std::uint64_t x;
  std::memcpy(&x, p, 8);
  return x;
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

[[gnu::noinline]] int scan_double_full(TextInput& in, double& value) {
  ScanCursor c = cursor_on(in);
  const int result = scan_double(c, value);
  cursor_done(c);
  return result;
}

[[maybe_unused]] bool scan_plain_decimal(TextInput& in, double& value) {
  const char* p = in.buffer.get() + in.pos;
  const char* const e = in.buffer.get() + in.end;
  if (p != e && *p == '\t') ++p;  // the field separator of every table value
  while (p != e && is_space(static_cast<unsigned char>(*p))) ++p;
  if (e - p < kPlainNumberReach) return false;
  if constexpr (std::endian::native != std::endian::little) return scan_plain_digits(in, p, value);

  // Up to seven digits before and seven after the point, eight bytes at a time;
  // longer parts are left to the digit loop. The reach above covers every load.
  const char* q = p;
  const bool negative = *q == '-';
  if (*q == '-' || *q == '+') ++q;
  const std::uint64_t whole_bytes = load8(q);
  const int whole = leading_digits(whole_bytes);
  if (whole == 8) return scan_plain_digits(in, p, value);
  std::uint64_t digits = digits_value(whole_bytes, whole);
  q += whole;
  int decimals = 0;
  if (*q == '.') {
    const std::uint64_t fraction_bytes = load8(q + 1);
    decimals = leading_digits(fraction_bytes);
    if (decimals == 8) return scan_plain_digits(in, p, value);
    digits = digits * kPowersOfTenU64[decimals] + digits_value(fraction_bytes, decimals);
    q += 1 + decimals;
  }
  const int next = static_cast<unsigned char>(*q);
  if (whole + decimals == 0 || next == 'e' || next == 'E' || next == '.') return false;
  // At most 14 digits: the integer is exact in a double, and so is 10^decimals.
  const double magnitude = static_cast<double>(digits) / kFastPowersOfTen[decimals];
  value = negative ? -magnitude : magnitude;
  in.pos = static_cast<std::size_t>(q - in.buffer.get());
  return true;
}

}  // namespace

int scan_double(TextInput& in, double& value) {
#ifndef FLOVERAN_REFERENCE_PATHS
  if (scan_plain_decimal(in, value)) return 1;
#endif
  return scan_double_full(in, value);
}

int scan_token(TextInput& in, std::string* token) {
  ScanCursor c = cursor_on(in);
  const int result = scan_token(c, token);
  cursor_done(c);
  return result;
}

std::int32_t atoi(std::string_view text) {
  ScanCursor c = cursor_on(text);
  int ch = skip_space(c);
  bool negative = false;
  if (ch == '+' || ch == '-') {
    negative = ch == '-';
    ch = take_next(c);
  }
  // Held just past the 32-bit range once it gets there, so it cannot overflow.
  constexpr std::int64_t kCeiling = std::int64_t{1} << 32;
  std::int64_t magnitude = 0;
  while (is_digit(ch)) {
    if (magnitude < kCeiling) magnitude = magnitude * 10 + (ch - '0');
    ch = take_next(c);
  }
  const std::int64_t signed_value = negative ? -magnitude : magnitude;
  if (signed_value > INT32_MAX) return INT32_MAX;
  if (signed_value < INT32_MIN) return INT32_MIN;
  return static_cast<std::int32_t>(signed_value);
}

double atof(std::string_view text) {
  ScanCursor c = cursor_on(text);
  const int ch = skip_space(c);
  double value = 0.0;
  if (ch < 0 || scan_decimal(c, ch, true, value) != 1) return 0.0;
  return value;
}

}  // namespace floveran
