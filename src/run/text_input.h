// The input stream: block reads on the raw file with the text-mode translation
// applied inside the buffer, once per block: CR LF as a pair becomes LF, a lone CR
// stays, a Ctrl-Z byte ends the input until rewind_input; every other byte (NUL
// and 0x80 to 0xFF included) is delivered as stored. The scans of scan.h read
// straight out of this buffer.
//
// Input that cannot be repositioned (a pipe, a process substitution) is recorded
// until the first rewind_input and replayed after it, so it reads exactly like the
// same bytes in a regular file.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace floveran {

struct TextOutput;

struct TextInput {
  int fd = -1;
  std::string name;                 // for the read error message
  bool seekable = false;
  dev_t device = 0;                 // identity of the file, to refuse it as output
  ino_t inode = 0;

  std::unique_ptr<char[]> buffer;   // one slot in front of each block for a held CR
  std::size_t capacity = 0;
  std::size_t pos = 0;              // translated bytes not yet consumed: [pos, end)
  std::size_t end = 0;

  bool held_cr = false;             // a block ended in CR: its partner is not read yet
  bool raw_end = false;             // the file reported end of input
  bool stopped = false;             // a Ctrl-Z was met: end of input until rewind

  // Replay of input that cannot be repositioned.
  bool recording = false;           // raw bytes read are kept in `replay`
  bool rewound_once = false;
  std::string replay;
  std::size_t replay_pos = 0;       // next raw byte of `replay` to deliver after a rewind
};

inline constexpr std::size_t kInputBlockSize = 256 * 1024;

// Opens the named file for reading. Returns false when it cannot be opened or is
// not a file whose bytes can be read (a directory). The block size only matters to
// tests, which read with tiny blocks to put every byte at a block boundary.
bool open_input(TextInput& in, const std::string& name, std::size_t block_size = kInputBlockSize);
void close_input(TextInput& in);

// Repositions the input at its first byte: buffered bytes are dropped, the end of
// input (a Ctrl-Z end included) is cleared, and the translation starts afresh.
void rewind_input(TextInput& in);

// Makes translated bytes available when none are left; false at end of input.
// Ends the run with status 2 when the file reports a read error.
bool refill_input(TextInput& in);

// The next byte without consuming it, or -1 at end of input.
inline int peek_byte(TextInput& in) {
  if (in.pos == in.end && !refill_input(in)) return -1;
  return static_cast<unsigned char>(in.buffer[in.pos]);
}

// Lines: the characters up to and including the next LF, of any length; the last
// line of the input may lack its LF. Each returns false when the input had ended
// before the call and nothing was read.
bool read_line(TextInput& in, std::string& line);   // the whole line, kept
bool copy_line(TextInput& in, TextOutput& out);     // written through as it is read
bool skip_line(TextInput& in);                      // dropped

}  // namespace floveran
