// The text kernel for AVX-512: general_digits_lanes.h eight values at a time,
// with mask registers for the lanes that prove their digits.
// Compiled with AVX-512 F, BW, VL and DQ enabled for this file only; called only
// where the processor has them (general_digits.cpp).
#include <immintrin.h>

#include <cstdint>

#include "run/numbers/general_digits_lanes.h"
#include "run/numbers/vector_kernels.h"

namespace floveran {
namespace {

// The eight lanes of values[0 .. 7] selected by `lanes` (the others are taken as
// zero, which proves nothing), their pieces stored for the same lanes.
void prove_eight(const double* values, __mmask8 lanes, const DigitBounds& bounds, double precision_less_one,
                 __m128i digit_shift, std::uint64_t* heads, std::uint64_t* tails, std::uint32_t* shapes) {
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

  // Digits 0 in the lanes that proved nothing, then each lane's digits one per
  // byte as eight_digits (general_layout.h) splits them: halves of four digits,
  // pairs, single digits, every step exact on its range (the halves are below
  // 10^4, the pairs below 100) and within its lane.
  const __m512i all_digits = _mm512_maskz_cvttpd_epu64(valid, r);
  const __m512i high = _mm512_srli_epi64(_mm512_mul_epu32(all_digits, _mm512_set1_epi64(3518437209)), 45);
  const __m512i low = _mm512_sub_epi32(all_digits, _mm512_mul_epu32(high, _mm512_set1_epi64(10000)));
  __m512i split = _mm512_or_si512(high, _mm512_slli_epi64(low, 32));
  const __m512i hundreds = _mm512_srli_epi32(_mm512_mullo_epi32(split, _mm512_set1_epi32(10486)), 20);
  split = _mm512_or_si512(
      _mm512_slli_epi32(_mm512_sub_epi32(split, _mm512_mullo_epi32(hundreds, _mm512_set1_epi32(100))), 16), hundreds);
  const __m512i tens = _mm512_srli_epi16(_mm512_mullo_epi16(split, _mm512_set1_epi16(103)), 10);
  split = _mm512_or_si512(
      _mm512_slli_epi16(_mm512_sub_epi16(split, _mm512_mullo_epi16(tens, _mm512_set1_epi16(10))), 8), tens);
  const __m512i digits = _mm512_srl_epi64(split, digit_shift);

  // The significant digits: a byte of 1 for each non-zero digit, spread down to
  // byte 0, then added up.
  const __m512i zero = _mm512_setzero_si512();
  __m512i filled = _mm512_maskz_mov_epi8(_mm512_test_epi8_mask(digits, digits), _mm512_set1_epi8(1));
  filled = _mm512_or_si512(filled, _mm512_srli_epi64(filled, 8));
  filled = _mm512_or_si512(filled, _mm512_srli_epi64(filled, 16));
  filled = _mm512_or_si512(filled, _mm512_srli_epi64(filled, 32));
  const __m512i count = _mm512_sad_epu8(filled, zero);

  // The pieces, as general_digits_lanes.h lays them out.
  const __m512i e = _mm512_maskz_cvttpd_epi64(valid, exponent);
  const __m512i text = _mm512_add_epi64(digits, _mm512_set1_epi64(0x3030303030303030));
  const __m512i one64 = _mm512_set1_epi64(1);
  const __m512i two_less_e = _mm512_sub_epi64(_mm512_set1_epi64(2), e);
  const __mmask8 below_one = _mm512_cmplt_epi64_mask(e, one64);
  const __m512i whole_bits = _mm512_slli_epi64(_mm512_mask_mov_epi64(e, below_one, zero), 3);
  const __m512i point = _mm512_sllv_epi64(_mm512_set1_epi64(0xFF), whole_bits);
  const __m512i with_point =
      _mm512_or_si512(_mm512_andnot_si512(point, text), _mm512_and_si512(point, _mm512_set1_epi8('.')));
  const __m512i head = _mm512_mask_mov_epi64(with_point, below_one, _mm512_set1_epi64(0x3030303030302E30));
  const __m512i tail = _mm512_srlv_epi64(text, whole_bits);
  const __m512i tail_at = _mm512_mask_mov_epi64(_mm512_add_epi64(e, one64), below_one, two_less_e);
  const __m512i length_from_one =
      _mm512_mask_mov_epi64(e, _mm512_cmpgt_epi64_mask(count, e), _mm512_add_epi64(count, one64));
  const __m512i length = _mm512_mask_mov_epi64(length_from_one, below_one, _mm512_add_epi64(two_less_e, count));
  const __m512i negative = _mm512_srli_epi64(_mm512_castpd_si512(signed_values), 63);
  const __m512i shape = _mm512_maskz_mov_epi64(
      valid, _mm512_or_si512(_mm512_or_si512(tail_at, _mm512_slli_epi64(length, 8)), _mm512_slli_epi64(negative, 16)));
  _mm512_mask_storeu_epi64(heads, lanes, head);
  _mm512_mask_storeu_epi64(tails, lanes, tail);
  _mm256_mask_storeu_epi32(shapes, lanes, _mm512_cvtepi64_epi32(shape));
}

}  // namespace

void prove_general_texts_avx512(const double* values, int count, int precision, std::uint64_t* heads,
                                std::uint64_t* tails, std::uint32_t* shapes) {
  if (precision < 1 || precision > kMaxBatchPrecision) {
    for (int i = 0; i < count; ++i) shapes[i] = 0;
    return;
  }
  const DigitBounds bounds = digit_bounds(precision);
  const double precision_less_one = precision - 1;
  // The eight digits of a lane, less the 8 - P behind the first P.
  const __m128i digit_shift = _mm_cvtsi32_si128(8 * (8 - precision));
  for (int i = 0; i < count; i += 8) {
    const int n = count - i < 8 ? count - i : 8;
    const auto lanes = static_cast<__mmask8>((1u << n) - 1);
    prove_eight(values + i, lanes, bounds, precision_less_one, digit_shift, heads + i, tails + i, shapes + i);
  }
}

}  // namespace floveran
