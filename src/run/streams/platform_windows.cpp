// The file seam on Windows: CreateFileW, ReadFile, WriteFile, SetFilePointerEx and
// CloseHandle on raw handles, with no C runtime in between; names in UTF-8 inside.
#include <windows.h>
#include <shellapi.h>

#include <cstdint>
#include <string>
#include <vector>

#include "run/streams/platform.h"

namespace floveran::platform {
namespace {

// ERROR_DIRECTORY_NOT_SUPPORTED, which older headers lack.
constexpr DWORD kDirectoryNotSupported = 336;

// Large transfers go in pieces that a DWORD count holds.
constexpr std::size_t kLargestTransfer = std::size_t{1} << 30;

HANDLE handle_of(FileHandle file) { return reinterpret_cast<HANDLE>(file); }
FileHandle file_of(HANDLE handle) { return reinterpret_cast<FileHandle>(handle); }
SystemError last_error() { return static_cast<SystemError>(::GetLastError()); }

std::wstring wide_from_utf8(const std::string& text) {
  if (text.empty()) return {};
  const int size = static_cast<int>(text.size());
  const int length = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), size, nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, text.data(), size, wide.data(), length);
  return wide;
}

std::string utf8_from_wide(const wchar_t* wide) {
  const int length = ::WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
  if (length <= 1) return {};
  std::string text(static_cast<std::size_t>(length), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, wide, -1, text.data(), length, nullptr, nullptr);
  text.pop_back();  // the terminating NUL
  return text;
}

// A name as the system takes it: UTF-16, and written as an extended-length path
// (\\?\C:\... or \\?\UNC\server\...) when its full path is too long for the
// classic limit of MAX_PATH characters, which such a path is not held to. Names of
// devices and pipes (\\.\...) and extended-length names stay as they are.
std::wstring system_name(const std::string& name) {
  const std::wstring wide = wide_from_utf8(name);
  if (wide.starts_with(L"\\\\?\\") || wide.starts_with(L"\\\\.\\")) return wide;
  // Folders are held to 12 characters less than files.
  constexpr DWORD kLongestClassicPath = MAX_PATH - 12;
  const DWORD needed = ::GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
  if (needed == 0 || needed <= kLongestClassicPath) return wide;
  std::wstring full(needed, L'\0');
  const DWORD length = ::GetFullPathNameW(wide.c_str(), needed, full.data(), nullptr);
  if (length == 0 || length >= needed) return wide;
  full.resize(length);
  if (full.starts_with(L"\\\\")) return L"\\\\?\\UNC\\" + full.substr(2);
  return L"\\\\?\\" + full;
}

// What the tool needs to know of an opened handle. Files on a disk are regular and
// seekable, and are known by their volume serial number and file index; pipes and
// character devices are neither, and each handle of them counts as a file of its own.
OpenedFile describe(HANDLE handle) {
  OpenedFile opened;
  opened.handle = file_of(handle);
  opened.identity = {~std::uint64_t{0}, static_cast<std::uint64_t>(opened.handle)};
  if (::GetFileType(handle) != FILE_TYPE_DISK) return opened;
  opened.regular = true;
  opened.seekable = true;
  BY_HANDLE_FILE_INFORMATION information;
  if (::GetFileInformationByHandle(handle, &information)) {
    opened.identity = {information.dwVolumeSerialNumber,
                       (std::uint64_t{information.nFileIndexHigh} << 32) | information.nFileIndexLow};
  }
  return opened;
}

OpenedFile failed_with(SystemError error) {
  OpenedFile failed;
  failed.error = error;
  return failed;
}

// Other processes may read, write, rename and delete the file meanwhile, as on
// POSIX systems.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

}  // namespace

const SystemError kErrorNoSuchFile = ERROR_FILE_NOT_FOUND;
const SystemError kErrorIsDirectory = kDirectoryNotSupported;
const SystemError kErrorNotSeekable = ERROR_SEEK_ON_DEVICE;

std::vector<std::string> program_arguments(int, char**) {
  std::vector<std::string> arguments;
  int count = 0;
  wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  if (wide == nullptr) return arguments;
  for (int i = 1; i < count; ++i) arguments.push_back(utf8_from_wide(wide[i]));
  ::LocalFree(wide);
  return arguments;
}

OpenedFile open_for_reading(const std::string& name) {
  const std::wstring wide = system_name(name);
  const HANDLE handle = ::CreateFileW(wide.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    const SystemError error = last_error();
    // A folder cannot be opened as a file; say so rather than "access denied".
    const DWORD attributes = ::GetFileAttributesW(wide.c_str());
    if (error == ERROR_ACCESS_DENIED && attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
      return failed_with(kErrorIsDirectory);
    }
    return failed_with(error);
  }
  return describe(handle);
}

OpenedFile open_for_writing(const std::string& name) {
  const std::wstring wide = system_name(name);
  const HANDLE handle = ::CreateFileW(wide.c_str(), GENERIC_WRITE, kShareAll, nullptr, OPEN_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return failed_with(last_error());
  return describe(handle);
}

SystemError truncate_to_empty(FileHandle file) {
  const LARGE_INTEGER start{};
  if (!::SetFilePointerEx(handle_of(file), start, nullptr, FILE_BEGIN) ||
      !::SetEndOfFile(handle_of(file))) {
    return last_error();
  }
  return 0;
}

ReadResult read_bytes(FileHandle file, char* destination, std::size_t size) {
  DWORD read = 0;
  const DWORD asked = static_cast<DWORD>(size < kLargestTransfer ? size : kLargestTransfer);
  if (::ReadFile(handle_of(file), destination, asked, &read, nullptr)) return {read, 0};
  const SystemError error = last_error();
  // The writer of a pipe has closed its end, or the server of a named pipe has
  // disconnected after its last bytes: that is the end of the input.
  if (error == ERROR_BROKEN_PIPE || error == ERROR_PIPE_NOT_CONNECTED || error == ERROR_HANDLE_EOF) {
    return {0, 0};
  }
  return {0, error};
}

SystemError write_bytes(FileHandle file, const char* data, std::size_t size) {
  while (size > 0) {
    DWORD written = 0;
    const DWORD piece = static_cast<DWORD>(size < kLargestTransfer ? size : kLargestTransfer);
    if (!::WriteFile(handle_of(file), data, piece, &written, nullptr)) return last_error();
    if (written == 0) return ERROR_WRITE_FAULT;
    data += written;
    size -= written;
  }
  return 0;
}

SystemError seek_to_start(FileHandle file) {
  const LARGE_INTEGER start{};
  return ::SetFilePointerEx(handle_of(file), start, nullptr, FILE_BEGIN) ? 0 : last_error();
}

SystemError close_file(FileHandle file) {
  return ::CloseHandle(handle_of(file)) ? 0 : last_error();
}

// Without a standard output (a program started with none) every write fails, and
// the console is dropped like one whose reader has gone.
FileHandle standard_output() { return file_of(::GetStdHandle(STD_OUTPUT_HANDLE)); }

// A write to a pipe whose reader has gone fails with ERROR_NO_DATA; Windows sends no
// signal for it.
void keep_running_on_broken_pipes() {}

// The system's message, in English where the system has it, else in its own
// language; the errors this seam makes itself have texts of their own, since not
// every system has a message for them.
std::string error_text(SystemError error) {
  if (error == kErrorIsDirectory) return "Is a directory";
  std::string message;
  for (const DWORD language : {DWORD{MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US)}, DWORD{0}}) {
    wchar_t* text = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(error), language, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    if (length > 0) message = utf8_from_wide(text);
    if (text != nullptr) ::LocalFree(text);
    if (!message.empty()) break;
  }
  // As strerror has it: one line, without the closing period.
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                              message.back() == ' ' || message.back() == '.')) {
    message.pop_back();
  }
  if (message.empty()) message = "Windows error " + std::to_string(error);
  return message;
}

}  // namespace floveran::platform
