// The hidden name of a replacement file, the same on every platform: beside the
// file it replaces, naming that file and the tool, within what every file system takes.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace floveran::platform {

// The characters each platform adds behind the stem to make the name unique.
inline constexpr std::size_t kReplacementEndingSize = 6;

// ".<file_name>.floveran-", the file name cut at a character boundary when it is
// longer than 200 bytes, so that the stem and its ending stay within 255.
std::string replacement_stem(std::string_view file_name);

}  // namespace floveran::platform
