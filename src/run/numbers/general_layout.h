// The general form of a value from the pieces that the batch kernels lay out
// (general_digits.h): a sign, two word stores and a length, inline in the record
// loop's batch writer.
#pragma once

#include <cstddef>
#include <cstdint>

#include "run/numbers/byte_words.h"

namespace floveran {

// The text of a value that the batch kernels laid out in pieces (general_digits.h,
// shape not 0): a '-' for a negative value, then the head and the tail words.
// `out` has room for kGeneralPiecesRoom bytes, which the stores may reach.
inline constexpr std::size_t kGeneralPiecesRoom = 24;
inline char* put_general_pieces(std::uint64_t head, std::uint64_t tail, std::uint32_t shape, char* out) {
  out[0] = '-';
  out += shape >> 16;
  store_word(out, head);
  store_word(out + (shape & 0xFF), tail);
  return out + ((shape >> 8) & 0xFF);
}

}  // namespace floveran
