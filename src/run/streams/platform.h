// The operating system's files, in one seam: opening by name, block reads and
// writes, repositioning, identity and error texts. Everything above it is the
// same on every platform; platform_posix.cpp implements it for POSIX systems,
// platform_windows.cpp for Windows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace floveran::platform {

// A file opened by this seam. Any integer the system hands out fits.
using FileHandle = std::intptr_t;
inline constexpr FileHandle kNoFile = -1;

// An error as the system reports it (errno on POSIX, GetLastError on Windows); 0
// is no error.
using SystemError = int;

// The errors that this seam and the layers above it report of their own accord.
extern const SystemError kErrorNoSuchFile;     // opening a name that does not exist
extern const SystemError kErrorIsDirectory;    // opening a folder for reading
extern const SystemError kErrorNotSeekable;    // repositioning what cannot be

// Which file a handle reaches, whatever name it was opened by: two handles with
// equal identities read and write the same bytes.
struct FileIdentity {
  std::uint64_t volume = 0;
  std::uint64_t file = 0;
  friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

struct OpenedFile {
  FileHandle handle = kNoFile;
  SystemError error = 0;      // set when handle is kNoFile
  FileIdentity identity;
  bool regular = false;       // a regular file, whose length can be cut
  bool seekable = false;      // can be repositioned at its first byte
};

// The arguments after the program name, in UTF-8 on Windows (where they come from
// the UTF-16 command line); on POSIX systems argv[1..] as they are.
std::vector<std::string> program_arguments(int argc, char** argv);

// Names are UTF-8 on Windows (converted to UTF-16 for the system) and bytes as
// they are elsewhere.
// Opens an existing file for reading. A directory is refused (kErrorIsDirectory).
OpenedFile open_for_reading(const std::string& name);
// Opens a file for writing, creating it when missing, without cutting its length:
// the caller looks at its identity first.
OpenedFile open_for_writing(const std::string& name);
// Cuts a regular file opened for writing to length 0.
SystemError truncate_to_empty(FileHandle file);

struct ReadResult {
  std::size_t size = 0;       // 0 at end of input
  SystemError error = 0;
};
// Reads up to `size` bytes; waits for at least one unless the input has ended.
ReadResult read_bytes(FileHandle file, char* destination, std::size_t size);
// Writes all of [data, data + size).
SystemError write_bytes(FileHandle file, const char* data, std::size_t size);
// Repositions a seekable file at its first byte.
SystemError seek_to_start(FileHandle file);
SystemError close_file(FileHandle file);

// The process's standard output.
FileHandle standard_output();

// Writing to a pipe whose reader has gone must come back as an error of the write,
// not end the process.
void keep_running_on_broken_pipes();

// The system's text for an error, such as "No such file or directory".
std::string error_text(SystemError error);

}  // namespace floveran::platform
