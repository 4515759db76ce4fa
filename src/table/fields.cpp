// The scans of the table on the input stream, each the scanner of scan.h run on
// the stream's window by scan_input, behind white space whose LFs are counted.
#include "table/fields.h"

#include <algorithm>

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

int skip_token(TextInput& in) {
  skip_white_space(in);
  return scan_input(in, [](const char* first, const char* last) { return scan_token(first, last); }).result;
}

}  // namespace floveran
