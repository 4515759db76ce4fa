// The slow exact reference for the number writers: the digit string of a double
// made from its exact decimal expansion (big-integer arithmetic), and the fixed and
// general forms built from it. The fast path of number_format.cpp is held against
// these in the tests and fuzz targets, and the tool can be built to use them alone.
#pragma once

namespace floveran {

// The digit string of a double: value = 0.D x 10^exponent, D holding `count`
// (1 to 17) significant characters, trailing zeros dropped. For zero, D = "0" and
// exponent 0. For infinities and NaNs, D is a string of letters such as "1#INF"
// with exponent 1. `negative` is the sign bit.
struct DigitString {
  bool negative;
  int exponent;
  int count;
  char digits[24];
};

DigitString digit_string_exact(double value);

// Same contracts as format_fixed and format_general of number_format.h.
char* format_fixed_exact(double value, int decimals, char* out);
char* format_general_exact(double value, int precision, char* out);

}  // namespace floveran
