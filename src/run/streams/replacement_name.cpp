// The stem of a replacement's name: a dot, the name of the file it replaces (cut
// to at most 200 bytes, never inside a UTF-8 character) and the tool's mark.
#include "run/streams/replacement_name.h"

namespace floveran::platform {
namespace {

constexpr std::size_t kLongestKeptName = 200;
constexpr std::string_view kReplacementMark = ".floveran-";

}  // namespace

std::string replacement_stem(std::string_view file_name) {
  if (file_name.size() > kLongestKeptName) {
    std::size_t cut = kLongestKeptName;
    while (cut > 0 && (static_cast<unsigned char>(file_name[cut]) & 0xC0) == 0x80) --cut;
    file_name = file_name.substr(0, cut);
  }
  std::string stem = ".";
  stem += file_name;
  stem += kReplacementMark;
  return stem;
}

}  // namespace floveran::platform
