// MD5 on sixteen messages at once, two groups of eight lanes of AVX2 registers.
// Built with -mavx2; called only after DetectCpu() has seen AVX2.
#include "md5/backends.hpp"

#if QUILLET_X86_BACKENDS
#define QUILLET_LANES_AVX512 0
#include "md5/many_lanes.inc"
#endif
