// The vector levels this machine runs, for tests that hold each level's kernels
// against their exact twins; the level in use is put back when a test is done.
#pragma once

#include <vector>

#include "run/numbers/vector_level.h"

namespace floveran::testing {

inline std::vector<VectorLevel> levels_to_test() {
  std::vector<VectorLevel> levels;
  for (VectorLevel level : kVectorLevels) {
    if (static_cast<int>(level) <= static_cast<int>(supported_vector_level())) levels.push_back(level);
  }
  return levels;
}

// Sets a level for the life of the object, then the one before it again.
class LevelInUse {
 public:
  explicit LevelInUse(VectorLevel level) : before_(active_vector_level()) { use_vector_level(level); }
  ~LevelInUse() { use_vector_level(before_); }
  LevelInUse(const LevelInUse&) = delete;
  LevelInUse& operator=(const LevelInUse&) = delete;

 private:
  VectorLevel before_;
};

}  // namespace floveran::testing
