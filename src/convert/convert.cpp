#include "convert/convert.h"

namespace floveran {

double convert_value(double value, double area, double timestep_hours, std::int32_t method) {
  constexpr double factor = kSpecificDischargeFactor;
  if (method == 1) return ((value * factor) / area) * timestep_hours;
  return ((area / factor) * value) / timestep_hours;
}

}  // namespace floveran
