// The texts of standard error, and how each goes out: the console's held bytes
// first, then the line, flushed at once.
#include "table/diagnostics.h"

#include "run/numbers/number_format.h"

namespace floveran {
namespace {

constexpr std::string_view kPrefix = "floveran: ";
constexpr int kArgumentValuePrecision = 15;
constexpr std::size_t kListedColumnRanges = 20;

void report(Diagnostics& diagnostics, std::string_view text) {
  if (diagnostics.console != nullptr) flush_output(*diagnostics.console);
  write_text(diagnostics.errors, kPrefix);
  write_text(diagnostics.errors, text);
  write_text(diagnostics.errors, "\n");
  flush_output(diagnostics.errors);
}

// "1 line", "2 lines".
std::string count_of(std::int64_t n, std::string_view thing) {
  return std::to_string(n) + " " + std::string(thing) + (n == 1 ? "" : "s");
}

std::string decimal_text(double value) {
  char text[kFormatCapacity];
  return std::string(text, format_general(value, kArgumentValuePrecision, text));
}

std::string_view argument_name(int position) {
  switch (position) {
    case 3:
      return "head rows";
    case 4:
      return "columns";
    case 5:
      return "time step in hours";
    default:
      return "method";
  }
}

std::string_view file_failure_text(FileFailure failure) {
  switch (failure) {
    case FileFailure::open_input:
      return "cannot open the input ";
    case FileFailure::open_output:
      return "cannot open the output ";
    case FileFailure::read_input:
      return "cannot read the input ";
    default:
      return "cannot write the output ";
  }
}

// "3, 5 to 7, 12": the zero columns as runs, the first kListedColumnRanges of them.
std::string zero_column_list(const std::vector<double>& areas, std::int32_t column_count,
                             std::int64_t& zeros) {
  std::string list;
  std::size_t runs = 0;
  zeros = 0;
  for (std::int32_t c = 1; c <= column_count; ++c) {
    if (areas[static_cast<std::size_t>(c)] != 0.0) continue;
    std::int32_t last = c;
    while (last < column_count && areas[static_cast<std::size_t>(last) + 1] == 0.0) ++last;
    zeros += last - c + 1;
    if (++runs <= kListedColumnRanges) {
      if (runs > 1) list += ", ";
      list += std::to_string(c);
      if (last > c) list += " to " + std::to_string(last);
    } else if (runs == kListedColumnRanges + 1) {
      list += " and more";
    }
    c = last;
  }
  return list;
}

}  // namespace

void open_diagnostics(Diagnostics& diagnostics, TextOutput& console) {
  open_standard_error(diagnostics.errors);
  diagnostics.console = &console;
}

std::string quoted(std::string_view bytes) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string text = "\"";
  for (const char byte : bytes) {
    const auto c = static_cast<unsigned char>(byte);
    if (c == '\\' || c == '"') {
      text += '\\';
      text += byte;
    } else if (c == '\t') {
      text += "\\t";
    } else if (c == '\r') {
      text += "\\r";
    } else if (c == '\n') {
      text += "\\n";
    } else if (c >= 0x20 && c <= 0x7E) {
      text += byte;
    } else {
      text += "\\x";
      text += kHex[c >> 4];
      text += kHex[c & 15];
    }
  }
  return text + "\"";
}

void report_argument(Diagnostics& diagnostics, const ArgumentReading& reading) {
  std::string text = "argument " + std::to_string(reading.position) + " (" +
                     std::string(argument_name(reading.position)) + ") " + quoted(reading.text);
  const std::string value = decimal_text(reading.value);
  if (!reading.whole_number) {
    text += " is not wholly a number; read as " + value;
    if (reading.timestep_replaced) text += ", which is not above 0, so 1 is used";
  } else {
    text += " is not above 0; 1 is used";
  }
  if (reading.position == 6) {
    text += reading.value == 1.0 ? ", which converts m3/s into mm per time step"
                                 : ", which converts mm per time step into m3/s";
  }
  report(diagnostics, text);
}

void report_threads_ignored(Diagnostics& diagnostics, std::string_view text) {
  report(diagnostics, "FLOVERAN_THREADS " + quoted(text.substr(0, kShownTextBytes)) +
                          " is not a whole number above 0; it is ignored");
}

void report_columns_left_out(Diagnostics& diagnostics, std::int32_t count, std::string_view token,
                             std::int64_t fields_left_out) {
  std::string text = "line 2: counting stopped ";
  if (!token.empty()) {
    text += "at " + quoted(token.substr(0, kShownTextBytes)) + ", which reads as 0, after " +
            count_of(count, "column");
  } else {
    text += "after " + count_of(count, "column") + ", since the fields behind it are not separated by tabs";
  }
  text += "; " + std::to_string(fields_left_out) + " more field" + (fields_left_out == 1 ? "" : "s") +
          " left out; if there are more gauges, give their number as the fourth and last argument";
  report(diagnostics, text);
}

void report_zero_areas(Diagnostics& diagnostics, const std::vector<double>& areas, std::int32_t column_count,
                       std::int32_t head_rows, std::int32_t method) {
  std::int64_t zeros = 0;
  const std::string list = zero_column_list(areas, column_count, zeros);
  if (zeros == 0) return;
  std::string text = "area 0 for " + count_of(zeros, "column") + ": " + list + " (";
  text += head_rows < 2 ? "line 2 is not read with fewer than 2 head rows" : "not a number, or 0, on line 2";
  text += zeros == 1 ? "); its values become " : "); their values become ";
  text += method == 1 ? "1.#INF, -1.#INF or -1.#IND" : "0 or -0";
  report(diagnostics, text);
}

void report_record_read_on(Diagnostics& diagnostics, std::int64_t record_line, std::int64_t last_line,
                           std::int32_t column_count) {
  if (++diagnostics.records_read_on > kReadOnListed) return;
  report(diagnostics, "line " + std::to_string(record_line) + ": fewer values than columns (" +
                          std::to_string(column_count) + "); the record was read on into line " +
                          std::to_string(last_line));
}

void report_read_on_total(Diagnostics& diagnostics) {
  if (diagnostics.records_read_on <= kReadOnListed) return;
  report(diagnostics, std::to_string(diagnostics.records_read_on) +
                          " records in all were read on into a later line; the first " +
                          std::to_string(kReadOnListed) + " are listed above");
}

void report_records_stopped(Diagnostics& diagnostics, const RecordStop& stop) {
  std::string text = "line " + std::to_string(stop.line) + ": stopped at ";
  switch (stop.cause) {
    case StopCause::not_a_date:
      text += quoted(stop.text) + ", which is not a date of four whole numbers";
      break;
    case StopCause::not_a_number:
      text += quoted(stop.text) + ", which is not a number";
      break;
    case StopCause::end_inside_record:
      text += "the end of the input, inside a record";
      break;
    case StopCause::ctrl_z:
      text += quoted(stop.text) + ", a Ctrl-Z byte that ends the input";
      break;
  }
  text += "; " + count_of(stop.records_converted, "record") + " converted";
  if (stop.last_row_values >= 0) {
    text += " (the last with " + std::to_string(stop.last_row_values) + " of " +
            count_of(stop.column_count, "value") + ")";
  }
  text += ", " + count_of(stop.lines_not_converted, "line") + " not converted";
  report(diagnostics, text);
}

void report_file_failure(Diagnostics& diagnostics, FileFailure failure, std::string_view name,
                         std::string_view reason) {
  report(diagnostics, std::string(file_failure_text(failure)) + quoted(name) + ": " + std::string(reason));
}

void report_columns_too_many(Diagnostics& diagnostics, std::int32_t column_count) {
  report(diagnostics, "cannot hold the areas of " + count_of(column_count, "column") +
                          " in memory; is argument 4 right?");
}

}  // namespace floveran
