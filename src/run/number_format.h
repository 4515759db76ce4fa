// The written form of every floating-point number the tool outputs: "%.2lf" and
// "%.3lf" through format_fixed, "%.7lg" through format_general.
// Both produce, for every double (infinities and NaNs included), exactly the text
// that the exact reference of number_exact.h produces; format_general has a fast
// path for values of ordinary magnitude and falls back to the exact path whenever
// it cannot prove its digits.
#pragma once

#include <cstddef>

namespace floveran {

// Room that any call below needs at `out`: a sign, 309 integer digits, the point
// and up to kMaxDecimals decimals, with margin.
inline constexpr std::size_t kFormatCapacity = 512;
inline constexpr int kMaxDecimals = 100;

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
