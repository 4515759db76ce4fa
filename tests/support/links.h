// Symbolic links made by tests, the system's own way: symlink on POSIX systems,
// CreateSymbolicLinkW on Windows, where a user may lack the right to make one.
#pragma once

#include <algorithm>
#include <string>

#ifdef _WIN32
#include <windows.h>

#include "support/temp_dir.h"
#else
#include <unistd.h>
#endif

namespace floveran::testing {

// Makes `link` a symbolic link whose text is `text` (UTF-8); false when the
// system made none. Windows makes one only with a privilege or in developer
// mode, and Wine, which reports success, makes none at all: the link must be
// there afterwards.
inline bool make_symbolic_link(const std::string& text, const std::string& link) {
#ifdef _WIN32
  // SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE, which older headers lack.
  constexpr DWORD kUnprivileged = 0x2;
  const std::wstring link_name = path_from_utf8(link).wstring();
  // A link's text leads on with backslashes only.
  std::wstring target = path_from_utf8(text).wstring();
  std::replace(target.begin(), target.end(), L'/', L'\\');
  if (!::CreateSymbolicLinkW(link_name.c_str(), target.c_str(), kUnprivileged)) {
    return false;
  }
  const DWORD attributes = ::GetFileAttributesW(link_name.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
#else
  return ::symlink(text.c_str(), link.c_str()) == 0;
#endif
}

// Why a test of symbolic links is skipped where make_symbolic_link makes none.
inline constexpr const char* kNoSymbolicLinks =
    "this system made no symbolic link: Windows makes them only with the right to create "
    "them or in developer mode, and Wine not at all";

}  // namespace floveran::testing
