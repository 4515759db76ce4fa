// The scans on the input stream: the scanners of spans applied to the stream's
// window. Every case of the grammar tables must give on the stream, at every block
// size, what it gives on a text, leaving the same rest; an item that runs over the
// end of the window (down to one-byte blocks) is read whole.
#include "table/fields.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>

#include "run/numbers/scan_cases.h"
#include "support/temp_dir.h"
#include "support/vector_levels.h"

namespace floveran {
namespace {

using testing::TempDir;
using testing::write_file;

constexpr std::size_t kBlockSizes[] = {1, 3, kInputBlockSize};

std::string rest_of(TextInput& in) {
  std::string rest;
  std::string line;
  while (read_line(in, line)) rest += line;
  return rest;
}

class StreamScans : public ::testing::Test {
 protected:
  TempDir dir;
  // The input of `bytes`, read with the given block size.
  void open(TextInput& in, const std::string& bytes, std::size_t block_size) {
    write_file(dir.file("in"), bytes);
    ASSERT_EQ(open_input(in, dir.file("in"), block_size), 0);
  }
};

TEST_F(StreamScans, IntCasesForEveryBlockSize) {
  for (const testing::IntCase& c : testing::kIntCases) {
    for (std::size_t block : kBlockSizes) {
      TextInput in;
      open(in, c.text, block);
      std::int32_t value = 0;
      EXPECT_EQ(scan_ints(in, &value, 1), c.result) << c.text << " block " << block;
      if (c.result == 1) {
        EXPECT_EQ(value, c.value) << c.text << " block " << block;
      }
      EXPECT_EQ(rest_of(in), c.rest) << c.text << " block " << block;
    }
  }
}

TEST_F(StreamScans, DoubleCasesForEveryBlockSize) {
  for (const testing::DoubleCase& c : testing::kDoubleCases) {
    for (std::size_t block : kBlockSizes) {
      TextInput in;
      open(in, c.text, block);
      double value = 123.0;
      EXPECT_EQ(scan_double(in, value), c.result) << c.text << " block " << block;
      if (c.result == 1) {
        EXPECT_EQ(value, c.value) << c.text << " block " << block;
        EXPECT_EQ(std::signbit(value), std::signbit(c.value)) << c.text << " block " << block;
      }
      EXPECT_EQ(rest_of(in), c.rest) << c.text << " block " << block;
    }
  }
}

TEST_F(StreamScans, ScanIntsStopsAtTheFirstFailureAndCountsWhatWasAssigned) {
  const struct {
    const char* text;
    int result;
  } cases[] = {
      {"2001 7 1 24 5.5", 4}, {"2001 7 x", 2}, {"", -1}, {"x", 0}, {"2001 7 1", 3},
  };
  for (const auto& c : cases) {
    TextInput in;
    open(in, c.text, kInputBlockSize);
    std::int32_t values[4] = {};
    EXPECT_EQ(scan_ints(in, values, 4), c.result) << c.text;
  }
}

TEST_F(StreamScans, ALetterBlocksEveryFollowingScanInPlace) {
  TextInput in;
  open(in, "1.5 word 2.5\n", kInputBlockSize);
  double value = 0;
  EXPECT_EQ(scan_double(in, value), 1);
  EXPECT_EQ(scan_double(in, value), 0);
  EXPECT_EQ(scan_double(in, value), 0);
  EXPECT_EQ(rest_of(in), "word 2.5\n");
}

TEST_F(StreamScans, SkipTokenDropsTokensOfAnyLength) {
  const std::string long_token(100000, 'q');
  for (std::size_t block : kBlockSizes) {
    TextInput in;
    open(in, "YY\t" + long_token + "\r\nrest", block);
    EXPECT_EQ(skip_token(in), 1);
    EXPECT_EQ(skip_token(in), 1);
    EXPECT_EQ(rest_of(in), "\nrest") << "block " << block;
    EXPECT_EQ(skip_token(in), -1);
  }
}

// Numbers far longer than a block, read with tiny blocks: each extension of the
// window at least doubles what it reads, so this takes time linear in the length
// (with a read of one block per extension it would not finish in time).
TEST_F(StreamScans, NumbersLongerThanTheBufferAreReadWhole) {
  const std::string digits = "1" + std::string(2'000'000, '0');
  for (std::size_t block : {std::size_t{7}, kInputBlockSize}) {
    TextInput in;
    open(in, "  " + digits + ".5e-2000000 -" + digits + "\n2.5", block);
    double value = 0.0;
    ASSERT_EQ(scan_double(in, value), 1);
    EXPECT_EQ(value, 1.0) << "block " << block;  // 24 significant digits are kept
    ASSERT_EQ(scan_double(in, value), 1);
    EXPECT_EQ(value, -testing::kInf) << "block " << block;
    ASSERT_EQ(scan_double(in, value), 1);
    EXPECT_EQ(value, 2.5) << "block " << block;
    EXPECT_EQ(scan_double(in, value), -1);
  }
}

// The line count after each scan is the number of LFs in front of where it
// stopped, whether the fast path or the counting skip took the white space: line
// ends in every place white space can stand, at every block size. The last line
// is long, so that in one block every number has the plain path's reach behind it.
TEST_F(StreamScans, ScansCountTheLineEndsTheyPass) {
  const std::string text = "\n\r\n2000\t1\n1 24\t1.5 -2\n\n\t 3.25e1\tword\n\t\n  7.5 \n8\n" +
                           std::string(3, '\n') + "end" + std::string(40, '.');
  for (std::size_t block : kBlockSizes) {
    TextInput in;
    open(in, text, block);
    std::int32_t ints[4] = {};
    EXPECT_EQ(scan_ints(in, ints, 4), 4);
    EXPECT_EQ(in.line_ends, 3) << "block " << block;  // read on from line 3 into line 4
    double value = 0.0;
    EXPECT_EQ(scan_double(in, value), 1);
    EXPECT_EQ(in.line_ends, 3) << "block " << block;
    EXPECT_EQ(scan_double(in, value), 1);
    EXPECT_EQ(scan_double(in, value), 1);
    EXPECT_EQ(value, 32.5);
    EXPECT_EQ(in.line_ends, 5) << "block " << block;
    EXPECT_EQ(skip_token(in), 1);
    EXPECT_EQ(in.line_ends, 5) << "block " << block;
    EXPECT_EQ(scan_double(in, value), 1);
    EXPECT_EQ(value, 7.5);
    EXPECT_EQ(in.line_ends, 7) << "block " << block;
    EXPECT_EQ(scan_ints(in, ints, 1), 1);
    EXPECT_EQ(in.line_ends, 8) << "block " << block;
    EXPECT_EQ(scan_double(in, value), 0);
    EXPECT_EQ(in.line_ends, 12) << "block " << block;
  }
}

// A failed scan hands back where its item began, the sign it consumed included,
// so the text found there can be shown.
TEST_F(StreamScans, AFailedScanTellsWhereItsItemBegan) {
  const struct {
    const char* text;
    int ints;         // of the four date integers, how many come before the failure
    const char* found;
  } cases[] = {
      {"10 NA 5\nnext", 0, "NA 5"},
      {"10 -\t5\n", 0, "-\t5"},
      {"10 +.e5\n", 0, "+.e5"},
      {"2000 1 x 3", 2, "x 3"},
      {"2000 - 1 3", 1, "- 1 3"},
  };
  for (const auto& c : cases) {
    for (std::size_t block : kBlockSizes) {
      TextInput in;
      const bool date = c.ints > 0;
      open(in, date ? c.text : std::string(c.text).substr(3), block);
      ScanEnd failed{};
      if (date) {
        std::int32_t ints[4] = {};
        ASSERT_EQ(scan_ints(in, ints, 4, &failed), c.ints) << c.text;
      } else {
        double value = 0.0;
        ASSERT_FALSE(read_plain_value(in, value));
        failed = scan_value(in, value);
      }
      EXPECT_EQ(failed.result, 0) << c.text;
      EXPECT_EQ(peek_text(in, failed.start, 40), c.found) << c.text << " block " << block;
    }
  }
}

// scan_doubles reads a batch as that many scan_double calls do, at every vector
// level and block size: the same results, values, line count and rest, also where records
// hold values the kernels leave to the scan, lines end early, words stop the
// scans, and items cross the ends of blocks.
TEST_F(StreamScans, ScanDoublesReadsAsScanDoubleAtEveryLevel) {
  std::mt19937_64 random(1217);
  const char* const odd[] = {"1e3", "-", "word", "1,5", "2.5.3", "1234567890123456789", "\n", "+.5", "-0"};
  std::string text;
  for (int record = 0; record < 300; ++record) {
    for (int column = 0; column < 40; ++column) {
      text += random() % 7 == 0 ? " " : "\t";
      if (random() % 60 == 0) {
        text += odd[random() % 9];
      } else {
        text += std::to_string(random() % 100000) + "." + std::to_string(random() % 1000);
      }
    }
    text += "\n";
  }
  for (VectorLevel level : testing::levels_to_test()) {
    testing::LevelInUse in_use(level);
    for (std::size_t block : {std::size_t{5}, std::size_t{100}, kInputBlockSize}) {
      TextInput batch_in;
      TextInput single_in;
      open(batch_in, text, block);
      write_file(dir.file("single"), text);
      ASSERT_EQ(open_input(single_in, dir.file("single"), block), 0);
      for (int round = 0; round < 400; ++round) {
        const int count = 1 + round % 64;
        double values[64];
        bool scanned[64];
        const bool all = scan_doubles(batch_in, values, scanned, count);
        bool all_single = true;
        for (int i = 0; i < count; ++i) {
          double value = 0.0;
          const bool ok = scan_double(single_in, value) == 1;
          all_single = all_single && ok;
          ASSERT_EQ(scanned[i], ok) << vector_level_name(level) << " block " << block << " round " << round;
          ASSERT_EQ(std::bit_cast<std::uint64_t>(values[i]), std::bit_cast<std::uint64_t>(value))
              << vector_level_name(level) << " block " << block << " round " << round << " value " << i;
        }
        ASSERT_EQ(all, all_single);
        ASSERT_EQ(batch_in.line_ends, single_in.line_ends) << vector_level_name(level) << " block " << block;
        if (round % 5 == 4) {
          skip_line(batch_in);
          skip_line(single_in);
        }
      }
      EXPECT_EQ(rest_of(batch_in), rest_of(single_in)) << vector_level_name(level) << " block " << block;
    }
  }
}

}  // namespace
}  // namespace floveran
