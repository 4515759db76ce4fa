// The diagnostics of a run on standard error: what the tool found in the command
// line or the table that the user needs to know, and the reason behind a failed
// run. Each is one line beginning "floveran: " and ending in a plain LF, written and
// flushed as soon as it is found; a clean table gives none. Standard output keeps
// its fixed texts. Every text of standard error is made in this file.
//
// The phases report facts (line numbers, counts, the text found); a line number is
// counted as in the file, from 1. The record loop's reports take their line
// numbers as values, so a loop over a part of the input could collect its facts
// and hand them on in order with the lines before its part added.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "run/streams/text_output.h"

namespace floveran {

struct Diagnostics {
  TextOutput errors;               // standard error
  TextOutput* console = nullptr;   // flushed first, so that the two read in order
                                   // where they go to the same place
  std::int64_t records_read_on = 0;  // records that ran over their line end
};

// Standard error, and the console to flush in front of each line.
void open_diagnostics(Diagnostics& diagnostics, TextOutput& console);

// At most this many bytes of the text found are shown.
inline constexpr std::size_t kShownTextBytes = 40;
// The first records that ran over their line end are listed one by one, this many.
inline constexpr std::int64_t kReadOnListed = 10;

// The bytes of a text as a C string literal: printable ASCII as it is, a backslash
// and a double quote escaped, tab, CR and LF as \t, \r and \n, every other byte as
// \xHH. So no diagnostic line holds a control byte or a byte above 0x7E.
std::string quoted(std::string_view bytes);

// A numeric argument (3 to 6) whose text is not wholly a number, or a time step not
// above 0, which is replaced by 1.
struct ArgumentReading {
  int position = 0;
  std::string_view text;
  double value = 0.0;           // what the text was read as
  bool whole_number = true;
  bool timestep_replaced = false;
};
void report_argument(Diagnostics& diagnostics, const ArgumentReading& reading);

// FLOVERAN_THREADS set to a text that is not a whole number above 0.
void report_threads_ignored(Diagnostics& diagnostics, std::string_view text);

// Column detection stopped counting while fields of line 2 were left: at `token`
// (a field that reads as 0), or, with `token` empty, at a field whose further
// parts are not separated by tabs.
void report_columns_left_out(Diagnostics& diagnostics, std::int32_t count, std::string_view token,
                             std::int64_t fields_left_out);

// The columns whose area is 0 after the header pass (areas[c] for column c), once.
void report_zero_areas(Diagnostics& diagnostics, const std::vector<double>& areas, std::int32_t column_count,
                       std::int32_t head_rows, std::int32_t method);

// A record that began on `record_line` and was read on into `last_line`: listed for
// the first kReadOnListed; report_read_on_total then gives the count when there
// were more.
void report_record_read_on(Diagnostics& diagnostics, std::int64_t record_line, std::int64_t last_line,
                           std::int32_t column_count);
void report_read_on_total(Diagnostics& diagnostics);

// Why the record loop stopped with input left that is not white space.
enum class StopCause { not_a_date, not_a_number, end_inside_record, ctrl_z };
struct RecordStop {
  StopCause cause = StopCause::not_a_date;
  std::int64_t line = 0;            // where it stopped
  std::string text;                 // found there (not for end_inside_record)
  std::int64_t records_converted = 0;
  std::int32_t last_row_values = -1;  // values of the last row, written in part; -1: none
  std::int32_t column_count = 0;
  std::int64_t lines_not_converted = 0;
};
void report_records_stopped(Diagnostics& diagnostics, const RecordStop& stop);

// The reason behind a failed run, after the message on the console.
enum class FileFailure { open_input, open_output, read_input, write_output };
inline constexpr std::string_view kOutputIsInput = "the output is the input file";
inline constexpr std::string_view kNoLine2 = "line 2 is missing";
inline constexpr std::string_view kLine2HoldsNoFields =
    "line 2 holds no fields (it has 12 characters or fewer)";
void report_file_failure(Diagnostics& diagnostics, FileFailure failure, std::string_view name,
                         std::string_view reason);
void report_columns_too_many(Diagnostics& diagnostics, std::int32_t column_count);

}  // namespace floveran
