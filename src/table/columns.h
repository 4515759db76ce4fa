// Column detection: reads lines 1 and 2 of the input, rejects a missing or short
// area line, and gives the column count (argument 4 when it was given, else the
// count of the fields of the area line) with the token the console line shows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "table/run.h"

namespace floveran {

struct ColumnCount {
  bool line_2_found = false;    // false: the input has no line 2
  bool area_line_read = false;  // false: line 2 is missing or has at most 12 characters
  std::int32_t count = 0;
  std::string token;            // the field that ended the count; with a given count,
                                // the remainder of line 2
  std::int64_t fields_left_out = 0;  // fields of line 2 that the count did not reach
};

ColumnCount count_columns(TextInput& input, const RunSettings& settings);

// The index of the first tab of the text, or 0 when it holds none: a tab at index 0
// and no tab at all give the same answer, which the strip step relies on.
std::size_t find_tab(std::string_view text);

// Removes the first n characters of the text; a negative n leaves it unchanged.
void drop_prefix(std::string_view& text, std::ptrdiff_t n);

// The counting rule on a working string (the area line behind its labels, with one
// tab appended). Returns the count; `last_token` receives the token that ended it.
// When `fields_left_out` is given, it receives how many white-space-delimited
// fields of the working string were never counted: those behind a field that
// reads as 0, and the parts of a field that are separated by blanks, not tabs.
int count_fields(std::string_view working, std::string& last_token, std::int64_t* fields_left_out = nullptr);

}  // namespace floveran
