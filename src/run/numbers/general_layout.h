// The general form laid out from its proved leading digits: the last step of
// format_general's fast path and of the record loop's batches of digits, inline
// in both so that the word stores fold with the precision and the digits.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

#include "run/numbers/byte_words.h"

namespace floveran {

inline constexpr char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// The eight decimal digits of x < 10^8, most significant first, one per byte of
// the result in the order of byte_words.h (byte 0 is the lowest), as digit values
// 0 to 9. Splits x into two 4-digit halves, each half into two 2-digit
// lanes, each lane into two digits, all lanes at once: x / 100 for x < 10^4 is
// (x x 10486) >> 20 and x / 10 for x < 100 is (x x 103) >> 10, exact on those
// ranges, and no lane carries into the next.
inline std::uint64_t eight_digits(std::uint32_t x) {
  std::uint64_t v = (x / 10000) | (std::uint64_t{x % 10000} << 32);
  const std::uint64_t hundreds = ((v * 10486) >> 20) & 0x0000007F0000007FULL;
  v = ((v - hundreds * 100) << 16) | hundreds;
  const std::uint64_t tens = ((v * 103) >> 10) & 0x000F000F000F000FULL;
  return ((v - tens * 10) << 8) | tens;
}

inline constexpr std::uint64_t kAsciiZeros = 0x3030303030303030ULL;

// General notation of the leading digits r (10^(P-1) <= r < 10^P, P <= 8) with
// decimal exponent e. The digits are laid out with whole 8-byte stores; `out`
// has room for kFormatCapacity bytes, far more than the stores reach.
inline char* lay_out_general(bool negative, std::uint32_t r, int e, int precision, char* out) {
  // The P digits in bytes 0 to P-1, the bytes above them zero; the first digit is
  // not zero, so the highest non-zero byte is the last significant digit.
  const std::uint64_t digits = eight_digits(r) >> (8 * (8 - precision));
  const int count = 8 - (std::countl_zero(digits) >> 3);
  const std::uint64_t text = digits + kAsciiZeros;

  if (negative) *out++ = '-';
  const int x = e - 1;
  if (x < -4 || x >= precision) {
    out[0] = static_cast<char>(text);
    if (count > 1) {
      out[1] = '.';
      store_word(out + 2, text >> 8);
      out += count + 1;
    } else {
      out += 1;
    }
    const int magnitude = x < 0 ? -x : x;
    const auto pair = static_cast<std::size_t>(magnitude % 100) * 2;
    out[0] = 'e';
    out[1] = x < 0 ? '-' : '+';
    out[2] = static_cast<char>('0' + magnitude / 100);
    out[3] = kDigitPairs[pair];
    out[4] = kDigitPairs[pair + 1];
    return out + 5;
  }
  if (x >= 0) {
    const int whole = x + 1;  // 1 to P
    store_word(out, text);
    if (count <= whole) {
      store_word(out + count, kAsciiZeros);
      return out + whole;
    }
    store_word(out + whole + 1, text >> (8 * whole));  // whole < count <= 8
    out[whole] = '.';
    return out + count + 1;
  }
  store_word(out, 0x3030303030302E30ULL);  // "0.000000"
  const int zeros = -x - 1;            // 0 to 3
  store_word(out + 2 + zeros, text);
  return out + 2 + zeros + count;
}

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
