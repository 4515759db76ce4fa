// The kernels of each vector level, each compiled for its instruction set in a
// file of its own and only called after vector_level.h has found that set on the
// processor. Declared here for the dispatchers and the tests that hold each
// level against its exact twin.
#pragma once

#include <cstdint>

#include "run/numbers/general_digits.h"
#include "run/numbers/plain_values.h"

namespace floveran {

#if defined(FLOVERAN_X86_KERNELS)
PlainValuesEnd scan_plain_values_avx2(const char* floor, const char* first, const char* last, double* values,
                                      int count);
PlainValuesEnd scan_plain_values_avx512(const char* floor, const char* first, const char* last, double* values,
                                        int count);
void prove_general_texts_avx2(const double* values, int count, int precision, std::uint64_t* heads,
                              std::uint64_t* tails, std::uint32_t* shapes);
void prove_general_texts_avx512(const double* values, int count, int precision, std::uint64_t* heads,
                                std::uint64_t* tails, std::uint32_t* shapes);
#endif

}  // namespace floveran
