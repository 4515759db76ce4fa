// format_random_check: the number writers against their exact reference on many
// random doubles.
//
//   format_random_check COUNT SEED
//
// For COUNT doubles drawn with the generator seeded by SEED, format_general at one
// precision (7 for most values, 1 to 17 for the rest) must write exactly the bytes
// of format_general_exact. (format_fixed is the exact path itself; its unit table
// in number_format_test.cpp guards it.) The doubles come from six classes:
//   bits       uniformly random bit patterns: every magnitude, infinities, NaNs
//   subnormal  random fractions under a zero exponent field, either sign
//   ranged     random bit patterns of a magnitude from 1e-60 to 1e45, the range
//              where format_general has its fast path
//   table      discharges of 0 to 5000 m3/s with up to three decimals, their
//              conversion over an area of 5 to 25000 km2 (one decimal) and the
//              conversion back from the seven-digit text of that result
//   tie        the double nearest to a decimal whose digits end in a tie or
//              near-tie right after the rounding place of the precision or of 2
//              or 3 decimals, or whose 18th digit is the tie that decides the 17-digit
//              string (also where that string then ends in a tie at the
//              precision), and half of them its neighbours up to 3 ulps
//   pow10      the double nearest to 10^j or to the carry boundary 0.99..95 x 10^j
//              of the precision (j mostly from -60 to 45, else from -325 to 308),
//              and its neighbours up to 4 ulps
// Every mismatch is printed with the bits of the value, the form and both texts.
// At the end the count of values per class, how many of them format_general
// handed to its exact path, and the mismatches are printed. Exit status 0 when
// every text agrees, 1 on any mismatch, 2 on bad arguments.
// A value counts as handed over when format_general_fast gives up on it.
#include <cerrno>
#include <chrono>
#include <cinttypes>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <string_view>

#include "convert/convert.h"
#include "run/numbers/number_exact.h"
#include "run/numbers/number_format.h"


namespace {

using floveran::kFormatCapacity;

enum ValueClass { kBits, kSubnormal, kRanged, kTable, kTie, kPow10, kClassCount };

constexpr const char* kClassNames[kClassCount] = {"bits", "subnormal", "ranged", "table", "tie", "pow10"};

// Share of each class, in hundredths.
constexpr int kClassShare[kClassCount] = {20, 2, 15, 30, 23, 10};

struct Sample {
  double value;
  int precision;
};

struct ClassCounts {
  std::uint64_t values = 0;
  std::uint64_t handed_over = 0;
  std::uint64_t mismatches = 0;
};

std::mt19937_64 generator;

// Uniform in [0, n), n >= 1. The bias of the modulo is below n / 2^64.
std::uint64_t below(std::uint64_t n) { return generator() % n; }

int between(int low, int high) {
  return low + static_cast<int>(below(static_cast<std::uint64_t>(high - low + 1)));
}

bool chance(int percent) { return below(100) < static_cast<std::uint64_t>(percent); }

// Uniform in [0, 1) with 53 random bits.
double unit() { return static_cast<double>(generator() >> 11) * 0x1.0p-53; }

double log_uniform(double low, double high) {
  return low * std::exp(unit() * std::log(high / low));
}

double from_bits(std::uint64_t bits) {
  double v;
  std::memcpy(&v, &bits, sizeof v);
  return v;
}

std::uint64_t to_bits(double v) {
  std::uint64_t bits;
  std::memcpy(&bits, &v, sizeof bits);
  return bits;
}

int mostly_seven() { return chance(75) ? 7 : between(1, 17); }

// The double `steps` ulps away from v (towards +inf for steps > 0).
double step_ulps(double v, int steps) {
  const double towards = steps > 0 ? INFINITY : -INFINITY;
  for (int i = 0; i < (steps > 0 ? steps : -steps); ++i) v = std::nextafter(v, towards);
  return v;
}

// A discharge in m3/s with 0 to 3 decimals, up to 5000.
double discharge() {
  const double scale[] = {1.0, 10.0, 100.0, 1000.0};
  const double s = scale[below(4)];
  const double raw = chance(50) ? log_uniform(0.001, 5000.0) : unit() * 5000.0;
  return std::round(raw * s) / s;
}

Sample table_value() {
  const double q = chance(2) ? -discharge() : discharge();
  const double area = std::round(log_uniform(5.0, 25000.0) * 10.0) / 10.0;
  const double steps[] = {1.0, 1.0, 1.0, 24.0, 6.0, 0.25};
  const double timestep = steps[below(6)];
  const int precision = chance(90) ? 7 : between(1, 17);
  const std::uint64_t kind = below(4);
  if (kind == 0) return {q, precision};
  const double converted = floveran::convert_value(q, area, timestep, 1);
  if (kind <= 2) return {converted, precision};
  // Back from the text the tool writes for the converted value.
  char text[kFormatCapacity + 1];
  *floveran::format_general(converted, 7, text) = '\0';
  return {floveran::convert_value(std::strtod(text, nullptr), area, timestep, 2), precision};
}

// The double nearest to 0.D x 10^exponent (correctly rounded by strtod).
double nearest(const std::string& digits, int exponent) {
  std::string text("0.");
  text.append(digits).append(1, 'e').append(std::to_string(exponent));
  return std::strtod(text.c_str(), nullptr);
}

std::string random_digits(int count) {
  std::string d(static_cast<std::size_t>(count), '0');
  const std::uint64_t pattern = below(10);
  for (int i = 0; i < count; ++i) {
    char c;
    if (pattern == 0) {
      c = '9';  // rounding up carries through every digit
    } else if (pattern == 1) {
      c = i == 0 ? '1' : '0';  // just above a power of ten
    } else {
      c = static_cast<char>('0' + below(10));
    }
    d[static_cast<std::size_t>(i)] = c;
  }
  if (d[0] == '0') d[0] = static_cast<char>('1' + below(9));
  return d;
}

// A tie or near-tie on either side: 5, 49..9 or 50..01.
std::string tie_digits() {
  const std::uint64_t kind = below(3);
  const auto run = static_cast<std::size_t>(between(1, 20));
  std::string tail(1, kind == 1 ? '4' : '5');
  if (kind == 1) tail.append(run, '9');
  if (kind == 2) tail.append(run, '0').append(1, '1');
  return tail;
}

// What follows `kept` digits: a tie right after them, or 49..9 up to the 17th
// digit and a tie at the 18th, where the 17-digit string turns into a tie at the
// kept place or stays below it.
std::string tie_tail(int kept) {
  if (kept >= 17 || chance(60)) return tie_digits();
  std::string tail(1, '4');
  tail.append(static_cast<std::size_t>(16 - kept), '9');
  return tail.append(tie_digits());
}

Sample tie_value() {
  int kept;
  int exponent;
  int precision;
  if (chance(30)) {
    // A tie at the rounding place of 2 or 3 decimals: K = E + N kept digits.
    const int decimals = between(2, 3);
    kept = between(1, 17);
    exponent = kept - decimals;
    precision = mostly_seven();
  } else {
    kept = chance(50) ? 7 : between(1, 17);
    precision = chance(75) ? kept : 7;
    exponent = chance(80) ? between(-40, 40) : between(-320, 308);
  }
  const std::string digits = random_digits(kept).append(tie_tail(kept));
  // Half of them the nearest double itself: where that lies within the rounding
  // noise of an 18-digit tie, format_general has to hand it over.
  const double v = step_ulps(nearest(digits, exponent), chance(50) ? 0 : between(-3, 3));
  return {chance(50) ? -v : v, precision};
}

Sample pow10_value() {
  const int j = chance(70) ? between(-60, 45) : between(-325, 308);
  const int precision = mostly_seven();
  const double base = chance(50) ? nearest("1", j + 1)
                                  : nearest(std::string(static_cast<std::size_t>(precision), '9').append(1, '5'), j);
  const double v = step_ulps(base, between(-4, 4));
  return {chance(50) ? -v : v, precision};
}

Sample draw(ValueClass c) {
  switch (c) {
    case kBits:
      return {from_bits(generator()), mostly_seven()};
    case kSubnormal: {
      const std::uint64_t fraction = generator() & ((std::uint64_t{1} << 52) - 1);
      const std::uint64_t sign = generator() & (std::uint64_t{1} << 63);
      return {from_bits(sign | (fraction == 0 ? 1 : fraction)), mostly_seven()};
    }
    case kRanged: {
      // Biased exponents 824 to 1173: 2^-199 (about 1.2e-60) to 2^151 (about 2.9e45).
      const std::uint64_t biased = 824 + below(1173 - 824 + 1);
      const std::uint64_t bits = (generator() & 0x800FFFFFFFFFFFFFULL) | (biased << 52);
      return {from_bits(bits), mostly_seven()};
    }
    case kTable:
      return table_value();
    case kTie:
      return tie_value();
    default:
      return pow10_value();
  }
}

ValueClass pick_class() {
  int r = static_cast<int>(below(100));
  for (int c = 0; c < kClassCount - 1; ++c) {
    if (r < kClassShare[c]) return static_cast<ValueClass>(c);
    r -= kClassShare[c];
  }
  return static_cast<ValueClass>(kClassCount - 1);
}

void report_mismatch(ValueClass c, double v, const char* form, int parameter, std::string_view fast,
                     std::string_view exact) {
  std::printf("MISMATCH class %s bits 0x%016" PRIx64 " %s %d: [%.*s] exact [%.*s]\n", kClassNames[c],
              to_bits(v), form, parameter, static_cast<int>(fast.size()), fast.data(),
              static_cast<int>(exact.size()), exact.data());
  std::fflush(stdout);
}

// Checks one sample; returns the number of mismatching forms.
int check(ValueClass c, const Sample& s, ClassCounts& counts) {
  char fast[kFormatCapacity];
  char exact[kFormatCapacity];
  int mismatches = 0;

  if (floveran::format_general_fast(s.value, s.precision, fast) == nullptr) ++counts.handed_over;
  const char* fast_end = floveran::format_general(s.value, s.precision, fast);
  const char* exact_end = floveran::format_general_exact(s.value, s.precision, exact);
  const std::string_view a(fast, static_cast<std::size_t>(fast_end - fast));
  const std::string_view b(exact, static_cast<std::size_t>(exact_end - exact));
  if (a != b) {
    report_mismatch(c, s.value, "general precision", s.precision, a, b);
    ++mismatches;
  }
  return mismatches;
}

bool parse_count(const char* text, std::uint64_t& value) {
  char* end = nullptr;
  errno = 0;
  value = std::strtoull(text, &end, 10);
  return errno == 0 && end != text && *end == '\0' && text[0] != '-';
}

}  // namespace

int main(int argc, char** argv) {
  std::uint64_t count = 0;
  std::uint64_t seed = 0;
  if (argc != 3 || !parse_count(argv[1], count) || !parse_count(argv[2], seed)) {
    std::fprintf(stderr, "usage: format_random_check COUNT SEED\n");
    return 2;
  }
  generator.seed(seed);

  ClassCounts counts[kClassCount];
  std::uint64_t mismatches = 0;
  constexpr std::uint64_t kProgressEvery = 10000000;
  const auto start = std::chrono::steady_clock::now();
  const auto seconds = [&start] {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  };

  for (std::uint64_t i = 1; i <= count; ++i) {
    const ValueClass c = pick_class();
    const Sample s = draw(c);
    ClassCounts& k = counts[c];
    ++k.values;
    const int m = check(c, s, k);
    k.mismatches += static_cast<std::uint64_t>(m);
    mismatches += static_cast<std::uint64_t>(m);
    if (i % kProgressEvery == 0 && i != count) {
      std::printf("checked %" PRIu64 " of %" PRIu64 " values, %" PRIu64 " mismatches, %.0f s\n", i, count,
                  mismatches, seconds());
      std::fflush(stdout);
    }
  }

  std::printf("%-10s %14s %14s %10s\n", "class", "values", "handed_over", "mismatches");
  for (int c = 0; c < kClassCount; ++c) {
    std::printf("%-10s %14" PRIu64 " %14" PRIu64 " %10" PRIu64 "\n", kClassNames[c], counts[c].values,
                counts[c].handed_over, counts[c].mismatches);
  }
  std::printf("checked %" PRIu64 " values (seed %" PRIu64 ") in %.1f s: %" PRIu64 " mismatches\n", count, seed,
              seconds(), mismatches);
  return mismatches == 0 ? 0 : 1;
}
