// The input stream: block reads with the text-mode translation applied inside the
// buffer, once per block: CR LF as a pair becomes LF, a lone CR stays, a Ctrl-Z
// byte ends the input until rewind_input; every other byte (NUL and 0x80 to 0xFF
// included) is delivered as stored.
//
// The translated bytes not yet consumed form the window [pos, end) of the buffer.
// Readers look at the window directly; scan_input hands it to a scanner of spans
// and extends it when an item runs into its end, so that a scanner always sees its
// item whole (the window then grows to the longest item, which in a table is a
// few bytes).
//
// Input that cannot be repositioned (a pipe, a process substitution) is recorded
// until the first rewind_input and replayed after it, so it reads exactly like the
// same bytes in a regular file.
//
// Lines are counted as in the file: `line_ends` is the number of LFs consumed since
// the first byte (a CR LF pair is one LF). The line readers here count their own;
// scans skip white space through the table's fields, which count theirs, so the
// line of the next byte is always line_ends + 1.
//
// A Ctrl-Z ends the input, but the bytes behind it stay in the file: read_past_end
// hands them out as stored, for telling what the end left unread.
//
// An input can also be bytes in memory, translated already (a part of another
// input): its window is all of them, and the input ends behind them.
//
// Failures are values: a read error is kept in `error` and ends the input, and the
// caller decides what it means.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "run/streams/platform.h"

namespace floveran {

struct TextOutput;

struct TextInput {
  platform::FileHandle file = platform::kNoFile;
  platform::FileIdentity identity;  // which file it is, whatever its name
  platform::SystemError error = 0;  // the first read or rewind error; the input then ends
  bool seekable = false;
  std::int64_t file_size = -1;      // the length of a regular file when opened, else -1
  std::uint64_t raw_bytes_read = 0; // bytes taken from the file (or its replay) so far

  // Held output (progress marks on the console) goes out before a read that may
  // wait for its bytes, so that it never lags behind the input. Optional.
  TextOutput* flush_before_read = nullptr;

  std::unique_ptr<char[]> buffer;
  std::size_t capacity = 0;
  std::size_t block_size = 0;       // bytes asked of the file per read
  std::size_t pos = 0;              // translated bytes not yet consumed: [pos, end)
  std::size_t end = 0;

  bool held_cr = false;             // a block ended in CR: its partner is not read yet
  bool raw_end = false;             // the file reported end of input
  bool stopped = false;             // a Ctrl-Z was met (or an error): end of input until rewind
  std::int64_t line_ends = 0;       // LFs consumed since the first byte
  int last_byte = -1;               // the last translated byte read so far; once the
                                    // input has ended, whether it ends in an LF

  // A Ctrl-Z that ended the input, and the raw bytes of its block from it on,
  // [ctrl_z_at, ctrl_z_block_end) of the buffer, untouched until read_past_end.
  bool ended_at_ctrl_z = false;
  std::size_t ctrl_z_at = 0;
  std::size_t ctrl_z_block_end = 0;
  bool past_end = false;            // read_past_end has started

  // Replay of input that cannot be repositioned.
  bool recording = false;           // raw bytes read are kept in `replay`
  bool rewound_once = false;
  std::string replay;
  std::size_t replay_pos = 0;       // next raw byte of `replay` to deliver after a rewind
};

inline constexpr std::size_t kInputBlockSize = 256 * 1024;

// Opens the named file for reading; on failure returns the system's error (a
// directory gives platform::kErrorIsDirectory). The block size only matters to tests, which read with
// tiny blocks to put every byte at a block boundary.
platform::SystemError open_input(TextInput& in, const std::string& name,
                                 std::size_t block_size = kInputBlockSize);
void close_input(TextInput& in);

// Makes `in` an input over the first `size` bytes of `bytes`, translated already,
// with `line_ends` LFs in front of them: no file is read, and the input ends
// behind the last byte. The bytes are handed back by taking `in.buffer`.
void open_memory_input(TextInput& in, std::unique_ptr<char[]> bytes, std::size_t size, std::int64_t line_ends);

// Puts translated bytes back in front of the window, as if they had not been read
// yet: the pieces in their order, then the window. `line_ends` becomes the count
// of LFs in front of the first piece. Everything else stays as it was: the input
// goes on behind the window as before (a held CR, an end at a Ctrl-Z and the
// bytes behind it included).
void unread_input(TextInput& in, std::span<const std::string_view> pieces, std::int64_t line_ends);

// Repositions the input at its first byte: buffered bytes are dropped, the end of
// input (a Ctrl-Z end included) is cleared, and the translation starts afresh.
// Input that cannot be repositioned can be rewound once; a second rewind, like a
// failed one, sets `error` and leaves the input ended.
void rewind_input(TextInput& in);

// Makes translated bytes available when none are left; false at end of input.
bool refill_input(TextInput& in);
// Reads more input behind the window while keeping [keep_from, end) of it, which
// moves to the front of the buffer; pos becomes its start. False when the input
// has ended and nothing was added.
bool extend_input(TextInput& in, std::size_t keep_from);

// Whether making bytes available would wait for bytes that have not come yet: the
// window is empty, the input has not ended, nothing is left to replay, and the
// file (a pipe, a terminal) has none ready.
bool input_would_wait(const TextInput& in);

inline const char* window_begin(const TextInput& in) { return in.buffer.get() + in.pos; }
inline const char* window_end(const TextInput& in) { return in.buffer.get() + in.end; }

// The next byte without consuming it, or -1 at end of input.
inline int peek_byte(TextInput& in) {
  if (in.pos == in.end && !refill_input(in)) return -1;
  return static_cast<unsigned char>(in.buffer[in.pos]);
}

// Runs `scan(first, last)`, a scanner of spans that treats `last` as the end of
// input and returns where its item started (`start`) and where it stopped
// (`stop`), on the window. When it stopped at the end of the window, the item may
// go on: the window is extended, keeping the item, and the scan repeated, until
// it stops inside the window or the input has ended. Consumes up to `stop` and
// returns the scan's result, whose pointers hold until the next read.
template <class Scan>
[[gnu::noinline]] auto scan_input_extended(TextInput& in, Scan& scan, decltype(scan(nullptr, nullptr)) result) {
  while (result.stop == window_end(in)) {
    const bool more = extend_input(in, static_cast<std::size_t>(result.start - in.buffer.get()));
    result = scan(window_begin(in), window_end(in));
    if (!more) break;
  }
  in.pos = static_cast<std::size_t>(result.stop - in.buffer.get());
  return result;
}

template <class Scan>
[[gnu::always_inline]] inline auto scan_input(TextInput& in, Scan&& scan) {
  const auto result = scan(window_begin(in), window_end(in));
  if (result.stop != window_end(in)) [[likely]] {
    in.pos = static_cast<std::size_t>(result.stop - in.buffer.get());
    return result;
  }
  return scan_input_extended(in, scan, result);
}

// Up to `limit` bytes of the input from `from`, stopping in front of the first LF.
// `from` is a byte of the window or just before it that is still in the buffer
// (the start of the item a scan took last); the input is read ahead as needed, but
// nothing is consumed: the next read starts at the same byte as before.
std::string peek_text(TextInput& in, const char* from, std::size_t limit);

// After the input ended at a Ctrl-Z: makes the window the bytes of the file from
// that Ctrl-Z on, as stored (no translation), a block at a time; false when none
// are left, or when the input did not end at a Ctrl-Z. For looking at what the end
// left unread: the input stays ended, and line_ends does not count these bytes.
bool read_past_end(TextInput& in);

// Lines: the characters up to and including the next LF, of any length; the last
// line of the input may lack its LF. Each returns false when the input had ended
// before the call and nothing was read.
bool read_line(TextInput& in, std::string& line);   // the whole line, kept
bool copy_line(TextInput& in, TextOutput& out);     // written through as it is read
bool skip_line(TextInput& in);                      // dropped

}  // namespace floveran
