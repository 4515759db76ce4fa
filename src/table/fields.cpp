// The scans of the table on the input stream, each the scanner of scan.h run on
// the stream's window by scan_input, behind white space whose LFs are counted.
#include "table/fields.h"

#include <algorithm>

#include "run/numbers/number_exact.h"

namespace floveran {

void skip_white_space(TextInput& in) {
  for (;;) {
    const char* const first = window_begin(in);
    const char* const stop = skip_space(first, window_end(in));
    in.line_ends += std::count(first, stop, '\n');
    in.pos = static_cast<std::size_t>(stop - in.buffer.get());
    if (in.pos != in.end || !refill_input(in)) return;
  }
}

int scan_ints(TextInput& in, std::int32_t* values, int count, ScanEnd* failed) {
  for (int assigned = 0; assigned < count; ++assigned) {
    if (!item_close_ahead(in)) skip_white_space(in);
    const ScanEnd scan = scan_input(in, [&](const char* first, const char* last) {
      return scan_int(first, last, values[assigned]);
    });
    if (scan.result != 1) {
      if (failed != nullptr) *failed = scan;
      return scan.result < 0 && assigned == 0 ? -1 : assigned;
    }
  }
  return count;
}

ScanEnd scan_value(TextInput& in, double& value) {
  skip_white_space(in);
  return scan_input(in, [&](const char* first, const char* last) { return scan_double(first, last, value); });
}

int read_plain_values(TextInput& in, PlainValuesKernel kernel, double* values, int count) {
  int read = 0;
  bool use_kernel = kernel != nullptr;
  while (read < count) {
    if (use_kernel) {
      const PlainValuesEnd run = kernel(in.buffer.get(), window_begin(in), window_end(in), values + read, count - read);
      in.pos = static_cast<std::size_t>(run.stop - in.buffer.get());
      read += run.read;
      use_kernel = run.read > 0;
      if (read == count) break;
    }
    if (!read_plain_value(in, values[read])) break;
    ++read;
  }
  return read;
}

bool scan_doubles(TextInput& in, double* values, bool* scanned, int count) {
  const PlainValuesKernel kernel = plain_values_kernel();
  bool all = true;
  for (int i = 0; i < count;) {
    const int read = read_plain_values(in, kernel, values + i, count - i);
    for (int j = i; j < i + read; ++j) scanned[j] = true;
    i += read;
    if (i == count) break;
    values[i] = 0.0;
    scanned[i] = scan_value(in, values[i]).result == 1;
    all = all && scanned[i];
    ++i;
  }
  return all;
}

void write_general_apart(TextOutput& out, double value, int precision) {
  char* const space = output_space(out, kFormatCapacity);
  char* const end = format_general_fast(value, precision, space);
  output_advance(out, end != nullptr ? end : format_general_exact(value, precision, space));
}

int skip_token(TextInput& in) {
  skip_white_space(in);
  return scan_input(in, [](const char* first, const char* last) { return scan_token(first, last); }).result;
}

}  // namespace floveran
