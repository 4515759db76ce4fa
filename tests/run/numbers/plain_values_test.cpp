// The scan kernels of every vector level this machine runs, against the grammar
// alone (scan_double_grammar): a table of texts with what a kernel reads and where
// it stops, grouped by what it must take and what it must leave to the scan; then
// walks over long table-like and hostile texts, where every value a kernel reads
// must be the grammar's value with the grammar's stop, and where it stops the
// grammar reads on from the same byte.
#include "run/numbers/plain_values.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <random>
#include <string>

#include "run/numbers/scan.h"
#include "support/vector_levels.h"

namespace floveran {
namespace {

using testing::LevelInUse;
using testing::levels_to_test;

// Behind every text of the table: a line end and bytes that are no number, far
// enough for the kernels' reach.
const std::string kTail = "\n" + std::string(2 * kPlainValuesReach, 'x');

struct KernelCase {
  const char* text;
  int read;          // values the kernel reads (it is asked for up to 64)
  const char* rest;  // what stands behind its stop, up to the tail
};

const KernelCase kKernelCases[] = {
    // Runs of plain values behind tabs and blanks: all read, up to the line end.
    {"\t33.412\t0.043\t-9999\t261.501", 4, ""},
    {" 1  2\t\t3 \t 4", 4, ""},
    {"\t.5\t5.\t-0\t+7\t007.50", 5, ""},
    {"\t123456789012345\t12345678901234.5\t0.00000000000001", 3, ""},
    {"\t9.99999999999999", 1, ""},
    {"\t-.5\t-5.\t+0.25\t-12345678901234.5", 4, ""},  // signs in front of every shape
    // Values left to the scan, which reads them from the kernel's stop.
    {"\t1.5e3", 0, "\t1.5e3"},                     // an exponent
    {"\t1.5\t2E-1", 1, "\t2E-1"},
    {"\t1.5\t2.5.3", 1, "\t2.5.3"},                // a second point
    {"\t1234567890123456", 0, "\t1234567890123456"},  // more than 15 digits
    {"\t0.000000000000001", 0, "\t0.000000000000001"},
    {"\t1\t-\t5", 1, "\t-\t5"},                    // a lone sign
    {"\t.\t5", 0, "\t.\t5"},                       // a lone point
    {"\t5,5", 0, "\t5,5"},                         // a byte behind that ends no number
    {"\t5x", 0, "\t5x"},
    {"\t5-1", 0, "\t5-1"},
    {"\t+-5", 0, "\t+-5"},
    {"\tword", 0, "\tword"},
    {"\t1\n2", 1, "\n2"},                          // a line end in front of a value
    {"\t1\r2", 1, "\r2"},
    {"\t1\v2", 1, "\v2"},
    {"\t1\xff" "2", 0, "\t1\xff" "2"},
    // Blocks of nothing but digits or blanks.
    {"1111111111111111111111111111111111111111111111111111111111111111111", 0,
     "1111111111111111111111111111111111111111111111111111111111111111111"},
    {"\t1                                                                      2", 1,
     "                                                                      2"},
};

TEST(PlainValues, WhatEachKernelTakesAndLeaves) {
  for (VectorLevel level : levels_to_test()) {
    LevelInUse in_use(level);
    const PlainValuesKernel kernel = plain_values_kernel();
    if (level == VectorLevel::scalar) {
      EXPECT_EQ(kernel, nullptr);
      continue;
    }
    ASSERT_NE(kernel, nullptr) << vector_level_name(level);
    for (const KernelCase& c : kKernelCases) {
      const std::string text = c.text + kTail;
      const char* const last = text.data() + text.size();
      double values[64];
      const PlainValuesEnd end = kernel(text.data(), text.data(), last, values, 64);
      EXPECT_EQ(end.read, c.read) << vector_level_name(level) << " [" << c.text << "]";
      EXPECT_EQ(std::string(end.stop, last), c.rest + kTail) << vector_level_name(level) << " [" << c.text << "]";
      // What was read is what the grammar reads.
      const char* p = text.data();
      for (int i = 0; i < end.read; ++i) {
        double expected = 0.0;
        const ScanEnd g = scan_double_grammar(p, last, expected);
        ASSERT_EQ(g.result, 1);
        EXPECT_EQ(std::bit_cast<std::uint64_t>(values[i]), std::bit_cast<std::uint64_t>(expected))
            << vector_level_name(level) << " [" << c.text << "] value " << i;
        p = g.stop;
      }
      EXPECT_EQ(p, end.stop) << vector_level_name(level) << " [" << c.text << "]";
    }
  }
}

// A kernel reads nothing within its reach of the end of the span, where a value
// could go on behind the end; asked for fewer values, it reads no more.
TEST(PlainValues, StopsNearTheEndOfTheSpanAndAtTheCount) {
  for (VectorLevel level : levels_to_test()) {
    LevelInUse in_use(level);
    const PlainValuesKernel kernel = plain_values_kernel();
    if (kernel == nullptr) continue;
    const std::string text = "\t1.5\t2.5\t3.5";
    double values[4];
    EXPECT_EQ(kernel(text.data(), text.data(), text.data() + text.size(), values, 4).read, 0);
    const std::string long_text = text + kTail;
    const PlainValuesEnd two =
        kernel(long_text.data(), long_text.data(), long_text.data() + long_text.size(), values, 2);
    EXPECT_EQ(two.read, 2);
    EXPECT_EQ(std::string(two.stop, two.stop + 4), "\t3.5");
    EXPECT_EQ(values[1], 2.5);
  }
}

// The scan starts at `first`: a sign in front of it, which the kernel may read as
// a byte from its floor, belongs to no value.
TEST(PlainValues, ReadsFromWhereItStartsNotFromItsFloor) {
  for (VectorLevel level : levels_to_test()) {
    LevelInUse in_use(level);
    const PlainValuesKernel kernel = plain_values_kernel();
    if (kernel == nullptr) continue;
    const std::string text = "-5\t-6.5" + kTail;
    double values[4];
    const PlainValuesEnd run = kernel(text.data(), text.data() + 1, text.data() + text.size(), values, 4);
    ASSERT_EQ(run.read, 2) << vector_level_name(level);
    EXPECT_EQ(values[0], 5.0) << vector_level_name(level);
    EXPECT_EQ(values[1], -6.5) << vector_level_name(level);
  }
}

// Walks a text as the record loop does: the kernel reads a run, then the grammar
// one value (a failed scan is stepped over by one byte), and again. Returns how
// many values the kernel read; every one must agree with the grammar. The text
// lies in a buffer of its own size, so that the sanitizers see any read outside
// it; every other run may read from the start of the buffer, the others only
// from where they start, as a window that begins at its buffer's start.
long walk_against_grammar(PlainValuesKernel kernel, const std::string& source, long* grammar_values) {
  const auto buffer = std::make_unique<char[]>(source.size());
  std::memcpy(buffer.get(), source.data(), source.size());
  const char* p = buffer.get();
  const char* const last = buffer.get() + source.size();
  long kernel_read = 0;
  long runs = 0;
  *grammar_values = 0;
  while (p != last) {
    double values[64];
    const char* const floor = runs++ % 2 == 0 ? buffer.get() : p;
    const PlainValuesEnd run = kernel(floor, p, last, values, 64);
    for (int i = 0; i < run.read; ++i) {
      double expected = 0.0;
      const ScanEnd g = scan_double_grammar(p, last, expected);
      const std::string near(p, static_cast<std::size_t>(std::min<std::ptrdiff_t>(last - p, 40)));
      if (g.result != 1 || std::bit_cast<std::uint64_t>(values[i]) != std::bit_cast<std::uint64_t>(expected)) {
        ADD_FAILURE() << "value differs at [" << near << "]";
        return kernel_read;
      }
      p = g.stop;
    }
    if (p != run.stop) {
      ADD_FAILURE() << "stop differs at offset " << (p - buffer.get());
      return kernel_read;
    }
    kernel_read += run.read;
    double value = 0.0;
    const ScanEnd g = scan_double_grammar(p, last, value);
    if (g.result == 1) ++*grammar_values;
    p = (g.result == 1 || g.stop == last) ? g.stop : g.stop + 1;
  }
  return kernel_read;
}

// Records of a gauge table: plain values of the shapes tables hold, some missing
// markers, tabs or blanks between them, line ends between records.
TEST(PlainValues, KernelsReadTableValuesAsTheGrammarDoes) {
  std::mt19937_64 random(17);
  std::string text;
  const char* const shapes[] = {"%.3f", "%.0f", "%.1f", "%.14f", "-%.3f", "+%.2f", "%.0f.", "%.6f"};
  for (int record = 0; record < 4000; ++record) {
    text += "1981\t1\t1\t1";
    for (int column = 0; column < 12; ++column) {
      char value[64];
      const double magnitude = std::ldexp(static_cast<double>(random() % 1000000), static_cast<int>(random() % 30) - 20);
      if (random() % 50 == 0) {
        std::snprintf(value, sizeof value, "-9999");
      } else {
        std::snprintf(value, sizeof value, shapes[random() % 8], magnitude);
      }
      text += random() % 10 == 0 ? "  " : "\t";
      text += value;
    }
    text += "\n";
  }
  for (VectorLevel level : levels_to_test()) {
    LevelInUse in_use(level);
    const PlainValuesKernel kernel = plain_values_kernel();
    if (kernel == nullptr) continue;
    long by_grammar = 0;
    const long by_kernel = walk_against_grammar(kernel, text, &by_grammar);
    // The kernel must carry the table: it leaves the first value of each line
    // (behind the line end) and the few of more than 15 digits to the grammar.
    EXPECT_GT(by_kernel, 4 * by_grammar) << vector_level_name(level);
  }
}

// Random text of the bytes that steer the kernels (digits, points, signs,
// exponent letters, every white-space byte, bytes from 0xF9 up), in runs of every
// length around the 16-, 32- and 64-byte vectors they load.
TEST(PlainValues, KernelsAgreeWithTheGrammarOnHostileText) {
  std::mt19937_64 random(20261217);
  const std::string alphabet = std::string("0123456789012345678901234567890123456789..--+eE\t\t\t  \n\r\v\f\xf9\xff" "x,") + '\0';
  for (VectorLevel level : levels_to_test()) {
    LevelInUse in_use(level);
    const PlainValuesKernel kernel = plain_values_kernel();
    if (kernel == nullptr) continue;
    long total = 0;
    for (int round = 0; round < 40; ++round) {
      std::string text;
      while (text.size() < 20000) {
        const std::size_t run = random() % (round % 2 == 0 ? 20 : 70);
        for (std::size_t i = 0; i < run; ++i) text += alphabet[random() % alphabet.size()];
        text += random() % 4 == 0 ? ' ' : '\t';
      }
      long by_grammar = 0;
      total += walk_against_grammar(kernel, text, &by_grammar);
    }
    EXPECT_GT(total, 0) << vector_level_name(level);
  }
}

}  // namespace
}  // namespace floveran
