// The SHA-1 block functions with an AVX2 message schedule (pshufb for byte
// order, vpsllvd for the broken variant's one-bit words) and BMI rounds
// (rorx, andn). Built with -mavx2 -mbmi -mbmi2; called only after DetectCpu()
// has seen all of them.
#include "sha1/backends.hpp"

#if QUILLET_X86_BACKENDS
#define QUILLET_SIMD_AVX2 1
#define QUILLET_SIMD_AVX512 0
#include "sha1/sha1_simd.inc"
#endif
