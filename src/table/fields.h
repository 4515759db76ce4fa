// The fields of the tables on the streams: the scanners of the numbers layer
// applied to the input stream's window, and the number writers filling the output
// stream's buffer directly.
//
// Every scan here keeps the input's line count: white space that may hold an LF is
// skipped by skip_white_space, which counts them. The fast paths take only what
// cannot hold one: at most one tab or blank in front of the item, then the item.
#pragma once

#include <cstdint>

#include "run/numbers/number_format.h"
#include "run/numbers/plain_values.h"
#include "run/numbers/scan.h"
#include "run/streams/text_input.h"
#include "run/streams/text_output.h"

namespace floveran {

// Skips white space on the input, reading on as needed, and counts the LFs in it.
void skip_white_space(TextInput& in);

// Whether the next item stands right at the window's start, or behind a single tab
// or blank: then a scan skips no line end on the way to it.
inline bool item_close_ahead(const TextInput& in) {
  const char* p = in.buffer.get() + in.pos;
  const char* const last = in.buffer.get() + in.end;
  if (p != last && (*p == '\t' || *p == ' ')) ++p;
  return p != last && !is_space(static_cast<unsigned char>(*p));
}

// "%d%d..." with `count` conversions as one scan: stops at the first failure and
// returns the number assigned, or -1 when the input ended before the first. When
// `failed` is given, it receives the scan that failed (its start, and 0 or -1),
// whose pointers hold until the next read.
int scan_ints(TextInput& in, std::int32_t* values, int count, ScanEnd* failed = nullptr);

// "%lf" on the input, in two parts. The common one: a plain number in the window,
// behind at most one tab or blank, read in place (the plain path never stops at the
// end of its span, so nothing is left to extend); false when the value is anything
// else, and nothing is consumed then.
inline bool read_plain_value(TextInput& in, double& value) {
#ifdef FLOVERAN_REFERENCE_PATHS
  (void)in;
  (void)value;
  return false;
#else
  const char* const base = in.buffer.get();
  const char* const last = base + in.end;
  const char* p = base + in.pos;
  if (p != last && (*p == '\t' || *p == ' ')) ++p;  // the field separator
  if (const char* stop = scan_plain_decimal(p, last, value)) [[likely]] {
    in.pos = static_cast<std::size_t>(stop - base);
    return true;
  }
  return false;
#endif
}
// The whole scan, for everything else: the white space counted, then the grammar.
// Returns the scan's end, whose pointers hold until the next read.
ScanEnd scan_value(TextInput& in, double& value);
inline int scan_double(TextInput& in, double& value) {
  if (read_plain_value(in, value)) return 1;
  return scan_value(in, value).result;
}

// Plain values one after the other, as read_plain_value reads them, into
// values[0], values[1], ...: runs of them through `kernel`, the vector kernel of
// the active level (none at the scalar level), which stops before any value it is
// not sure of; read_plain_value takes that one, and the kernel goes on behind it
// as long as its last run read something. Returns how many were read, `count`
// or the index of the first value that needs the whole scan (scan_value), of
// which nothing is consumed. No line end is passed.
int read_plain_values(TextInput& in, PlainValuesKernel kernel, double* values, int count);
// "%lf" `count` times, as that many scan_double calls, with the kernel of the
// active level: scanned[i] tells whether values[i] was assigned (it is 0 when
// not). False when any scan failed. (The record loop takes the same two steps
// itself, to note where a failed scan stood.)
bool scan_doubles(TextInput& in, double* values, bool* scanned, int count);

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
