// MD5 on 32 messages at once, two groups of sixteen lanes of AVX-512 registers
// (vpternlogd for the round functions, vprold for the rotations). Built with
// -mavx512f -mavx512vl; called only after DetectCpu() has seen them.
#include "md5/backends.hpp"

#if QUILLET_X86_BACKENDS
#define QUILLET_LANES_AVX512 1
#include "md5/many_lanes.inc"
#endif
