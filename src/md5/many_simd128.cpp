// MD5 on eight messages at once, two groups of four lanes of WebAssembly's
// SIMD128. Built into the WebAssembly module made with -msimd128 only.
#include "md5/backends.hpp"

#if defined(__wasm_simd128__)
#define QUILLET_LANES_SIMD128 1
#include "md5/many_lanes.inc"
#endif
