// Block writes and the LF to CR LF translation of the output table and the console,
// the one place where line ends are written.
#include "run/streams/text_output.h"

#include <algorithm>
#include <cstring>

namespace floveran {
namespace {

constexpr std::size_t kTableBlockSize = 256 * 1024;
constexpr std::size_t kConsoleBlockSize = 4096;
constexpr std::size_t kErrorsBlockSize = 1024;

void allocate_buffer(TextOutput& out, std::size_t capacity) {
  out.buffer = std::make_unique_for_overwrite<char[]>(capacity);
  out.capacity = capacity;
  out.used = 0;
}

// A file's buffer: blocks of `block` bytes, and room for what a writer takes at once.
void allocate_blocks(TextOutput& out, std::size_t block) {
  out.block = block;
  allocate_buffer(out, block + kOutputSlack);
}

// Writes the bytes to the file, unless writing has failed before; the first
// failure is kept (or, where bytes are dropped on failure, ends all writing).
void write_to_file(TextOutput& out, const char* data, std::size_t size) {
  if (size == 0 || out.gone || out.error != 0) return;
  out.handed += size;
  const platform::SystemError error = platform::write_bytes(out.file, data, size);
  if (error == 0) return;
  if (out.drop_on_error) {
    out.gone = true;
  } else {
    out.error = error;
  }
}

// Appends to the buffer; a file's buffer is written each time it holds a block.
void append_raw(TextOutput& out, const char* data, std::size_t size) {
  while (size > 0) {
    if (out.in_memory && out.used == out.capacity) make_output_room(out, size);
    const std::size_t n = std::min(size, (out.in_memory ? out.capacity : out.block) - out.used);
    std::memcpy(out.buffer.get() + out.used, data, n);
    out.used += n;
    data += n;
    size -= n;
    if (out.used >= out.block) write_full_blocks(out);
  }
}

}  // namespace

platform::SystemError open_output(TextOutput& out, const std::string& name) {
  const platform::OpenedFile opened = platform::open_existing_for_writing(name);
  if (opened.handle == platform::kNoFile && !platform::names_no_file(opened.error)) return opened.error;
  out.name = name;
  out.file = opened.handle;
  out.identity = opened.identity;
  out.regular = opened.regular;
  out.names = opened.names;
  return 0;
}

platform::SystemError start_output(TextOutput& out) {
  const bool existing = out.file != platform::kNoFile;
  if (!existing || (out.regular && out.names == 1)) {
    const platform::OpenedFile created = platform::create_replacement(out.name, out.file, out.replacement);
    if (created.handle != platform::kNoFile) {
      if (existing) platform::close_file(out.file);
      out.file = created.handle;
    } else if (!existing) {
      return created.error;
    }
  }
  if (out.regular && !output_replaces(out)) {
    if (const platform::SystemError error = platform::truncate_to_empty(out.file)) return error;
  }
  allocate_blocks(out, kTableBlockSize);
  return 0;
}

platform::SystemError close_output(TextOutput& out) {
  flush_output(out);
  if (!output_replaces(out)) {
    const platform::SystemError closed = platform::close_file(out.file);
    if (out.error == 0) out.error = closed;
  } else if (out.error == 0) {
    out.error = platform::commit_replacement(out.file, out.replacement);
  } else {
    platform::discard_replacement(out.file, out.replacement);
  }
  out.file = platform::kNoFile;
  out.buffer.reset();
  return out.error;
}

void abandon_output(TextOutput& out) {
  if (output_replaces(out)) {
    platform::discard_replacement(out.file, out.replacement);
  } else if (out.file != platform::kNoFile) {
    platform::close_file(out.file);
  }
  out.file = platform::kNoFile;
  out.buffer.reset();
  out.used = 0;
}

void open_console(TextOutput& console) {
  console.file = platform::standard_output();
  console.drop_on_error = true;
  allocate_blocks(console, kConsoleBlockSize);
}

void open_standard_error(TextOutput& errors) {
  errors.file = platform::standard_error();
  errors.drop_on_error = true;
  errors.lf_as_crlf = false;
  allocate_blocks(errors, kErrorsBlockSize);
}

void open_memory_output(TextOutput& out, std::size_t capacity) {
  out.in_memory = true;
  out.block = SIZE_MAX;
  allocate_buffer(out, std::max<std::size_t>(capacity, 1));
}

void write_full_blocks(TextOutput& out) {
  std::size_t written = 0;
  for (; out.used - written >= out.block; written += out.block) {
    write_to_file(out, out.buffer.get() + written, out.block);
  }
  out.used -= written;
  std::memmove(out.buffer.get(), out.buffer.get() + written, out.used);
}

void flush_output(TextOutput& out) {
  if (out.in_memory) return;
  const std::size_t size = out.used;
  out.used = 0;
  write_to_file(out, out.buffer.get(), size);
}

void make_output_room(TextOutput& out, std::size_t n) {
  if (!out.in_memory) {
    flush_output(out);
    return;
  }
  const std::size_t capacity = std::max(2 * out.capacity, out.used + n);
  auto grown = std::make_unique_for_overwrite<char[]>(capacity);
  std::memcpy(grown.get(), out.buffer.get(), out.used);
  out.buffer = std::move(grown);
  out.capacity = capacity;
}

void write_translated(TextOutput& out, std::string_view bytes) {
  if (out.in_memory) {
    append_raw(out, bytes.data(), bytes.size());
    return;
  }
  // The block begun in the buffer is filled and written; whole blocks go out
  // straight from `bytes`; the rest begins the next block.
  const std::size_t filling = std::min(bytes.size(), out.block - out.used);
  append_raw(out, bytes.data(), filling);
  bytes.remove_prefix(filling);
  for (; bytes.size() >= out.block; bytes.remove_prefix(out.block)) write_to_file(out, bytes.data(), out.block);
  append_raw(out, bytes.data(), bytes.size());
}

void write_text(TextOutput& out, std::string_view text) {
  const char* p = text.data();
  const char* const e = p + text.size();
  if (!out.lf_as_crlf) {
    append_raw(out, p, text.size());
    return;
  }
  while (p != e) {
    const void* lf = std::memchr(p, '\n', static_cast<std::size_t>(e - p));
    const char* piece_end = lf != nullptr ? static_cast<const char*>(lf) : e;
    append_raw(out, p, static_cast<std::size_t>(piece_end - p));
    if (lf == nullptr) break;
    append_raw(out, "\r\n", 2);
    p = piece_end + 1;
  }
}

}  // namespace floveran
