// The output kept in memory: it grows for every writer, with its LFs as CR LF,
// and its bytes go to a file as they are, after what the file's buffer held. A
// file is written in whole blocks whatever the pieces it is given in.
#include "run/streams/text_output.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>

#include "support/temp_dir.h"

namespace floveran {
namespace {

using testing::read_file;
using testing::TempDir;

TEST(OutputInMemory, GrowsForEveryWriterAndKeepsItsBytes) {
  TextOutput out;
  open_memory_output(out, 1);
  std::string expected;
  for (int i = 0; i < 1000; ++i) {
    write_text(out, "line\n");
    write_plain(out, "ab");
    char* p = output_space(out, 3000);  // more than all the room there was
    for (int k = 0; k < 3000; ++k) *p++ = static_cast<char>('a' + k % 26);
    output_advance(out, p);
    flush_output(out);  // keeps everything
    expected += "line\r\nab";
    for (int k = 0; k < 3000; ++k) expected += static_cast<char>('a' + k % 26);
  }
  EXPECT_TRUE(output_bytes(out) == expected);
  clear_output(out);
  EXPECT_EQ(output_bytes(out), "");
  write_translated(out, "as\nit is");
  EXPECT_EQ(output_bytes(out), "as\nit is");
}

TEST(WriteTranslated, GoesBehindWhatWasBufferedAsItIs) {
  TempDir dir;
  TextOutput out;
  ASSERT_EQ(open_output(out, dir.file("out")), 0);
  ASSERT_EQ(start_output(out), 0);
  write_text(out, "head\n");
  TextOutput chunk;
  open_memory_output(chunk, 16);
  write_text(chunk, "1\n2\n");
  write_translated(out, output_bytes(chunk));
  write_translated(out, "");
  write_text(out, "tail\n");
  ASSERT_EQ(close_output(out), 0);
  EXPECT_EQ(read_file(dir.file("out")), "head\r\n1\r\n2\r\ntail\r\n");
}

// Pieces of random sizes through every writer, small and larger than a block:
// between calls the file has been handed whole blocks only and holds less than a
// block, so that two runs that give the same bytes in other pieces write the same
// blocks (and a write that fails, fails at the same place); the bytes are all there.
TEST(BlockWrites, WholeBlocksWhateverThePieces) {
  TempDir dir;
  TextOutput out;
  ASSERT_EQ(open_output(out, dir.file("out")), 0);
  ASSERT_EQ(start_output(out), 0);
  const std::size_t block = out.block;
  ASSERT_LT(block, std::size_t{1} << 24);
  std::mt19937_64 random(20261210);
  std::string expected;
  TextOutput chunk;
  open_memory_output(chunk, 16);
  while (expected.size() < 5 * block) {
    const std::size_t size = random() % 4 == 0 ? random() % (2 * block) : random() % 700;
    std::string piece(size, 'x');
    for (char& c : piece) c = static_cast<char>('a' + random() % 26);
    switch (random() % 3) {
      case 0:
        write_text(out, piece);
        break;
      case 1: {
        const std::size_t n = std::min(size, kOutputSlack);
        piece.resize(n);
        char* p = output_space(out, n);
        p = std::copy(piece.begin(), piece.end(), p);
        output_advance(out, p);
        break;
      }
      default:
        clear_output(chunk);
        write_text(chunk, piece);
        write_translated(out, output_bytes(chunk));
    }
    expected += piece;
    ASSERT_EQ(out.handed % block, 0u) << "after " << expected.size() << " bytes";
    ASSERT_LT(out.used, block);
    ASSERT_EQ(out.handed + out.used, expected.size());
  }
  ASSERT_EQ(close_output(out), 0);
  EXPECT_TRUE(read_file(dir.file("out")) == expected);
}

}  // namespace
}  // namespace floveran
