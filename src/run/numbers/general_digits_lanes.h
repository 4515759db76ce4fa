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
// R split into its digits one per byte as eight_digits of number_format.cpp does,
// `count` of them significant (up to the highest non-zero byte), and the ASCII
// text of all eight bytes, '0' above the digits:
//   - E <= 0: head "0.000000", tail the text at byte 2 - E, length 2 - E + count;
//   - E >= 1: head the text with '.' in byte E (none for E = 8), tail the text
//     from byte E on, put at byte E + 1, length count + 1 when count > E, else E
//     (the whole part, padded by the '0' bytes).
// These are the bytes format_general's layout writes, with its word stores.
#pragma once

#include <bit>
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

// The lanes of one step of a kernel as the compiler's generic vector types,
// kBytes wide (32 for four lanes, 64 for eight), so that the layout below is
// written once and each kernel's file compiles it for its instruction set.
template <int kBytes>
struct TextLanes {
  typedef std::uint64_t U64 __attribute__((vector_size(kBytes)));
  typedef std::int64_t I64 __attribute__((vector_size(kBytes)));
  typedef std::uint32_t U32 __attribute__((vector_size(kBytes)));
  typedef std::uint16_t U16 __attribute__((vector_size(kBytes)));
  typedef std::uint8_t U8 __attribute__((vector_size(kBytes)));
};

template <int kBytes>
struct LanePieces {
  typename TextLanes<kBytes>::U64 head;
  typename TextLanes<kBytes>::U64 tail;
  typename TextLanes<kBytes>::U64 shape;  // as general_digits.h, in the low 32 bits
};

// The pieces of each lane from its digits R (below 10^P, 0 in a lane to leave),
// its exponent E, whether it is negative (1 or 0) and whether it was proved (all
// bits set, or none), as above.
template <int kBytes>
inline LanePieces<kBytes> lay_out_lanes(typename TextLanes<kBytes>::U64 r, typename TextLanes<kBytes>::I64 e,
                                        typename TextLanes<kBytes>::U64 negative,
                                        typename TextLanes<kBytes>::I64 proved, int precision) {
  using U64 = typename TextLanes<kBytes>::U64;
  using I64 = typename TextLanes<kBytes>::I64;
  using U32 = typename TextLanes<kBytes>::U32;
  using U16 = typename TextLanes<kBytes>::U16;
  using U8 = typename TextLanes<kBytes>::U8;
  // The eight digits one per byte, as eight_digits splits them: halves of four
  // digits (R / 10^4 as (R x 3518437209) >> 45, exact below 2^32), pairs, single
  // digits, every step exact on its range (the halves are below 10^4, the pairs
  // below 100) and within its lane; then the 8 - P behind the first P dropped.
  const U64 high = (r * 3518437209u) >> 45;
  U32 split = std::bit_cast<U32>(high | ((r - high * 10000u) << 32));
  const U32 hundreds = (split * 10486u) >> 20;
  split = ((split - hundreds * 100u) << 16) | hundreds;
  U16 pairs = std::bit_cast<U16>(split);
  const U16 tens = (pairs * 103u) >> 10;
  pairs = ((pairs - tens * 10u) << 8) | tens;
  const U64 digits = std::bit_cast<U64>(pairs) >> static_cast<unsigned>(8 * (8 - precision));

  // The significant digits: a byte of 1 for each non-zero digit, spread down to
  // byte 0, then added up.
  U64 filled = std::bit_cast<U64>(std::bit_cast<U8>(digits) != 0) & 0x0101010101010101u;
  filled |= filled >> 8;
  filled |= filled >> 16;
  filled |= filled >> 32;
  filled += filled >> 32;
  filled += filled >> 16;
  filled += filled >> 8;
  const I64 count = std::bit_cast<I64>(filled & 0xFF);

  const U64 text = digits + 0x3030303030303030u;
  const I64 below_one = e < 1;  // all bits set below 1
  // 8 x the digits in front of the point, in two halves, since E = 8 (P = 8)
  // would shift by the whole lane.
  const U64 half_whole_bits = std::bit_cast<U64>((e & ~below_one) << 2);
  const U64 point_at_whole = ((U64{} + 0xFF) << half_whole_bits) << half_whole_bits;
  const U64 with_point = (text & ~point_at_whole) | (0x2E2E2E2E2E2E2E2Eu & point_at_whole);
  const I64 two_less_e = 2 - e;
  const I64 length_from_one = count > e ? count + 1 : e;
  LanePieces<kBytes> pieces;
  pieces.head = below_one ? U64{} + 0x3030303030302E30u : with_point;  // "0.000000"
  pieces.tail = (text >> half_whole_bits) >> half_whole_bits;
  const I64 tail_at = below_one ? two_less_e : e + 1;
  const I64 length = below_one ? two_less_e + count : length_from_one;
  pieces.shape = std::bit_cast<U64>((tail_at | (length << 8) | std::bit_cast<I64>(negative << 16)) & proved);
  return pieces;
}

}  // namespace
}  // namespace floveran
