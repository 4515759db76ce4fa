// Block reads and the text-mode translation of the input.
//
// Each raw block is read one byte behind the bytes the window keeps, so that a CR
// held back from the end of the previous block can be put in front of it when its
// partner turns out not to be an LF. The translation of a block is then: cut at the
// first Ctrl-Z, drop every CR that is directly followed by LF, hold back a CR that
// ends the block (unless the input stops right there). Both searches use memchr, so
// a block without CR and Ctrl-Z, the usual case, is only looked at twice at memory
// speed and never copied. The translation never writes at or behind a Ctrl-Z, so
// the raw rest of its block stays in place for read_past_end.
#include "run/streams/text_input.h"

#include <algorithm>
#include <cstring>

#include "run/streams/text_output.h"

namespace floveran {
namespace {

constexpr char kEndOfFileByte = 0x1A;  // Ctrl-Z

// Reads up to `size` raw bytes: first what is left to replay after a rewind of
// input that cannot be repositioned, then from the file. 0 at end of input; a read
// error is kept in `error` and ends the input.
std::size_t read_raw(TextInput& in, char* destination, std::size_t size) {
  if (in.rewound_once && in.replay_pos < in.replay.size()) {
    const std::size_t n = std::min(size, in.replay.size() - in.replay_pos);
    std::memcpy(destination, in.replay.data() + in.replay_pos, n);
    in.replay_pos += n;
    in.raw_bytes_read += n;
    if (in.replay_pos == in.replay.size()) {
      std::string().swap(in.replay);
      in.replay_pos = 0;
    }
    return n;
  }
  if (in.flush_before_read != nullptr) flush_output(*in.flush_before_read);
  const platform::ReadResult read = platform::read_bytes(in.file, destination, size);
  if (read.error != 0) {
    in.error = read.error;
    in.stopped = true;
    return 0;
  }
  if (in.recording) in.replay.append(destination, read.size);
  in.raw_bytes_read += read.size;
  return read.size;
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

// Puts the `kept` bytes from keep_from at `offset`, with room behind them for a
// read at least as long as they are (so that an item read again after each
// extension costs time linear in its length) and at least half a block; the
// buffer grows when it has no such room. The window becomes the kept bytes.
void make_room(TextInput& in, std::size_t keep_from, std::size_t kept, std::size_t offset) {
  const std::size_t least_read = std::max({kept, in.block_size / 2, std::size_t{1}});
  if (in.capacity < kept + 1 + least_read) {
    const std::size_t capacity = kept + 1 + std::max(kept, in.block_size);
    auto grown = std::make_unique_for_overwrite<char[]>(capacity);
    std::memcpy(grown.get() + offset, in.buffer.get() + keep_from, kept);
    in.buffer = std::move(grown);
    in.capacity = capacity;
  } else if (kept > 0 && keep_from != offset) {
    std::memmove(in.buffer.get() + offset, in.buffer.get() + keep_from, kept);
  }
  in.pos = offset;
  in.end = offset + kept;
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
    if (lf != nullptr) {
      ++in.line_ends;
      return true;
    }
  } while (refill_input(in));
  return true;
}

}  // namespace

platform::SystemError open_input(TextInput& in, const std::string& name, std::size_t block_size) {
  const platform::OpenedFile opened = platform::open_for_reading(name);
  if (opened.handle == platform::kNoFile) return opened.error;
  in.file = opened.handle;
  in.identity = opened.identity;
  in.seekable = opened.seekable;
  in.file_size = opened.size;
  in.recording = !in.seekable;
  in.block_size = block_size;
  in.capacity = block_size + 1;
  in.buffer = std::make_unique_for_overwrite<char[]>(in.capacity);
  in.pos = in.end = 0;
  return 0;
}

void close_input(TextInput& in) {
  if (in.file != platform::kNoFile) platform::close_file(in.file);
  in.file = platform::kNoFile;
  in.buffer.reset();
  std::string().swap(in.replay);
}

void open_memory_input(TextInput& in, std::unique_ptr<char[]> bytes, std::size_t size, std::int64_t line_ends) {
  in = TextInput{};
  in.buffer = std::move(bytes);
  in.capacity = size;
  in.end = size;
  in.raw_end = true;
  in.line_ends = line_ends;
  in.last_byte = size > 0 ? static_cast<unsigned char>(in.buffer[size - 1]) : -1;
}

void unread_input(TextInput& in, std::span<const std::string_view> pieces, std::int64_t line_ends) {
  std::size_t put_back = 0;
  for (const std::string_view piece : pieces) put_back += piece.size();
  in.line_ends = line_ends;
  if (put_back == 0) return;
  const std::size_t window = in.end - in.pos;
  // The raw bytes behind a Ctrl-Z wait in the buffer for read_past_end.
  const bool raw_rest_kept = in.ended_at_ctrl_z && !in.past_end;
  const std::size_t raw_rest = raw_rest_kept ? in.ctrl_z_block_end - in.ctrl_z_at : 0;
  // One byte in front, as make_room leaves it, and the room of a read behind.
  const std::size_t capacity = std::max(in.capacity, 1 + put_back + window + raw_rest + 1);
  auto buffer = std::make_unique_for_overwrite<char[]>(capacity);
  char* p = buffer.get() + 1;
  for (const std::string_view piece : pieces) {
    std::memcpy(p, piece.data(), piece.size());
    p += piece.size();
  }
  std::memcpy(p, in.buffer.get() + in.pos, window);
  p += window;
  if (raw_rest_kept) {
    std::memcpy(p, in.buffer.get() + in.ctrl_z_at, raw_rest);
    in.ctrl_z_at = static_cast<std::size_t>(p - buffer.get());
    in.ctrl_z_block_end = in.ctrl_z_at + raw_rest;
  }
  in.buffer = std::move(buffer);
  in.capacity = capacity;
  in.pos = 1;
  in.end = 1 + put_back + window;
}

void rewind_input(TextInput& in) {
  if (in.error == 0) {
    if (in.seekable) {
      in.error = platform::seek_to_start(in.file);
    } else if (in.rewound_once) {
      // Everything read before the first rewind was recorded and is delivered
      // again before the file is read on; a second rewind cannot be served.
      in.error = platform::kErrorNotSeekable;
    } else {
      in.rewound_once = true;
      in.recording = false;
      in.replay_pos = 0;
    }
  }
  in.pos = in.end = 0;
  in.held_cr = false;
  in.raw_end = false;
  in.stopped = in.error != 0;
  in.line_ends = 0;
  in.last_byte = -1;
  in.ended_at_ctrl_z = false;
  in.past_end = false;
}

bool input_would_wait(const TextInput& in) {
  if (in.pos != in.end || in.stopped || in.raw_end || in.seekable) return false;
  if (in.rewound_once && in.replay_pos < in.replay.size()) return false;
  return !platform::bytes_ready(in.file);
}

bool refill_input(TextInput& in) { return extend_input(in, in.end); }

bool extend_input(TextInput& in, std::size_t keep_from) {
  for (;;) {
    if (in.stopped || (in.raw_end && !in.held_cr)) return false;
    const std::size_t kept = in.end - keep_from;
    // The kept bytes, then the held CR, then the new bytes, read at kept + 1.
    make_room(in, keep_from, kept, in.held_cr ? 0 : 1);
    keep_from = in.pos;
    char* const b = in.buffer.get();
    if (in.raw_end) {  // the held CR ends the input: it stays
      in.held_cr = false;
      b[kept] = '\r';
      in.end = kept + 1;
      in.last_byte = '\r';
      return true;
    }
    const std::size_t n = read_raw(in, b + kept + 1, in.capacity - kept - 1);
    if (n == 0) {
      in.raw_end = true;
      continue;
    }
    std::size_t begin = kept + 1;
    if (in.held_cr) {
      in.held_cr = false;
      if (kept == 0 && b[1] == '\n') {
        in.pos = 1;  // the pair becomes the LF that is already there
      } else {
        b[kept] = '\r';
        begin = kept;
      }
    }
    std::size_t stop = kept + 1 + n;
    if (const void* z = std::memchr(b + kept + 1, kEndOfFileByte, n)) {
      in.ctrl_z_block_end = stop;
      stop = static_cast<std::size_t>(static_cast<const char*>(z) - b);
      in.ctrl_z_at = stop;
      in.ended_at_ctrl_z = true;
      in.stopped = true;
    }
    in.end = translate_cr(in, begin, stop, !in.stopped);
    if (in.end > in.pos + kept) {
      in.last_byte = static_cast<unsigned char>(b[in.end - 1]);
      return true;
    }
  }
}

std::string peek_text(TextInput& in, const char* from, std::size_t limit) {
  std::size_t start = static_cast<std::size_t>(from - in.buffer.get());
  const std::size_t consumed = in.pos - start;
  for (;;) {
    const std::string_view seen(in.buffer.get() + start, in.end - start);
    if (seen.size() > limit || seen.find('\n') != std::string_view::npos) break;
    // extend_input keeps [start, end) and moves pos to its new start, whether or
    // not it adds anything.
    in.pos = start;
    const bool more = extend_input(in, start);
    start = in.pos;
    in.pos = start + consumed;
    if (!more) break;
  }
  std::string_view seen(in.buffer.get() + start, in.end - start);
  seen = seen.substr(0, std::min({seen.find('\n'), seen.size(), limit}));
  return std::string(seen);
}

bool read_past_end(TextInput& in) {
  if (!in.ended_at_ctrl_z) return false;
  if (!in.past_end) {
    in.past_end = true;
    in.pos = in.ctrl_z_at;
    in.end = in.ctrl_z_block_end;
    return true;
  }
  if (in.error != 0) return false;
  in.pos = 0;
  in.end = read_raw(in, in.buffer.get(), in.capacity);
  return in.end > 0;
}

bool read_line(TextInput& in, std::string& line) {
  line.clear();
  return consume_line(in, &line, nullptr);
}

bool copy_line(TextInput& in, TextOutput& out) { return consume_line(in, nullptr, &out); }

bool skip_line(TextInput& in) { return consume_line(in, nullptr, nullptr); }

}  // namespace floveran
