// read_scan_throughput: how fast the stream layer reads a large table, next to a
// plain read() of the same file measured in the same run.
//
//   read_scan_throughput TABLE [REPEATS] [HEAD_ROWS]
//
// Passes, each repeated REPEATS times (default 5) in turn, after one untimed read
// that brings the file into the page cache:
//   read()      the file in 256 KiB blocks, bytes dropped
//   copy        read() and write() into a new temporary file
//   lines       open_input, then skip_line to the end (translation and line split)
//   scan        open_input; HEAD_ROWS (default 5) lines skipped; then per record
//               scan_ints of the four date fields, scan_double per column and
//               skip_line, as the record loop reads the table
// The column count is the number of fields behind the four labels of line 2. For
// each pass the median time, MB/s (10^6 bytes of input per second) and the ratio
// to the read() pass are printed; the scan pass also prints ns per value and a
// checksum of the values read, so that two builds can be compared.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "run/numbers/scan.h"
#include "table/fields.h"
#include "run/streams/text_input.h"

namespace {

using floveran::TextInput;

constexpr std::size_t kBlock = 256 * 1024;

struct ScanCounts {
  std::uint64_t records = 0;
  std::uint64_t values = 0;
  std::uint64_t missing = 0;
  double sum = 0.0;
};

double seconds_since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

[[noreturn]] void fail(const std::string& message) {
  std::fprintf(stderr, "read_scan_throughput: %s\n", message.c_str());
  std::exit(1);
}

// Reads the whole file with read(); with out_fd >= 0 every block is written there.
std::uint64_t read_all(const char* path, int out_fd) {
  const int fd = ::open(path, O_RDONLY);
  if (fd < 0) fail(std::string("cannot open ") + path);
  static std::unique_ptr<char[]> block(new char[kBlock]);
  std::uint64_t total = 0;
  for (;;) {
    const ssize_t n = ::read(fd, block.get(), kBlock);
    if (n < 0) fail("read failed");
    if (n == 0) break;
    total += static_cast<std::uint64_t>(n);
    if (out_fd >= 0) {
      const auto size = static_cast<std::size_t>(n);
      std::size_t done = 0;
      while (done < size) {
        const ssize_t w = ::write(out_fd, block.get() + done, size - done);
        if (w <= 0) fail("write failed");
        done += static_cast<std::size_t>(w);
      }
    }
  }
  ::close(fd);
  return total;
}

std::uint64_t skip_all_lines(const char* path) {
  TextInput in;
  if (floveran::open_input(in, path) != 0) fail(std::string("cannot open ") + path);
  std::uint64_t lines = 0;
  while (floveran::skip_line(in)) ++lines;
  floveran::close_input(in);
  return lines;
}

ScanCounts scan_table(const char* path, int head_rows, int columns) {
  TextInput in;
  if (floveran::open_input(in, path) != 0) fail(std::string("cannot open ") + path);
  for (int i = 0; i < head_rows; ++i) floveran::skip_line(in);
  ScanCounts counts;
  std::int32_t date[4];
  for (;;) {
    if (floveran::scan_ints(in, date, 4) != 4) break;
    bool failed = false;
    for (int c = 0; c < columns; ++c) {
      double value = 0.0;
      if (floveran::scan_double(in, value) != 1) {
        failed = true;
        continue;
      }
      ++counts.values;
      if (value < -9990.0) {
        ++counts.missing;
      } else {
        counts.sum += value;
      }
    }
    ++counts.records;
    floveran::skip_line(in);
    if (failed) break;
  }
  floveran::close_input(in);
  return counts;
}

// Fields of line 2 behind the four date labels, split at white space.
int count_area_fields(const char* path) {
  TextInput in;
  if (floveran::open_input(in, path) != 0) fail(std::string("cannot open ") + path);
  std::string line;
  floveran::read_line(in, line);
  if (!floveran::read_line(in, line)) fail("the table has no second line");
  floveran::close_input(in);
  std::string_view rest(line);
  int fields = 0;
  for (;;) {
    const std::string_view token = floveran::first_token(rest);
    if (token.empty()) break;
    ++fields;
    rest.remove_prefix(static_cast<std::size_t>(token.data() + token.size() - rest.data()));
  }
  return std::max(0, fields - 4);
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  const std::size_t n = v.size();
  return n % 2 == 1 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2.0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || argc > 4) {
    std::fputs("usage: read_scan_throughput TABLE [REPEATS] [HEAD_ROWS]\n", stderr);
    return 2;
  }
  const char* path = argv[1];
  const int repeats = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
  const int head_rows = argc > 3 ? std::max(0, std::atoi(argv[3])) : 5;

  struct stat st {};
  if (::stat(path, &st) != 0) fail(std::string("cannot open ") + path);
  const auto bytes = static_cast<double>(st.st_size);
  const int columns = count_area_fields(path);

  const char* tmpdir = std::getenv("TMPDIR");
  std::string copy_path = std::string(tmpdir != nullptr && *tmpdir != '\0' ? tmpdir : "/tmp") +
                          "/read_scan_copy_XXXXXX";
  const int copy_fd = ::mkstemp(copy_path.data());
  if (copy_fd < 0) fail("cannot create a temporary file");

  read_all(path, -1);  // page cache

  std::vector<double> t_read, t_copy, t_lines, t_scan;
  std::uint64_t lines = 0;
  ScanCounts counts;
  for (int r = 0; r < repeats; ++r) {
    auto start = std::chrono::steady_clock::now();
    read_all(path, -1);
    t_read.push_back(seconds_since(start));

    if (::ftruncate(copy_fd, 0) != 0 || ::lseek(copy_fd, 0, SEEK_SET) != 0) fail("cannot reset the copy");
    start = std::chrono::steady_clock::now();
    read_all(path, copy_fd);
    t_copy.push_back(seconds_since(start));

    start = std::chrono::steady_clock::now();
    lines = skip_all_lines(path);
    t_lines.push_back(seconds_since(start));

    start = std::chrono::steady_clock::now();
    counts = scan_table(path, head_rows, columns);
    t_scan.push_back(seconds_since(start));
  }
  ::close(copy_fd);
  ::unlink(copy_path.c_str());

  std::printf("table %s: %.0f bytes, %llu lines, %d columns, %llu records, %llu values (%llu missing)\n",
              path, bytes, static_cast<unsigned long long>(lines), columns,
              static_cast<unsigned long long>(counts.records), static_cast<unsigned long long>(counts.values),
              static_cast<unsigned long long>(counts.missing));
  std::printf("checksum of the values read: %.17g\n", counts.sum);
  std::printf("median of %d runs; MB = 10^6 bytes of input\n", repeats);
  std::printf("%-8s %12s %10s %12s %14s\n", "pass", "time_ms", "MB/s", "x read()", "ns/value");
  const double base = median(t_read);
  const struct {
    const char* name;
    const std::vector<double>* times;
  } passes[] = {{"read()", &t_read}, {"copy", &t_copy}, {"lines", &t_lines}, {"scan", &t_scan}};
  for (const auto& p : passes) {
    const double t = median(*p.times);
    std::printf("%-8s %12.2f %10.1f %12.2f", p.name, t * 1e3, bytes / t / 1e6, t / base);
    if (p.times == &t_scan && counts.values > 0) {
      std::printf(" %14.2f\n", t * 1e9 / static_cast<double>(counts.values));
    } else {
      std::printf(" %14s\n", "-");
    }
  }
  return 0;
}
