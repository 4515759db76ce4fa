// The output table and the console: block writes, with every LF written as CR LF
// and no other byte changed. A table written to a file appears under its name
// only when it is complete (see start_output). Standard error, which carries the
// diagnostics, is the one output whose LFs stay plain.
//
// An output can also be kept in memory: its buffer then grows instead of being
// written, and its bytes, translated already, go to another output at once with
// write_translated.
//
// A file is written in blocks of one size, each at a multiple of that size from
// its start (but the last), whatever the pieces it was given in: so a run that
// writes the same bytes in other pieces (several threads) makes the same writes,
// and a write that fails fails at the same place.
//
// Failures are values: the first failed write or close is kept in `error`, and
// everything written after it is dropped, so a writer goes on without checking
// each call and the caller looks at `error` when it suits it. An output marked
// `drop_on_error` (a console whose reader may go away) drops its bytes silently
// instead.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "run/streams/platform.h"

namespace floveran {

struct TextOutput {
  platform::FileHandle file = platform::kNoFile;
  std::string name;                 // as given
  platform::FileIdentity identity;  // which file the name reached, whatever its name
  bool regular = false;
  std::uint64_t names = 0;          // the hard links of that file
  platform::Replacement replacement;  // the new file written in its place, if any
  platform::SystemError error = 0;  // the first write or close error
  bool drop_on_error = false;       // a failed write stops all writing, and is not an error
  bool gone = false;                // ... and has happened
  bool lf_as_crlf = true;           // false: every byte as given (standard error)
  bool in_memory = false;           // the buffer grows instead of being written
  std::unique_ptr<char[]> buffer;
  std::size_t capacity = 0;
  std::size_t used = 0;             // below `block` between calls, for a file
  std::size_t block = SIZE_MAX;     // the size of the writes of a file; the buffer holds
                                    // kOutputSlack more for the room writers take at once
  std::uint64_t handed = 0;         // bytes handed to the system, up to the end of the
                                    // write that failed, if one did
};

// The most room a writer takes at once (output_space) in an output to a file.
inline constexpr std::size_t kOutputSlack = 4096;

// Looks the named output up and creates nothing: an existing file is opened for
// writing without being cut, a name that reaches no file yet leaves `file` unset
// and `identity` all zero. The caller looks at `identity` (to refuse the input as
// output) before start_output creates or cuts anything. Returns the system's
// error.
platform::SystemError open_output(TextOutput& out, const std::string& name);
// Makes the output ready to be written. A new file, and an existing regular file
// of one name, are written as a replacement that takes the name on close_output,
// so that a run that fails or is interrupted leaves no file, or the old one as
// it was. An existing file that cannot be replaced so (its folder takes no new
// file) is cut to length 0 and written in place, as is one of several names,
// whose names a replacement would part; anything else (a pipe, a terminal, a
// device) is written to directly. Returns the system's error when a new file
// cannot be created.
platform::SystemError start_output(TextOutput& out);
inline bool output_replaces(const TextOutput& out) { return !out.replacement.path.empty(); }
// Writes what is buffered and closes the file, and puts a replacement in its
// place; returns `error`, or the close's or the replacement's. A replacement
// is removed when anything failed.
platform::SystemError close_output(TextOutput& out);
// Closes the file without writing what is buffered, and removes a replacement.
void abandon_output(TextOutput& out);

// The process's standard output, as a console: a reader that goes away (a closed
// pipe) makes it drop its bytes, and the caller carries on.
void open_console(TextOutput& console);
// The process's standard error, the same way, but with LFs written as they are.
void open_standard_error(TextOutput& errors);

// An output kept in memory, with room for `capacity` bytes to begin with; its
// LFs are written as CR LF.
void open_memory_output(TextOutput& out, std::size_t capacity);
// The bytes an output kept in memory holds; clear_output drops them.
inline std::string_view output_bytes(const TextOutput& out) { return {out.buffer.get(), out.used}; }
inline void clear_output(TextOutput& out) { out.used = 0; }

// Writes what is buffered; an output kept in memory keeps it.
void flush_output(TextOutput& out);

// Bytes in their written form already (those of an output kept in memory), in
// the blocks of a file: the whole blocks straight from `bytes`, without a copy.
void write_translated(TextOutput& out, std::string_view bytes);

// Makes room for n more bytes: writes what is buffered (n at most the buffer's
// capacity), or grows the buffer of an output kept in memory.
void make_output_room(TextOutput& out, std::size_t n);
// Writes the whole blocks that the buffer of a file holds.
void write_full_blocks(TextOutput& out);
// Room for n bytes at the end of the buffer (n at most kOutputSlack, for an output
// to a file), for writers that fill it directly with text holding no LF;
// output_advance then takes what was filled in.
inline char* output_space(TextOutput& out, std::size_t n) {
  if (out.capacity - out.used < n) make_output_room(out, n);
  return out.buffer.get() + out.used;
}
inline void output_advance(TextOutput& out, char* filled_end) {
  out.used = static_cast<std::size_t>(filled_end - out.buffer.get());
  if (out.used >= out.block) write_full_blocks(out);
}

// A short piece of text known to hold no LF (a field separator, the missing
// marker): nothing to translate, so it goes straight into the buffer.
inline void write_plain(TextOutput& out, std::string_view text) {
  char* p = output_space(out, text.size());
  for (char c : text) *p++ = c;
  output_advance(out, p);
}

// Text of any length: every LF becomes CR LF, unless the output keeps LFs plain.
void write_text(TextOutput& out, std::string_view text);

}  // namespace floveran
