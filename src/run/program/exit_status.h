// The exit statuses of the tool, which calling scripts rely on.
#pragma once

namespace floveran {

inline constexpr int kStatusDone = 0;          // also when a malformed record ended the loop
inline constexpr int kStatusUsage = 1;         // no argument, or an input name alone
inline constexpr int kStatusInputFailed = 2;   // input not opened or read, line 2 bad, no memory
inline constexpr int kStatusOutputFailed = 3;  // output not opened or written

}  // namespace floveran
