// The walk of the scan kernels over a block of 64 bytes, shared by the vector
// levels: the classes of the bytes come as bit masks, one bit per byte; the tokens
// of the block (runs of bytes that are not white space) are taken in order from
// masks of their first digits and last bytes, and each value's digits are added up with
// 16-byte vector arithmetic. Included only by the files compiled for a vector
// level; everything here has internal linkage, so each level keeps its own copy
// built for its instruction set.
//
// Why the values are those of the grammar. A value is taken only when its text is
// tabs and blanks, an optional sign, 1 to 15 digits with at most one point, and a
// white-space byte: the grammar skips the same white space, takes the same sign,
// digits and point, and stops at that byte, which can continue no number. It keeps
// the same digits (at most 15, below 2^53) and decimal exponent, and converts them
// with scale_exactly: their exact value divided by 10^f for f digits behind the
// point, or multiplied by 10^0 = 1, which is as exact as the division by 1 here.
#pragma once

#include <immintrin.h>

#include <cstdint>
#include <cstring>

#include "run/numbers/decimal.h"
#include "run/numbers/plain_values.h"

namespace floveran {
namespace {

// One bit per byte of a 64-byte block, byte 0 in bit 0.
struct ByteClasses {
  std::uint64_t blank;   // tab or blank: what may stand in front of a value
  std::uint64_t space;   // any of the six white-space bytes: what may end one
  std::uint64_t number;  // a digit or a point
  std::uint64_t point;
  std::uint64_t sign;    // + or -
  std::uint64_t minus;   // -
};

constexpr long kBlockBytes = 64;
constexpr int kMaxPlainDigits = 15;

// The number of zero bits below the lowest set bit of x, 64 for x = 0: one
// instruction of BMI1, which every vector level has, and no branch.
inline unsigned trailing_zeros(std::uint64_t x) { return static_cast<unsigned>(_tzcnt_u64(x)); }

// The byte shuffles that close the gap of the point: for a value whose last f
// digits stand behind its point, loaded so that its last digit is byte 15, entry
// f + 1 keeps bytes 16 - f to 15 and moves every byte below the point up by one
// (byte 0 becomes zero); entry 0, for a value without a point, keeps every byte.
constexpr int kPointShapes = kMaxPlainDigits + 2;
alignas(16) constexpr auto kPointShuffles = [] {
  struct Table {
    signed char bytes[kPointShapes][16];
  } table{};
  for (int shape = 0; shape < kPointShapes; ++shape) {
    const int point = 16 - shape;  // the byte of the point, for shape >= 1
    for (int j = 0; j < 16; ++j) {
      const int from = shape == 0 || j > point ? j : j - 1;
      table.bytes[shape][j] = static_cast<signed char>(from < 0 ? -128 : from);
    }
  }
  return table;
}();

// 16 zero bytes, then 16 bytes of all ones: the 16 bytes from entry n keep the
// highest n bytes of a vector.
alignas(16) constexpr signed char kKeepHighBytes[32] = {0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,
                                                        0,  0,  0,  0,  0,  -1, -1, -1, -1, -1, -1,
                                                        -1, -1, -1, -1, -1, -1, -1, -1, -1, -1};

// The value of the nd digits (1 to 15) that end at byte 15 of the 16 bytes at
// `text`, with the point, when `shape` is not 0, at byte 16 - shape: the point's
// gap closed by one byte shuffle, the bytes in front of the digits cleared, and
// the digits added up as pairs, quadruples and octets by multiply-add; the two
// octets, converted to doubles, then give the value as first x 10^8 + second,
// exactly, since every term and the sum stay below 10^15 < 2^53.
inline double plain_digits_value(const char* text, int nd, unsigned shape) {
  const __m128i bytes = _mm_sub_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(text)), _mm_set1_epi8('0'));
  const __m128i moved =
      _mm_shuffle_epi8(bytes, _mm_load_si128(reinterpret_cast<const __m128i*>(kPointShuffles.bytes[shape])));
  const __m128i digits =
      _mm_and_si128(moved, _mm_loadu_si128(reinterpret_cast<const __m128i*>(kKeepHighBytes + nd)));
  const __m128i pairs = _mm_maddubs_epi16(digits, _mm_setr_epi8(10, 1, 10, 1, 10, 1, 10, 1, 10, 1, 10, 1, 10, 1, 10, 1));
  const __m128i quads = _mm_madd_epi16(pairs, _mm_setr_epi16(100, 1, 100, 1, 100, 1, 100, 1));
  const __m128i packed = _mm_packus_epi32(quads, quads);
  const __m128i octets = _mm_madd_epi16(packed, _mm_setr_epi16(10000, 1, 10000, 1, 10000, 1, 10000, 1));
  const __m128d both = _mm_cvtepi32_pd(octets);
  return _mm_cvtsd_f64(_mm_add_sd(_mm_mul_sd(both, _mm_set_sd(1e8)), _mm_unpackhi_pd(both, both)));
}

// Reads values from `first` as plain_values.h describes, with Classify giving the
// classes of the 64 bytes at a pointer. Each block starts where the walk stands
// (the white-space byte behind the last value read); its tokens are read while
// they end inside it, then the next block starts behind the last of them.
template <ByteClasses (*Classify)(const char*)>
inline PlainValuesEnd walk_plain_values(const char* floor, const char* first, const char* last, double* values,
                                        int count) {
  const char* p = first;
  int read = 0;
  while (read < count && last - p >= kBlockBytes) {
    const char* const base = p;
    const ByteClasses m = Classify(base);
    // The digits are loaded from the 16 bytes that end at a value's last byte,
    // which may reach up to 15 bytes in front of the block; near `floor` they come
    // from a copy of the block behind 16 blanks.
    const char* text = base;
    char copy[16 + kBlockBytes];
    if (base - floor < 16) {
      std::memset(copy, ' ', 16);
      std::memcpy(copy + 16, base, kBlockBytes);
      text = copy + 16;
    }
    const std::uint64_t token = ~m.space;
    // The first digit or point of every token, and the last byte of every token
    // with white space behind it in the block. In the tokens that pass `limit`
    // below, each is an optional sign and then digits and points, so these pair
    // up in order; a token of a sign alone has no first digit, and the first
    // digit paired with its end lies behind it, which ends the walk there.
    std::uint64_t digits_start = m.number & ~(m.number << 1);
    std::uint64_t ends = token & (m.space >> 1);
    // The first byte that no plain value may hold or have in front of it: in a
    // token, anything but digits, points and a sign in front; between tokens,
    // white space other than tabs and blanks (a line end).
    const unsigned limit = trailing_zeros((token & ~m.number & ~(m.sign & token & ~(token << 1))) |
                                          (m.space & ~m.blank));
    // A minus in front of the first digit, moved onto it.
    const std::uint64_t negative = m.minus << 1;
    std::uint64_t points = m.point;
    for (;;) {
      const unsigned end = trailing_zeros(ends);  // the value's last byte
      if (end >= limit) {
        // A byte that ends the walk comes first, or no token ends in this block
        // any more: the walk goes on from a new block when this one gave values.
        if (limit < kBlockBytes || p == base) return {read, p};
        break;
      }
      const unsigned start = trailing_zeros(digits_start);
      const std::uint64_t through_end = ends ^ (ends - 1);  // bits 0 to end
      digits_start &= digits_start - 1;
      ends &= ends - 1;
      const std::uint64_t value_points = points & through_end;
      points &= ~through_end;
      const unsigned has_point = value_points != 0 ? 1u : 0u;
      const int nd = static_cast<int>(end + 1 - start - has_point);
      if ((value_points & (value_points - 1)) != 0 || nd < 1 || nd > kMaxPlainDigits) return {read, p};
      const unsigned fraction = has_point != 0 ? end - trailing_zeros(value_points) : 0u;
      const unsigned shape = has_point != 0 ? fraction + 1 : 0u;
      // As scale_exactly(w, -fraction), which multiplies by 1 where this divides.
      const double magnitude = plain_digits_value(text + end - 15, nd, shape) / kExactPowersOfTen[fraction];
      values[read++] = ((negative >> start) & 1u) != 0 ? -magnitude : magnitude;
      p = base + end + 1;
      if (read == count) return {read, p};
    }
  }
  return {read, p};
}

}  // namespace
}  // namespace floveran
