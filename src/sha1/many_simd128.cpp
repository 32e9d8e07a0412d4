// The SHA-1 family on eight messages at once, two groups of four lanes of
// WebAssembly's SIMD128. Built into the WebAssembly module made with
// -msimd128 only (node/scripts/build-wasm.mjs), which is loaded where the
// engine validates SIMD.
#include "sha1/backends.hpp"

#if defined(__wasm_simd128__)
#define QUILLET_LANES_SIMD128 1
#include "sha1/many_lanes.inc"
#endif
