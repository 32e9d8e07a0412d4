// Every MD5 block function, by declaration alone: the portable one, and
// those for particular CPUs, each defined in a file built for its
// instruction set. Which one runs is dispatch's choice.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/block_buffer.hpp"
#include "common/cpu_features.hpp"

namespace quillet::md5 {

// Compresses `count` consecutive 64-byte blocks into `state`: every CPU.
void TransformMD5(std::uint32_t state[4], const std::uint8_t* blocks, std::size_t count);

#if QUILLET_X86_BACKENDS
// One 32-bit lane of AVX-512VL registers: vpternlogd round functions,
// vprold rotations.
void TransformMD5Avx512(std::uint32_t state[4], const std::uint8_t* blocks, std::size_t count);

// Many messages at once (common/lanes.hpp): `count` blocks of each lane's
// message, the lanes' words in `state` word-major.
// kAvx2Lanes and kAvx512Lanes lanes.
void Md5LanesAvx2(std::uint32_t* state, const std::uint8_t* const* blocks, std::size_t count);
void Md5LanesAvx512(std::uint32_t* state, const std::uint8_t* const* blocks, std::size_t count);
#endif
#if defined(__wasm_simd128__)
// kSimd128Lanes lanes of WebAssembly's SIMD128 (md5/many_simd128.cpp).
void Md5LanesSimd128(std::uint32_t* state, const std::uint8_t* const* blocks, std::size_t count);
#endif

}  // namespace quillet::md5
