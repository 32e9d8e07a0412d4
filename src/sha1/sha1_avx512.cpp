// The SHA-1 block functions of the AVX2 file with the AVX-512VL rotations in
// the message schedule (vprold; vprolvd makes the broken variant's one-bit
// words with no mask). Built with -mavx2 -mbmi -mbmi2 -mavx512f -mavx512vl;
// called only after DetectCpu() has seen all of them.
#include "sha1/backends.hpp"

#if QUILLET_X86_BACKENDS
#define QUILLET_SIMD_AVX2 1
#define QUILLET_SIMD_AVX512 1
#include "sha1/sha1_simd.inc"
#endif
