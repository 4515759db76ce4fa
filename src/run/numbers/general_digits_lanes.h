// What the digit kernels compute, lane by lane, and why it is exact; shared by the
// vector levels (internal linkage, so each keeps its own copy).
//
// For a finite v > 0 with decimal exponent E (10^(E-1) <= v < 10^E), let
// y = v x 10^(P-E), so 10^(P-1) <= y < 10^P. format_general writes the P digits
// R = floor(y + u), u = 1/2 + 5 x 10^(P-18) (number_format.cpp derives this from
// the 18 truncated digits, their rounding to 17 and that to P); R = 10^P is the
// carry into a new first digit.
//
// In double arithmetic: k = floor(log10(2) x binary exponent) is about E - 1;
// y0 = v x S[P-1-k] with S[q] the double nearest to 10^q, and when y0 >= 10^P the
// value is scaled once more, y = v x S[P-2-k], E = k + 2 (else y = y0, E = k + 1).
// S[q] and the product are each rounded once, so |y - v x 10^(P-E)| <= 2^-52 y <
// 2^-25 for y < 10^8 (P <= 8); z = y + u rounds once more, by at most 2^-26, and u
// itself is off by less than 2^-52. So z lies within 2^-24 of the exact y + u.
// With the margin d = 2^-20, well above that:
//   - y - d >= 10^(P-1) and y + d < 10^P prove the exponent E;
//   - frac(z) in (d, 1 - d) proves floor(y + u) = floor(z).
// A lane that fails either, or whose value is zero, subnormal, infinite, NaN or
// of a magnitude out of the table, proves nothing: format_general writes it.
//
// The text of a proved lane whose form has no exponent part (-3 <= E <= P), from
// R split into its digits one per byte as eight_digits does (general_layout.h),
// `count` of them significant (up to the highest non-zero byte), and the ASCII
// text of all eight bytes, '0' above the digits:
//   - E <= 0: head "0.000000", tail the text at byte 2 - E, length 2 - E + count;
//   - E >= 1: head the text with '.' in byte E (none for E = 8), tail the text
//     from byte E on, put at byte E + 1, length count + 1 when count > E, else E
//     (the whole part, padded by the '0' bytes).
// These are the bytes lay_out_general_digits writes, with its word stores.
#pragma once

#include <cstdint>

#include "run/numbers/general_digits.h"

namespace floveran {
namespace {

constexpr int kScaleMin = -30;
constexpr int kScaleMax = 40;
// S[q] for q = kScaleMin to kScaleMax, each the double nearest to 10^q.
constexpr double kScales[] = {
    1e-30, 1e-29, 1e-28, 1e-27, 1e-26, 1e-25, 1e-24, 1e-23, 1e-22, 1e-21, 1e-20, 1e-19, 1e-18, 1e-17, 1e-16,
    1e-15, 1e-14, 1e-13, 1e-12, 1e-11, 1e-10, 1e-9,  1e-8,  1e-7,  1e-6,  1e-5,  1e-4,  1e-3,  1e-2,  1e-1,
    1e0,   1e1,   1e2,   1e3,   1e4,   1e5,   1e6,   1e7,   1e8,   1e9,   1e10,  1e11,  1e12,  1e13,  1e14,
    1e15,  1e16,  1e17,  1e18,  1e19,  1e20,  1e21,  1e22,  1e23,  1e24,  1e25,  1e26,  1e27,  1e28,  1e29,
    1e30,  1e31,  1e32,  1e33,  1e34,  1e35,  1e36,  1e37,  1e38,  1e39,  1e40};
static_assert(sizeof kScales / sizeof kScales[0] == kScaleMax - kScaleMin + 1);

constexpr double kProofMargin = 1.0 / (1 << 20);
constexpr double kLog10Of2 = 0.30102999566398120;

// Per precision P (1 to kMaxBatchPrecision): 10^P, 10^(P-1) and u.
struct DigitBounds {
  double limit;
  double floor_limit;
  double half_up;
};

constexpr DigitBounds digit_bounds(int precision) {
  return {kScales[precision - kScaleMin], kScales[precision - 1 - kScaleMin],
          0.5 + 5.0 * kScales[precision - 18 - kScaleMin]};
}

}  // namespace
}  // namespace floveran
