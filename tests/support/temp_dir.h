// A private temporary folder per test, removed with everything in it at the end,
// and small helpers to write and read whole files as bytes. Names are UTF-8 text
// on every system, as the tool takes them.
#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <string_view>

#ifdef _WIN32
#include <windows.h>
#else
#include <stdlib.h>
#endif

namespace floveran::testing {

// UTF-8 text as a path and back: on POSIX systems the bytes as they are, on
// Windows converted from and to the UTF-16 of the system.
inline std::filesystem::path path_from_utf8(std::string_view name) {
  return std::filesystem::path(std::u8string(name.begin(), name.end()));
}
inline std::string utf8_from_path(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

struct TempDir {
  std::filesystem::path path;
  TempDir() {
#ifdef _WIN32
    // GetTempPathW, then a folder whose name no other test takes: the process,
    // the time and a count, until CreateDirectoryW makes a new one.
    wchar_t base[MAX_PATH + 1];
    const DWORD length = ::GetTempPathW(MAX_PATH + 1, base);
    if (length == 0 || length > MAX_PATH) throw std::runtime_error("GetTempPathW failed");
    static unsigned count = 0;
    for (;;) {
      const std::wstring name = std::wstring(base) + L"floveran-test-" +
                                std::to_wstring(::GetCurrentProcessId()) + L"-" +
                                std::to_wstring(::GetTickCount64()) + L"-" + std::to_wstring(++count);
      if (::CreateDirectoryW(name.c_str(), nullptr)) {
        path = name;
        break;
      }
      if (::GetLastError() != ERROR_ALREADY_EXISTS) throw std::runtime_error("CreateDirectoryW failed");
    }
#else
    std::string pattern = (std::filesystem::temp_directory_path() / "floveran-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path = pattern;
#endif
  }
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  std::string file(std::string_view name) const { return utf8_from_path(path / path_from_utf8(name)); }
  std::string name() const { return utf8_from_path(path); }
};

inline void write_file(const std::string& name, std::string_view bytes) {
  std::ofstream out(path_from_utf8(name), std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::string read_file(const std::string& name) {
  std::ifstream in(path_from_utf8(name), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace floveran::testing
