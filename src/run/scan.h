// The formatted scans "%d", "%lf" and "%s", on the input stream and on a text, and
// atoi and atof for command-line arguments and column-detection tokens.
//
// Every scan first skips white space (the bytes 0x09 to 0x0D and 0x20). Exactly one
// character is pushed back, the one that ended the item; everything taken before it
// as part of the attempted item (a sign, a point, an exponent letter and its sign)
// stays consumed, even when the conversion fails. A scan returns 1 when it assigned
// a value, 0 when it failed on a real character, and -1 when the input ended before
// any character of the item was taken.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "run/text_input.h"

namespace floveran {

inline bool is_space(int c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
inline bool is_digit(int c) { return c >= '0' && c <= '9'; }

// Bytes being scanned: a stretch of the input buffer that is refilled when it runs
// out, or a plain text whose end is the end of input.
struct ScanCursor {
  TextInput* in;  // null when scanning a text
  const char* p;
  const char* e;
};

ScanCursor cursor_on(TextInput& in);
ScanCursor cursor_on(std::string_view text);
// Hands the position back to the input stream; a no-op on a text.
void cursor_done(ScanCursor& c);

// The next byte, or -1 at end of input; refills the input buffer when it runs out.
bool cursor_refill(ScanCursor& c);
inline int cursor_peek(ScanCursor& c) {
  if (c.p == c.e && !cursor_refill(c)) return -1;
  return static_cast<unsigned char>(*c.p);
}

// "%d": optional sign, digits accumulated modulo 2^32, stored as signed 32-bit.
int scan_int(ScanCursor& c, std::int32_t& value);
// "%lf": sign, digits, point and digits, then (after a digit) e or E, sign, digits.
int scan_double(ScanCursor& c, double& value);
// "%s": the bytes up to the next white space; token may be null to drop them.
int scan_token(ScanCursor& c, std::string* token);

// "%s" on a text, giving the token where it stands: the first run of bytes that
// are not white space, or an empty view when the text holds none.
std::string_view first_token(std::string_view text);

// The same scans on the input stream. scan_ints is several "%d" as one scan
// ("%d%d%d%d"): it stops at the first failure and returns the number assigned, or
// -1 when the input ended before the first.
int scan_ints(TextInput& in, std::int32_t* values, int count);
int scan_double(TextInput& in, double& value);
int scan_token(TextInput& in, std::string* token);

// atoi: white space, optional sign, digits; clamps to the signed 32-bit range;
// no digit gives 0.
std::int32_t atoi(std::string_view text);
// atof: white space, optional sign, digits with an optional point, an optional
// exponent after e, E, d or D; text without a number (infinity and NaN words and
// hexadecimal included) gives 0.0.
double atof(std::string_view text);

}  // namespace floveran
