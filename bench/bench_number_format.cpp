// bench_number_format: the time of the general form with seven digits ("%.7lg"),
// as the record loop writes every converted value, on realistic table values.
//
//   bench_number_format [Google Benchmark flags, e.g. --benchmark_repetitions=5]
//
// Two sets of 65536 values, drawn once with a fixed seed:
//   converted   discharges of 0 to 5000 m3/s with 0 to 3 decimals over an area of
//               5 to 25000 km2 (one decimal, log-uniform), times 3.6: the values
//               the tool writes for an hourly table (convert_value, method 1)
//   discharges  the discharges themselves
// Each set is written three ways: format_general (the fast path with its exact
// fallback), format_general_exact (the reference alone) and snprintf "%.7g" (the
// C library, a yardstick only: its form differs in the exponent digits and the
// rounding of ties). BM_ratio/N writes the whole set N the three ways in turn in
// every iteration, so that the ratios fast / snprintf and exact / snprintf come
// from the same stretch of time on a machine whose speed drifts; its counters
// give the ns per value of each and the ratios. Before the runs the program prints
// how many values of each set format_general_fast gives up on, which
// format_general then hands to its exact path.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "convert/convert.h"
#include "run/numbers/number_exact.h"
#include "run/numbers/number_format.h"

namespace {

constexpr std::size_t kValues = 65536;  // a power of two: the index wraps with a mask

struct ValueSets {
  std::vector<double> converted;
  std::vector<double> discharges;
};

ValueSets make_values() {
  std::mt19937_64 random(20261211);
  const auto unit = [&random] { return static_cast<double>(random() >> 11) * 0x1.0p-53; };
  const auto log_uniform = [&unit](double low, double high) {
    return low * std::exp(unit() * std::log(high / low));
  };
  const double scales[] = {1.0, 10.0, 100.0, 1000.0};
  ValueSets sets;
  for (std::size_t i = 0; i < kValues; ++i) {
    const double scale = scales[random() % 4];
    // Half log-uniform (most discharges are small), half uniform up to 5000.
    const double raw = i % 2 == 0 ? log_uniform(0.001, 5000.0) : unit() * 5000.0;
    const double q = std::round(raw * scale) / scale;
    const double area = std::round(log_uniform(5.0, 25000.0) * 10.0) / 10.0;
    sets.discharges.push_back(q);
    sets.converted.push_back(floveran::convert_value(q, area, 1.0, 1));
  }
  return sets;
}

const ValueSets& values() {
  static const ValueSets sets = make_values();
  return sets;
}

const std::vector<double>& value_set(std::int64_t which) {
  return which == 0 ? values().converted : values().discharges;
}

const char* set_name(std::int64_t which) { return which == 0 ? "converted" : "discharges"; }

// Seconds that `write` takes over every value of the set.
template <typename Write>
double seconds_over(const std::vector<double>& v, Write write) {
  char buffer[floveran::kFormatCapacity];
  const auto start = std::chrono::steady_clock::now();
  for (double value : v) {
    write(value, buffer);
    benchmark::ClobberMemory();
  }
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void BM_ratio(benchmark::State& state) {
  const std::vector<double>& v = value_set(state.range(0));
  double fast = 0;
  double exact = 0;
  double reference = 0;
  for (auto _ : state) {
    fast += seconds_over(v, [](double value, char* out) {
      benchmark::DoNotOptimize(floveran::format_general(value, 7, out));
    });
    exact += seconds_over(v, [](double value, char* out) {
      benchmark::DoNotOptimize(floveran::format_general_exact(value, 7, out));
    });
    reference += seconds_over(v, [](double value, char* out) {
      benchmark::DoNotOptimize(std::snprintf(out, floveran::kFormatCapacity, "%.7g", value));
    });
  }
  const double values = static_cast<double>(state.iterations()) * static_cast<double>(v.size());
  state.counters["fast_ns"] = fast / values * 1e9;
  state.counters["exact_ns"] = exact / values * 1e9;
  state.counters["snprintf_ns"] = reference / values * 1e9;
  state.counters["fast/snprintf"] = fast / reference;
  state.counters["exact/snprintf"] = exact / reference;
  state.SetLabel(set_name(state.range(0)));
}

BENCHMARK(BM_ratio)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void print_hand_over() {
  char buffer[floveran::kFormatCapacity];
  for (int which = 0; which < 2; ++which) {
    std::size_t handed = 0;
    for (double v : value_set(which)) {
      if (floveran::format_general_fast(v, 7, buffer) == nullptr) ++handed;
    }
    std::printf("%-11s %zu values, %zu handed to the exact path (%.4f%%)\n", set_name(which), kValues, handed,
                100.0 * static_cast<double>(handed) / kValues);
  }
  std::printf("\n");
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  print_hand_over();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
