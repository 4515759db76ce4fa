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

// `floveran --version`: the version the build declares, alone on its line.
inline constexpr std::string_view kVersion = "floveran " FLOVERAN_VERSION "\n";

// `floveran --help` or `-h`, behind the banner, which says what the tool does.
inline constexpr std::string_view kHelp =
    "usage: floveran INPUT OUTPUT [HEAD_ROWS [COLUMNS [TIMESTEP [METHOD]]]]\n"
    "       floveran --help | -h | --version\n"
    "\n"
    "Converts a table of river discharges in m3/s (one column per gauge, one record\n"
    "per time step, the catchment areas in km2 on line 2) into specific discharges\n"
    "in mm per time step, or back.\n"
    "\n"
    "  INPUT      the input table\n"
    "  OUTPUT     the output table; created, or truncated when it exists\n"
    "  HEAD_ROWS  header lines, title and area line included (default 5)\n"
    "  COLUMNS    number of gauge columns, used only when exactly four arguments\n"
    "             are given (default: counted on line 2)\n"
    "  TIMESTEP   time step in hours (default 1; a value not above 0 means 1)\n"
    "  METHOD     1: m3/s into mm per time step (default); any other number:\n"
    "             mm per time step into m3/s\n"
    "\n"
    "  method 1:  mm   = ((Q [m3/s] * 3.6) / A [km2]) * dt [h]\n"
    "  other:     m3/s = ((A [km2] / 3.6) * mm) / dt [h]\n"
    "  Values below -9990 are missing and written as -9999.\n"
    "\n"
    "Exit status: 0 done (\"fertig..\"), 1 no output table named, 2 the input\n"
    "table failed, 3 the output table failed. What the tool finds wrong with the\n"
    "table or the arguments, and why a run failed, goes to standard error, each\n"
    "line beginning \"floveran: \".\n"
    "\n"
    "Manual: man floveran (man -l doc/floveran.1 in the source tree).\n";

inline void print(TextOutput& console, std::string_view text) {
  write_text(console, text);
  flush_output(console);
}

}  // namespace floveran
