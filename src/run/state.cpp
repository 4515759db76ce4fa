#include "run/state.h"

#include <new>

#include "run/run_end.h"

namespace floveran {

void allocate_areas(RunState& state, std::int32_t column_count) {
  if (column_count <= 0) return;
  const std::int64_t elements = std::int64_t{column_count} + 1;
  try {
    if (elements > kMaxColumns + 1) throw std::bad_alloc();
    state.areas.assign(static_cast<std::size_t>(elements), 0.0);
  } catch (const std::bad_alloc&) {
    end_run("not enough memory for " + std::to_string(column_count) + " columns\n",
            kStatusInputFailed);
  }
}

}  // namespace floveran
