// The text kernel for AVX-512: general_digits_lanes.h eight values at a time,
// with mask registers for the lanes that prove their digits.
// Compiled with AVX-512 F, BW, VL and DQ enabled for this file only; called only
// where the processor has them (general_digits.cpp).
#include <immintrin.h>

#include <bit>
#include <cstdint>

#include "run/numbers/general_digits_lanes.h"
#include "run/numbers/vector_kernels.h"

namespace floveran {
namespace {

// The eight lanes of values[0 .. 7] selected by `lanes` (the others are taken as
// zero, which proves nothing), their pieces stored for the same lanes.
[[gnu::always_inline]] inline void prove_eight(const double* values, __mmask8 lanes, const DigitBounds& bounds,
                                               int precision, std::uint64_t* heads, std::uint64_t* tails,
                                               std::uint32_t* shapes) {
  const double precision_less_one = precision - 1;
  const __m512d one = _mm512_set1_pd(1.0);
  const __m512d margin = _mm512_set1_pd(kProofMargin);
  const __m512d limit = _mm512_set1_pd(bounds.limit);
  const __m512d floor_limit = _mm512_set1_pd(bounds.floor_limit);
  const __m512d signed_values = _mm512_maskz_loadu_pd(lanes, values);
  const __m512d v = _mm512_abs_pd(signed_values);

  const __m512i biased = _mm512_srli_epi64(_mm512_castpd_si512(v), 52);
  __mmask8 valid = _mm512_cmpge_epu64_mask(biased, _mm512_set1_epi64(1)) &
                   _mm512_cmple_epu64_mask(biased, _mm512_set1_epi64(2046));
  const __m512d k = _mm512_roundscale_pd(
      _mm512_mul_pd(_mm512_cvtepi64_pd(_mm512_sub_epi64(biased, _mm512_set1_epi64(1023))), _mm512_set1_pd(kLog10Of2)),
      _MM_FROUND_TO_NEG_INF | _MM_FROUND_NO_EXC);
  const __m512d q = _mm512_sub_pd(_mm512_set1_pd(precision_less_one), k);
  const __m512d held = _mm512_min_pd(_mm512_max_pd(q, _mm512_set1_pd(kScaleMin + 1)), _mm512_set1_pd(kScaleMax));
  valid &= _mm512_cmp_pd_mask(q, held, _CMP_EQ_OQ);
  const __m256i index = _mm512_cvttpd_epi32(_mm512_sub_pd(held, _mm512_set1_pd(kScaleMin)));

  // Masked gathers of all eight lanes: the plain form starts from an undefined
  // vector, which some compilers warn of.
  const __m512d y0 = _mm512_mul_pd(v, _mm512_mask_i32gather_pd(_mm512_setzero_pd(), 0xFF, index, kScales, 8));
  const __m512d y1 = _mm512_mul_pd(
      v, _mm512_mask_i32gather_pd(_mm512_setzero_pd(), 0xFF, _mm256_sub_epi32(index, _mm256_set1_epi32(1)), kScales, 8));
  const __mmask8 scaled_again = _mm512_cmp_pd_mask(y0, limit, _CMP_GE_OQ);
  const __m512d y = _mm512_mask_blend_pd(scaled_again, y0, y1);
  __m512d exponent = _mm512_mask_add_pd(_mm512_add_pd(k, one), scaled_again, _mm512_add_pd(k, one), one);
  valid &= _mm512_cmp_pd_mask(_mm512_sub_pd(y, margin), floor_limit, _CMP_GE_OQ);
  valid &= _mm512_cmp_pd_mask(_mm512_add_pd(y, margin), limit, _CMP_LT_OQ);

  const __m512d z = _mm512_add_pd(y, _mm512_set1_pd(bounds.half_up));
  __m512d r = _mm512_roundscale_pd(z, _MM_FROUND_TO_NEG_INF | _MM_FROUND_NO_EXC);
  const __m512d fraction = _mm512_sub_pd(z, r);
  valid &= _mm512_cmp_pd_mask(fraction, margin, _CMP_GT_OQ);
  valid &= _mm512_cmp_pd_mask(fraction, _mm512_sub_pd(one, margin), _CMP_LT_OQ);

  const __mmask8 carry = _mm512_cmp_pd_mask(r, limit, _CMP_EQ_OQ);
  r = _mm512_mask_blend_pd(carry, r, floor_limit);
  exponent = _mm512_mask_add_pd(exponent, carry, exponent, one);

  // Only forms without an exponent part are laid out here.
  valid &= _mm512_cmp_pd_mask(exponent, _mm512_set1_pd(-3.0), _CMP_GE_OQ);
  valid &= _mm512_cmp_pd_mask(exponent, _mm512_add_pd(_mm512_set1_pd(precision_less_one), one), _CMP_LE_OQ);

  using Lanes = TextLanes<64>;
  const __m512i all_digits = _mm512_maskz_cvttpd_epu64(valid, r);
  const __m512i exponents = _mm512_maskz_cvttpd_epi64(valid, exponent);
  const __m512i negative = _mm512_srli_epi64(_mm512_castpd_si512(signed_values), 63);
  const LanePieces<64> pieces = lay_out_lanes<64>(
      std::bit_cast<Lanes::U64>(all_digits), std::bit_cast<Lanes::I64>(exponents), std::bit_cast<Lanes::U64>(negative),
      std::bit_cast<Lanes::I64>(_mm512_movm_epi64(valid)), precision);
  _mm512_mask_storeu_epi64(heads, lanes, std::bit_cast<__m512i>(pieces.head));
  _mm512_mask_storeu_epi64(tails, lanes, std::bit_cast<__m512i>(pieces.tail));
  _mm256_mask_storeu_epi32(shapes, lanes, _mm512_cvtepi64_epi32(std::bit_cast<__m512i>(pieces.shape)));
}

}  // namespace

void prove_general_texts_avx512(const double* values, int count, int precision, std::uint64_t* heads,
                                std::uint64_t* tails, std::uint32_t* shapes) {
  if (precision < 1 || precision > kMaxBatchPrecision) {
    for (int i = 0; i < count; ++i) shapes[i] = 0;
    return;
  }
  const DigitBounds bounds = digit_bounds(precision);
  for (int i = 0; i < count; i += 8) {
    const int n = count - i < 8 ? count - i : 8;
    const auto lanes = static_cast<__mmask8>((1u << n) - 1);
    prove_eight(values + i, lanes, bounds, precision, heads + i, tails + i, shapes + i);
  }
}

}  // namespace floveran
