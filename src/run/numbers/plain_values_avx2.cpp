// The scan kernel for AVX2: the classes of a 64-byte block from two 32-byte
// vectors, by two table lookups per byte whose bits are gathered into masks.
// Compiled with AVX2 and BMI enabled for this file only; called only where the
// processor has them (plain_values.cpp).
#include <immintrin.h>

#include <cstdint>

#include "run/numbers/plain_values_walk.h"
#include "run/numbers/vector_kernels.h"

namespace floveran {
namespace {

// The class of every byte as bits, looked up by its two halves: a byte has the
// bits that the entries of both its low and its high four bits have (a byte from
// 0x80 up, whose low lookup gives zero, has none).
constexpr char kDigit = 0x01;
constexpr char kPoint = 0x02;
constexpr char kPlus = 0x04;
constexpr char kMinus = 0x08;
constexpr char kTab = 0x10;
constexpr char kBlank = 0x20;
constexpr char kLineSpace = 0x40;  // LF, VT, FF, CR

// By the low four bits: 0x_0 to 0x_F, twice (one table per 16-byte lane).
alignas(32) constexpr char kByLow[32] = {
    kBlank | kDigit, kDigit, kDigit, kDigit, kDigit, kDigit, kDigit, kDigit, kDigit, kTab | kDigit, kLineSpace,
    kLineSpace | kPlus, kLineSpace, kLineSpace | kMinus, kPoint, 0, kBlank | kDigit, kDigit, kDigit, kDigit, kDigit,
    kDigit, kDigit, kDigit, kDigit, kTab | kDigit, kLineSpace, kLineSpace | kPlus, kLineSpace, kLineSpace | kMinus,
    kPoint, 0};
// By the high four bits: 0x0_ (tab, line spaces), 0x2_ (blank, signs, point),
// 0x3_ (digits).
alignas(32) constexpr char kByHigh[32] = {kTab | kLineSpace, 0, kBlank | kPlus | kMinus | kPoint, kDigit, 0, 0, 0, 0, 0, 0,
                                          0, 0, 0, 0, 0, 0, kTab | kLineSpace, 0, kBlank | kPlus | kMinus | kPoint,
                                          kDigit, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};

// The bytes of the 32 classes that have any of `bits`, one bit per byte.
std::uint64_t having(__m256i classes, char bits) {
  const __m256i none = _mm256_cmpeq_epi8(_mm256_and_si256(classes, _mm256_set1_epi8(bits)), _mm256_setzero_si256());
  return ~static_cast<std::uint64_t>(static_cast<std::uint32_t>(_mm256_movemask_epi8(none))) & 0xFFFFFFFFu;
}

[[gnu::always_inline]] inline ByteClasses classify_avx2(const char* p) {
  const __m256i by_low = _mm256_load_si256(reinterpret_cast<const __m256i*>(kByLow));
  const __m256i by_high = _mm256_load_si256(reinterpret_cast<const __m256i*>(kByHigh));
  ByteClasses m{};
  for (int half = 0; half < 2; ++half) {
    const __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 32 * half));
    const __m256i high = _mm256_and_si256(_mm256_srli_epi16(x, 4), _mm256_set1_epi8(0x0F));
    const __m256i classes = _mm256_and_si256(_mm256_shuffle_epi8(by_low, x), _mm256_shuffle_epi8(by_high, high));
    const int shift = 32 * half;
    m.blank |= having(classes, kTab | kBlank) << shift;
    m.space |= having(classes, kTab | kBlank | kLineSpace) << shift;
    m.number |= having(classes, kDigit | kPoint) << shift;
    m.point |= having(classes, kPoint) << shift;
    m.sign |= having(classes, kPlus | kMinus) << shift;
    m.minus |= having(classes, kMinus) << shift;
  }
  return m;
}

}  // namespace

PlainValuesEnd scan_plain_values_avx2(const char* floor, const char* first, const char* last, double* values,
                                      int count) {
  return walk_plain_values<classify_avx2>(floor, first, last, values, count);
}

}  // namespace floveran
