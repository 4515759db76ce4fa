// The scanning grammar of "%d", "%lf" and "%s", and atoi and atof, byte by byte on
// a span whose end is the end of input.
#include "run/numbers/scan.h"

#include "run/numbers/decimal.h"

namespace floveran {
namespace {

int byte_at(const char* p, const char* last) {
  return p == last ? -1 : static_cast<unsigned char>(*p);
}

// The floating grammar shared by "%lf" and atof, from the first byte behind the
// white space: a sign; digits; a point and digits; then, only after a mantissa
// digit, an exponent letter (e or E, and for atof also d or D), a sign and digits.
// An exponent letter without digits is consumed and ignored. Assigns the value
// and returns 1, or returns 0 when no mantissa digit was found (whatever sign or
// point was taken stays consumed).
ScanEnd scan_decimal(const char* start, const char* last, bool d_exponent, double& value) {
  const char* p = start;
  DecimalDigits d;
  int ch = byte_at(p, last);
  if (ch == '+' || ch == '-') {
    d.negative = ch == '-';
    ch = byte_at(++p, last);
  }
  while (is_digit(ch)) {
    add_integer_digit(d, ch - '0');
    ch = byte_at(++p, last);
  }
  if (ch == '.') {
    ch = byte_at(++p, last);
    while (is_digit(ch)) {
      add_fraction_digit(d, ch - '0');
      ch = byte_at(++p, last);
    }
  }
  if (!d.any_digit) return {start, p, 0};

  std::int64_t written_exponent = 0;
  if (ch == 'e' || ch == 'E' || (d_exponent && (ch == 'd' || ch == 'D'))) {
    ch = byte_at(++p, last);
    bool exponent_negative = false;
    if (ch == '+' || ch == '-') {
      exponent_negative = ch == '-';
      ch = byte_at(++p, last);
    }
    while (is_digit(ch)) {
      if (written_exponent < kExponentCeiling) written_exponent = written_exponent * 10 + (ch - '0');
      ch = byte_at(++p, last);
    }
    if (exponent_negative) written_exponent = -written_exponent;
  }
  value = decimal_to_double(d, written_exponent);
  return {start, p, 1};
}

}  // namespace

ScanEnd scan_double_grammar(const char* first, const char* last, double& value) {
  const char* const start = skip_space(first, last);
  if (start == last) return {start, start, -1};
  return scan_decimal(start, last, false, value);
}

ScanEnd scan_token(const char* first, const char* last) {
  const char* const start = skip_space(first, last);
  if (start == last) return {start, start, -1};
  const char* p = start;
  while (p != last && !is_space(static_cast<unsigned char>(*p))) ++p;
  return {start, p, 1};
}

std::string_view first_token(std::string_view text) {
  const ScanEnd token = scan_token(text.data(), text.data() + text.size());
  return {token.start, static_cast<std::size_t>(token.stop - token.start)};
}

std::int32_t atoi(std::string_view text) {
  const char* const last = text.data() + text.size();
  const char* p = skip_space(text.data(), last);
  int ch = byte_at(p, last);
  bool negative = false;
  if (ch == '+' || ch == '-') {
    negative = ch == '-';
    ch = byte_at(++p, last);
  }
  // Held just past the 32-bit range once it gets there, so it cannot overflow.
  constexpr std::int64_t kCeiling = std::int64_t{1} << 32;
  std::int64_t magnitude = 0;
  while (is_digit(ch)) {
    if (magnitude < kCeiling) magnitude = magnitude * 10 + (ch - '0');
    ch = byte_at(++p, last);
  }
  const std::int64_t signed_value = negative ? -magnitude : magnitude;
  if (signed_value > INT32_MAX) return INT32_MAX;
  if (signed_value < INT32_MIN) return INT32_MIN;
  return static_cast<std::int32_t>(signed_value);
}

double atof(std::string_view text) {
  const char* const last = text.data() + text.size();
  const char* const start = skip_space(text.data(), last);
  double value = 0.0;
  if (start == last || scan_decimal(start, last, true, value).result != 1) return 0.0;
  return value;
}

namespace {

const char* skip_digits(const char* p, const char* last) {
  while (p != last && is_digit(static_cast<unsigned char>(*p))) ++p;
  return p;
}

const char* skip_sign(const char* p, const char* last) {
  return p != last && (*p == '+' || *p == '-') ? p + 1 : p;
}

// Where the text ends once the white space behind `p` is skipped: whether nothing
// else is left.
bool only_space_from(const char* p, const char* last) { return skip_space(p, last) == last; }

}  // namespace

bool is_whole_integer(std::string_view text) {
  const char* const last = text.data() + text.size();
  const char* const sign = skip_space(text.data(), last);
  const char* const digits = skip_sign(sign, last);
  const char* const end = skip_digits(digits, last);
  if (end == digits || !only_space_from(end, last)) return false;
  // Held just past the range once it gets there, as in atoi.
  constexpr std::int64_t kBeyond = std::int64_t{INT32_MAX} + 2;
  std::int64_t magnitude = 0;
  for (const char* q = digits; q != end && magnitude < kBeyond; ++q) magnitude = magnitude * 10 + (*q - '0');
  return magnitude <= (*sign == '-' ? std::int64_t{INT32_MAX} + 1 : std::int64_t{INT32_MAX});
}

bool is_whole_decimal(std::string_view text) {
  const char* const last = text.data() + text.size();
  const char* p = skip_sign(skip_space(text.data(), last), last);
  const char* const integer_end = skip_digits(p, last);
  bool any_digit = integer_end != p;
  p = integer_end;
  if (p != last && *p == '.') {
    const char* const fraction_end = skip_digits(p + 1, last);
    any_digit = any_digit || fraction_end != p + 1;
    p = fraction_end;
  }
  if (!any_digit) return false;
  if (p != last && (*p == 'e' || *p == 'E' || *p == 'd' || *p == 'D')) {
    const char* const exponent = skip_sign(p + 1, last);
    p = skip_digits(exponent, last);
    if (p == exponent) return false;
  }
  return only_space_from(p, last);
}

}  // namespace floveran
