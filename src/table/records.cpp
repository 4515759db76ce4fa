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
//
// What the loop tells on standard error costs the common record nothing: the
// scans count the LFs they pass, so a record that was read on into a later line
// shows as a line count that moved between its first date field and its last
// value. The first scan that fails notes where the loop stopped and the text
// there; only then, at the end, is the rest of the input read to count its lines.
#include "table/records.h"

#include <algorithm>
#include <cstdint>
#include <string>

#include "convert/convert.h"
#include "run/numbers/general_digits.h"
#include "run/numbers/general_layout.h"
#include "run/numbers/vector_level.h"
#include "table/fields.h"
#include "table/input_rest.h"
#include "table/layout.h"
#include "table/parallel_records.h"

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

// The first failed scan: the line it stopped on and the text from where its item
// began (none at the end of the input).
void note_stop(TextInput& in, RecordTally& tally, StopCause cause, const ScanEnd& scan) {
  tally.stopped = true;
  tally.stop.cause = scan.result < 0 ? StopCause::end_inside_record : cause;
  tally.stop.line = in.line_ends + 1;
  if (scan.result == 0) tally.stop.text = peek_text(in, scan.start, kShownTextBytes);
}

// A value that is not plain, by the whole scan; a failure is noted.
[[gnu::noinline]] bool read_other_value(TextInput& in, double& value, RecordTally& tally) {
  const ScanEnd scan = scan_value(in, value);
  if (scan.result == 1) return true;
  if (!tally.stopped) note_stop(in, tally, StopCause::not_a_number, scan);
  ++tally.unread_values;
  return false;
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
// text of the results laid out by the kernels (read_plain_values,
// prove_general_texts); every value they leave goes through the whole scan and
// format_general's paths as at the scalar level. Out of the record loop, so that
// the scalar level runs that loop as it was.
[[gnu::noinline]] void convert_batch_with_kernels(const RecordStreams& streams, const RunSettings& settings,
                                                  PlainValuesKernel kernel, std::int32_t first, std::int32_t count,
                                                  RecordTally& tally) {
  TextInput& in = streams.input;
  double values[kValueBatch];
  bool scanned[kValueBatch];
  for (std::int32_t i = 0; i < count;) {
    const std::int32_t read = read_plain_values(in, kernel, values + i, count - i);
    for (std::int32_t j = i; j < i + read; ++j) scanned[j] = true;
    i += read;
    if (i == count) break;
    values[i] = 0.0;
    scanned[i] = read_other_value(in, values[i], tally);
    ++i;
  }
  double converted[kValueBatch];
  const double* const areas = streams.areas.data() + first;
  for (std::int32_t i = 0; i < count; ++i) {
    converted[i] = convert_value(values[i], areas[i], settings.timestep_hours, settings.method);
  }
  std::uint64_t heads[kValueBatch];
  std::uint64_t tails[kValueBatch];
  std::uint32_t shapes[kValueBatch];
  prove_general_texts(converted, count, kValuePrecision, heads, tails, shapes);
  write_batch(streams.output, values, scanned, converted, heads, tails, shapes, count);
}

// The values of one record, read, converted and written a batch at a time. Reading
// and writing share no state, so the bytes are those of one column after the
// other; each value is converted with the same operations as on its own (a missing
// or unread one too, whose result is not written), and the values of a batch no
// longer wait on each other. At a vector level the kernels take each batch. A
// function of its own, which holds nothing but this,
// so that the loops keep their state in registers.
[[gnu::noinline]] void convert_values(const RecordStreams& streams, const RunSettings& settings, RecordTally& tally) {
  TextInput& in = streams.input;
  TextOutput& out = streams.output;
  const PlainValuesKernel kernel = plain_values_kernel();
  for (std::int32_t first = 1; first <= settings.column_count; first += kValueBatch) {
    const std::int32_t count = std::min(kValueBatch, settings.column_count - first + 1);
    if (kernel != nullptr) {
      convert_batch_with_kernels(streams, settings, kernel, first, count, tally);
      continue;
    }
    double values[kValueBatch];
    bool scanned[kValueBatch];
    for (std::int32_t i = 0; i < count; ++i) {
      values[i] = 0.0;
      scanned[i] = read_plain_value(in, values[i]) || read_other_value(in, values[i], tally);
    }
    double converted[kValueBatch];
    const double* const areas = streams.areas.data() + first;
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
}

// The reports of the loop's end. The rest of the input is read only when the loop
// stopped at a failed scan or at a Ctrl-Z, which may have cut off more records.
[[gnu::noinline]] void report_loop_end(RunState& state, const RunSettings& settings, RecordTally& tally) {
  TextInput& in = state.input;
  Diagnostics& diagnostics = state.diagnostics;
  if (state.output.error != 0 || in.error != 0) return;  // the driver reports these
  if (!tally.stopped && !in.ended_at_ctrl_z) {
    report_read_on_total(diagnostics);
    return;
  }
  const std::int64_t line_of_end = in.line_ends + 1;
  const InputRest rest = read_rest_of_input(in);
  if (rest.data_past_ctrl_z && (!tally.stopped || tally.stop.cause == StopCause::end_inside_record)) {
    if (!tally.stopped) tally.stop.line = line_of_end;
    tally.stopped = true;
    tally.stop.cause = StopCause::ctrl_z;
    tally.stop.text = rest.ctrl_z_text;
  }
  if (!tally.stopped) {
    report_read_on_total(diagnostics);
    return;
  }
  // A scan that met the end of the input behind the last LF stands on the last line.
  RecordStop& stop = tally.stop;
  stop.line = std::clamp<std::int64_t>(stop.line, 1, std::max<std::int64_t>(rest.lines, 1));
  if (tally.record_line != 0 && std::min(tally.last_line, rest.lines) > tally.record_line) {
    report_record_read_on(diagnostics, tally.record_line, std::min(tally.last_line, rest.lines),
                          settings.column_count);
  }
  report_read_on_total(diagnostics);
  stop.records_converted = tally.records;
  stop.column_count = settings.column_count;
  // A row written in part used its stop line; otherwise that line is not converted.
  stop.lines_not_converted =
      std::max<std::int64_t>(0, rest.lines - stop.line + (stop.last_row_values < 0 ? 1 : 0));
  report_records_stopped(diagnostics, stop);
}

// The run's own loop: every record read on is told as it is met.
StretchEnd convert_own_records(RunState& state, const RunSettings& settings, RecordTally& tally,
                               std::uint64_t pause_at) {
  const RecordStreams streams{state.input, state.output, state.console, state.areas};
  for (;;) {
    const StretchEnd end = convert_record_stretch(streams, settings, tally, pause_at);
    if (end != StretchEnd::read_on) return end;
    report_record_read_on(state.diagnostics, tally.read_on_from, tally.read_on_to, settings.column_count);
    skip_line(state.input);
  }
}

}  // namespace

StretchEnd convert_record_stretch(const RecordStreams& streams, const RunSettings& settings, RecordTally& tally,
                                  std::uint64_t pause_at) {
  TextInput& in = streams.input;
  TextOutput& out = streams.output;
  for (;;) {
    if (out.error != 0) return StretchEnd::output_failed;
    if (in.raw_bytes_read >= pause_at) return StretchEnd::paused;
    if (!item_close_ahead(in)) skip_white_space(in);
    const std::int64_t record_line = in.line_ends + 1;
    std::int32_t fields[kDateFieldCount];
    ScanEnd failed{};
    const int dates = scan_ints(in, fields, kDateFieldCount, &failed);
    if (dates != kDateFieldCount) {
      if (dates < 0) return StretchEnd::input_ended;
      note_stop(in, tally, StopCause::not_a_date, failed);
      return StretchEnd::scan_failed;
    }
    const RecordDate date = {fields[0], fields[1], fields[2], fields[3]};
    const std::size_t console_before = streams.console.used;
    show_progress(streams.console, date, settings.timestep_hours);
    if (streams.marks != nullptr && streams.console.used != console_before) {
      streams.marks->push_back({out.used, streams.console.used});
    }
    write_date(out, date);

    convert_values(streams, settings, tally);
    write_text(out, "\n");
    ++tally.records;
    const std::int64_t last_line = in.line_ends + 1;
    if (tally.stopped) {
      // A value failed. Whether the record was read on into a line that exists is
      // known once the rest is counted.
      tally.stop.last_row_values = settings.column_count - tally.unread_values;
      tally.record_line = record_line;
      tally.last_line = last_line;
      skip_line(in);
      return StretchEnd::scan_failed;
    }
    if (last_line != record_line) {
      tally.read_on_from = record_line;
      tally.read_on_to = last_line;
      return StretchEnd::read_on;
    }
    skip_line(in);
  }
}

void convert_records(RunState& state, const RunSettings& settings) {
  RecordTally tally;
  if (convert_own_records(state, settings, tally, parallel_start(state.input, settings)) == StretchEnd::paused) {
    convert_records_in_parallel(state, settings, tally);
    convert_own_records(state, settings, tally, kNoPause);
  }
  report_loop_end(state, settings, tally);
}

}  // namespace floveran
