// Column detection.
//
// The counting rule works on the working string W (the area line behind its 12
// label characters, newline kept, one tab appended):
//   1. strip: while find_tab(W) is 0 and W is not empty, drop the first character;
//   2. take the first white-space-delimited token of W; if there is one, count it
//      and drop everything in front of the first tab of W; otherwise the token is
//      empty;
//   3. go on while atoi(token) is not 0.
// Taken literally (moving the rest of W at every drop, rescanning a blank run for
// every blank field) that costs time quadratic in the line. Here W is a view, so a
// drop is O(1); a W without any tab is dropped whole, which is where the literal
// one-at-a-time strip ends too; and the token found last is remembered: when the
// next scan starts no later than that token, everything in between was white space
// when it was skipped, so the scan would find the same token again. Each byte is
// thus looked at a bounded number of times, and the count and the final token are
// those of the literal rule.
//
// The fields left out are the white-space-delimited tokens of W less the distinct
// tokens counted (a token counted twice, behind a field of blanks, is one).
#include "table/columns.h"

#include <cstring>
#include <string>

#include "run/numbers/scan.h"
#include "table/layout.h"

namespace floveran {

std::size_t find_tab(std::string_view text) {
  const void* tab = std::memchr(text.data(), kFieldSeparator[0], text.size());
  if (tab == nullptr) return 0;
  return static_cast<std::size_t>(static_cast<const char*>(tab) - text.data());
}

void drop_prefix(std::string_view& text, std::ptrdiff_t n) {
  if (n < 0) return;
  text.remove_prefix(std::min(static_cast<std::size_t>(n), text.size()));
}

namespace {

std::int64_t count_tokens(std::string_view text) {
  std::int64_t tokens = 0;
  bool in_token = false;
  for (const char c : text) {
    const bool space = is_space(static_cast<unsigned char>(c));
    if (!space && !in_token) ++tokens;
    in_token = !space;
  }
  return tokens;
}

}  // namespace

int count_fields(std::string_view working, std::string& last_token, std::int64_t* fields_left_out) {
  const std::string_view whole = working;
  std::int64_t count = 0;
  std::int64_t distinct = 0;       // tokens counted, each once
  std::string_view token;          // the token found last, pointing into `working`
  std::int32_t token_value = 0;    // atoi of it
  std::string_view current;        // the token of this round, empty when none
  for (;;) {
    while (find_tab(working) == 0 && !working.empty()) {
      // Either a leading tab, or no tab at all: then every character goes.
      drop_prefix(working, working[0] == kFieldSeparator[0] ? 1 : static_cast<std::ptrdiff_t>(working.size()));
    }
    if (token.empty() || working.data() > token.data()) {
      token = first_token(working);
      token_value = token.empty() ? 0 : atoi(token);
      if (!token.empty()) ++distinct;
    }
    current = token;
    if (current.empty()) break;
    ++count;
    drop_prefix(working, static_cast<std::ptrdiff_t>(find_tab(working)));
    if (token_value == 0) break;
  }
  last_token.assign(current);
  if (fields_left_out != nullptr) *fields_left_out = count_tokens(whole) - distinct;
  return count > INT32_MAX ? INT32_MAX : static_cast<int>(count);
}

ColumnCount count_columns(TextInput& input, const RunSettings& settings) {
  ColumnCount result;
  std::string line;
  // Line 1 is not looked at, so it is skipped rather than held, whatever its length.
  result.line_2_found = skip_line(input) && read_line(input, line);
  // The area line is text: it ends at a NUL byte, should one be in it.
  line.resize(std::min(line.find('\0'), line.size()));
  if (!result.line_2_found || line.size() <= kAreaLineLabelWidth) return result;
  result.area_line_read = true;
  // The working string, built in place: the line behind its labels, and a tab.
  line.erase(0, kAreaLineLabelWidth);
  line += kFieldSeparator;

  if (settings.column_count_given) {
    result.count = settings.column_count;
    result.token.assign(line, 0, line.size() - 1);  // the remainder of line 2
  } else {
    result.count = count_fields(line, result.token, &result.fields_left_out);
  }
  return result;
}

}  // namespace floveran
