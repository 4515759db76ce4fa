// The text kernel of the active vector level.
#include "run/numbers/general_digits.h"

#include "run/numbers/vector_kernels.h"
#include "run/numbers/vector_level.h"

namespace floveran {

bool prove_general_texts(const double* values, int count, int precision, std::uint64_t* heads,
                         std::uint64_t* tails, std::uint32_t* shapes) {
#if defined(FLOVERAN_X86_KERNELS)
  switch (active_vector_level()) {
    case VectorLevel::avx512:
      prove_general_texts_avx512(values, count, precision, heads, tails, shapes);
      return true;
    case VectorLevel::avx2:
      prove_general_texts_avx2(values, count, precision, heads, tails, shapes);
      return true;
    case VectorLevel::scalar:
      break;
  }
#else
  (void)values;
  (void)count;
  (void)precision;
  (void)heads;
  (void)tails;
  (void)shapes;
#endif
  return false;
}

}  // namespace floveran
