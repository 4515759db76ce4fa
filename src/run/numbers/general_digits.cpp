// The digit kernel of the active vector level.
#include "run/numbers/general_digits.h"

#include "run/numbers/vector_kernels.h"
#include "run/numbers/vector_level.h"

namespace floveran {

bool prove_general_digits(const double* values, int count, int precision, ProvedDigits* digits) {
#if defined(FLOVERAN_X86_KERNELS)
  switch (active_vector_level()) {
    case VectorLevel::avx512:
      prove_general_digits_avx512(values, count, precision, digits);
      return true;
    case VectorLevel::avx2:
      prove_general_digits_avx2(values, count, precision, digits);
      return true;
    case VectorLevel::scalar:
      break;
  }
#else
  (void)values;
  (void)count;
  (void)precision;
  (void)digits;
#endif
  return false;
}

}  // namespace floveran
