// Block reads and the text-mode translation of the input.
//
// Each raw block is read one byte behind the start of the buffer, so that a CR held
// back from the end of the previous block can be put in front of it when its
// partner turns out not to be an LF. The translation of a block is then: cut at the
// first Ctrl-Z, drop every CR that is directly followed by LF, hold back a CR that
// ends the block (unless the input stops right there). Both searches use memchr, so
// a block without CR and Ctrl-Z, the usual case, is only looked at twice at memory
// speed and never copied.
#include "run/text_input.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "run/run_end.h"
#include "run/text_output.h"

namespace floveran {
namespace {

constexpr char kEndOfFileByte = 0x1A;  // Ctrl-Z

[[noreturn]] void end_run_on_read_error(const TextInput& in) {
  std::string message = "error reading file ";
  message += in.name;
  message += '\n';
  end_run(message, kStatusInputFailed);
}

// Reads up to `size` raw bytes: first what is left to replay after a rewind of
// input that cannot be repositioned, then from the file. 0 at end of input.
std::size_t read_raw(TextInput& in, char* destination, std::size_t size) {
  if (in.rewound_once && in.replay_pos < in.replay.size()) {
    const std::size_t n = std::min(size, in.replay.size() - in.replay_pos);
    std::memcpy(destination, in.replay.data() + in.replay_pos, n);
    in.replay_pos += n;
    if (in.replay_pos == in.replay.size()) {
      std::string().swap(in.replay);
      in.replay_pos = 0;
    }
    return n;
  }
  // The progress marks held so far go out before a read that may have to wait
  // (a pipe fed by a slow program), so the console never lags behind the input.
  flush_output(console());
  for (;;) {
    const ssize_t n = ::read(in.fd, destination, size);
    if (n >= 0) {
      const auto count = static_cast<std::size_t>(n);
      if (in.recording) in.replay.append(destination, count);
      return count;
    }
    if (errno != EINTR) end_run_on_read_error(in);
  }
}

// Drops each CR of [begin, stop) that is directly followed by LF, moving the rest
// to the front; a CR at `stop - 1` is held back when `may_hold`. Returns the new end.
std::size_t translate_cr(TextInput& in, std::size_t begin, std::size_t stop, bool may_hold) {
  char* const b = in.buffer.get();
  const void* first = std::memchr(b + begin, '\r', stop - begin);
  if (first == nullptr) return stop;
  std::size_t read = static_cast<std::size_t>(static_cast<const char*>(first) - b);
  std::size_t write = read;
  while (read < stop) {
    // b[read] is a CR.
    if (read + 1 < stop) {
      if (b[read + 1] != '\n') b[write++] = '\r';
    } else if (may_hold) {
      in.held_cr = true;
    } else {
      b[write++] = '\r';
    }
    ++read;
    const void* next = std::memchr(b + read, '\r', stop - read);
    const std::size_t piece_end =
        next != nullptr ? static_cast<std::size_t>(static_cast<const char*>(next) - b) : stop;
    std::memmove(b + write, b + read, piece_end - read);
    write += piece_end - read;
    read = piece_end;
  }
  return write;
}

// Shared by read_line, copy_line and skip_line: walks one line block by block,
// keeping it in `keep` and/or writing it to `copy`.
bool consume_line(TextInput& in, std::string* keep, TextOutput* copy) {
  if (peek_byte(in) < 0) return false;
  do {
    const char* start = in.buffer.get() + in.pos;
    const std::size_t available = in.end - in.pos;
    const void* lf = std::memchr(start, '\n', available);
    const std::size_t n =
        lf != nullptr ? static_cast<std::size_t>(static_cast<const char*>(lf) - start) + 1 : available;
    if (keep != nullptr) keep->append(start, n);
    if (copy != nullptr) write_text(*copy, std::string_view(start, n));
    in.pos += n;
    if (lf != nullptr) return true;
  } while (refill_input(in));
  return true;
}

}  // namespace

bool open_input(TextInput& in, const std::string& name, std::size_t block_size) {
  in.name = name;
  const int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    ::close(fd);
    return false;
  }
  in.fd = fd;
  in.device = st.st_dev;
  in.inode = st.st_ino;
  in.seekable = (S_ISREG(st.st_mode) || S_ISBLK(st.st_mode)) && ::lseek(fd, 0, SEEK_CUR) >= 0;
  in.recording = !in.seekable;
  in.capacity = block_size + 1;
  in.buffer = std::make_unique_for_overwrite<char[]>(in.capacity);
  in.pos = in.end = 0;
  return true;
}

void close_input(TextInput& in) {
  if (in.fd >= 0) ::close(in.fd);
  in.fd = -1;
  in.buffer.reset();
  std::string().swap(in.replay);
}

void rewind_input(TextInput& in) {
  if (in.seekable) {
    if (::lseek(in.fd, 0, SEEK_SET) != 0) end_run_on_read_error(in);
  } else {
    // Everything read so far was recorded; it is delivered again before the file
    // is read on. Only the first rewind can be served this way.
    if (in.rewound_once) end_run_on_read_error(in);
    in.rewound_once = true;
    in.recording = false;
    in.replay_pos = 0;
  }
  in.pos = in.end = 0;
  in.held_cr = false;
  in.raw_end = false;
  in.stopped = false;
}

bool refill_input(TextInput& in) {
  char* const b = in.buffer.get();
  in.pos = in.end = 0;
  for (;;) {
    if (in.stopped) return false;
    if (in.raw_end) {
      if (!in.held_cr) return false;
      in.held_cr = false;
      b[0] = '\r';
      in.end = 1;
      return true;
    }
    const std::size_t n = read_raw(in, b + 1, in.capacity - 1);
    if (n == 0) {
      in.raw_end = true;
      continue;
    }
    std::size_t begin = 1;
    if (in.held_cr) {
      in.held_cr = false;
      if (b[1] != '\n') {
        b[0] = '\r';
        begin = 0;
      }
    }
    std::size_t stop = 1 + n;
    if (const void* z = std::memchr(b + 1, kEndOfFileByte, n)) {
      stop = static_cast<std::size_t>(static_cast<const char*>(z) - b);
      in.stopped = true;
    }
    stop = translate_cr(in, begin, stop, !in.stopped);
    if (begin < stop) {
      in.pos = begin;
      in.end = stop;
      return true;
    }
  }
}

bool read_line(TextInput& in, std::string& line) {
  line.clear();
  return consume_line(in, &line, nullptr);
}

bool copy_line(TextInput& in, TextOutput& out) { return consume_line(in, nullptr, &out); }

bool skip_line(TextInput& in) { return consume_line(in, nullptr, nullptr); }

}  // namespace floveran
