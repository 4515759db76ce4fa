// What tests on Windows use where POSIX tests have pipes by name and files whose
// reads fail: a named pipe fed by the test, reading a child's output pipe to its
// end, and an input whose reads fail.
#pragma once

#ifdef _WIN32

#include <windows.h>

#include <string>
#include <string_view>

#include "support/temp_dir.h"

namespace floveran::testing {

// The server end of a named pipe that one reader opens by its name and reads. The
// test writes to it and closes it; the reader then meets the end of its input.
class NamedPipeWriter {
 public:
  NamedPipeWriter() {
    static unsigned count = 0;
    name_ = "\\\\.\\pipe\\floveran-test-" + std::to_string(::GetCurrentProcessId()) + "-" +
            std::to_string(::GetTickCount64()) + "-" + std::to_string(++count);
    pipe_ = ::CreateNamedPipeW(path_from_utf8(name_).c_str(), PIPE_ACCESS_OUTBOUND | FILE_FLAG_OVERLAPPED,
                               PIPE_TYPE_BYTE | PIPE_WAIT, 1, 65536, 65536, 0, nullptr);
    event_ = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  }
  ~NamedPipeWriter() {
    close();
    if (event_ != nullptr) ::CloseHandle(event_);
  }
  NamedPipeWriter(const NamedPipeWriter&) = delete;
  NamedPipeWriter& operator=(const NamedPipeWriter&) = delete;

  const std::string& name() const { return name_; }
  bool ready() const { return pipe_ != INVALID_HANDLE_VALUE && event_ != nullptr; }

  // Waits up to `milliseconds` for the reader to open the pipe.
  bool wait_for_reader(DWORD milliseconds = 30000) {
    if (!ready()) return false;
    OVERLAPPED overlapped{};
    overlapped.hEvent = event_;
    if (::ConnectNamedPipe(pipe_, &overlapped)) return true;
    const DWORD error = ::GetLastError();
    if (error == ERROR_PIPE_CONNECTED) return true;
    if (error != ERROR_IO_PENDING) return false;
    if (::WaitForSingleObject(event_, milliseconds) != WAIT_OBJECT_0) {
      ::CancelIo(pipe_);
      DWORD ignored = 0;
      ::GetOverlappedResult(pipe_, &overlapped, &ignored, TRUE);
      return false;
    }
    DWORD ignored = 0;
    return ::GetOverlappedResult(pipe_, &overlapped, &ignored, FALSE);
  }

  // Writes all of the bytes, waiting while the reader is behind; false when the
  // reader has gone.
  bool write(std::string_view bytes) {
    while (!bytes.empty()) {
      OVERLAPPED overlapped{};
      overlapped.hEvent = event_;
      DWORD written = 0;
      const DWORD piece = static_cast<DWORD>(bytes.size() < 65536 ? bytes.size() : 65536);
      if (!::WriteFile(pipe_, bytes.data(), piece, nullptr, &overlapped) &&
          ::GetLastError() != ERROR_IO_PENDING) {
        return false;
      }
      if (!::GetOverlappedResult(pipe_, &overlapped, &written, TRUE) || written == 0) return false;
      bytes.remove_prefix(written);
    }
    return true;
  }

  // Waits until the reader has taken every byte written (or has gone), then closes
  // the pipe: the reader's next read reports the end of its input.
  void close() {
    if (pipe_ == INVALID_HANDLE_VALUE) return;
    ::FlushFileBuffers(pipe_);
    ::DisconnectNamedPipe(pipe_);
    ::CloseHandle(pipe_);
    pipe_ = INVALID_HANDLE_VALUE;
  }

  // Opens the pipe, feeds it all of `bytes` and closes it: a reader's whole input.
  void feed(std::string_view bytes) {
    if (wait_for_reader()) write(bytes);
    close();
  }

 private:
  std::string name_;
  HANDLE pipe_ = INVALID_HANDLE_VALUE;
  HANDLE event_ = nullptr;
};

// Appends everything that comes from `pipe` until its writers have gone.
inline void read_pipe_to_end(HANDLE pipe, std::string& so_far) {
  char buffer[4096];
  DWORD read = 0;
  while (::ReadFile(pipe, buffer, sizeof buffer, &read, nullptr) && read > 0) so_far.append(buffer, read);
}

// An input that opens but cannot be read. On Windows a file whose bytes another
// process holds locked (LockFileEx) fails every read with ERROR_LOCK_VIOLATION:
// `file_name` in the folder, holding `bytes`. Wine does not lock reads out, but maps
// the Unix file /proc/self/mem, whose reads at offset 0 fail: that name is used
// there. `name` stays empty where neither exists, with the reason in `missing`.
struct UnreadableInput {
  std::string name;
  std::string missing;
  DWORD expected_error = 0;  // the error of its reads, 0 where the system decides
  HANDLE locked = INVALID_HANDLE_VALUE;

  UnreadableInput(const TempDir& dir, std::string_view bytes, std::string_view file_name = "locked.txt") {
    const std::string file = dir.file(file_name);
    write_file(file, bytes);
    locked = ::CreateFileW(path_from_utf8(file).c_str(), GENERIC_READ | GENERIC_WRITE,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    OVERLAPPED whole_file{};
    if (locked != INVALID_HANDLE_VALUE &&
        ::LockFileEx(locked, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, MAXDWORD, MAXDWORD,
                     &whole_file) &&
        !readable(file)) {
      name = file;
      expected_error = ERROR_LOCK_VIOLATION;
      return;
    }
    if (::GetFileAttributesW(L"/proc/self/mem") != INVALID_FILE_ATTRIBUTES && !readable("/proc/self/mem")) {
      name = "/proc/self/mem";
      return;
    }
    missing = "this system lets another process read a locked range, and has no file whose reads fail";
  }
  ~UnreadableInput() {
    if (locked != INVALID_HANDLE_VALUE) ::CloseHandle(locked);
  }
  UnreadableInput(const UnreadableInput&) = delete;
  UnreadableInput& operator=(const UnreadableInput&) = delete;

  static bool readable(const std::string& file) {
    const HANDLE h = ::CreateFileW(path_from_utf8(file).c_str(), GENERIC_READ,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    char byte;
    DWORD read = 0;
    const bool ok = ::ReadFile(h, &byte, 1, &read, nullptr);
    ::CloseHandle(h);
    return ok;
  }
};

}  // namespace floveran::testing

#endif
