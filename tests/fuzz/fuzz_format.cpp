// The number writers on arbitrary doubles. For every double of the input:
//   - format_general at every precision 1 to 17 writes exactly the bytes of its
//     exact twin format_general_exact, never more than kFormatCapacity bytes (the
//     buffers are heap blocks of exactly that size, so AddressSanitizer sees any
//     byte written past them);
//   - format_general_exact, and format_fixed (which is the exact path) at the
//     fuzzed number of decimals and at 2 and 3, write what a plain model of the
//     rules writes: digit string
//     from glibc's exact decimal expansion (18 digits cut, rounded to 17, trailing
//     zeros dropped; the letter strings for infinities and NaNs), rounding to K
//     characters, fixed and general layout;
//   - the digit kernel of every vector level the machine runs, given all values of
//     the input as one batch (as the record loop gives a record's values), lays
//     out exactly that text wherever it proves digits, at every precision it
//     serves;
//   - a finite value's text reads back within half a unit of its last written
//     digit, plus the noise of the 17-digit rounding.
//
// The input is read in records of 10 bytes: a mode byte, a parameter byte and 8
// value bytes. The low two bits of the mode pick how the value bytes become a
// double: the raw bits; a short decimal (an integer over a power of ten, as gauge
// tables hold, where the ties of the rounding rule live); such a decimal moved by
// a few ulps (bits 2 to 4); a binary fraction (an integer times a power of two).
// Bit 5 negates it. The parameter byte gives the decimals of format_fixed, 0 to 17,
// or 0 to kMaxDecimals when bit 7 of the mode is set.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <string_view>

#include "run/numbers/general_digits.h"
#include "run/numbers/general_layout.h"
#include "run/numbers/number_exact.h"
#include "run/numbers/number_format.h"
#include "run/numbers/vector_level.h"

namespace {

using floveran::kFormatCapacity;

[[noreturn]] void fail(const char* what, double v, int param, std::string_view a,
                       std::string_view b = {}) {
  std::uint64_t bits = 0;
  std::memcpy(&bits, &v, sizeof bits);
  std::fprintf(stderr, "fuzz_format: %s\nvalue %.17g (0x%016llx) parameter %d\n[%.*s]\n[%.*s]\n",
               what, v, static_cast<unsigned long long>(bits), param, static_cast<int>(a.size()),
               a.data(), static_cast<int>(b.size()), b.data());
  std::fflush(stderr);
  std::abort();
}

char* heap_buffer() { return new char[kFormatCapacity]; }
const std::unique_ptr<char[]> fast_buffer(heap_buffer());
const std::unique_ptr<char[]> exact_buffer(heap_buffer());

std::string written(char* begin, char* end, const char* what, double v, int param) {
  if (end <= begin || static_cast<std::size_t>(end - begin) >= kFormatCapacity) {
    fail(what, v, param, "nothing written, or more than the capacity");
  }
  return {begin, static_cast<std::size_t>(end - begin)};
}

double power_of_ten(int n) {
  double p = 1.0;
  for (int i = 0; i < n; ++i) p *= 10.0;  // exact up to 10^22
  return p;
}

double make_value(std::uint8_t mode, std::uint64_t bits) {
  double v = 0.0;
  switch (mode & 3) {
    case 0:
      std::memcpy(&v, &bits, sizeof v);
      return v;
    case 1:
    case 2: {
      // An integer of up to 53 bits over a power of ten up to 10^22.
      const int width = 1 + static_cast<int>((bits >> 58) % 53);
      const std::uint64_t m = bits & ((std::uint64_t{1} << width) - 1);
      const int scale = static_cast<int>((bits >> 53) % 23);
      v = static_cast<double>(m) / power_of_ten(scale);
      if ((mode & 3) == 2) {
        const int steps = 1 + ((mode >> 2) & 3);
        const double toward = (mode & 16) ? std::numeric_limits<double>::infinity() : 0.0;
        for (int i = 0; i < steps; ++i) v = std::nextafter(v, toward);
      }
      break;
    }
    default: {
      const std::int64_t m = static_cast<std::int64_t>(bits & ((std::uint64_t{1} << 40) - 1));
      const int e = static_cast<int>((bits >> 40) % 160) - 100;
      v = std::ldexp(static_cast<double>(m), e);
      break;
    }
  }
  return (mode & 32) ? -v : v;
}

// ---------------------------------------------------------------------------
// The model: value = 0.D x 10^E, D a string of characters.

struct ModelDigits {
  bool negative;
  int exponent;
  std::string digits;  // empty: the value rounded to zero
};

ModelDigits model_digit_string(double v) {
  std::uint64_t bits = 0;
  std::memcpy(&bits, &v, sizeof bits);
  const bool negative = std::signbit(v);
  if (std::isinf(v)) return {negative, 1, "1#INF"};
  if (std::isnan(v)) {
    const std::uint64_t mantissa = bits & ((std::uint64_t{1} << 52) - 1);
    const std::uint64_t quiet_bit = std::uint64_t{1} << 51;
    if ((mantissa & quiet_bit) == 0) return {negative, 1, "1#SNAN"};
    if (negative && mantissa == quiet_bit) return {negative, 1, "1#IND"};
    return {negative, 1, "1#QNAN"};
  }
  if (v == 0.0) return {negative, 0, "0"};
  // glibc writes the exact expansion: no double has more than 767 significant digits.
  char text[900];
  std::snprintf(text, sizeof text, "%.800e", std::fabs(v));
  std::uint64_t first18 = static_cast<std::uint64_t>(text[0] - '0');
  for (int i = 2; i < 19; ++i) first18 = first18 * 10 + static_cast<std::uint64_t>(text[i] - '0');
  int exponent = std::atoi(std::strchr(text, 'e') + 1) + 1;
  std::uint64_t first17 = (first18 + 5) / 10;
  if (first17 == 100000000000000000ull) {
    first17 = 10000000000000000ull;
    ++exponent;
  }
  std::string digits = std::to_string(first17);
  digits.erase(digits.find_last_not_of('0') + 1);
  return {negative, exponent, digits};
}

// The first k characters of D, rounded by the one after them.
ModelDigits model_round(ModelDigits d, int k) {
  if (k < 0) return {d.negative, d.exponent, ""};
  if (k == 0) {
    if (d.digits[0] >= '5') return {d.negative, d.exponent + 1, "1"};
    return {d.negative, d.exponent, ""};
  }
  const bool up =
      k < static_cast<int>(d.digits.size()) && d.digits[static_cast<std::size_t>(k)] >= '5';
  d.digits.resize(static_cast<std::size_t>(k), '0');
  if (up) {
    int i = k - 1;
    while (i >= 0 && d.digits[static_cast<std::size_t>(i)] == '9')
      d.digits[static_cast<std::size_t>(i--)] = '0';
    if (i >= 0) {
      ++d.digits[static_cast<std::size_t>(i)];
    } else {
      d.digits = "1";
      ++d.exponent;
    }
  }
  return d;
}

char model_at(const ModelDigits& d, int i) {
  return i < static_cast<int>(d.digits.size()) ? d.digits[static_cast<std::size_t>(i)] : '0';
}

std::string model_lay_out_fixed(const ModelDigits& r, int decimals) {
  std::string s = r.negative ? "-" : "";
  int next = 0;
  if (r.exponent > 0) {
    for (; next < r.exponent; ++next) s += model_at(r, next);
  } else {
    s += '0';
  }
  if (decimals == 0) return s;
  s += '.';
  for (int i = 0; i < decimals; ++i) s += i < -r.exponent ? '0' : model_at(r, next++);
  return s;
}

std::string without_trailing_zeros(std::string s) {
  if (s.find('.') == std::string::npos) return s;
  s.erase(s.find_last_not_of('0') + 1);
  if (s.back() == '.') s.pop_back();
  return s;
}

std::string model_fixed(const ModelDigits& d, int decimals) {
  return model_lay_out_fixed(model_round(d, d.exponent + decimals), decimals);
}

std::string model_general(const ModelDigits& d, int precision) {
  const ModelDigits r = model_round(d, precision);
  const int x = r.exponent - 1;
  if (x >= -4 && x < precision)
    return without_trailing_zeros(model_lay_out_fixed(r, precision - 1 - x));
  std::string s = r.negative ? "-" : "";
  s += model_at(r, 0);
  s += '.';
  for (int i = 1; i < precision; ++i) s += model_at(r, i);
  s = without_trailing_zeros(s);
  char exponent[16];
  std::snprintf(exponent, sizeof exponent, "e%c%03d", x < 0 ? '-' : '+', x < 0 ? -x : x);
  return s + exponent;
}

// ---------------------------------------------------------------------------
// Checks.

void check_digit_string(double v, const ModelDigits& want) {
  const floveran::DigitString got = floveran::digit_string_exact(v);
  const std::string digits(got.digits, static_cast<std::size_t>(got.count));
  if (got.negative != want.negative || got.exponent != want.exponent || digits != want.digits) {
    fail("digit_string_exact differs from the full expansion", v, got.exponent, digits,
         want.digits + " exponent " + std::to_string(want.exponent));
  }
}

// |text - v| within `unit` / 2 of the last written digit, plus the 17-digit noise.
void check_read_back(const std::string& text, double v, long double unit, const char* what,
                     int param) {
  if (!std::isfinite(v)) return;
  char* end = nullptr;
  const long double r = std::strtold(text.c_str(), &end);
  const long double a = static_cast<long double>(v);
  const long double tolerance = unit * 0.5L * (1 + 1e-9L) + std::fabs(a) * 1e-16L;
  if (end != text.c_str() + text.size() || !(std::fabs(r - a) <= tolerance))
    fail(what, v, param, text);
}

// format_fixed is the exact path itself: held against the model only.
void check_fixed(double v, const ModelDigits& d, int decimals) {
  char* const fast = fast_buffer.get();
  const std::string f =
      written(fast, floveran::format_fixed(v, decimals, fast), "format_fixed", v, decimals);
  const std::string model = model_fixed(d, decimals);
  if (f != model) fail("format_fixed differs from the model", v, decimals, f, model);
  check_read_back(f, v, std::pow(10.0L, -decimals), "format_fixed reads back too far off",
                  decimals);
}

void check_general(double v, const ModelDigits& d, int precision) {
  char* const fast = fast_buffer.get();
  char* const exact = exact_buffer.get();
  const std::string g =
      written(fast, floveran::format_general(v, precision, fast), "format_general", v, precision);
  const std::string ge = written(exact, floveran::format_general_exact(v, precision, exact),
                                 "format_general_exact", v, precision);
  if (g != ge) fail("format_general differs from format_general_exact", v, precision, g, ge);
  const std::string model = model_general(d, precision);
  if (ge != model) fail("format_general_exact differs from the model", v, precision, ge, model);
  // A unit of the last of `precision` digits: 10^(E - P), E the exponent of the
  // digit string, so that 10^(E-1) <= |v| (give or take the 17-digit rounding).
  check_read_back(g, v, std::pow(10.0L, d.exponent - precision),
                  "format_general reads back too far off", precision);
}

}  // namespace

// The values of the input as one batch (at most 64, as in the record loop) through
// the text kernel of each vector level, at every precision the kernels serve.
void check_batches(const double* values, int count) {
  const floveran::VectorLevel before = floveran::active_vector_level();
  for (floveran::VectorLevel level : floveran::kVectorLevels) {
    if (floveran::use_vector_level(level) != level) continue;
    for (int precision = 1; precision <= floveran::kMaxBatchPrecision; ++precision) {
      std::uint64_t heads[64];
      std::uint64_t tails[64];
      std::uint32_t shapes[64];
      if (!floveran::prove_general_texts(values, count, precision, heads, tails, shapes)) break;
      for (int i = 0; i < count; ++i) {
        if (shapes[i] == 0) continue;
        char* const fast = fast_buffer.get();
        char* const exact = exact_buffer.get();
        const std::string laid =
            written(fast, floveran::put_general_pieces(heads[i], tails[i], shapes[i], fast), "put_general_pieces",
                    values[i], precision);
        const std::string ge = written(exact, floveran::format_general_exact(values[i], precision, exact),
                                       "format_general_exact", values[i], precision);
        if (laid != ge) fail(floveran::vector_level_name(level), values[i], precision, laid, ge);
      }
    }
  }
  floveran::use_vector_level(before);
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  double batch[64];
  int batch_count = 0;
  for (std::size_t at = 0; at + 10 <= size; at += 10) {
    const std::uint8_t mode = data[at];
    const std::uint8_t param = data[at + 1];
    std::uint64_t bits = 0;
    std::memcpy(&bits, data + at + 2, sizeof bits);
    const double v = make_value(mode, bits);

    const ModelDigits d = model_digit_string(v);
    check_digit_string(v, d);
    for (int precision = 1; precision <= 17; ++precision) check_general(v, d, precision);
    check_fixed(v, d, (mode & 128) ? param % (floveran::kMaxDecimals + 1) : param % 18);
    check_fixed(v, d, 2);
    check_fixed(v, d, 3);
    if (batch_count < 64) batch[batch_count++] = v;
  }
  check_batches(batch, batch_count);
  return 0;
}
