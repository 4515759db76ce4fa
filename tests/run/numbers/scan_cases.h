// The scanning grammar as tables of cases: a text, what a scan of it returns and
// assigns, and the rest of the text behind the scan. Shared by the scans on a text
// and the scans on the input stream, which must agree on every case.
#pragma once

#include <cstdint>
#include <limits>

namespace floveran::testing {

struct IntCase {
  const char* text;
  int result;
  std::int32_t value;  // checked when result is 1
  const char* rest;
};

inline const IntCase kIntCases[] = {
    {"42 7", 1, 42, " 7"},
    {"  \t\n-17x", 1, -17, "x"},
    {"+5", 1, 5, ""},
    {"4294967297", 1, 1, ""},              // modulo 2^32
    {"2147483648", 1, INT32_MIN, ""},
    {"-2147483649", 1, INT32_MAX, ""},
    {"007", 1, 7, ""},
    {"-x", 0, 0, "x"},                     // the sign stays consumed
    {"-", 0, 0, ""},
    {"abc", 0, 0, "abc"},
    {"1.5", 1, 1, ".5"},
    {"", -1, 0, ""},
    {" \t\r\n", -1, 0, ""},
};

struct DoubleCase {
  const char* text;
  int result;
  double value;  // checked when result is 1; the sign of zero too
  const char* rest;
};

inline constexpr double kInf = std::numeric_limits<double>::infinity();

inline const DoubleCase kDoubleCases[] = {
    // Plain numbers.
    {"12.345\t", 1, 12.345, "\t"},
    {"-0.5 ", 1, -0.5, " "},
    {"+3", 1, 3.0, ""},
    {".5", 1, 0.5, ""},
    {"5.", 1, 5.0, ""},
    {"-0", 1, -0.0, ""},
    {"-9999", 1, -9999.0, ""},
    // Exponents.
    {"1e3", 1, 1000.0, ""},
    {"1E-2x", 1, 0.01, "x"},
    {"1e x", 1, 1.0, " x"},                // letter without digits: consumed, ignored
    {"1e+", 1, 1.0, ""},
    {"2e-z", 1, 2.0, "z"},
    {"1d3", 1, 1.0, "d3"},                 // d is no exponent letter for a scan
    {"1e400", 1, kInf, ""},
    {"-1e400", 1, -kInf, ""},
    {"1e-400", 1, 0.0, ""},
    {"1e99999999999999999999", 1, kInf, ""},
    {"0e99999", 1, 0.0, ""},
    // What stops a number.
    {"0x5", 1, 0.0, "x5"},                 // no hexadecimal
    {"1,5", 1, 1.0, ",5"},                 // a comma is no number character
    {"1.2.3", 1, 1.2, ".3"},
    // Failures, and what stays consumed.
    {"-\t7", 0, 0, "\t7"},                 // a lone sign is consumed
    {".x", 0, 0, "x"},                     // so is a lone point
    {"-.e5", 0, 0, "e5"},
    {"inf", 0, 0, "inf"},                  // no infinity or NaN words
    {"nan", 0, 0, "nan"},
    {"e5", 0, 0, "e5"},
    {"", -1, 0, ""},
    {"   ", -1, 0, ""},
};

}  // namespace floveran::testing
