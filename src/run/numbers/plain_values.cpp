// The scan kernel of the active vector level.
#include "run/numbers/plain_values.h"

#include "run/numbers/vector_kernels.h"
#include "run/numbers/vector_level.h"

namespace floveran {

PlainValuesKernel plain_values_kernel() {
#if defined(FLOVERAN_X86_KERNELS)
  switch (active_vector_level()) {
    case VectorLevel::avx512:
      return scan_plain_values_avx512;
    case VectorLevel::avx2:
      return scan_plain_values_avx2;
    case VectorLevel::scalar:
      break;
  }
#endif
  return nullptr;
}

}  // namespace floveran
