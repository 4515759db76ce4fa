// The text kernel for AVX2: general_digits_lanes.h four values at a time.
// Compiled with AVX2 enabled for this file only; called only where the processor
// has it (general_digits.cpp).
#include <immintrin.h>

#include <bit>
#include <cstdint>
#include <cstring>

#include "run/numbers/general_digits_lanes.h"
#include "run/numbers/vector_kernels.h"

namespace floveran {
namespace {

[[gnu::always_inline]] inline void prove_four(const double* values, const DigitBounds& bounds, int precision,
                                              std::uint64_t* heads, std::uint64_t* tails, std::uint32_t* shapes) {
  const double precision_less_one = precision - 1;
  const __m256d one = _mm256_set1_pd(1.0);
  const __m256d margin = _mm256_set1_pd(kProofMargin);
  const __m256d limit = _mm256_set1_pd(bounds.limit);
  const __m256d floor_limit = _mm256_set1_pd(bounds.floor_limit);
  const __m256d signed_values = _mm256_loadu_pd(values);
  const __m256d v = _mm256_and_pd(signed_values, _mm256_castsi256_pd(_mm256_set1_epi64x(INT64_MAX)));

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

  // Only forms without an exponent part are laid out here.
  valid = _mm256_and_pd(valid, _mm256_cmp_pd(exponent, _mm256_set1_pd(-3.0), _CMP_GE_OQ));
  valid = _mm256_and_pd(valid, _mm256_cmp_pd(exponent, _mm256_add_pd(_mm256_set1_pd(precision_less_one), one),
                                             _CMP_LE_OQ));

  using Lanes = TextLanes<32>;
  const __m256i all_digits = _mm256_cvtepu32_epi64(_mm256_cvttpd_epi32(_mm256_and_pd(r, valid)));
  const __m256i exponents = _mm256_cvtepi32_epi64(_mm256_cvttpd_epi32(_mm256_and_pd(exponent, valid)));
  const __m256i negative = _mm256_srli_epi64(_mm256_castpd_si256(signed_values), 63);
  const LanePieces<32> pieces = lay_out_lanes<32>(
      std::bit_cast<Lanes::U64>(all_digits), std::bit_cast<Lanes::I64>(exponents), std::bit_cast<Lanes::U64>(negative),
      std::bit_cast<Lanes::I64>(_mm256_castpd_si256(valid)), precision);
  const __m128i shapes32 = _mm256_castsi256_si128(_mm256_permutevar8x32_epi32(
      std::bit_cast<__m256i>(pieces.shape), _mm256_setr_epi32(0, 2, 4, 6, 0, 2, 4, 6)));
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(heads), std::bit_cast<__m256i>(pieces.head));
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(tails), std::bit_cast<__m256i>(pieces.tail));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(shapes), shapes32);
}

}  // namespace

void prove_general_texts_avx2(const double* values, int count, int precision, std::uint64_t* heads,
                              std::uint64_t* tails, std::uint32_t* shapes) {
  if (precision < 1 || precision > kMaxBatchPrecision) {
    for (int i = 0; i < count; ++i) shapes[i] = 0;
    return;
  }
  const DigitBounds bounds = digit_bounds(precision);
  int i = 0;
  for (; i + 4 <= count; i += 4) {
    prove_four(values + i, bounds, precision, heads + i, tails + i, shapes + i);
  }
  if (i < count) {
    // The last one to three values, with zeros (which prove nothing) behind them.
    double rest[4] = {};
    std::uint64_t rest_heads[4];
    std::uint64_t rest_tails[4];
    std::uint32_t rest_shapes[4];
    const auto n = static_cast<std::size_t>(count - i);
    std::memcpy(rest, values + i, n * sizeof(double));
    prove_four(rest, bounds, precision, rest_heads, rest_tails, rest_shapes);
    std::memcpy(heads + i, rest_heads, n * sizeof(std::uint64_t));
    std::memcpy(tails + i, rest_tails, n * sizeof(std::uint64_t));
    std::memcpy(shapes + i, rest_shapes, n * sizeof(std::uint32_t));
  }
}

}  // namespace floveran
