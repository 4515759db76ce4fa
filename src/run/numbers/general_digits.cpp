// The digit kernel of the active vector level.
#include "run/numbers/general_digits.h"

#include "run/numbers/vector_kernels.h"
#include "run/numbers/vector_level.h"

namespace floveran {

void prove_general_digits(const double* values, int count, int precision, ProvedDigits* digits) {
#if defined(FLOVERAN_X86_KERNELS)
  switch (active_vector_level()) {
    case VectorLevel::avx512:
      return prove_general_digits_avx512(values, count, precision, digits);
    case VectorLevel::avx2:
      return prove_general_digits_avx2(values, count, precision, digits);
    case VectorLevel::scalar:
      break;
  }
#else
  (void)values;
  (void)precision;
#endif
  for (int i = 0; i < count; ++i) digits[i] = {0, 0};
}

bool general_digits_proved_in_batches() {
#if defined(FLOVERAN_X86_KERNELS)
  return active_vector_level() != VectorLevel::scalar;
#else
  return false;
#endif
}

}  // namespace floveran
