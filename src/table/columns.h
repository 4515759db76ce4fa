// Column detection: reads lines 1 and 2 of the input, rejects a missing or short
// area line, settles column_count (from argument 4 or by counting the fields of the
// area line) and prints "%d columns %s\n".
#pragma once

#include <cstddef>
#include <string_view>

#include "run/settings.h"
#include "run/state.h"

namespace floveran {

void count_columns(RunState& state, RunSettings& settings);

// The index of the first tab of the text, or 0 when it holds none: a tab at index 0
// and no tab at all give the same answer, which the strip step relies on.
std::size_t find_tab(std::string_view text);

// Removes the first n characters of the text; a negative n leaves it unchanged.
void drop_prefix(std::string_view& text, std::ptrdiff_t n);

// The counting rule on a working string (the area line behind its labels, with one
// tab appended). Returns the count; `last_token` receives the token that ended it.
int count_fields(std::string_view working, std::string& last_token);

}  // namespace floveran
