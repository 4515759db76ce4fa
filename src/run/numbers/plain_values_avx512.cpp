// The scan kernel for AVX-512: the classes of a 64-byte block from one 64-byte
// vector, each compare giving its mask directly.
// Compiled with AVX-512 F, BW, VL and DQ enabled for this file only; called only
// where the processor has them (plain_values.cpp).
#include <immintrin.h>

#include <cstdint>

#include "run/numbers/plain_values_walk.h"
#include "run/numbers/vector_kernels.h"

namespace floveran {
namespace {

[[gnu::always_inline]] inline ByteClasses classify_avx512(const char* p) {
  const __m512i x = _mm512_loadu_si512(p);
  const std::uint64_t blank = _mm512_cmpeq_epi8_mask(x, _mm512_set1_epi8(' '));
  const std::uint64_t point = _mm512_cmpeq_epi8_mask(x, _mm512_set1_epi8('.'));
  const std::uint64_t digit = _mm512_cmple_epu8_mask(_mm512_sub_epi8(x, _mm512_set1_epi8('0')), _mm512_set1_epi8(9));
  const std::uint64_t controls =
      _mm512_cmple_epu8_mask(_mm512_sub_epi8(x, _mm512_set1_epi8('\t')), _mm512_set1_epi8('\r' - '\t'));
  const std::uint64_t minus = _mm512_cmpeq_epi8_mask(x, _mm512_set1_epi8('-'));
  return {blank | _mm512_cmpeq_epi8_mask(x, _mm512_set1_epi8('\t')), blank | controls, digit | point, point,
          minus | _mm512_cmpeq_epi8_mask(x, _mm512_set1_epi8('+')), minus};
}

}  // namespace

PlainValuesEnd scan_plain_values_avx512(const char* floor, const char* first, const char* last, double* values,
                                        int count) {
  return walk_plain_values<classify_avx512>(floor, first, last, values, count);
}

}  // namespace floveran
