// The file, signal and processor seam on POSIX systems: open, read, write, lseek,
// fstat and close on raw descriptors, every call retried when a signal interrupts
// it, and poll to see whether a read would wait; replacements made with mkostemp,
// fchmod, fchown and rename; interrupts caught with sigaction, by a handler that
// does only what a handler may; the processors from sched_getaffinity, the quotas
// of the control groups and the running processes of /proc on Linux, the
// processors online elsewhere.
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sched.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <cstring>

#include "run/streams/processor_texts.h"
#include "run/streams/platform.h"
#include "run/streams/replacement_name.h"

namespace floveran::platform {
namespace {

int descriptor(FileHandle file) { return static_cast<int>(file); }

FileIdentity identity_of(const struct stat& st) {
  return {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

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
  opened.identity = identity_of(st);
  opened.regular = S_ISREG(st.st_mode);
  opened.seekable = (S_ISREG(st.st_mode) || S_ISBLK(st.st_mode)) && ::lseek(fd, 0, SEEK_CUR) >= 0;
  if (S_ISREG(st.st_mode)) opened.size = static_cast<std::int64_t>(st.st_size);
  opened.names = static_cast<std::uint64_t>(st.st_nlink);
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

// ----------------------------------------------------------------- interrupts

const int kInterrupts[] = {SIGINT, SIGTERM, SIGHUP};

sigset_t interrupt_set() {
  sigset_t set;
  sigemptyset(&set);
  for (int signal_number : kInterrupts) sigaddset(&set, signal_number);
  return set;
}

// What the handler does, as plain pointers into storage that lives until the
// process ends (a handler may run while static objects are destroyed at exit).
// Changed only while the interrupts are blocked, so the handler never sees half a
// change.
struct InterruptWork {
  const char* note = nullptr;
  std::size_t note_size = 0;
  const char* removal = nullptr;  // the replacement file to remove, or none
};
InterruptWork interrupt_work;

std::string& note_storage() {
  static auto* storage = new std::string;
  return *storage;
}
std::string& removal_storage() {
  static auto* storage = new std::string;
  return *storage;
}

// Holds the interrupts back for its lifetime; one that comes meanwhile is handled
// when it ends.
class BlockedInterrupts {
 public:
  BlockedInterrupts() {
    const sigset_t set = interrupt_set();
    ::sigprocmask(SIG_BLOCK, &set, &before_);
  }
  ~BlockedInterrupts() { ::sigprocmask(SIG_SETMASK, &before_, nullptr); }
  BlockedInterrupts(const BlockedInterrupts&) = delete;
  BlockedInterrupts& operator=(const BlockedInterrupts&) = delete;

 private:
  sigset_t before_{};
};

// Only async-signal-safe calls: unlink, write, sigaction, sigprocmask, raise.
// The other interrupts are blocked while it runs (see end_by_interrupts).
void on_interrupt(int signal_number) {
  if (interrupt_work.removal != nullptr) ::unlink(interrupt_work.removal);
  const char* note = interrupt_work.note;
  std::size_t left = note != nullptr ? interrupt_work.note_size : 0;
  while (left > 0) {
    const ssize_t written = ::write(STDERR_FILENO, note, left);
    if (written <= 0) break;
    note += written;
    left -= static_cast<std::size_t>(written);
  }
  struct sigaction default_action {};
  default_action.sa_handler = SIG_DFL;
  sigemptyset(&default_action.sa_mask);
  ::sigaction(signal_number, &default_action, nullptr);
  sigset_t own;
  sigemptyset(&own);
  sigaddset(&own, signal_number);
  ::sigprocmask(SIG_UNBLOCK, &own, nullptr);
  ::raise(signal_number);
  ::_exit(128 + signal_number);  // not reached: the interrupt has ended the process
}

void set_removal(const std::string& path) {
  removal_storage() = path;
  interrupt_work.removal = path.empty() ? nullptr : removal_storage().c_str();
}

// ----------------------------------------------------------------- replacements

// The folder part of a path, with its final "/", or "" for a bare name.
std::string folder_of(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// The name the file of `name` has in its own folder: `name` itself, or, while it
// is a symbolic link, the name it leads to, read relative to the link's folder.
// A name that reaches nothing (yet) is returned as it is.
SystemError follow_links(const std::string& name, std::string& path) {
  path = name;
  for (int hops = 0; hops < 40; ++hops) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return 0;
    std::string target(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 255) + 1, '\0');
    for (;;) {
      const ssize_t n = ::readlink(path.c_str(), target.data(), target.size());
      if (n < 0) return errno;
      if (static_cast<std::size_t>(n) < target.size()) {
        target.resize(static_cast<std::size_t>(n));
        break;
      }
      target.resize(target.size() * 2);  // the link grew meanwhile
    }
    if (target.empty()) return ENOENT;
    path = target.front() == '/' ? target : folder_of(path) + target;
  }
  return ELOOP;
}

// The pattern of a replacement's name, for mkostemp: hidden, beside the target,
// naming it and the tool (replacement_name.h).
std::string replacement_pattern(const std::string& target) {
  const std::string folder = folder_of(target);
  return folder + replacement_stem(std::string_view(target).substr(folder.size())) +
         std::string(kReplacementEndingSize, 'X');
}

// Whether a new file in the target's folder can take the place of the existing
// file: on the same volume and not mounted there on its own (a file bound into
// a container), named by the target (not a file reached through a name that has
// changed since), and in a folder that lets the process replace it (a sticky
// folder, such as /tmp, lets only the owner of a file or of the folder).
SystemError check_replaceable(int existing, int created, const std::string& target) {
  struct stat old {}, fresh {}, named {}, folder {};
  if (::fstat(existing, &old) != 0 || ::fstat(created, &fresh) != 0) return errno;
  if (old.st_dev != fresh.st_dev) return EXDEV;
#ifdef STATX_ATTR_MOUNT_ROOT
  struct statx mount_root {};
  if (::statx(existing, "", AT_EMPTY_PATH, 0, &mount_root) == 0 &&
      (mount_root.stx_attributes_mask & mount_root.stx_attributes & STATX_ATTR_MOUNT_ROOT) != 0) {
    return EBUSY;
  }
#endif
  if (::stat(target.c_str(), &named) != 0) return errno;
  if (!(identity_of(named) == identity_of(old))) return ESTALE;
  const std::string folder_name = folder_of(target);
  if (::stat(folder_name.empty() ? "." : folder_name.c_str(), &folder) != 0) return errno;
  const uid_t me = ::geteuid();
  if ((folder.st_mode & S_ISVTX) != 0 && me != 0 && old.st_uid != me && folder.st_uid != me) {
    return EPERM;
  }
  return 0;
}

// The permission bits (and owner and group) the replaced file had, or those of a
// file created by the process (0666 less the umask). Nothing here makes a
// complete table fail: a file system that keeps no owner or mode bits (FAT)
// refuses them, and the table is still written.
void pass_on_permissions(int fd, const std::string& target) {
  struct stat old {};
  mode_t mode;
  if (::stat(target.c_str(), &old) == 0 && S_ISREG(old.st_mode)) {
    mode = old.st_mode & 07777;
    struct stat fresh {};
    if (::fstat(fd, &fresh) == 0 && (fresh.st_uid != old.st_uid || fresh.st_gid != old.st_gid)) {
      if (::fchown(fd, old.st_uid, old.st_gid) != 0) {
        // Not the owner: the group alone, where the process belongs to it; and no
        // set-ID bits on a file of another owner or group.
        const bool group_kept = ::fchown(fd, static_cast<uid_t>(-1), old.st_gid) == 0;
        mode &= group_kept ? ~static_cast<mode_t>(S_ISUID) : ~static_cast<mode_t>(S_ISUID | S_ISGID);
      }
    }
  } else {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    mode = 0666 & ~mask;
  }
  ::fchmod(fd, mode);
}

// ----------------------------------------------------------------- processors

// The processors in the calling thread's affinity mask (which a new process
// inherits, as taskset sets it), with a mask as large as the system needs; where
// there is no such mask, the processors online.
int affinity_processors() {
#if defined(__linux__)
  for (int size = CPU_SETSIZE; size <= 1 << 20; size *= 2) {
    cpu_set_t* set = CPU_ALLOC(static_cast<std::size_t>(size));
    if (set == nullptr) break;
    const std::size_t bytes = CPU_ALLOC_SIZE(static_cast<std::size_t>(size));
    CPU_ZERO_S(bytes, set);
    const bool read = ::sched_getaffinity(0, bytes, set) == 0;
    const int count = read ? CPU_COUNT_S(bytes, set) : 0;
    CPU_FREE(set);
    if (read) return count;
    if (errno != EINVAL) break;  // EINVAL: the mask is too small for the system
  }
#endif
  const long online = ::sysconf(_SC_NPROCESSORS_ONLN);
  return online > 0 ? static_cast<int>(std::min<long>(online, 1 << 20)) : 1;
}

// A small file of the system (a few hundred bytes to a few kilobytes), whole; empty
// when it cannot be read.
std::string small_file(const std::string& path) {
  std::string text;
  int fd;
  do {
    fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return text;
  char block[4096];
  for (;;) {
    const ssize_t n = ::read(fd, block, sizeof block);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0 || text.size() > (std::size_t{1} << 20)) break;
    text.append(block, static_cast<std::size_t>(n));
  }
  ::close(fd);
  return text;
}

// The smallest processor quota of the control groups the process is in, 0 when
// none is set.
double processor_quota() {
  double quota = 0.0;
  for (const QuotaFolder& folder : quota_folders(small_file("/proc/self/cgroup"), small_file("/proc/self/mountinfo"))) {
    const double granted = folder.unified ? processors_of_cpu_max(small_file(folder.path + "/cpu.max"))
                                          : processors_of_cfs_quota(small_file(folder.path + "/cpu.cfs_quota_us"),
                                                                    small_file(folder.path + "/cpu.cfs_period_us"));
    if (granted > 0.0 && (quota == 0.0 || granted < quota)) quota = granted;
  }
  return quota;
}

}  // namespace

const SystemError kErrorNoSuchFile = ENOENT;
const SystemError kErrorIsDirectory = EISDIR;
const SystemError kErrorNotSeekable = ESPIPE;

std::vector<std::string> program_arguments(int argc, char** argv) {
  return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + (argc > 0 ? argc : 0));
}

FileIdentity file_identity(FileHandle file) {
  struct stat st {};
  return ::fstat(descriptor(file), &st) == 0 ? identity_of(st) : FileIdentity{};
}

OpenedFile open_for_reading(const std::string& name) { return open_with(name, O_RDONLY); }

OpenedFile open_existing_for_writing(const std::string& name) { return open_with(name, O_WRONLY); }

bool names_no_file(SystemError error) { return error == ENOENT; }

SystemError truncate_to_empty(FileHandle file) {
  return ::ftruncate(descriptor(file), 0) == 0 ? 0 : errno;
}

OpenedFile create_replacement(const std::string& name, FileHandle existing, Replacement& replacement) {
  OpenedFile created;
  std::string target;
  if ((created.error = follow_links(name, target)) != 0) return created;
  if (target.empty() || target.back() == '/') {
    created.error = EISDIR;
    return created;
  }
  std::string path = replacement_pattern(target);
  int fd;
  {
    // Created and registered for removal in one step, as far as interrupts see.
    BlockedInterrupts blocked;
    do {
      fd = ::mkostemp(path.data(), O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
      created.error = errno;
      return created;
    }
    set_removal(path);
  }
  replacement = {path, target};
  if (existing != kNoFile) {
    if (const SystemError refused = check_replaceable(descriptor(existing), fd, target)) {
      discard_replacement(fd, replacement);
      created.error = refused;
      return created;
    }
  }
  OpenedFile opened = describe(fd, false);
  if (opened.handle == kNoFile) discard_replacement(kNoFile, replacement);
  return opened;
}

SystemError commit_replacement(FileHandle file, Replacement& replacement) {
  pass_on_permissions(descriptor(file), replacement.target);
  SystemError error = close_file(file);
  BlockedInterrupts blocked;
  if (error == 0 && ::rename(replacement.path.c_str(), replacement.target.c_str()) != 0) error = errno;
  if (error != 0) {
    ::unlink(replacement.path.c_str());
  } else {
    set_interrupt_note({});
  }
  set_removal({});
  replacement = {};
  return error;
}

void discard_replacement(FileHandle file, Replacement& replacement) {
  if (file != kNoFile) close_file(file);
  BlockedInterrupts blocked;
  if (!replacement.path.empty()) ::unlink(replacement.path.c_str());
  set_removal({});
  replacement = {};
}

ReadResult read_bytes(FileHandle file, char* destination, std::size_t size) {
  for (;;) {
    const ssize_t n = ::read(descriptor(file), destination, size);
    if (n >= 0) return {static_cast<std::size_t>(n), 0};
    if (errno != EINTR) return {0, errno};
  }
}

bool bytes_ready(FileHandle file) {
  pollfd ready{descriptor(file), POLLIN, 0};
  int r;
  do {
    r = ::poll(&ready, 1, 0);
  } while (r < 0 && errno == EINTR);
  return r != 0;  // an error is for the read to report
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

FileHandle standard_error() { return STDERR_FILENO; }

void keep_running_on_broken_pipes() { std::signal(SIGPIPE, SIG_IGN); }

void end_by_interrupts(std::string_view note) {
  set_interrupt_note(note);
  struct sigaction action {};
  action.sa_handler = on_interrupt;
  action.sa_mask = interrupt_set();
  for (int signal_number : kInterrupts) {
    struct sigaction before {};
    if (::sigaction(signal_number, nullptr, &before) == 0 && before.sa_handler == SIG_IGN) continue;
    ::sigaction(signal_number, &action, nullptr);
  }
}

void set_interrupt_note(std::string_view note) {
  BlockedInterrupts blocked;
  note_storage().assign(note);
  interrupt_work.note = note_storage().data();
  interrupt_work.note_size = note_storage().size();
}

int available_processors() {
  int processors = affinity_processors();
  const double quota = processor_quota();
  if (quota > 0.0 && quota < processors) processors = static_cast<int>(std::ceil(quota));
  return std::max(processors, 1);
}

int processors_kept_busy(int most) {
#if defined(__linux__)
  DIR* const processes = ::opendir("/proc");
  if (processes == nullptr) return 0;
  // This process does not count, nor the one that started it, which waits for it
  // (a shell, xargs) but may not have had a processor yet to begin waiting.
  const std::string own = std::to_string(::getpid());
  const std::string parent = std::to_string(::getppid());
  int running = 0;
  while (running < most) {
    const dirent* const entry = ::readdir(processes);
    if (entry == nullptr) break;
    const std::string_view name = entry->d_name;
    if (name.empty() || name.find_first_not_of("0123456789") != std::string_view::npos || name == own ||
        name == parent) {
      continue;
    }
    // Empty when the process has ended meanwhile.
    if (running_program(small_file("/proc/" + std::string(name) + "/stat"))) ++running;
  }
  ::closedir(processes);
  return running;
#else
  (void)most;
  return 0;
#endif
}

void keep_interrupts_off_this_thread() {
  const sigset_t set = interrupt_set();
  ::pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

std::string error_text(SystemError error) { return std::strerror(error); }

}  // namespace floveran::platform
