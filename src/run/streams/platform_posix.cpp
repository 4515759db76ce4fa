// The file seam on POSIX systems: open, read, write, lseek, fstat and close on
// raw descriptors, every call retried when a signal interrupts it.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>

#include "run/streams/platform.h"

namespace floveran::platform {
namespace {

int descriptor(FileHandle file) { return static_cast<int>(file); }

// What the tool needs to know of an opened descriptor; a directory, which has no
// bytes to read, is refused when reading.
OpenedFile describe(int fd, bool reading) {
  OpenedFile opened;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || (reading && S_ISDIR(st.st_mode))) {
    opened.error = reading && S_ISDIR(st.st_mode) ? EISDIR : errno;
    ::close(fd);
    return opened;
  }
  opened.handle = fd;
  opened.identity = {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
  opened.regular = S_ISREG(st.st_mode);
  opened.seekable = (S_ISREG(st.st_mode) || S_ISBLK(st.st_mode)) && ::lseek(fd, 0, SEEK_CUR) >= 0;
  return opened;
}

OpenedFile open_with(const std::string& name, int flags) {
  int fd;
  do {
    fd = ::open(name.c_str(), flags | O_CLOEXEC, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    OpenedFile failed;
    failed.error = errno;
    return failed;
  }
  return describe(fd, (flags & O_ACCMODE) == O_RDONLY);
}

}  // namespace

const SystemError kErrorNoSuchFile = ENOENT;
const SystemError kErrorIsDirectory = EISDIR;
const SystemError kErrorNotSeekable = ESPIPE;

std::vector<std::string> program_arguments(int argc, char** argv) {
  return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + (argc > 0 ? argc : 0));
}

OpenedFile open_for_reading(const std::string& name) { return open_with(name, O_RDONLY); }

OpenedFile open_for_writing(const std::string& name) { return open_with(name, O_WRONLY | O_CREAT); }

SystemError truncate_to_empty(FileHandle file) {
  return ::ftruncate(descriptor(file), 0) == 0 ? 0 : errno;
}

ReadResult read_bytes(FileHandle file, char* destination, std::size_t size) {
  for (;;) {
    const ssize_t n = ::read(descriptor(file), destination, size);
    if (n >= 0) return {static_cast<std::size_t>(n), 0};
    if (errno != EINTR) return {0, errno};
  }
}

SystemError write_bytes(FileHandle file, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t written = ::write(descriptor(file), data, size);
    if (written < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    data += written;
    size -= static_cast<std::size_t>(written);
  }
  return 0;
}

SystemError seek_to_start(FileHandle file) {
  return ::lseek(descriptor(file), 0, SEEK_SET) == 0 ? 0 : errno;
}

SystemError close_file(FileHandle file) {
  // After an interrupted close the descriptor is gone on Linux: never retried.
  return ::close(descriptor(file)) == 0 ? 0 : errno;
}

FileHandle standard_output() { return STDOUT_FILENO; }

void keep_running_on_broken_pipes() { std::signal(SIGPIPE, SIG_IGN); }

std::string error_text(SystemError error) { return std::strerror(error); }

}  // namespace floveran::platform
