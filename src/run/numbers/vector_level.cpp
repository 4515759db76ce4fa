// The vector level, settled once: what the processor reports (through the
// compiler's CPU feature checks, which also ask the operating system whether it
// saves the wide registers), lowered by FLOVERAN_VECTOR_LEVEL when that names a
// lower level. Builds without the x86 kernels always run the scalar level.
#include "run/numbers/vector_level.h"

#include <cstdlib>
#include <cstring>

namespace floveran {
namespace {

// -1 until settled.
int g_active_level = -1;

VectorLevel detect_vector_level() {
#if defined(FLOVERAN_X86_KERNELS)
  __builtin_cpu_init();
  const bool avx2 = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi") &&
                    __builtin_cpu_supports("bmi2");
  const bool avx512 = avx2 && __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
                      __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512dq");
  if (avx512) return VectorLevel::avx512;
  if (avx2) return VectorLevel::avx2;
#endif
  return VectorLevel::scalar;
}

VectorLevel lower(VectorLevel a, VectorLevel b) { return static_cast<int>(a) < static_cast<int>(b) ? a : b; }

}  // namespace

const char* vector_level_name(VectorLevel level) {
  switch (level) {
    case VectorLevel::avx512:
      return "avx512";
    case VectorLevel::avx2:
      return "avx2";
    case VectorLevel::scalar:
      break;
  }
  return "scalar";
}

VectorLevel supported_vector_level() {
  static const VectorLevel supported = detect_vector_level();
  return supported;
}

VectorLevel active_vector_level() {
  if (g_active_level >= 0) return static_cast<VectorLevel>(g_active_level);
  VectorLevel level = supported_vector_level();
  if (const char* forced = std::getenv("FLOVERAN_VECTOR_LEVEL")) {
    for (VectorLevel candidate : kVectorLevels) {
      if (std::strcmp(forced, vector_level_name(candidate)) == 0) level = lower(level, candidate);
    }
  }
  g_active_level = static_cast<int>(level);
  return level;
}

VectorLevel use_vector_level(VectorLevel level) {
  const VectorLevel held = lower(level, supported_vector_level());
  g_active_level = static_cast<int>(held);
  return held;
}

}  // namespace floveran
