// Header lines 1 to head_rows (none when head_rows is below 1):
//   line 1: the title prefix, then the line as read, newline included;
//   line 2: four label tokens and one area per column are scanned; a failed scan
//           leaves its area at 0.0 and the position where the scan stopped; the
//           area row is written and the rest of the input line dropped;
//   other:  copied as read.
// A header line that is not there (the input ended before it) writes nothing; once
// the input has ended past the area line nothing more can follow, so the pass ends.
// Then every column whose area is still 0 is reported, once.
#include "table/header.h"

#include "table/fields.h"
#include "table/layout.h"

namespace floveran {
namespace {

void write_title_prefix(RunState& state, const RunSettings& settings) {
  TextOutput& out = state.output;
  write_text(out, kTitleBeforeName);
  write_text(out, settings.input_name);
  write_text(out, kTitleBeforeTimestep);
  write_fixed(out, settings.timestep_hours, kTimestepDecimals);
  write_text(out, kTitleAfterTimestep);
}

void copy_area_line(RunState& state, const RunSettings& settings) {
  TextInput& in = state.input;
  TextOutput& out = state.output;
  // "%s%s%s%s": the labels are not used; a failed scan stops the four.
  for (int i = 0; i < kAreaLineLabelCount; ++i) {
    if (skip_token(in) != 1) break;
  }
  for (std::int32_t c = 1; c <= settings.column_count; ++c) {
    double area = 0.0;
    if (scan_double(in, area) == 1) state.areas[static_cast<std::size_t>(c)] = area;
  }
  write_text(out, kAreaRowLabels);
  for (std::int32_t c = 1; c <= settings.column_count; ++c) {
    write_plain(out, kFieldSeparator);
    write_fixed(out, state.areas[static_cast<std::size_t>(c)], kAreaDecimals);
  }
  write_text(out, "\n");
  skip_line(in);
}

}  // namespace

void copy_header_block(RunState& state, const RunSettings& settings) {
  for (std::int32_t i = 1; i <= settings.head_rows; ++i) {
    if (i == 2) {
      copy_area_line(state, settings);
      continue;
    }
    if (peek_byte(state.input) < 0) {
      if (i > 2) break;
      continue;
    }
    if (i == 1) write_title_prefix(state, settings);
    copy_line(state.input, state.output);
  }
  report_zero_areas(state.diagnostics, state.areas, settings.column_count, settings.head_rows,
                    settings.method);
}

}  // namespace floveran
