// The output table and the console: block writes on the raw file, with every LF
// written as CR LF and no other byte changed. A failed write of the output table
// ends the run with "error writing file %s\n" and status 3; a console whose reader
// has gone away (a closed pipe) is dropped silently, so the conversion goes on.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace floveran {

struct TextInput;

struct TextOutput {
  int fd = -1;
  std::string name;             // for the write error message
  bool is_console = false;
  bool gone = false;            // the console cannot be written any more
  std::unique_ptr<char[]> buffer;
  std::size_t capacity = 0;
  std::size_t used = 0;
};

// Creates or truncates the named file for writing. Refuses, before anything is
// truncated, a file that is the input itself under any name (same device and
// inode). Returns false when the file cannot be opened or is refused.
bool open_output(TextOutput& out, const std::string& name, const TextInput& input);
// Writes what is buffered and closes the file; a failure ends the run (status 3).
void close_output(TextOutput& out);

// Standard output, in text mode.
TextOutput& console();
// Writes text to the console and flushes it (with any progress marks held before
// it), so that messages appear as they happen.
void print(std::string_view text);
// Progress marks: held in the console buffer and written with the next print or
// before the input is read again (see read_raw), so that a run shows its progress
// as it goes, a block of input at a time, without a system call per mark.
void print_progress(std::string_view text);

void flush_output(TextOutput& out);

// Room for n bytes at the end of the buffer, for writers that fill it directly
// with text holding no LF; output_advance then takes what was filled in.
inline char* output_space(TextOutput& out, std::size_t n) {
  if (out.capacity - out.used < n) flush_output(out);
  return out.buffer.get() + out.used;
}
inline void output_advance(TextOutput& out, char* filled_end) {
  out.used = static_cast<std::size_t>(filled_end - out.buffer.get());
}

// A short piece of text known to hold no LF (a field separator, the missing
// marker): nothing to translate, so it goes straight into the buffer.
inline void write_plain(TextOutput& out, std::string_view text) {
  char* p = output_space(out, text.size());
  for (char c : text) *p++ = c;
  output_advance(out, p);
}

// "%s" and literal text: every LF becomes CR LF.
void write_text(TextOutput& out, std::string_view text);
// "%d": a plain decimal integer with "-" for negatives.
void write_int(TextOutput& out, std::int32_t value);
// "%.<decimals>lf" and "%.<precision>lg" (number_format.h).
void write_fixed(TextOutput& out, double value, int decimals);
void write_general(TextOutput& out, double value, int precision);

}  // namespace floveran
