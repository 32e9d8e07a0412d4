// The SHA-1 block functions with an SSE2 message schedule, for every variant.
// SSE2 is part of every x86-64 CPU and is required of 32-bit x86 ones (this
// file is built with -msse2 there), so this is the block function used
// without asking the CPU anything.
#include "sha1/backends.hpp"

#if QUILLET_X86_BACKENDS
#define QUILLET_SIMD_AVX2 0
#define QUILLET_SIMD_AVX512 0
#include "sha1/sha1_simd.inc"
#endif
