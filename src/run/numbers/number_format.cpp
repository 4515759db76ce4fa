// The number writers. format_fixed writes areas and the time step, a few numbers a
// run, and is the exact path itself. format_general writes every converted
// value; for precision 1 to 8 and magnitudes of about 10^(P-56) to 10^(P+27) it
// has the fast path below, which yields exactly the digits of the exact path or
// gives up, and then the exact path answers.
//
// What the fast path computes. Let the value v > 0 have decimal exponent E, i.e.
// 10^(E-1) <= v < 10^E, and let y = v x 10^(P-E), so 10^(P-1) <= y < 10^P. The digit
// string keeps T = floor(y x 10^(18-P)) (the 18 truncated digits), rounds it to 17
// digits and those to P, each time adding half a unit of the last kept place and
// cutting. Both additions combine into one:
//     R = floor((floor(y x 10^(18-P)) + 5 + 5 x 10^(17-P)) / 10^(18-P))
//       = floor(y + u),  u = 1/2 + 5 x 10^(P-18)          (P <= 16)
// because floor(floor(a) + b) = floor(a + b) for an integer b, and
// floor(floor(a) / n) = floor(a / n) for an integer n. R is the P leading digits;
// R = 10^P is the carry out of the first digit (digits 1, exponent E + 1). The
// runs of 9 that carry in either rounding are part of this sum.
//
// How it is proved. The table holds, for each decimal scale q, a 64-bit c with top
// bit set and an exponent b such that c x 2^b <= 10^q < (c + 1) x 2^b (c truncated;
// exact for 0 <= q <= 27, where 5^q fits in 64 bits). With v = m x 2^e and
// F = -(e + b), the 117-bit product p = m x c gives
//     p <= y x 2^F < p + m,
// an interval of width below 2^53 / 2^F. E is first taken as k + 1 with
// k = floor(log2(v) x log10(2)) computed from the binary exponent; since
// 10^k <= 2^(exponent) <= v < 2 x 10^(k+1), the scaled y lies in [10^(P-1), 2 x 10^P).
// If the whole interval lies below 10^P, E = k + 1 holds; if it lies at or above
// 10^P, E = k + 2 and y/10 is the scaled value; otherwise the fast path gives up.
// u x 2^F lies strictly between two neighbouring multiples of 2^(F-64) taken from
// the 64-bit u of the precision table (u is not dyadic), so (y + u) x 2^F lies in a
// known integer interval; R is proved when both ends of it have the same integer
// part at scale 2^F (or 10 x 2^F for y/10). Range of the shift: p >= 2^115 and
// y < 2 x 10^8 < 2^28 give F >= 88; y >= 1 and p < 2^117 give F <= 117, so every
// shift below is defined and every sum fits in 128 bits.
//
// How often it gives up. With F around 94 for P = 7, the interval is about 2^-41
// wide, so it fails only where y + u lies within 2^-41 of an integer (the 18th
// digit of a near-tie) or y within it of 10^P (values next to a power of ten whose
// scale is not exact, e.g. 1e10 itself). Zero is written directly; subnormals,
// infinities, NaNs, precisions above 8 (the tool writes 7) and magnitudes out of
// the table always take the exact path.
#include "run/numbers/number_format.h"

#include <array>
#include <bit>
#include <cstdint>

#include "run/numbers/byte_words.h"
#include "run/numbers/number_exact.h"
#include "run/numbers/wide_multiply.h"

namespace floveran {

char* format_fixed(double value, int decimals, char* out) {
  return format_fixed_exact(value, decimals, out);
}

char* format_int(std::int32_t value, char* out) {
  std::uint32_t magnitude = static_cast<std::uint32_t>(value);
  if (value < 0) {
    *out++ = '-';
    magnitude = 0u - magnitude;
  }
  char digits[10];
  int n = 0;
  do {
    digits[n++] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  while (n > 0) *out++ = digits[--n];
  return out;
}

#ifdef FLOVERAN_REFERENCE_PATHS

char* format_general(double value, int precision, char* out) {
  return format_general_exact(value, precision, out);
}

char* format_general_fast(double, int, char*) { return nullptr; }

#else

namespace {

constexpr int kMinScale = -27;
constexpr int kMaxScale = 55;
constexpr int kMaxFastPrecision = 8;  // the digits fit one 8-byte word

struct ScaledPowerOfTen {
  std::uint64_t c;  // c x 2^b <= 10^q < (c + 1) x 2^b, 2^63 <= c < 2^64
  int b;
};

// For q >= 0, 10^q = 5^q x 2^q, and 5^q fits in 128 bits up to q = 55. For q < 0,
// 10^q = 2^q / 5^-q, with 5^-q < 2^63 up to q = -27, and floor(2^127 / 5^-q) is
// at least 2^64; its top 64 bits are the truncated c.
constexpr ScaledPowerOfTen scaled_power_of_ten(int q) {
  Uint128 five{0, 1};
  for (int i = 0; i < (q >= 0 ? q : -q); ++i) five = multiply(five, 5);
  if (q >= 0) {
    const int length = bit_length(five);
    const std::uint64_t c = length <= 64 ? shift_left(five, 64 - length).low
                                         : shift_right(five, length - 64).low;
    return {c, q + length - 64};
  }
  const Uint128 quotient = divide(Uint128{std::uint64_t{1} << 63, 0}, five.low);  // 2^127 / 5^-q
  const int length = bit_length(quotient);
  return {shift_right(quotient, length - 64).low, length - 64 + q - 127};
}

constexpr auto kPowersOfTen = [] {
  std::array<ScaledPowerOfTen, kMaxScale - kMinScale + 1> table{};
  for (int q = kMinScale; q <= kMaxScale; ++q) {
    table[static_cast<std::size_t>(q - kMinScale)] = scaled_power_of_ten(q);
  }
  return table;
}();

constexpr std::uint64_t pow10_u64(int n) {
  std::uint64_t p = 1;
  for (int i = 0; i < n; ++i) p *= 10;
  return p;
}

// Per precision P: 10^P and floor(u x 2^64) for u = 1/2 + 5 x 10^(P-18), which is
// 2^63 + floor(2^63 / 10^(17-P)).
struct PrecisionConstants {
  std::uint64_t limit;
  std::uint64_t half_up;
};

constexpr auto kPrecision = [] {
  std::array<PrecisionConstants, kMaxFastPrecision + 1> table{};
  for (int p = 1; p <= kMaxFastPrecision; ++p) {
    table[static_cast<std::size_t>(p)] = {
        pow10_u64(p), (std::uint64_t{1} << 63) + (std::uint64_t{1} << 63) / pow10_u64(17 - p)};
  }
  return table;
}();

constexpr char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// The eight decimal digits of x < 10^8, most significant first, one per byte of
// the result in the order of byte_words.h (byte 0 is the lowest), as digit values
// 0 to 9. Splits x into two 4-digit halves, each half into two 2-digit
// lanes, each lane into two digits, all lanes at once: x / 100 for x < 10^4 is
// (x x 10486) >> 20 and x / 10 for x < 100 is (x x 103) >> 10, exact on those
// ranges, and no lane carries into the next.
std::uint64_t eight_digits(std::uint32_t x) {
  std::uint64_t v = (x / 10000) | (std::uint64_t{x % 10000} << 32);
  const std::uint64_t hundreds = ((v * 10486) >> 20) & 0x0000007F0000007FULL;
  v = ((v - hundreds * 100) << 16) | hundreds;
  const std::uint64_t tens = ((v * 103) >> 10) & 0x000F000F000F000FULL;
  return ((v - tens * 10) << 8) | tens;
}

constexpr std::uint64_t kAsciiZeros = 0x3030303030303030ULL;

// General notation of the leading digits r (10^(P-1) <= r < 10^P, P <= 8) with
// decimal exponent e. The digits are laid out with whole 8-byte stores; `out`
// has room for kFormatCapacity bytes, far more than the stores reach. Always
// inlined, as general_fast is.
[[gnu::always_inline]] inline char* lay_out_general(bool negative, std::uint32_t r, int e, int precision, char* out) {
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

// The fast path of format_general; nullptr where it cannot prove the digits.
// Always inlined, into format_general and format_general_fast alike, so that
// the record loop, which has format_general inlined, runs it in place.
[[gnu::always_inline]] inline char* general_fast(double value, int precision, char* out) {
  const auto bits = std::bit_cast<std::uint64_t>(value);
  const bool negative = (bits >> 63) != 0;
  const int biased = static_cast<int>((bits >> 52) & 0x7FF);
  const std::uint64_t fraction = bits & ((std::uint64_t{1} << 52) - 1);
  if (biased == 0) {
    if (fraction != 0) return nullptr;  // subnormal
    if (negative) *out++ = '-';
    *out++ = '0';
    return out;
  }
  if (biased == 0x7FF || precision < 1 || precision > kMaxFastPrecision) return nullptr;

  const std::uint64_t m = fraction | (std::uint64_t{1} << 52);
  const int e = biased - 1075;
  const int binary_exponent = biased - 1023;  // 2^binary_exponent <= v
  // floor(binary_exponent x log10(2)); exact for |binary_exponent| < 1650.
  const int k = (binary_exponent * 78913) >> 18;
  const int q = precision - (k + 1);
  if (q < kMinScale || q > kMaxScale) return nullptr;

  const ScaledPowerOfTen power = kPowersOfTen[static_cast<std::size_t>(q - kMinScale)];
  const int f = -(e + power.b);
  if (f < 65 || f > 117) return nullptr;  // cannot happen; keeps the shifts provably defined
  const PrecisionConstants& pc = kPrecision[static_cast<std::size_t>(precision)];

  // Every shift by f below is a shift of the high word by f - 64 (1 to 53), written
  // so that the compiler sees the count below 64 and needs no branch on it.
  const int s = (f - 64) & 63;
  const auto top = [s](Uint128 x) { return x.high >> s; };
  const Uint128 low = multiply_64x64(m, power.c);  // low <= y x 2^f < low + m
  const Uint128 high = add(low, m);
  const Uint128 half_low = shift_left(pc.half_up, s);  // half_low < u x 2^f
  const Uint128 half_high = shift_left(pc.half_up + 1, s);  // u x 2^f < half_high

  std::uint64_t r;
  int exponent;
  if (top(minus_one(high)) < pc.limit) {
    exponent = k + 1;
    r = top(add(low, half_low));
    if (r != top(minus_one(add(high, half_high)))) return nullptr;
  } else if (top(low) >= pc.limit) {
    exponent = k + 2;  // R = floor((y + 10u) / 10)
    r = top(add(low, multiply(half_low, 10))) / 10;
    if (r != top(minus_one(add(high, multiply(half_high, 10)))) / 10) return nullptr;
  } else {
    return nullptr;
  }
  if (r == pc.limit) {
    r /= 10;
    ++exponent;
  }
  return lay_out_general(negative, static_cast<std::uint32_t>(r), exponent, precision, out);
}

}  // namespace

char* format_general(double value, int precision, char* out) {
  if (char* end = general_fast(value, precision, out)) return end;
  return format_general_exact(value, precision, out);
}

char* format_general_fast(double value, int precision, char* out) {
  return general_fast(value, precision, out);
}

#endif  // FLOVERAN_REFERENCE_PATHS

}  // namespace floveran
