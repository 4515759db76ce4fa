// Each record: the four date integers as one scan (fewer than four ends the loop
// and writes nothing); the progress marks; the date fields; per column one value,
// written as the missing marker when below the threshold and converted otherwise.
// A value that cannot be scanned writes nothing for its column and ends the loop
// after this record, whose row keeps the values that were read; the next column
// scans on from where the failed scan stopped. After the last column the row's
// newline is written and the rest of the input line dropped.
//
// The time step of the first record of a day is the hour equal to timestep_hours,
// compared exactly in double precision: with the default of 1.0 the dot falls on
// hour 1 and the month line on day 1, hour 1.
#include "table/records.h"

#include <algorithm>
#include <cstdint>
#include <string>

#include "convert/convert.h"
#include "run/numbers/general_digits.h"
#include "run/numbers/general_layout.h"
#include "run/numbers/vector_level.h"
#include "table/fields.h"
#include "table/layout.h"

namespace floveran {
namespace {

constexpr std::int32_t kValueBatch = 64;

struct RecordDate {
  std::int32_t year = 0;
  std::int32_t month = 0;
  std::int32_t day = 0;
  std::int32_t hour = 0;
};

// Held in the console's buffer: they go out with the next message or before the
// input is read again.
void show_progress(TextOutput& console, const RecordDate& date, double timestep_hours) {
  const bool first_step_of_day = static_cast<double>(date.hour) == timestep_hours;
  if (!first_step_of_day) return;
  if (date.day == 1) {
    write_text(console, "\nmonth " + std::to_string(date.month) + "/" + std::to_string(date.year) + " ");
  }
  write_plain(console, ".");
}

void write_date(TextOutput& out, const RecordDate& date) {
  const std::int32_t fields[kDateFieldCount] = {date.year, date.month, date.day, date.hour};
  for (int i = 0; i < kDateFieldCount; ++i) {
    if (i > 0) write_plain(out, kFieldSeparator);
    write_int(out, fields[i]);
  }
}

// The values of a batch at a vector level, written as the scalar loop writes
// them: nothing for an unread value, the missing marker, or the separator and the
// general form. A value that the kernel laid out is put together in the room
// taken once for the batch; every other goes through format_general's paths,
// which take their own.
constexpr std::size_t kBatchValueRoom = 1 + kGeneralPiecesRoom;  // the separator, then the pieces
static_assert(kValuePrecision <= kMaxBatchPrecision && kFieldSeparator.size() == 1);

void write_batch(TextOutput& out, const double* values, const bool* scanned, const double* converted,
                 const std::uint64_t* heads, const std::uint64_t* tails, const std::uint32_t* shapes,
                 std::int32_t count) {
  const std::size_t room = static_cast<std::size_t>(count) * kBatchValueRoom;
  char* p = output_space(out, room);
  for (std::int32_t i = 0; i < count; ++i) {
    if (!scanned[i]) continue;
    if (values[i] < kMissingThreshold) {
      for (char c : kMissingMarker) *p++ = c;
      continue;
    }
    if (shapes[i] == 0) [[unlikely]] {
      output_advance(out, p);
      write_plain(out, kFieldSeparator);
      write_general_apart(out, converted[i], kValuePrecision);
      p = output_space(out, room);
      continue;
    }
    *p++ = kFieldSeparator[0];
    p = put_general_pieces(heads[i], tails[i], shapes[i], p);
  }
  output_advance(out, p);
}

// One batch of values at a vector level: the runs of plain values read and the
// text of the results laid out by the kernels (scan_doubles,
// prove_general_texts); every value they are unsure of goes through scan_double
// and format_general's paths as at the scalar level. Out of the record loop, so
// that the scalar level runs that loop as it was. False when a scan failed.
[[gnu::noinline]] bool convert_batch_with_kernels(RunState& state, const RunSettings& settings, std::int32_t first,
                                                  std::int32_t count) {
  double values[kValueBatch];
  bool scanned[kValueBatch];
  const bool all = scan_doubles(state.input, values, scanned, count);
  double converted[kValueBatch];
  const double* const areas = state.areas.data() + first;
  for (std::int32_t i = 0; i < count; ++i) {
    converted[i] = convert_value(values[i], areas[i], settings.timestep_hours, settings.method);
  }
  std::uint64_t heads[kValueBatch];
  std::uint64_t tails[kValueBatch];
  std::uint32_t shapes[kValueBatch];
  prove_general_texts(converted, count, kValuePrecision, heads, tails, shapes);
  write_batch(state.output, values, scanned, converted, heads, tails, shapes, count);
  return all;
}

}  // namespace

void convert_records(RunState& state, const RunSettings& settings) {
  TextInput& in = state.input;
  TextOutput& out = state.output;
  const bool kernels = active_vector_level() != VectorLevel::scalar;
  bool end_of_data = false;
  while (!end_of_data && out.error == 0) {
    std::int32_t fields[kDateFieldCount];
    if (scan_ints(in, fields, kDateFieldCount) != kDateFieldCount) break;
    const RecordDate date = {fields[0], fields[1], fields[2], fields[3]};
    show_progress(state.console, date, settings.timestep_hours);
    write_date(out, date);

    // The values are read a batch at a time, converted, then written. Reading and
    // writing share no state, so the bytes are those of one column after the other;
    // each value is converted with the same operations as on its own (a missing or
    // unread one too, whose result is not written), and the values of a batch no
    // longer wait on each other. At a vector level the kernels take the batch.
    for (std::int32_t first = 1; first <= settings.column_count; first += kValueBatch) {
      const std::int32_t count = std::min(kValueBatch, settings.column_count - first + 1);
      if (kernels) {
        if (!convert_batch_with_kernels(state, settings, first, count)) end_of_data = true;
        continue;
      }
      double values[kValueBatch];
      bool scanned[kValueBatch];
      for (std::int32_t i = 0; i < count; ++i) {
        values[i] = 0.0;
        scanned[i] = scan_double(in, values[i]) == 1;
        if (!scanned[i]) end_of_data = true;
      }
      double converted[kValueBatch];
      const double* const areas = state.areas.data() + first;
      for (std::int32_t i = 0; i < count; ++i) {
        converted[i] = convert_value(values[i], areas[i], settings.timestep_hours, settings.method);
      }
      for (std::int32_t i = 0; i < count; ++i) {
        if (!scanned[i]) continue;
        if (values[i] < kMissingThreshold) {
          write_plain(out, kMissingMarker);
          continue;
        }
        write_plain(out, kFieldSeparator);
        write_general(out, converted[i], kValuePrecision);
      }
    }
    write_text(out, "\n");
    skip_line(in);
  }
}

}  // namespace floveran
