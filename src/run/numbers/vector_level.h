// Which vector kernels the number code runs: the best level the processor has,
// found once, unless FLOVERAN_VECTOR_LEVEL names a lower one for tests and
// benchmarks. Every level writes and reads exactly the same bytes and values; only
// the speed differs, and the scalar level runs on every machine.
#pragma once

namespace floveran {

enum class VectorLevel { scalar = 0, avx2 = 1, avx512 = 2 };

inline constexpr VectorLevel kVectorLevels[] = {VectorLevel::scalar, VectorLevel::avx2, VectorLevel::avx512};

// The name used by FLOVERAN_VECTOR_LEVEL: "scalar", "avx2" or "avx512".
const char* vector_level_name(VectorLevel level);

// The best level this build and this processor support: AVX-512 (F, BW, VL, DQ)
// or AVX2 (with BMI1 and BMI2) on x86-64 builds with the kernels compiled in,
// scalar everywhere else.
VectorLevel supported_vector_level();

// The level in use. At the first call it is settled: the supported level, or
// the one FLOVERAN_VECTOR_LEVEL names when that is lower (a higher or unknown
// name changes nothing).
VectorLevel active_vector_level();

// Sets the level in use for the rest of the process, held to the supported
// one; returns the level set. For tests that go through every level.
VectorLevel use_vector_level(VectorLevel level);

}  // namespace floveran
