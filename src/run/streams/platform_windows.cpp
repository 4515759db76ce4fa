// The file, interrupt and processor seam on Windows: CreateFileW, ReadFile,
// WriteFile, SetFilePointerEx and CloseHandle on raw handles, with no C runtime in
// between, names in UTF-8 inside; replacements made with CREATE_NEW and MoveFileExW;
// interrupts caught by a console control handler, on the thread Windows starts for
// it; processors from the affinity mask or, without one, every processor group.
#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <string>
#include <vector>

#include "run/streams/platform.h"
#include "run/streams/replacement_name.h"

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

FileIdentity identity_of(const BY_HANDLE_FILE_INFORMATION& information) {
  return {information.dwVolumeSerialNumber,
          (std::uint64_t{information.nFileIndexHigh} << 32) | information.nFileIndexLow};
}

// What the tool needs to know of an opened handle. Files on a disk are regular and
// seekable, and are known by their volume serial number and file index; pipes and
// character devices are neither, and each handle of them counts as a file of its
// own, of one name.
OpenedFile describe(HANDLE handle) {
  OpenedFile opened;
  opened.handle = file_of(handle);
  opened.identity = {~std::uint64_t{0}, static_cast<std::uint64_t>(opened.handle)};
  opened.names = 1;
  if (::GetFileType(handle) != FILE_TYPE_DISK) return opened;
  opened.regular = true;
  opened.seekable = true;
  BY_HANDLE_FILE_INFORMATION information;
  if (::GetFileInformationByHandle(handle, &information)) {
    opened.identity = identity_of(information);
    opened.names = information.nNumberOfLinks;
  }
  LARGE_INTEGER size;
  if (::GetFileSizeEx(handle, &size)) opened.size = size.QuadPart;
  return opened;
}

OpenedFile failed_with(SystemError error) {
  OpenedFile failed;
  failed.error = error;
  return failed;
}

// A folder cannot be opened as a file: Windows says "access denied", the tool
// says what it is.
OpenedFile failed_to_open(const std::wstring& name) {
  const SystemError error = last_error();
  const DWORD attributes = ::GetFileAttributesW(name.c_str());
  if (error == ERROR_ACCESS_DENIED && attributes != INVALID_FILE_ATTRIBUTES &&
      (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return failed_with(kErrorIsDirectory);
  }
  return failed_with(error);
}

// Other processes may read, write, rename and delete the file meanwhile, as on
// POSIX systems.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// ----------------------------------------------------------------- interrupts

// What the handler does, in storage that lives until the process ends (the
// handler may run while static objects are destroyed at exit). The handler runs
// on a thread of its own, so every change and the handler itself hold the lock:
// the handler takes it and never gives it back, which also keeps a replacement
// from taking its name once the handler has removed it.
struct InterruptWork {
  std::string note;
  std::wstring removal;  // the replacement file to remove (its system name), or none
};
SRWLOCK interrupt_lock = SRWLOCK_INIT;

InterruptWork& interrupt_work() {
  static auto* work = new InterruptWork;
  return *work;
}

// Holds the handler back for its lifetime.
class HeldInterrupts {
 public:
  HeldInterrupts() { ::AcquireSRWLockExclusive(&interrupt_lock); }
  ~HeldInterrupts() { ::ReleaseSRWLockExclusive(&interrupt_lock); }
  HeldInterrupts(const HeldInterrupts&) = delete;
  HeldInterrupts& operator=(const HeldInterrupts&) = delete;
};

// Ctrl-C, Ctrl-Break, the console closed, the user logged off or the system shut
// down: the replacement is removed, the note written, and the process ends with
// the status Windows gives it when no handler is there (STATUS_CONTROL_C_EXIT).
// A Ctrl-C that the process was started to ignore never reaches the handler.
BOOL WINAPI on_interrupt(DWORD event) {
  switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
      break;
    default:
      return FALSE;
  }
  ::AcquireSRWLockExclusive(&interrupt_lock);
  const InterruptWork& work = interrupt_work();
  if (!work.removal.empty()) ::DeleteFileW(work.removal.c_str());
  const HANDLE errors = ::GetStdHandle(STD_ERROR_HANDLE);
  const char* note = work.note.data();
  std::size_t left = work.note.size();
  while (left > 0 && errors != nullptr && errors != INVALID_HANDLE_VALUE) {
    DWORD written = 0;
    if (!::WriteFile(errors, note, static_cast<DWORD>(left), &written, nullptr) || written == 0) break;
    note += written;
    left -= written;
  }
  ::TerminateProcess(::GetCurrentProcess(), STATUS_CONTROL_C_EXIT);
  return TRUE;  // not reached: the process has ended
}

// ----------------------------------------------------------------- replacements

// The folder part of a path, with its final separator, or "" for a bare name.
std::string folder_of(const std::string& path) {
  const std::size_t separator = path.find_last_of("/\\:");
  return separator == std::string::npos ? std::string() : path.substr(0, separator + 1);
}

// The file the name reaches, as the name the replacement is to take: the name
// itself, or, when it is a symbolic link (or another name-surrogate reparse
// point) leading to an existing file, that file's final path, so that the link
// stays. A link that leads nowhere is not followed: its file is not found.
SystemError replacement_target(const std::string& name, FileHandle existing, std::string& target) {
  target = name;
  const DWORD attributes = ::GetFileAttributesW(system_name(name).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) return 0;
  if (existing == kNoFile) return ERROR_FILE_NOT_FOUND;
  const DWORD needed = ::GetFinalPathNameByHandleW(handle_of(existing), nullptr, 0, FILE_NAME_NORMALIZED);
  if (needed == 0) return last_error();
  std::wstring final_path(needed, L'\0');
  const DWORD length =
      ::GetFinalPathNameByHandleW(handle_of(existing), final_path.data(), needed, FILE_NAME_NORMALIZED);
  if (length == 0 || length >= needed) return length == 0 ? last_error() : ERROR_INSUFFICIENT_BUFFER;
  final_path.resize(length);
  target = utf8_from_wide(final_path.c_str());
  return 0;
}

// Six characters of a name no file has yet, from a mix of the process, the time
// and the attempt (CREATE_NEW finds out whether the name is taken).
std::string unique_ending(unsigned attempt) {
  constexpr char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  LARGE_INTEGER now{};
  ::QueryPerformanceCounter(&now);
  std::uint64_t mix = static_cast<std::uint64_t>(now.QuadPart) ^
                      (std::uint64_t{::GetCurrentProcessId()} << 32) ^
                      (std::uint64_t{attempt} * 0x9E3779B97F4A7C15u);
  // splitmix64's finaliser spreads every bit of the mix over the whole word.
  mix = (mix ^ (mix >> 30)) * 0xBF58476D1CE4E5B9u;
  mix = (mix ^ (mix >> 27)) * 0x94D049BB133111EBu;
  mix ^= mix >> 31;
  std::string ending;
  for (std::size_t i = 0; i < kReplacementEndingSize; ++i) {
    ending += kLetters[mix % (sizeof kLetters - 1)];
    mix /= sizeof kLetters - 1;
  }
  return ending;
}

// Whether the new file can take the place of the existing file: on the same
// volume, named by the target (not a file reached through a name that has
// changed since), and deletable by this process now: another program that holds
// the file open without sharing its deletion, or rights that deny it, keep it
// from being replaced.
SystemError check_replaceable(HANDLE existing, HANDLE created, const std::string& target) {
  BY_HANDLE_FILE_INFORMATION old{}, fresh{}, named{};
  if (!::GetFileInformationByHandle(existing, &old) || !::GetFileInformationByHandle(created, &fresh)) {
    return last_error();
  }
  if (old.dwVolumeSerialNumber != fresh.dwVolumeSerialNumber) return ERROR_NOT_SAME_DEVICE;
  const HANDLE deletable = ::CreateFileW(system_name(target).c_str(), DELETE | FILE_READ_ATTRIBUTES, kShareAll,
                                         nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (deletable == INVALID_HANDLE_VALUE) return last_error();
  const bool same = ::GetFileInformationByHandle(deletable, &named) && identity_of(named) == identity_of(old);
  ::CloseHandle(deletable);
  return same ? 0 : ERROR_FILE_INVALID;
}

// The attributes the replaced file had that a file may be given (hidden, system,
// archive, not indexed), or those of a new file; never the replacement's own
// hidden mark. Nothing here makes a complete table fail.
void pass_on_attributes(const std::wstring& path, const std::string& target) {
  constexpr DWORD kKept =
      FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
  const DWORD old = ::GetFileAttributesW(system_name(target).c_str());
  DWORD attributes = old != INVALID_FILE_ATTRIBUTES ? old & kKept : FILE_ATTRIBUTE_ARCHIVE;
  if (attributes == 0) attributes = FILE_ATTRIBUTE_NORMAL;
  ::SetFileAttributesW(path.c_str(), attributes);
}

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

// Files on a disk only: a pipe or a device has no identity that lasts.
FileIdentity file_identity(FileHandle file) {
  const HANDLE handle = handle_of(file);
  BY_HANDLE_FILE_INFORMATION information;
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE || ::GetFileType(handle) != FILE_TYPE_DISK ||
      !::GetFileInformationByHandle(handle, &information)) {
    return {};
  }
  return identity_of(information);
}

OpenedFile open_for_reading(const std::string& name) {
  const std::wstring wide = system_name(name);
  const HANDLE handle = ::CreateFileW(wide.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return failed_to_open(wide);
  return describe(handle);
}

// A read-only file is refused as Windows refuses it, also where the process's
// rights would let it through (a program run by root under Wine).
OpenedFile open_existing_for_writing(const std::string& name) {
  const std::wstring wide = system_name(name);
  const HANDLE handle = ::CreateFileW(wide.c_str(), GENERIC_WRITE | FILE_READ_ATTRIBUTES, kShareAll, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return failed_to_open(wide);
  BY_HANDLE_FILE_INFORMATION information;
  if (::GetFileInformationByHandle(handle, &information) &&
      (information.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0) {
    ::CloseHandle(handle);
    return failed_with(ERROR_ACCESS_DENIED);
  }
  return describe(handle);
}

// A missing folder on the way is no file either: the replacement's creation then
// tells why.
bool names_no_file(SystemError error) { return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND; }

OpenedFile create_replacement(const std::string& name, FileHandle existing, Replacement& replacement) {
  std::string target;
  if (const SystemError error = replacement_target(name, existing, target)) return failed_with(error);
  if (target.empty() || target.back() == '/' || target.back() == '\\') return failed_with(kErrorIsDirectory);
  const std::string folder = folder_of(target);
  const std::string stem = folder + replacement_stem(std::string_view(target).substr(folder.size()));
  std::string path;
  HANDLE handle = INVALID_HANDLE_VALUE;
  for (unsigned attempt = 0; handle == INVALID_HANDLE_VALUE; ++attempt) {
    path = stem + unique_ending(attempt);
    const std::wstring wide = system_name(path);
    // Created and registered for removal in one step, as far as the handler sees.
    HeldInterrupts held;
    handle = ::CreateFileW(wide.c_str(), GENERIC_WRITE | FILE_READ_ATTRIBUTES, kShareAll, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_HIDDEN, nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
      interrupt_work().removal = wide;
    } else if (const SystemError error = last_error();
               (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) || attempt == 100) {
      return failed_with(error);
    }
  }
  replacement = {path, target};
  if (existing != kNoFile) {
    if (const SystemError refused = check_replaceable(handle_of(existing), handle, target)) {
      discard_replacement(file_of(handle), replacement);
      return failed_with(refused);
    }
  }
  return describe(handle);
}

SystemError commit_replacement(FileHandle file, Replacement& replacement) {
  SystemError error = close_file(file);
  const std::wstring path = system_name(replacement.path);
  pass_on_attributes(path, replacement.target);
  {
    HeldInterrupts held;
    if (error == 0 && !::MoveFileExW(path.c_str(), system_name(replacement.target).c_str(),
                                     MOVEFILE_REPLACE_EXISTING)) {
      error = last_error();
    }
    if (error != 0) {
      ::DeleteFileW(path.c_str());
    } else {
      interrupt_work().note.clear();
    }
    interrupt_work().removal.clear();
  }
  replacement = {};
  return error;
}

void discard_replacement(FileHandle file, Replacement& replacement) {
  if (file != kNoFile) close_file(file);
  {
    HeldInterrupts held;
    if (!replacement.path.empty()) ::DeleteFileW(system_name(replacement.path).c_str());
    interrupt_work().removal.clear();
  }
  replacement = {};
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

// A pipe has bytes when PeekNamedPipe counts some, and its end when the writer has
// gone (the peek then fails, as the read would at once). A console or another
// character device is taken to wait.
bool bytes_ready(FileHandle file) {
  const HANDLE handle = handle_of(file);
  switch (::GetFileType(handle)) {
    case FILE_TYPE_DISK:
      return true;
    case FILE_TYPE_PIPE: {
      DWORD available = 0;
      return !::PeekNamedPipe(handle, nullptr, 0, nullptr, &available, nullptr) || available > 0;
    }
    default:
      return false;
  }
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

// Written to with WriteFile like any file: its LFs stay plain, as the text layer
// writes them.
FileHandle standard_error() { return file_of(::GetStdHandle(STD_ERROR_HANDLE)); }

// A write to a pipe whose reader has gone fails with ERROR_NO_DATA; Windows sends no
// signal for it.
void keep_running_on_broken_pipes() {}

void end_by_interrupts(std::string_view note) {
  set_interrupt_note(note);
  ::SetConsoleCtrlHandler(on_interrupt, TRUE);
}

void set_interrupt_note(std::string_view note) {
  HeldInterrupts held;
  interrupt_work().note.assign(note);
}

// An affinity narrower than the system's (as `start /affinity` sets it) counts its
// processors; otherwise every processor of every group counts, since a process
// may run on all of them. The processor rate limits of job objects are not read.
int available_processors() {
  DWORD_PTR process_mask = 0;
  DWORD_PTR system_mask = 0;
  if (::GetProcessAffinityMask(::GetCurrentProcess(), &process_mask, &system_mask) && process_mask != 0 &&
      process_mask != system_mask) {
    return std::popcount(static_cast<std::uint64_t>(process_mask));
  }
  const DWORD all = ::GetActiveProcessorCount(ALL_PROCESSOR_GROUPS);
  return all > 0 ? static_cast<int>(std::min<DWORD>(all, DWORD{1} << 20)) : 1;
}

// Not looked at on Windows.
int processors_kept_busy(int) { return 0; }

// Interrupts reach the console control handler on a thread Windows starts for it,
// never on the threads of the process: nothing to do.
void keep_interrupts_off_this_thread() {}

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
