// The general form for a batch of values at once: the vector kernels of the
// active level find, four or eight values at a time, the leading digits and
// decimal exponent that format_general writes, wherever they can prove them, and
// lay out the text of each value whose form has no exponent part as two words
// and a length (put_general_pieces of general_layout.h puts them together); the
// others are marked, and format_general writes them on its own.
#pragma once

#include <cstdint>

namespace floveran {

// The text of format_general(value, precision) for each of the `count` values
// where the active level proves its digits and the form has no exponent part
// (10^-4 <= |value| < 10^P after rounding): the eight bytes of heads[i] first,
// then the eight of tails[i] from byte (shapes[i] & 0xFF), of which the first
// ((shapes[i] >> 8) & 0xFF) bytes are the text, behind a '-' when
// (shapes[i] >> 16) is 1. shapes[i] is 0 for every other value. False at the
// scalar level, which lays out none and leaves the arrays as they were.
bool prove_general_texts(const double* values, int count, int precision, std::uint64_t* heads,
                         std::uint64_t* tails, std::uint32_t* shapes);

// The greatest precision the kernels serve; above it they lay out nothing.
inline constexpr int kMaxBatchPrecision = 8;

}  // namespace floveran
