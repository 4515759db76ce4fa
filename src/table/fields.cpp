// The scans of the table on the input stream, each the scanner of scan.h run on
// the stream's window by scan_input.
#include "table/fields.h"

#include "run/numbers/number_exact.h"

namespace floveran {

int scan_ints(TextInput& in, std::int32_t* values, int count) {
  for (int assigned = 0; assigned < count; ++assigned) {
    const int result = scan_input(in, [&](const char* first, const char* last) {
                         return scan_int(first, last, values[assigned]);
                       }).result;
    if (result != 1) return result < 0 && assigned == 0 ? -1 : assigned;
  }
  return count;
}

int scan_double_in_window(TextInput& in, double& value) {
  return scan_input(in, [&](const char* first, const char* last) {
           return scan_double(first, last, value);
         }).result;
}

bool scan_doubles_with_kernel(TextInput& in, PlainValuesKernel kernel, double* values, bool* scanned, int count) {
  bool use_kernel = true;
  bool all = true;
  for (int i = 0; i < count;) {
    if (use_kernel) {
      const PlainValuesEnd run = kernel(in.buffer.get(), window_begin(in), window_end(in), values + i, count - i);
      in.pos = static_cast<std::size_t>(run.stop - in.buffer.get());
      for (int j = 0; j < run.read; ++j) scanned[i + j] = true;
      i += run.read;
      use_kernel = run.read > 0;
      if (i == count) break;
    }
    values[i] = 0.0;
    scanned[i] = scan_double(in, values[i]) == 1;
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
  return scan_input(in, [](const char* first, const char* last) { return scan_token(first, last); }).result;
}

}  // namespace floveran
