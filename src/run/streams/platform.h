// The operating system's files, signals and processors, in one seam: opening by
// name, block reads and writes, repositioning, identity, error texts, replacement
// files that take a name only when complete, the end of the process on an
// interrupt, and the number of processors the process may use.
// Everything above it is the same on every platform; platform_posix.cpp
// implements it for POSIX systems, platform_windows.cpp for Windows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
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
// equal identities read and write the same bytes. No file has the all-zero
// identity.
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
  std::int64_t size = -1;     // the length of a regular file when opened; -1 for
                              // anything else (a pipe, a terminal, a device)
  std::uint64_t names = 0;    // the number of names (hard links) the file has
};

// Which file a handle reaches; all zero when the system cannot tell.
FileIdentity file_identity(FileHandle file);

// The arguments after the program name, in UTF-8 on Windows (where they come from
// the UTF-16 command line); on POSIX systems argv[1..] as they are.
std::vector<std::string> program_arguments(int argc, char** argv);

// Names are UTF-8 on Windows (converted to UTF-16 for the system) and bytes as
// they are elsewhere.
// Opens an existing file for reading. A directory is refused (kErrorIsDirectory).
OpenedFile open_for_reading(const std::string& name);
// Opens an existing file for writing, neither creating it nor cutting its length:
// the caller looks at what it is first. A directory is refused, and on Windows a
// read-only file. A name that reaches no file gives an error for which
// names_no_file is true.
OpenedFile open_existing_for_writing(const std::string& name);
bool names_no_file(SystemError error);
// Cuts a regular file opened for writing to length 0.
SystemError truncate_to_empty(FileHandle file);

// A replacement: a new file, created empty under a hidden unique name beside the
// file it is to replace (on POSIX systems readable by its owner only; on Windows
// with the hidden attribute and the rights its folder gives), that takes that
// file's place on commit_replacement, all at once, or is removed by
// discard_replacement. While it exists it is removed on an interrupt too (see
// end_by_interrupts).
struct Replacement {
  std::string path;    // the new file's own name
  std::string target;  // the name it takes: the name given, or, when that is a
                       // symbolic link, the file the link leads to (the link stays)
};
// Creates the replacement of the file that `name` reaches, or would create.
// `existing` is that file opened for writing, or kNoFile when there is none yet;
// when the replacement could not take its place (another volume, a folder that
// does not let the process replace it, on Windows a file that another program
// holds open without letting it be deleted) the call fails, and the caller
// writes the existing file in place instead.
OpenedFile create_replacement(const std::string& name, FileHandle existing, Replacement& replacement);
// Gives the new file the permissions (and owner and group, where the process may
// set them; on Windows the attributes) of the file it replaces, or of a file
// newly created by the process when there is none; closes it, and puts it in the
// target's place. Nothing is
// forced to the disk first: the new file takes the name after its last byte was
// written and the file closed. On failure the new file is removed.
SystemError commit_replacement(FileHandle file, Replacement& replacement);
// Closes the new file and removes it.
void discard_replacement(FileHandle file, Replacement& replacement);

struct ReadResult {
  std::size_t size = 0;       // 0 at end of input
  SystemError error = 0;
};
// Reads up to `size` bytes; waits for at least one unless the input has ended.
ReadResult read_bytes(FileHandle file, char* destination, std::size_t size);
// Whether a read would return at once: bytes are there to read, or the input has
// ended (or failed). A regular file always has them.
bool bytes_ready(FileHandle file);
// Writes all of [data, data + size).
SystemError write_bytes(FileHandle file, const char* data, std::size_t size);
// Repositions a seekable file at its first byte.
SystemError seek_to_start(FileHandle file);
SystemError close_file(FileHandle file);

// The process's standard output and standard error.
FileHandle standard_output();
FileHandle standard_error();

// Writing to a pipe whose reader has gone must come back as an error of the write,
// not end the process.
void keep_running_on_broken_pipes();

// From this call on, an interrupt (Ctrl-C, a kill, the terminal closed: SIGINT,
// SIGTERM and SIGHUP on POSIX; Ctrl-C, Ctrl-Break, the console closed, a logoff
// or shutdown on Windows) removes the replacement file being written, if any,
// writes the current note to standard error and ends the process by that same
// interrupt, as it would have ended without the tool's help (on Windows with
// STATUS_CONTROL_C_EXIT). An interrupt the process was started to ignore (such
// as a hang-up under nohup, or Ctrl-C in a new process group) stays ignored.
void end_by_interrupts(std::string_view note);
// Sets the note an interrupt writes; empty for none. Committing a replacement
// clears it: the output is then complete.
void set_interrupt_note(std::string_view note);

// The processors this process may run on: those its affinity lets it use, held
// to its share of processor time where one is set (the quota of a container or a
// control group), rounded up; at least 1.
int available_processors();

// The processors that other programs keep busy at this moment: their processes
// running or ready to run, besides this one and the one that started it (the
// kernel's own threads, whose work comes and goes, do not count), counted up to
// `most`. Linux only; 0 elsewhere.
int processors_kept_busy(int most);

// Called first thing on a thread that the process starts for its own work: the
// interrupts of end_by_interrupts are then handled only on the threads that were
// there before, never on this one.
void keep_interrupts_off_this_thread();

// The system's text for an error, such as "No such file or directory".
std::string error_text(SystemError error);

}  // namespace floveran::platform
