// The console messages of the tool, in one place, and how they go out: each is
// written with any progress marks held before it and flushed at once, so that
// messages appear as they happen. The note of an interrupt goes to standard
// error instead, as it is, by the handler that ends the process.
#pragma once

#include <string>
#include <string_view>

#include "run/streams/text_output.h"

namespace floveran {

inline constexpr std::string_view kBanner =
    "floveran: converting discharges from m3/s into specific discharges in mm/timestep "
    "or vice versa\n";
inline constexpr std::string_view kUsage =
    "usage: floveran <discharge_m3/s> <spec_disch._mm/dt> [<n1 headrows{def=5}>] "
    "[<n2 datacolumns{def=all}>] [<timestep in h{def=1h}>] "
    "[<method 1(to mm/step) or 2(to m3/s) {def=1}>\n\n";
inline constexpr std::string_view kZeroHeadRows = "0 head rows..\n\n";
inline constexpr std::string_view kDone = "fertig..\n";
inline constexpr std::string_view kAreaLineMissing = "error reading a record\n";

// The note of an interrupt: before the output is opened, and after, for an
// output that is replaced only when complete and for one written in place.
inline constexpr std::string_view kInterruptedNothingWritten =
    "floveran: conversion interrupted, nothing was written\n";
inline std::string interrupted_note(const TextOutput& output) {
  return output_replaces(output)
             ? "floveran: conversion interrupted, nothing was written to " + output.name + "\n"
             : "floveran: conversion interrupted, the table written to " + output.name +
                   " is incomplete\n";
}

inline void print(TextOutput& console, std::string_view text) {
  write_text(console, text);
  flush_output(console);
}

}  // namespace floveran
