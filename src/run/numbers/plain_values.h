// Many plain table values at once: the vector kernels of the active level read a
// run of values, each behind tabs or blanks, exactly as as many "%lf" scans would,
// and stop before the first value they are not sure of, which the scan then reads
// from the same position. The scalar level has no kernel and reads none.
#pragma once

namespace floveran {

// The run read: `read` values assigned, and where the next scan starts (the byte
// that ended the last value read, or `first` when none was read).
struct PlainValuesEnd {
  int read;
  const char* stop;
};

// Reads up to `count` values from `first`, each of them: tabs and blanks, an
// optional sign, 1 to 15 digits with at most one point among them, and white
// space behind. Stops before a value of another form (an exponent, a second
// point, more digits, a line end or another byte in front of it, anything but
// white space behind it) and within kPlainValuesReach of `last`. Each value
// read is the one scan_double_grammar assigns, to the bit. The kernel may read
// any byte from `floor` (at most `first`) to `last`, and only those.
using PlainValuesKernel = PlainValuesEnd (*)(const char* floor, const char* first, const char* last, double* values,
                                             int count);

// The bytes a kernel needs behind the start of the block it looks at.
inline constexpr long kPlainValuesReach = 64;

// The kernel of the active vector level, nullptr at the scalar level.
PlainValuesKernel plain_values_kernel();

}  // namespace floveran
