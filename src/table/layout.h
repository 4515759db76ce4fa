// The fixed texts and numbers of the two table layouts, in one place.
//
// Input: line 1 a free title; line 2 the area line (four date labels, then one
// catchment area in km2 per gauge column, tab-separated); lines 3 to head_rows free
// header lines; then one record per time step: year, month, day, hour and one value
// per column, separated by white space.
//
// Output: line 1 the title prefix followed by input line 1; line 2 (head_rows of 2
// or more) the area row; lines 3 to head_rows copied; then one row per record:
// the four date fields and one converted value or the missing marker per column,
// separated by single tabs.
#pragma once

#include <string_view>

namespace floveran {

// "specific_runoff_from_%s,_output_timestep:_%.2lf_h,_original:" with the input
// name and the time step, in three literal pieces around the two fields.
inline constexpr std::string_view kTitleBeforeName = "specific_runoff_from_";
inline constexpr std::string_view kTitleBeforeTimestep = ",_output_timestep:_";
inline constexpr std::string_view kTitleAfterTimestep = "_h,_original:";
inline constexpr int kTimestepDecimals = 2;

// The area row: these labels, then "\t%.3lf" per column.
inline constexpr std::string_view kAreaRowLabels = "YY\tMM\tDD\tHH";
inline constexpr int kAreaDecimals = 3;
inline constexpr int kAreaLineLabelCount = 4;

// Column detection skips this many characters of the area line: the width of the
// labels "YY\tMM\tDD\tHH" and the tab behind them.
inline constexpr std::size_t kAreaLineLabelWidth = 12;

inline constexpr std::string_view kFieldSeparator = "\t";

// A value below the threshold is missing and written as the marker.
inline constexpr double kMissingThreshold = -9990.0;
inline constexpr std::string_view kMissingMarker = "\t-9999";

// Converted values are written with "\t%.7lg".
inline constexpr int kValuePrecision = 7;

inline constexpr int kDateFieldCount = 4;

}  // namespace floveran
