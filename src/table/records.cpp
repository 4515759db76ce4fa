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

#include <string>

#include "convert/convert.h"
#include "run/scan.h"
#include "table/layout.h"

namespace floveran {
namespace {

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

    for (std::int32_t c = 1; c <= settings.column_count; ++c) {
      if (scan_double(in, state.value) != 1) {
        state.end_of_data = true;
        continue;
      }
      if (state.value < kMissingThreshold) {
        write_plain(out, kMissingMarker);
        continue;
      }
      write_plain(out, kFieldSeparator);
      write_general(out,
                    convert_value(state.value, state.areas[static_cast<std::size_t>(c)],
                                  settings.timestep_hours, settings.method),
                    kValuePrecision);
    }
    write_text(out, "\n");
    skip_line(in);
    if (state.end_of_data) break;
  }
}

}  // namespace floveran
