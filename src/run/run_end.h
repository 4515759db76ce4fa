// Ending a run at once: the message goes to the console, which is flushed, and the
// process exits with the status. Every failure of the tool ends this way; nothing
// is passed back between functions.
#pragma once

#include <string_view>

namespace floveran {

[[noreturn]] void end_run(std::string_view message, int status);

// Exit statuses of the tool.
inline constexpr int kStatusDone = 0;
inline constexpr int kStatusUsage = 1;
inline constexpr int kStatusInputFailed = 2;   // input not opened or read, line 2 bad
inline constexpr int kStatusOutputFailed = 3;  // output not opened or written

}  // namespace floveran
