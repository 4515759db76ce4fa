// The digits of the general form for a batch of values at once: the vector
// kernels of the active level find, four or eight values at a time, the leading
// digits and decimal exponent that format_general writes, wherever they can prove
// them, and mark the others, which format_general then writes on its own.
#pragma once

#include <cstdint>

namespace floveran {

// The first `precision` digits of a value as an integer (10^(P-1) to 10^P - 1) and
// its decimal exponent E after rounding (the value rounds to 0.digits x 10^E);
// digits 0 where they were not proved.
struct ProvedDigits {
  std::uint32_t digits;
  std::int32_t exponent;
};

// For each of the `count` values, the digits of format_general(value, precision)
// where the active level proves them, else 0. False at the scalar level, which
// proves none and leaves `digits` as it was.
bool prove_general_digits(const double* values, int count, int precision, ProvedDigits* digits);

// The greatest precision the kernels prove digits for; above it they prove none.
inline constexpr int kMaxBatchPrecision = 8;

}  // namespace floveran
