// The walk of the scan kernels over a block of 64 bytes, shared by the vector
// levels: the classes of the bytes come as bit masks, one bit per byte; each value
// is cut out of the masks and its digits added up with 16-byte vector arithmetic.
// Included only by the files compiled for a vector level; everything here has
// internal linkage, so each level keeps its own copy built for its instruction
// set.
//
// Why the values are those of the grammar. A value is taken only when its text is
// tabs and blanks, an optional sign, 1 to 15 digits with at most one point, and a
// white-space byte: the grammar skips the same white space, takes the same sign,
// digits and point, and stops at that byte, which can continue no number. It keeps
// the same digits (at most 15, below 2^53) and decimal exponent, and converts them
// with scale_exactly, as done here.
#pragma once

#include <immintrin.h>

#include <cstdint>

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
};

constexpr unsigned kBlockBytes = 64;

// The number of zero bits below the lowest set bit of x, 64 for x = 0 (a block of
// 64 blanks or digits).
inline unsigned trailing_zeros(std::uint64_t x) { return x == 0 ? 64u : static_cast<unsigned>(__builtin_ctzll(x)); }
constexpr int kMaxPlainDigits = 15;

// The value of the nd digits (1 to 15) at `text`, the first `whole` of them in
// front of a point that is skipped. The 16 bytes from `text` are loaded, the
// digits moved to the end of a 16-byte vector with zeros in front (one byte
// shuffle: the indexes in front are negative, which the shuffle turns into zero
// bytes, and those behind the point are raised by one), and added up as pairs,
// quadruples and octets by multiply-add.
inline std::uint64_t plain_digits_value(const char* text, int nd, int whole) {
  const __m128i bytes = _mm_sub_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(text)), _mm_set1_epi8('0'));
  const __m128i positions = _mm_setr_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
  __m128i index = _mm_add_epi8(positions, _mm_set1_epi8(static_cast<char>(nd - 16)));
  index = _mm_sub_epi8(index, _mm_cmpgt_epi8(index, _mm_set1_epi8(static_cast<char>(whole - 1))));
  const __m128i digits = _mm_shuffle_epi8(bytes, index);
  const __m128i pairs = _mm_maddubs_epi16(digits, _mm_setr_epi8(10, 1, 10, 1, 10, 1, 10, 1, 10, 1, 10, 1, 10, 1, 10, 1));
  const __m128i quads = _mm_madd_epi16(pairs, _mm_setr_epi16(100, 1, 100, 1, 100, 1, 100, 1));
  const __m128i packed = _mm_packus_epi32(quads, quads);
  const __m128i octets = _mm_madd_epi16(packed, _mm_setr_epi16(10000, 1, 10000, 1, 10000, 1, 10000, 1));
  const auto both = static_cast<std::uint64_t>(_mm_cvtsi128_si64(octets));
  return (both & 0xFFFFFFFFu) * 100000000u + (both >> 32);
}

// Reads values from `first` as plain_values.h describes, with Classify giving the
// classes of the 64 bytes at a pointer. A block is classified where the walk
// starts and again where a value does not fit into the rest of the block; a value
// that does not fit into a block of its own ends the walk.
template <ByteClasses (*Classify)(const char*)>
inline PlainValuesEnd walk_plain_values(const char* first, const char* last, double* values, int count) {
  const char* p = first;
  int read = 0;
  if (last - p < kPlainValuesReach) return {0, p};
  const char* base = p;
  ByteClasses m = Classify(base);
  while (read < count) {
    const auto offset = static_cast<unsigned>(p - base);
    // The value: `start` its first byte, `digits_at` behind the sign, `end` the
    // byte behind it. Shifts stay below 64: offset and start are at most 48 here.
    const unsigned start = offset + trailing_zeros(~(m.blank >> offset));
    const unsigned sign = start < kBlockBytes ? static_cast<unsigned>(m.sign >> start) & 1u : 0u;
    const unsigned digits_at = start + sign;
    const unsigned length =
        digits_at < kBlockBytes ? trailing_zeros(~(m.number >> digits_at)) : 0u;
    const unsigned end = digits_at + length;
    if (digits_at > kBlockBytes - 16 || end >= kBlockBytes) {
      // It may fit into a block that starts where it does.
      if (offset == 0 || last - p < kPlainValuesReach) break;
      base = p;
      m = Classify(base);
      continue;
    }
    if (((m.space >> end) & 1u) == 0 || length > kMaxPlainDigits + 1) break;
    const std::uint64_t points = (m.point >> digits_at) & ((std::uint64_t{1} << length) - 1);
    if ((points & (points - 1)) != 0) break;
    const int nd = static_cast<int>(length) - (points != 0 ? 1 : 0);
    if (nd == 0 || nd > kMaxPlainDigits) break;
    const int whole = points != 0 ? __builtin_ctzll(points) : nd;
    const double magnitude = scale_exactly(plain_digits_value(base + digits_at, nd, whole), whole - nd);
    values[read++] = sign != 0 && base[start] == '-' ? -magnitude : magnitude;
    p = base + end;
  }
  return {read, p};
}

}  // namespace
}  // namespace floveran
