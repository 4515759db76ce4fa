#include "run/text_output.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "run/number_format.h"
#include "run/run_end.h"
#include "run/text_input.h"

namespace floveran {
namespace {

constexpr std::size_t kTableBlockSize = 256 * 1024;
constexpr std::size_t kConsoleBlockSize = 4096;

void allocate_buffer(TextOutput& out, std::size_t capacity) {
  out.buffer = std::make_unique_for_overwrite<char[]>(capacity);
  out.capacity = capacity;
  out.used = 0;
}

[[noreturn]] void end_run_on_write_error(const TextOutput& out) {
  std::string message = "error writing file ";
  message += out.name;
  message += '\n';
  end_run(message, kStatusOutputFailed);
}

// Writes all of [data, data + size) to the file; false on an error.
bool write_all(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t written = ::write(fd, data, size);
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += written;
    size -= static_cast<std::size_t>(written);
  }
  return true;
}

void append_raw(TextOutput& out, const char* data, std::size_t size) {
  while (size > 0) {
    if (out.used == out.capacity) flush_output(out);
    const std::size_t n = std::min(size, out.capacity - out.used);
    std::memcpy(out.buffer.get() + out.used, data, n);
    out.used += n;
    data += n;
    size -= n;
  }
}

}  // namespace

bool open_output(TextOutput& out, const std::string& name, const TextInput& input) {
  out.name = name;
  // Opened without truncation first, so that the input can be recognised under any
  // name (a link, a hard link, the same path) before a byte of it is lost.
  const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || (st.st_dev == input.device && st.st_ino == input.inode)) {
    ::close(fd);
    return false;
  }
  if (S_ISREG(st.st_mode) && ::ftruncate(fd, 0) != 0) {
    ::close(fd);
    return false;
  }
  out.fd = fd;
  allocate_buffer(out, kTableBlockSize);
  return true;
}

void close_output(TextOutput& out) {
  flush_output(out);
  const int fd = out.fd;
  out.fd = -1;
  out.buffer.reset();
  if (::close(fd) != 0) end_run_on_write_error(out);
}

TextOutput& console() {
  static TextOutput standard_output = [] {
    TextOutput out;
    out.fd = STDOUT_FILENO;
    out.name = "standard output";
    out.is_console = true;
    allocate_buffer(out, kConsoleBlockSize);
    return out;
  }();
  return standard_output;
}

void print(std::string_view text) {
  TextOutput& out = console();
  write_text(out, text);
  flush_output(out);
}

void print_progress(std::string_view text) { write_text(console(), text); }

void flush_output(TextOutput& out) {
  const std::size_t size = out.used;
  out.used = 0;
  if (size == 0 || out.gone) return;
  if (write_all(out.fd, out.buffer.get(), size)) return;
  if (out.is_console) {
    out.gone = true;
    return;
  }
  end_run_on_write_error(out);
}

void write_text(TextOutput& out, std::string_view text) {
  const char* p = text.data();
  const char* const e = p + text.size();
  while (p != e) {
    const void* lf = std::memchr(p, '\n', static_cast<std::size_t>(e - p));
    const char* piece_end = lf != nullptr ? static_cast<const char*>(lf) : e;
    append_raw(out, p, static_cast<std::size_t>(piece_end - p));
    if (lf == nullptr) break;
    append_raw(out, "\r\n", 2);
    p = piece_end + 1;
  }
}

void write_int(TextOutput& out, std::int32_t value) {
  char* p = output_space(out, 12);
  std::uint32_t magnitude = static_cast<std::uint32_t>(value);
  if (value < 0) {
    *p++ = '-';
    magnitude = 0u - magnitude;
  }
  char digits[10];
  int n = 0;
  do {
    digits[n++] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  while (n > 0) *p++ = digits[--n];
  output_advance(out, p);
}

void write_fixed(TextOutput& out, double value, int decimals) {
  output_advance(out, format_fixed(value, decimals, output_space(out, kFormatCapacity)));
}

void write_general(TextOutput& out, double value, int precision) {
  output_advance(out, format_general(value, precision, output_space(out, kFormatCapacity)));
}

}  // namespace floveran
