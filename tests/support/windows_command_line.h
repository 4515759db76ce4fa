// The command line of a child process on Windows, one string: each argument as
// the C runtime and CommandLineToArgvW read it back.
#pragma once

#ifdef _WIN32

#include <string>

namespace floveran::testing {

// Quoted when it holds a blank, a tab or a quote, or is empty; backslashes doubled
// where a quote follows them.
inline std::wstring quoted_argument(const std::wstring& argument) {
  if (!argument.empty() && argument.find_first_of(L" \t\"") == std::wstring::npos) return argument;
  std::wstring quoted = L"\"";
  std::size_t backslashes = 0;
  for (wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    quoted.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
    backslashes = 0;
    quoted += c;
  }
  quoted.append(2 * backslashes, L'\\');
  return quoted + L"\"";
}

}  // namespace floveran::testing

#endif
