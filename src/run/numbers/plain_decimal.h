// The common case of a table value, read eight bytes at a time: a sign, at most
// 19 digits with an optional point, no exponent, and behind it a byte that cannot
// continue a number. For such text the full grammar of scan.cpp collects the same
// digits and decimal exponent and converts them by the same one exact operation,
// so the value is the same to the bit. Anything else is left to the grammar.
#pragma once

#include <cstddef>

namespace floveran {

// Bytes the fast path needs in the span behind the number's first byte: the sign,
// 19 digits, the point and the byte that ends it, with margin. Closer to the end
// of the span it leaves the number to the grammar.
inline constexpr std::ptrdiff_t kPlainNumberReach = 32;

// The plain number starting at `first` (behind the white space): assigns it and
// returns where it stopped, or returns nullptr and assigns nothing when the text
// is not such a number or lies within kPlainNumberReach of `last`.
const char* scan_plain_decimal(const char* first, const char* last, double& value);

}  // namespace floveran
