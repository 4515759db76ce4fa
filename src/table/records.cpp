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
#include <string>

#include "convert/convert.h"
#include "run/scan.h"
#include "table/layout.h"

namespace floveran {
namespace {

constexpr std::int32_t kValueBatch = 64;

void show_progress(const RecordDate& date, double timestep_hours) {
  const bool first_step_of_day = static_cast<double>(date.hour) == timestep_hours;
  if (!first_step_of_day) return;
  if (date.day == 1) {
    print_progress("\nmonth " + std::to_string(date.month) + "/" + std::to_string(date.year) + " ");
  }
  print_progress(".");
}

void write_date(TextOutput& out, const RecordDate& date) {
  const std::int32_t fields[kDateFieldCount] = {date.year, date.month, date.day, date.hour};
  for (int i = 0; i < kDateFieldCount; ++i) {
    if (i > 0) write_plain(out, kFieldSeparator);
    write_int(out, fields[i]);
  }
}

}  // namespace

void convert_records(RunState& state, const RunSettings& settings) {
  TextInput& in = state.input;
  TextOutput& out = state.output;
  state.end_of_data = false;
  for (;;) {
    std::int32_t date[kDateFieldCount];
    if (scan_ints(in, date, kDateFieldCount) != kDateFieldCount) {
      state.end_of_data = true;
      break;
    }
    state.date = {date[0], date[1], date[2], date[3]};
    show_progress(state.date, settings.timestep_hours);
    write_date(out, state.date);

    // The values are read a batch at a time, converted, then written. Reading and
    // writing share no state, so the bytes are those of one column after the other;
    // each value is converted with the same operations as on its own (a missing or
    // unread one too, whose result is not written), and the values of a batch no
    // longer wait on each other.
    for (std::int32_t first = 1; first <= settings.column_count; first += kValueBatch) {
      const std::int32_t count = std::min(kValueBatch, settings.column_count - first + 1);
      double values[kValueBatch];
      bool scanned[kValueBatch];
      for (std::int32_t i = 0; i < count; ++i) {
        values[i] = 0.0;
        scanned[i] = scan_double(in, values[i]) == 1;
        if (!scanned[i]) state.end_of_data = true;
      }
      double converted[kValueBatch];
      const double* const areas = state.areas.data() + first;
      for (std::int32_t i = 0; i < count; ++i) {
        converted[i] = convert_value(values[i], areas[i], settings.timestep_hours, settings.method);
      }
      for (std::int32_t i = 0; i < count; ++i) {
        if (!scanned[i]) continue;
        state.value = values[i];
        if (state.value < kMissingThreshold) {
          write_plain(out, kMissingMarker);
          continue;
        }
        write_plain(out, kFieldSeparator);
        write_general(out, converted[i], kValuePrecision);
      }
    }
    write_text(out, "\n");
    skip_line(in);
    if (state.end_of_data) break;
  }
}

}  // namespace floveran
