// A private temporary folder per test, removed with everything in it at the end,
// and small helpers to write and read whole files as bytes.
#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

#include <stdlib.h>

namespace floveran::testing {

struct TempDir {
  std::filesystem::path path;
  TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "floveran-test-XXXXXX").string();
    path = ::mkdtemp(pattern.data());
  }
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  std::string file(std::string_view name) const { return (path / name).string(); }
};

inline void write_file(const std::string& name, std::string_view bytes) {
  std::ofstream out(name, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::string read_file(const std::string& name) {
  std::ifstream in(name, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace floveran::testing
