// The input stream: line-end and Ctrl-Z translation, lines of any length, windows
// extended over block boundaries, rewind, input that cannot be repositioned, and
// read errors as values. Every case is read with several block sizes, down to one
// byte, so that each byte falls on a block boundary once.
#include "run/streams/text_input.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "support/temp_dir.h"

#ifdef _WIN32
#include "support/windows_files.h"
#else
#include <unistd.h>
#endif

namespace floveran {
namespace {

using testing::TempDir;
using testing::write_file;

constexpr std::size_t kBlockSizes[] = {1, 2, 3, 7, kInputBlockSize};

std::vector<std::string> read_all_lines(TextInput& in) {
  std::vector<std::string> lines;
  std::string line;
  while (read_line(in, line)) lines.push_back(line);
  return lines;
}

struct LineCase {
  const char* name;
  std::string bytes;
  std::vector<std::string> lines;
};

const LineCase kLineCases[] = {
    {"lf", "a\nbc\n", {"a\n", "bc\n"}},
    {"crlf_pair_becomes_lf", "a\r\nbc\r\n", {"a\n", "bc\n"}},
    {"lone_cr_stays", "a\rb\n", {"a\rb\n"}},
    {"cr_cr_lf_gives_cr_lf", "a\r\r\nb", {"a\r\n", "b"}},
    {"cr_at_end_of_input_stays", "a\r", {"a\r"}},
    {"last_line_without_lf", "a\nlast", {"a\n", "last"}},
    {"empty_input", "", {}},
    {"empty_lines", "\n\n", {"\n", "\n"}},
    {"ctrl_z_ends_input", std::string("a\nb\x1a" "c\nd\n"), {"a\n", "b"}},
    {"ctrl_z_first_byte", std::string("\x1a" "a\n"), {}},
    {"cr_before_ctrl_z_stays", std::string("a\r\x1a\n"), {"a\r"}},
    {"nul_and_high_bytes_pass", std::string("a\0\xff\x80\n", 5), {std::string("a\0\xff\x80\n", 5)}},
    {"long_line_is_whole", std::string(5000, 'x') + "\n" + "y", {std::string(5000, 'x') + "\n", "y"}},
};

class LineReading : public ::testing::TestWithParam<LineCase> {};

// What a reader of the case gets: its lines one after the other.
std::string translated_text(const LineCase& c) {
  std::string translated;
  for (const std::string& line : c.lines) translated += line;
  return translated;
}

// The bytes from the case's Ctrl-Z on, as stored; none without one.
std::string cut_off_by_ctrl_z(const LineCase& c) {
  const std::size_t ctrl_z = c.bytes.find('\x1a');
  return ctrl_z == std::string::npos ? "" : c.bytes.substr(ctrl_z);
}

// What read_past_end hands out, all of it.
std::string bytes_past_end(TextInput& in) {
  std::string past_end;
  while (read_past_end(in)) {
    past_end.append(window_begin(in), window_end(in));
    in.pos = in.end;
  }
  return past_end;
}

TEST_P(LineReading, DeliversTranslatedLinesForEveryBlockSize) {
  const LineCase& c = GetParam();
  TempDir dir;
  write_file(dir.file("in"), c.bytes);
  for (std::size_t block : kBlockSizes) {
    TextInput in;
    ASSERT_EQ(open_input(in, dir.file("in"), block), 0);
    EXPECT_EQ(read_all_lines(in), c.lines) << "block size " << block;
    // Rewinding reads the same lines again, a Ctrl-Z end included.
    rewind_input(in);
    EXPECT_EQ(read_all_lines(in), c.lines) << "after rewind, block size " << block;
    close_input(in);
  }
}

INSTANTIATE_TEST_SUITE_P(Translation, LineReading, ::testing::ValuesIn(kLineCases),
                         [](const auto& param_info) { return std::string(param_info.param.name); });

TEST(LineReading, EndOfInputLeavesTheLineEmptyAndReportsNothingRead) {
  TempDir dir;
  write_file(dir.file("in"), "only\n");
  TextInput in;
  ASSERT_EQ(open_input(in, dir.file("in")), 0);
  std::string line;
  EXPECT_TRUE(read_line(in, line));
  EXPECT_FALSE(read_line(in, line));
  EXPECT_FALSE(skip_line(in));
  EXPECT_EQ(peek_byte(in), -1);
}

TEST(LineReading, SkipLineDropsExactlyOneLine) {
  TempDir dir;
  write_file(dir.file("in"), std::string(300000, 'z') + "\r\nnext\r\n");
  TextInput in;
  ASSERT_EQ(open_input(in, dir.file("in")), 0);
  EXPECT_TRUE(skip_line(in));
  std::string line;
  EXPECT_TRUE(read_line(in, line));
  EXPECT_EQ(line, "next\n");
}

// Extending the window at every byte keeps all bytes read so far, translated as
// they would be in one piece: the window is then the whole translated input.
TEST_P(LineReading, ExtendingTheWindowKeepsEveryTranslatedByte) {
  const LineCase& c = GetParam();
  const std::string translated = translated_text(c);
  TempDir dir;
  write_file(dir.file("in"), c.bytes);
  for (std::size_t block : kBlockSizes) {
    TextInput in;
    ASSERT_EQ(open_input(in, dir.file("in"), block), 0);
    while (extend_input(in, in.pos)) {
    }
    EXPECT_EQ(std::string(window_begin(in), window_end(in)), translated) << "block size " << block;
  }
}

// Lines are counted as they are consumed, and a Ctrl-Z leaves the bytes behind it
// to read_past_end, as stored, whatever the block size.
TEST_P(LineReading, CountsLineEndsAndHandsOutWhatACtrlZCutOff) {
  const LineCase& c = GetParam();
  const std::string translated = translated_text(c);
  const std::string cut_off = cut_off_by_ctrl_z(c);
  TempDir dir;
  write_file(dir.file("in"), c.bytes);
  for (std::size_t block : kBlockSizes) {
    TextInput in;
    ASSERT_EQ(open_input(in, dir.file("in"), block), 0);
    std::int64_t lines_read = 0;
    std::string line;
    while (read_line(in, line)) {
      lines_read += line.ends_with('\n') ? 1 : 0;
      EXPECT_EQ(in.line_ends, lines_read) << "block size " << block;
    }
    EXPECT_EQ(in.last_byte, translated.empty() ? -1 : static_cast<unsigned char>(translated.back()))
        << "block size " << block;
    EXPECT_EQ(bytes_past_end(in), cut_off) << "block size " << block;
    EXPECT_EQ(in.line_ends, lines_read) << "bytes past the end are not counted";
    rewind_input(in);
    EXPECT_EQ(in.line_ends, 0);
    EXPECT_FALSE(read_past_end(in)) << "a rewind starts afresh";
  }
}

// Bytes taken from the window and put back in front of it, in two pieces, read
// again exactly as if they had never been taken: the lines, their count from the
// count given, and what a Ctrl-Z cut off, from every point of the input and with
// every block size (so with a CR held back, too).
TEST_P(LineReading, BytesPutBackReadAsIfNeverTaken) {
  const LineCase& c = GetParam();
  const std::string translated = translated_text(c);
  const std::string cut_off = cut_off_by_ctrl_z(c);
  TempDir dir;
  write_file(dir.file("in"), c.bytes);
  const std::size_t step = std::max<std::size_t>(1, translated.size() / 40);
  for (std::size_t block : kBlockSizes) {
    for (std::size_t count = 0; count <= translated.size(); count += step) {
      TextInput in;
      ASSERT_EQ(open_input(in, dir.file("in"), block), 0);
      std::string taken;
      while (taken.size() < count && (in.pos != in.end || refill_input(in))) {
        const std::size_t n = std::min(in.end - in.pos, count - taken.size());
        taken.append(window_begin(in), n);
        in.pos += n;
      }
      ASSERT_EQ(taken, translated.substr(0, count));
      const std::string_view pieces[] = {std::string_view(taken).substr(0, count / 2),
                                         std::string_view(taken).substr(count / 2)};
      unread_input(in, pieces, 5);
      const std::string where = "block size " + std::to_string(block) + ", " + std::to_string(count) + " put back";
      EXPECT_EQ(read_all_lines(in), c.lines) << where;
      EXPECT_EQ(in.line_ends, 5 + std::count(translated.begin(), translated.end(), '\n')) << where;
      EXPECT_EQ(bytes_past_end(in), cut_off) << where;
    }
  }
}

// An input over bytes in memory: they alone, as they are, with the line count
// going on from the one given; it ends behind them and reads no file.
TEST_P(LineReading, InputInMemoryIsTheBytesAlone) {
  const LineCase& c = GetParam();
  const std::string translated = translated_text(c);
  auto bytes = std::make_unique<char[]>(translated.size() + 1);
  std::copy(translated.begin(), translated.end(), bytes.get());
  TextInput in;
  open_memory_input(in, std::move(bytes), translated.size(), 100);
  EXPECT_EQ(read_all_lines(in), c.lines);
  EXPECT_EQ(in.line_ends, 100 + std::count(translated.begin(), translated.end(), '\n'));
  EXPECT_FALSE(extend_input(in, in.pos));
  EXPECT_FALSE(input_would_wait(in));
  EXPECT_EQ(peek_byte(in), -1);
}

// A read of a pipe waits while its writer has written nothing; a file never does.
TEST(InputWouldWait, OnlyForAPipeWithNothingInIt) {
  TextInput in;
#ifdef _WIN32
  testing::NamedPipeWriter pipe;
  ASSERT_TRUE(pipe.ready());
  ASSERT_EQ(open_input(in, pipe.name()), 0);
  ASSERT_TRUE(pipe.wait_for_reader());
  const auto write_to_pipe = [&](std::string_view bytes) { return pipe.write(bytes); };
  const auto close_pipe = [&] { pipe.close(); };
#else
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  ASSERT_EQ(open_input(in, "/dev/fd/" + std::to_string(fds[0])), 0);
  ::close(fds[0]);
  const auto write_to_pipe = [&](std::string_view bytes) {
    return ::write(fds[1], bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
  };
  const auto close_pipe = [&] { ::close(fds[1]); };
#endif
  EXPECT_TRUE(input_would_wait(in));
  ASSERT_TRUE(write_to_pipe("a\n"));
  EXPECT_FALSE(input_would_wait(in));
  ASSERT_TRUE(refill_input(in));
  EXPECT_FALSE(input_would_wait(in)) << "bytes in the window";
  in.pos = in.end;
  EXPECT_TRUE(input_would_wait(in));
  close_pipe();
  EXPECT_FALSE(input_would_wait(in)) << "the end of the input is there at once";
  EXPECT_FALSE(refill_input(in));
  close_input(in);

  TempDir dir;
  write_file(dir.file("in"), "");
  ASSERT_EQ(open_input(in, dir.file("in")), 0);
  EXPECT_FALSE(input_would_wait(in));
  EXPECT_EQ(in.file_size, 0);
}

// peek_text shows the bytes from a byte already consumed on, up to the line end,
// reading ahead as needed, and the next read starts where it did before.
TEST(PeekText, ReadsAheadWithoutConsuming) {
  TempDir dir;
  write_file(dir.file("in"), "ab-cdefghij\r\nnext");
  for (std::size_t block : kBlockSizes) {
    for (std::size_t limit : {std::size_t{3}, std::size_t{40}}) {
      TextInput in;
      ASSERT_EQ(open_input(in, dir.file("in"), block), 0);
      std::string line;
      // Consume "ab-" one byte at a time; then look from the "-".
      for (int i = 0; i < 3; ++i) {
        ASSERT_GE(peek_byte(in), 0);
        ++in.pos;
      }
      const std::string seen = peek_text(in, in.buffer.get() + in.pos - 1, limit);
      EXPECT_EQ(seen, std::string("-cdefghij").substr(0, limit)) << "block " << block;
      ASSERT_TRUE(read_line(in, line));
      EXPECT_EQ(line, "cdefghij\n") << "block " << block;
    }
  }
}

TEST(OpenInput, RefusesMissingFilesAndDirectoriesWithTheReason) {
  TempDir dir;
  TextInput missing;
  EXPECT_EQ(open_input(missing, dir.file("absent")), platform::kErrorNoSuchFile);
  TextInput folder;
  EXPECT_EQ(open_input(folder, dir.name()), platform::kErrorIsDirectory);
}

// A read error ends the input and is kept for the caller, also across a rewind.
TEST(ReadError, EndsTheInputAndIsKept) {
#ifdef _WIN32
  TempDir dir;
  const testing::UnreadableInput unreadable(dir, "line\n");
  if (unreadable.name.empty()) GTEST_SKIP() << unreadable.missing;
  TextInput in;
  ASSERT_EQ(open_input(in, unreadable.name), 0);
  std::string line;
  EXPECT_FALSE(read_line(in, line));
  const platform::SystemError error = in.error;
  EXPECT_NE(error, 0);
  if (unreadable.expected_error != 0) {
    EXPECT_EQ(error, static_cast<platform::SystemError>(unreadable.expected_error));
  }
#else
  TextInput in;
  ASSERT_EQ(open_input(in, "/proc/self/mem"), 0);
  std::string line;
  EXPECT_FALSE(read_line(in, line));
  const platform::SystemError error = EIO;
  EXPECT_EQ(in.error, error);
#endif
  rewind_input(in);
  EXPECT_EQ(peek_byte(in), -1);
  EXPECT_EQ(in.error, error);
}

// A pipe cannot be repositioned: what was read before the rewind is replayed, and
// reading then goes on from the pipe.
TEST(Rewind, ReplaysInputThatCannotBeRepositioned) {
  const std::string bytes = "line1\r\nline2\r\n" + std::string(100000, 'r') + "\n\x1a" "after";
#ifdef _WIN32
  // A named pipe, opened by its name; more than it holds: the writer runs beside
  // the reader.
  testing::NamedPipeWriter pipe;
  ASSERT_TRUE(pipe.ready());
  std::thread writer([&] { pipe.feed(bytes); });
  const std::string name = pipe.name();
#else
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  // More than a pipe holds: the writer runs beside the reader.
  std::thread writer([&] {
    std::size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t n = ::write(fds[1], bytes.data() + done, bytes.size() - done);
      if (n <= 0) break;
      done += static_cast<std::size_t>(n);
    }
    ::close(fds[1]);
  });
  const std::string name = "/proc/self/fd/" + std::to_string(fds[0]);
#endif
  TextInput in;
  ASSERT_EQ(open_input(in, name, 5), 0);
  EXPECT_FALSE(in.seekable);
  std::string line;
  ASSERT_TRUE(read_line(in, line));
  ASSERT_TRUE(read_line(in, line));
  EXPECT_EQ(line, "line2\n");
  rewind_input(in);
  const std::vector<std::string> expected = {"line1\n", "line2\n", std::string(100000, 'r') + "\n"};
  EXPECT_EQ(read_all_lines(in), expected);
  EXPECT_EQ(in.error, 0);
  // Only the first rewind can be served.
  rewind_input(in);
  EXPECT_EQ(peek_byte(in), -1);
  EXPECT_EQ(in.error, platform::kErrorNotSeekable);
  close_input(in);
  writer.join();
#ifndef _WIN32
  ::close(fds[0]);
#endif
}

}  // namespace
}  // namespace floveran
