// Eight bytes as one 64-bit word, byte 0 (the lowest address) in the lowest bits,
// on every byte order. The word-at-a-time scanner and writer are written against
// this layout; on little-endian machines a load or store is one plain move, on
// others the bytes are assembled one by one. FLOVERAN_PORTABLE_WORDS forces that
// byte-by-byte path everywhere, so that it is built and tested here too.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

namespace floveran {

inline constexpr bool kWordsAreNative =
#ifdef FLOVERAN_PORTABLE_WORDS
    false;
#else
    std::endian::native == std::endian::little;
#endif

inline std::uint64_t load_word(const char* p) {
  if constexpr (kWordsAreNative) {
    std::uint64_t x;
    std::memcpy(&x, p, 8);
    return x;
  } else {
    std::uint64_t x = 0;
    for (int i = 7; i >= 0; --i) x = (x << 8) | static_cast<unsigned char>(p[i]);
    return x;
  }
}

inline void store_word(char* p, std::uint64_t x) {
  if constexpr (kWordsAreNative) {
    std::memcpy(p, &x, 8);
  } else {
    for (int i = 0; i < 8; ++i) p[i] = static_cast<char>((x >> (8 * i)) & 0xFF);
  }
}

}  // namespace floveran
