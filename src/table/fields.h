// The fields of the tables on the streams: the scanners of the numbers layer
// applied to the input stream's window, and the number writers filling the output
// stream's buffer directly.
#pragma once

#include <cstdint>

#include "run/numbers/number_format.h"
#include "run/numbers/plain_values.h"
#include "run/numbers/scan.h"
#include "run/streams/text_input.h"
#include "run/streams/text_output.h"

namespace floveran {

// "%d%d..." with `count` conversions as one scan: stops at the first failure and
// returns the number assigned, or -1 when the input ended before the first.
int scan_ints(TextInput& in, std::int32_t* values, int count);
// "%lf" on the input. A plain number within the window is read in place (the
// plain path never stops at the end of its span, so nothing is left to extend);
// everything else goes through the whole scan.
int scan_double_in_window(TextInput& in, double& value);
inline int scan_double(TextInput& in, double& value) {
#ifndef FLOVERAN_REFERENCE_PATHS
  const char* const base = in.buffer.get();
  const char* const last = base + in.end;
  const char* p = base + in.pos;
  if (p != last && *p == '\t') ++p;  // the field separator in front of every table value
  if (const char* stop = scan_plain_decimal(skip_space(p, last), last, value)) [[likely]] {
    in.pos = static_cast<std::size_t>(stop - base);
    return 1;
  }
#endif
  return scan_double_in_window(in, value);
}
// "%lf" `count` times, as that many scan_double calls: scanned[i] tells whether
// values[i] was assigned (it is 0 when not). Runs of plain values go through the
// vector kernel of the active level, which stops before any value it is not sure
// of; scan_double reads that one, and the kernel goes on behind it as long as its
// last run read something. False when any scan failed.
bool scan_doubles_with_kernel(TextInput& in, PlainValuesKernel kernel, double* values, bool* scanned, int count);
inline bool scan_doubles(TextInput& in, double* values, bool* scanned, int count) {
  if (const PlainValuesKernel kernel = plain_values_kernel()) {
    return scan_doubles_with_kernel(in, kernel, values, scanned, count);
  }
  bool all = true;
  for (int i = 0; i < count; ++i) {
    values[i] = 0.0;
    scanned[i] = scan_double(in, values[i]) == 1;
    all = all && scanned[i];
  }
  return all;
}

// "%s" on the input, the token dropped.
int skip_token(TextInput& in);

// "%d", "%.<decimals>lf" and "%.<precision>lg" into the output.
inline void write_int(TextOutput& out, std::int32_t value) {
  output_advance(out, format_int(value, output_space(out, 12)));
}
inline void write_fixed(TextOutput& out, double value, int decimals) {
  output_advance(out, format_fixed(value, decimals, output_space(out, kFormatCapacity)));
}
inline void write_general(TextOutput& out, double value, int precision) {
  output_advance(out, format_general(value, precision, output_space(out, kFormatCapacity)));
}
// The same text, by format_general's fast path and its exact fallback called
// apart, out of line: for the few values the vector level's batches leave, so
// that the scalar record loop stays format_general's only caller, which has it
// inlined.
void write_general_apart(TextOutput& out, double value, int precision);

}  // namespace floveran
