// The formatted scans "%d", "%lf" and "%s" on a span of bytes, and atoi and atof
// for command-line arguments and column-detection tokens. The end of the span is
// the end of input; the input stream hands its window to these (scan_input of
// text_input.h), so tables and texts are read by the same code.
//
// Every scan first skips white space (the bytes 0x09 to 0x0D and 0x20). Exactly one
// character is pushed back, the one that ended the item; everything taken before it
// as part of the attempted item (a sign, a point, an exponent letter and its sign)
// stays consumed, even when the conversion fails. A scan returns 1 when it assigned
// a value, 0 when it failed on a real character, and -1 when the input ended before
// any character of the item was taken.
#pragma once

#include <cstdint>
#include <string_view>

#include "run/numbers/plain_decimal.h"

namespace floveran {

inline bool is_space(int c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
inline bool is_digit(int c) { return c >= '0' && c <= '9'; }

inline const char* skip_space(const char* p, const char* last) {
  while (p != last && is_space(static_cast<unsigned char>(*p))) ++p;
  return p;
}

struct ScanEnd {
  const char* start;  // where the item began, behind the white space
  const char* stop;   // the byte that ended it, which stays unread (or last)
  int result;         // 1, 0 or -1 as above
};

// "%d": optional sign, digits accumulated modulo 2^32, stored as signed 32-bit.
// Inline: it is the scan of every date field.
inline ScanEnd scan_int(const char* first, const char* last, std::int32_t& value) {
  const char* const start = skip_space(first, last);
  const char* p = start;
  if (p == last) return {start, p, -1};
  const bool negative = *p == '-';
  if (*p == '+' || *p == '-') ++p;
  if (p == last || !is_digit(static_cast<unsigned char>(*p))) return {start, p, 0};
  std::uint32_t magnitude = 0;  // accumulates modulo 2^32 by design
  do {
    magnitude = magnitude * 10u + static_cast<std::uint32_t>(*p++ - '0');
  } while (p != last && is_digit(static_cast<unsigned char>(*p)));
  value = static_cast<std::int32_t>(negative ? 0u - magnitude : magnitude);
  return {start, p, 1};
}
// "%lf" by the grammar alone, byte by byte: the definition that scan_double keeps.
ScanEnd scan_double_grammar(const char* first, const char* last, double& value);
// "%lf": sign, digits, point and digits, then (after a digit) e or E, sign, digits.
// Plain numbers take the word-at-a-time path of plain_decimal.h; the result is
// that of scan_double_grammar in every case. Inline: it is the scan of every
// table value.
inline ScanEnd scan_double(const char* first, const char* last, double& value) {
#ifndef FLOVERAN_REFERENCE_PATHS
  const char* const start = skip_space(first, last);
  if (const char* stop = scan_plain_decimal(start, last, value)) return {start, stop, 1};
#endif
  return scan_double_grammar(first, last, value);
}
// "%s": the bytes up to the next white space, [start, stop) of the result.
ScanEnd scan_token(const char* first, const char* last);

// "%s" on a text, giving the token where it stands: the first run of bytes that
// are not white space, or an empty view when the text holds none.
std::string_view first_token(std::string_view text);

// atoi: white space, optional sign, digits; clamps to the signed 32-bit range;
// no digit gives 0.
std::int32_t atoi(std::string_view text);
// atof: white space, optional sign, digits with an optional point, an optional
// exponent after e, E, d or D; text without a number (infinity and NaN words and
// hexadecimal included) gives 0.0.
double atof(std::string_view text);

// Whether atoi or atof reads the whole text as written, white space around it
// aside: for atoi an optional sign and digits whose value lies in the signed
// 32-bit range; for atof an optional sign, digits with an optional point (at least
// one digit), and an exponent letter (e, E, d or D) only when digits follow it,
// after an optional sign. "15min", "0,25", "1d" and "back" are not.
bool is_whole_integer(std::string_view text);
bool is_whole_decimal(std::string_view text);

}  // namespace floveran
