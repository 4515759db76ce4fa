// The written form of every number the tool outputs: "%d" through format_int,
// "%.2lf" and "%.3lf" through format_fixed, "%.7lg" through format_general.
// For every double (infinities and NaNs included) the text is exactly that of the
// exact reference of number_exact.h: format_fixed, a few numbers a run, is that
// reference; format_general has a fast path for values of ordinary magnitude and
// falls back to it whenever it cannot prove its digits.
#pragma once

#include <cstddef>
#include <cstdint>

namespace floveran {

// Room that any call below needs at `out`: a sign, 309 integer digits, the point
// and up to kMaxDecimals decimals, with margin.
inline constexpr std::size_t kFormatCapacity = 512;
inline constexpr int kMaxDecimals = 100;

// "%d": a plain decimal integer with "-" for negatives, at most 11 characters.
// Writes no terminating NUL; returns one past the last character written.
char* format_int(std::int32_t value, char* out);

// Fixed notation with `decimals` digits after the point (0 to kMaxDecimals).
// Writes no terminating NUL; returns one past the last character written.
char* format_fixed(double value, int decimals, char* out);

// General notation with `precision` significant digits (1 to 17).
// Writes no terminating NUL; returns one past the last character written.
char* format_general(double value, int precision, char* out);

// The fast path of format_general alone: the same text where it can prove its
// digits, otherwise nullptr (and `out` holds nothing of use). format_general is
// this, falling back to the exact path. In the reference build it always gives up.
char* format_general_fast(double value, int precision, char* out);

}  // namespace floveran
