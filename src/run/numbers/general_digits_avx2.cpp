// The digit kernel for AVX2: general_digits_lanes.h four values at a time.
// Compiled with AVX2 enabled for this file only; called only where the processor
// has it (general_digits.cpp).
#include <immintrin.h>

#include <cstdint>
#include <cstring>

#include "run/numbers/general_digits_lanes.h"
#include "run/numbers/vector_kernels.h"

namespace floveran {
namespace {

void prove_four(const double* values, const DigitBounds& bounds, double precision_less_one, ProvedDigits* digits) {
  const __m256d one = _mm256_set1_pd(1.0);
  const __m256d margin = _mm256_set1_pd(kProofMargin);
  const __m256d limit = _mm256_set1_pd(bounds.limit);
  const __m256d floor_limit = _mm256_set1_pd(bounds.floor_limit);
  const __m256d v = _mm256_and_pd(_mm256_loadu_pd(values), _mm256_castsi256_pd(_mm256_set1_epi64x(INT64_MAX)));

  // The biased binary exponent (1 to 2046 for normal numbers) as a double, from
  // the integer put into the mantissa of 2^52.
  const __m256i biased = _mm256_srli_epi64(_mm256_castpd_si256(v), 52);
  const __m256d two_52 = _mm256_set1_pd(4503599627370496.0);
  const __m256d biased_value = _mm256_sub_pd(_mm256_or_pd(_mm256_castsi256_pd(biased), two_52), two_52);
  __m256d valid = _mm256_and_pd(_mm256_cmp_pd(biased_value, _mm256_set1_pd(1.0), _CMP_GE_OQ),
                                _mm256_cmp_pd(biased_value, _mm256_set1_pd(2046.0), _CMP_LE_OQ));
  const __m256d k = _mm256_floor_pd(_mm256_mul_pd(_mm256_sub_pd(biased_value, _mm256_set1_pd(1023.0)),
                                                  _mm256_set1_pd(kLog10Of2)));
  // The scale P-1-k, held to the table (one place above its low end for the second).
  const __m256d q = _mm256_sub_pd(_mm256_set1_pd(precision_less_one), k);
  const __m256d held = _mm256_min_pd(_mm256_max_pd(q, _mm256_set1_pd(kScaleMin + 1)), _mm256_set1_pd(kScaleMax));
  valid = _mm256_and_pd(valid, _mm256_cmp_pd(q, held, _CMP_EQ_OQ));
  const __m128i index = _mm256_cvttpd_epi32(_mm256_sub_pd(held, _mm256_set1_pd(kScaleMin)));

  // Masked gathers of all four lanes: the plain form starts from an undefined
  // vector, which some compilers warn of.
  const __m256d all = _mm256_castsi256_pd(_mm256_set1_epi64x(-1));
  const __m256d y0 = _mm256_mul_pd(v, _mm256_mask_i32gather_pd(_mm256_setzero_pd(), kScales, index, all, 8));
  const __m256d y1 = _mm256_mul_pd(
      v, _mm256_mask_i32gather_pd(_mm256_setzero_pd(), kScales, _mm_sub_epi32(index, _mm_set1_epi32(1)), all, 8));
  const __m256d scaled_again = _mm256_cmp_pd(y0, limit, _CMP_GE_OQ);
  const __m256d y = _mm256_blendv_pd(y0, y1, scaled_again);
  __m256d exponent = _mm256_add_pd(_mm256_add_pd(k, one), _mm256_and_pd(scaled_again, one));
  valid = _mm256_and_pd(valid, _mm256_cmp_pd(_mm256_sub_pd(y, margin), floor_limit, _CMP_GE_OQ));
  valid = _mm256_and_pd(valid, _mm256_cmp_pd(_mm256_add_pd(y, margin), limit, _CMP_LT_OQ));

  const __m256d z = _mm256_add_pd(y, _mm256_set1_pd(bounds.half_up));
  __m256d r = _mm256_floor_pd(z);
  const __m256d fraction = _mm256_sub_pd(z, r);
  valid = _mm256_and_pd(valid, _mm256_cmp_pd(fraction, margin, _CMP_GT_OQ));
  valid = _mm256_and_pd(valid, _mm256_cmp_pd(fraction, _mm256_sub_pd(one, margin), _CMP_LT_OQ));

  const __m256d carry = _mm256_cmp_pd(r, limit, _CMP_EQ_OQ);
  r = _mm256_blendv_pd(r, floor_limit, carry);
  exponent = _mm256_add_pd(exponent, _mm256_and_pd(carry, one));

  // Digits 0 in the lanes that proved nothing.
  const __m128i r32 = _mm256_cvttpd_epi32(_mm256_and_pd(r, valid));
  const __m128i e32 = _mm256_cvttpd_epi32(_mm256_and_pd(exponent, valid));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(digits), _mm_unpacklo_epi32(r32, e32));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(digits + 2), _mm_unpackhi_epi32(r32, e32));
}

}  // namespace

void prove_general_digits_avx2(const double* values, int count, int precision, ProvedDigits* digits) {
  if (precision < 1 || precision > kMaxBatchPrecision) {
    for (int i = 0; i < count; ++i) digits[i] = {0, 0};
    return;
  }
  const DigitBounds bounds = digit_bounds(precision);
  const double precision_less_one = precision - 1;
  int i = 0;
  for (; i + 4 <= count; i += 4) prove_four(values + i, bounds, precision_less_one, digits + i);
  if (i < count) {
    // The last one to three values, with zeros (which prove nothing) behind them.
    double rest[4] = {};
    ProvedDigits proved[4];
    const auto n = static_cast<std::size_t>(count - i);
    std::memcpy(rest, values + i, n * sizeof(double));
    prove_four(rest, bounds, precision_less_one, proved);
    std::memcpy(digits + i, proved, n * sizeof(ProvedDigits));
  }
}

}  // namespace floveran
