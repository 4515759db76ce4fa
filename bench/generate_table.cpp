// generate_table: writes a synthetic but realistic gauge table, the input of the
// throughput runs (run_throughput.sh).
//
//   generate_table GAUGES YEARS hourly|daily lf|crlf SEED OUTPUT
//
// Layout:
//   line 1   a title
//   line 2   "YY\tMM\tDD\tHH", then "\t<area>" per gauge, one decimal, 5 to 25000 km2
//   line 3-5 free header lines (station ids, unit, time convention); each is kept
//            short whatever the gauge count, so the header block is five lines for
//            any reader, also one that splits long lines
//   records  year, month, day, hour, then one discharge per gauge in m3/s with up to
//            three decimals (trailing zeros dropped), tab-separated; hourly tables
//            number the hours 1 to 24, daily ones stamp every day with hour 24
//
// Records start on 1 January 1981 and follow the Gregorian calendar (29 February in
// leap years). Each gauge has its own area, mean specific runoff, seasonal cycle,
// correlated noise and flood events that decay at a rate set by the catchment size;
// values are clamped to 0.001 .. 5000 m3/s, and about 1% of all values are written
// as the missing marker -9999.
//
// The output depends only on the arguments: the random stream is a fixed generator
// (xoshiro256** seeded by splitmix64) and every value is rounded to an integer
// number of thousandths before it is written.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int kStartYear = 1981;
constexpr double kMinArea = 5.0;
constexpr double kMaxArea = 25000.0;
constexpr double kMinDischarge = 0.001;
constexpr double kMaxDischarge = 5000.0;
constexpr double kMissingShare = 0.01;
constexpr double kPi = 3.14159265358979323846;
constexpr std::size_t kFlushSize = std::size_t{1} << 20;

struct Random {
  std::uint64_t s[4];
};

std::uint64_t splitmix64(std::uint64_t& x) {
  std::uint64_t z = (x += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

Random seed_random(std::uint64_t seed) {
  Random r{};
  for (auto& word : r.s) word = splitmix64(seed);
  return r;
}

std::uint64_t rotl(std::uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }

std::uint64_t next_u64(Random& r) {
  const std::uint64_t result = rotl(r.s[1] * 5, 7) * 9;
  const std::uint64_t t = r.s[1] << 17;
  r.s[2] ^= r.s[0];
  r.s[3] ^= r.s[1];
  r.s[1] ^= r.s[2];
  r.s[0] ^= r.s[3];
  r.s[2] ^= t;
  r.s[3] = rotl(r.s[3], 45);
  return result;
}

// Uniform in [0, 1).
double uniform(Random& r) { return static_cast<double>(next_u64(r) >> 11) * 0x1.0p-53; }

double uniform(Random& r, double low, double high) { return low + (high - low) * uniform(r); }

// Standard normal by Box-Muller (one of the pair is used).
double normal(Random& r) {
  const double u1 = 1.0 - uniform(r);  // (0, 1]
  const double u2 = uniform(r);
  return std::sqrt(-2.0 * std::log(u1)) * std::cos(2.0 * kPi * u2);
}

double exponential(Random& r, double mean) { return -mean * std::log(1.0 - uniform(r)); }

struct Gauge {
  std::int64_t area_tenths = 0;  // the area as written, in 0.1 km2
  double mean_discharge = 0.0;   // m3/s
  double season_amplitude = 0.0; // of log discharge
  double season_peak_day = 0.0;  // day of year of the seasonal maximum
  double noise_phi = 0.0;        // AR(1) coefficient per time step
  double noise_innovation = 0.0; // standard deviation of the innovations
  double event_chance = 0.0;     // probability of a flood event per time step
  double event_decay = 0.0;      // factor per time step of the event flow
  double noise = 0.0;            // state: AR(1) term of log discharge
  double event = 0.0;            // state: relative event flow on top of the base
};

Gauge make_gauge(Random& r, double steps_per_day) {
  Gauge g;
  const double area = kMinArea * std::exp(uniform(r) * std::log(kMaxArea / kMinArea));
  g.area_tenths = std::llround(area * 10.0);
  const double specific_runoff = uniform(r, 4.0, 30.0);  // l/s per km2
  g.mean_discharge = static_cast<double>(g.area_tenths) / 10.0 * specific_runoff / 1000.0;
  g.season_amplitude = uniform(r, 0.25, 0.9);
  g.season_peak_day = uniform(r, 40.0, 160.0);
  // Day-to-day correlation and a stationary spread of 0.3 to 0.6 in log space,
  // carried over to the time step so hourly series are smooth within a day.
  const double phi_day = uniform(r, 0.90, 0.98);
  const double spread = uniform(r, 0.3, 0.6);
  g.noise_phi = std::pow(phi_day, 1.0 / steps_per_day);
  g.noise_innovation = spread * std::sqrt(1.0 - g.noise_phi * g.noise_phi);
  g.noise = spread * normal(r);
  // About one event per 20 to 60 days; recession from hours (small catchments)
  // to weeks (large ones).
  g.event_chance = 1.0 / (uniform(r, 20.0, 60.0) * steps_per_day);
  const double recession_hours = 6.0 * std::sqrt(static_cast<double>(g.area_tenths) / 10.0 / kMinArea);
  g.event_decay = std::exp(-(24.0 / steps_per_day) / recession_hours);
  return g;
}

bool is_leap_year(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int days_in_month(int year, int month) {
  static const int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && is_leap_year(year) ? 29 : days[month - 1];
}

void append_int(std::string& out, std::int64_t value) {
  char digits[24];
  int n = 0;
  const bool negative = value < 0;
  std::uint64_t v = negative ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
  do {
    digits[n++] = static_cast<char>('0' + v % 10);
    v /= 10;
  } while (v != 0);
  if (negative) out += '-';
  while (n > 0) out += digits[--n];
}

// A count of thousandths as a decimal with up to three decimals: 12500 as 12.5,
// 3000 as 3, 7 as 0.007.
void append_thousandths(std::string& out, std::int64_t thousandths) {
  append_int(out, thousandths / 1000);
  std::int64_t fraction = thousandths % 1000;
  if (fraction == 0) return;
  int decimals = 3;
  while (fraction % 10 == 0) {
    fraction /= 10;
    --decimals;
  }
  out += '.';
  for (std::int64_t scale = decimals == 3 ? 100 : decimals == 2 ? 10 : 1; scale > 0; scale /= 10) {
    out += static_cast<char>('0' + fraction / scale % 10);
  }
}

double next_discharge(Gauge& g, Random& r, double day_of_year) {
  g.noise = g.noise_phi * g.noise + g.noise_innovation * normal(r);
  g.event *= g.event_decay;
  if (uniform(r) < g.event_chance) g.event += exponential(r, 2.0);
  const double season = g.season_amplitude * std::cos(2.0 * kPi * (day_of_year - g.season_peak_day) / 365.25);
  const double q = g.mean_discharge * std::exp(season + g.noise) * (1.0 + g.event);
  return std::fmin(kMaxDischarge, std::fmax(kMinDischarge, q));
}

bool flush(std::FILE* file, std::string& buffer) {
  const bool ok = std::fwrite(buffer.data(), 1, buffer.size(), file) == buffer.size();
  buffer.clear();
  return ok;
}

int usage() {
  std::fputs(
      "usage: generate_table GAUGES YEARS hourly|daily lf|crlf SEED OUTPUT\n"
      "  GAUGES 1 to 100000, YEARS 1 to 1000, SEED an unsigned integer\n",
      stderr);
  return 2;
}

bool parse_count(const char* text, long low, long high, long& value) {
  char* end = nullptr;
  value = std::strtol(text, &end, 10);
  return end != text && *end == '\0' && value >= low && value <= high;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 7) return usage();
  long gauge_count = 0;
  long years = 0;
  if (!parse_count(argv[1], 1, 100000, gauge_count) || !parse_count(argv[2], 1, 1000, years)) return usage();
  const bool hourly = std::strcmp(argv[3], "hourly") == 0;
  if (!hourly && std::strcmp(argv[3], "daily") != 0) return usage();
  const bool crlf = std::strcmp(argv[4], "crlf") == 0;
  if (!crlf && std::strcmp(argv[4], "lf") != 0) return usage();
  char* seed_end = nullptr;
  const unsigned long long seed = std::strtoull(argv[5], &seed_end, 10);
  if (seed_end == argv[5] || *seed_end != '\0') return usage();
  const char* output_path = argv[6];

  const std::string line_end = crlf ? "\r\n" : "\n";
  const double steps_per_day = hourly ? 24.0 : 1.0;
  Random random = seed_random(seed);
  std::vector<Gauge> gauges;
  gauges.reserve(static_cast<std::size_t>(gauge_count));
  for (long i = 0; i < gauge_count; ++i) gauges.push_back(make_gauge(random, steps_per_day));

  std::FILE* file = std::fopen(output_path, "wb");
  if (file == nullptr) {
    std::fprintf(stderr, "generate_table: cannot open %s\n", output_path);
    return 1;
  }

  std::string out;
  out.reserve(kFlushSize + 65536);
  const int last_year = kStartYear + static_cast<int>(years) - 1;

  out += "Synthetic discharge table, ";
  append_int(out, gauge_count);
  out += " gauges, ";
  out += hourly ? "hourly" : "daily";
  out += " records ";
  append_int(out, kStartYear);
  out += "-";
  append_int(out, last_year);
  out += ", seed ";
  out += argv[5];
  out += line_end;

  out += "YY\tMM\tDD\tHH";
  for (const Gauge& g : gauges) {
    out += '\t';
    append_int(out, g.area_tenths / 10);
    out += '.';
    out += static_cast<char>('0' + g.area_tenths % 10);
  }
  out += line_end;

  char text[200];
  std::snprintf(text, sizeof text, "stations G%05d to G%05ld in column order, areas in km2", 1, gauge_count);
  out += text;
  out += line_end;
  out += "discharge in m3/s, missing values -9999";
  out += line_end;
  out += hourly ? "YY MM DD HH, hour 1 to 24 closes the hour" : "YY MM DD HH, daily means stamped hour 24";
  out += line_end;

  std::uint64_t values = 0;
  std::uint64_t missing = 0;
  std::uint64_t records = 0;
  bool ok = true;
  for (int year = kStartYear; year <= last_year && ok; ++year) {
    int day_of_year = 0;
    for (int month = 1; month <= 12 && ok; ++month) {
      const int days = days_in_month(year, month);
      for (int day = 1; day <= days; ++day) {
        ++day_of_year;
        for (int hour = hourly ? 1 : 24; hour <= 24; ++hour) {
          append_int(out, year);
          out += '\t';
          append_int(out, month);
          out += '\t';
          append_int(out, day);
          out += '\t';
          append_int(out, hour);
          const double time_of_year = day_of_year - 1 + hour / 24.0;
          for (Gauge& g : gauges) {
            const double q = next_discharge(g, random, time_of_year);
            out += '\t';
            if (uniform(random) < kMissingShare) {
              out += "-9999";
              ++missing;
            } else {
              append_thousandths(out, std::llround(q * 1000.0));
            }
            ++values;
          }
          out += line_end;
          ++records;
          if (out.size() >= kFlushSize) ok = flush(file, out);
        }
      }
    }
  }
  if (ok) ok = flush(file, out);
  if (std::fclose(file) != 0) ok = false;
  if (!ok) {
    std::fprintf(stderr, "generate_table: cannot write %s\n", output_path);
    return 1;
  }
  std::printf("%llu records, %llu values, %llu missing\n", static_cast<unsigned long long>(records),
              static_cast<unsigned long long>(values), static_cast<unsigned long long>(missing));
  return 0;
}
