// The allocation of the areas, the one buffer whose size the input decides.
#include "table/run.h"

#include <new>

namespace floveran {

bool allocate_areas(RunState& state, std::int32_t column_count) {
  if (column_count <= 0) return true;
  const std::int64_t elements = std::int64_t{column_count} + 1;
  if (elements > kMaxColumns + 1) return false;
  try {
    state.areas.assign(static_cast<std::size_t>(elements), 0.0);
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

}  // namespace floveran
