// The scan kernel for AVX2: the classes of a 64-byte block from two 32-byte
// vectors, by byte compares whose sign bits are gathered into masks.
// Compiled with AVX2 and BMI enabled for this file only; called only where the
// processor has them (plain_values.cpp).
#include <immintrin.h>

#include <cstdint>

#include "run/numbers/plain_values_walk.h"
#include "run/numbers/vector_kernels.h"

namespace floveran {
namespace {

std::uint64_t masks_of(__m256i low_half, __m256i high_half) {
  return static_cast<std::uint32_t>(_mm256_movemask_epi8(low_half)) |
         (std::uint64_t{static_cast<std::uint32_t>(_mm256_movemask_epi8(high_half))} << 32);
}

// Bytes of x within [low, low + span], as unsigned bytes.
__m256i in_range(__m256i x, char low, char span) {
  const __m256i shifted = _mm256_sub_epi8(x, _mm256_set1_epi8(low));
  return _mm256_cmpeq_epi8(_mm256_min_epu8(shifted, _mm256_set1_epi8(span)), shifted);
}

[[gnu::always_inline]] inline ByteClasses classify_avx2(const char* p) {
  __m256i blank[2], space[2], number[2], point[2], sign[2];
  for (int half = 0; half < 2; ++half) {
    const __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 32 * half));
    const __m256i is_blank = _mm256_cmpeq_epi8(x, _mm256_set1_epi8(' '));
    blank[half] = _mm256_or_si256(_mm256_cmpeq_epi8(x, _mm256_set1_epi8('\t')), is_blank);
    space[half] = _mm256_or_si256(in_range(x, '\t', '\r' - '\t'), is_blank);
    point[half] = _mm256_cmpeq_epi8(x, _mm256_set1_epi8('.'));
    number[half] = _mm256_or_si256(in_range(x, '0', 9), point[half]);
    sign[half] = _mm256_or_si256(_mm256_cmpeq_epi8(x, _mm256_set1_epi8('-')), _mm256_cmpeq_epi8(x, _mm256_set1_epi8('+')));
  }
  return {masks_of(blank[0], blank[1]), masks_of(space[0], space[1]), masks_of(number[0], number[1]),
          masks_of(point[0], point[1]), masks_of(sign[0], sign[1])};
}

}  // namespace

PlainValuesEnd scan_plain_values_avx2(const char* floor, const char* first, const char* last, double* values,
                                      int count) {
  return walk_plain_values<classify_avx2>(floor, first, last, values, count);
}

}  // namespace floveran
