// The console messages of the tool, in one place, and how they go out: each is
// written with any progress marks held before it and flushed at once, so that
// messages appear as they happen.
#pragma once

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

inline void print(TextOutput& console, std::string_view text) {
  write_text(console, text);
  flush_output(console);
}

}  // namespace floveran
