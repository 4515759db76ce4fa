// The arithmetic of one value.
//   method 1:     mm per time step = ((m3/s x 3.6) / area km2) x time step h
//   other method: m3/s = ((area km2 / 3.6) x mm per time step) / time step h
// 1 m3/s spread over 1 km2 is 3.6 mm per hour. Each operation is rounded on its own,
// in the order of the brackets; the build turns off floating-point contraction so
// that no multiply and add are fused. A zero area gives the infinities, or the NaN
// of invalid arithmetic for 0 / 0, as IEEE arithmetic defines them.
#pragma once

#include <cstdint>

namespace floveran {

// 1 m3/s over 1 km2 for one hour, in mm.
inline constexpr double kSpecificDischargeFactor = 3.6;

double convert_value(double value, double area, double timestep_hours, std::int32_t method);

}  // namespace floveran
