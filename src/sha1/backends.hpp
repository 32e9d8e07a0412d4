// Every SHA-1 block function, by declaration alone: the portable one, and
// those for particular CPUs, each defined in a file built for its
// instruction set. Which one runs is dispatch's choice.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/cpu_features.hpp"
#include "sha1/sha1.hpp"

namespace quillet::sha1 {

// Loads one 64-byte block into context.x, as little-endian words.
void LoadBlock(ShaContext& context, const std::uint8_t* block);

// One compression of the block held in context.x into context.h.
template <typename Variant>
void TransformSHA(ShaContext& context);

// TransformSHA over each block in turn: every CPU.
template <typename Variant>
void TransformBlocksPortable(Word h[5], const std::uint8_t* blocks, std::size_t count);

#if QUILLET_X86_BACKENDS
// The schedule four words at a time in SSE2 registers, rounds in general
// registers. Needs nothing beyond SSE2.
template <typename Variant>
void TransformBlocksSse2(Word h[5], const std::uint8_t* blocks, std::size_t count);
// The same with AVX2 for the schedule and BMI in the rounds.
template <typename Variant>
void TransformBlocksAvx2(Word h[5], const std::uint8_t* blocks, std::size_t count);
template <typename Variant>
void TransformBlocksAvx512(Word h[5], const std::uint8_t* blocks, std::size_t count);
#endif
#if QUILLET_ARM_BACKENDS
// The ARMv8 SHA-1 instructions, the schedule from sha1su0/sha1su1 or, for
// the one-bit words, from NEON shifts.
template <typename Variant>
void TransformBlocksArmv8(Word h[5], const std::uint8_t* blocks, std::size_t count);
#endif
#if QUILLET_SHA_EXTENSIONS
// SHA-extension rounds over big-endian message words (standard byte order).
void TransformBlocksShaNi(Word h[5], const std::uint8_t* blocks, std::size_t count);
// The same over little-endian message words (the lockdown variant).
void TransformBlocksShaNiLittleEndian(Word h[5], const std::uint8_t* blocks, std::size_t count);
// SHA-extension rounds with the broken variant's one-bit schedule computed
// with AVX2 variable shifts.
void TransformBlocksShaNiBroken(Word h[5], const std::uint8_t* blocks, std::size_t count);
// The same with AVX-512VL rotates.
void TransformBlocksShaNiBroken512(Word h[5], const std::uint8_t* blocks, std::size_t count);
// Each of the four with a side job (sha1.hpp) done beside its rounds.
void TransformBlocksShaNiCopying(Word h[5], const std::uint8_t* blocks, std::size_t count,
                                 SideJob& job);
void TransformBlocksShaNiLittleEndianCopying(Word h[5], const std::uint8_t* blocks,
                                             std::size_t count, SideJob& job);
void TransformBlocksShaNiBrokenCopying(Word h[5], const std::uint8_t* blocks, std::size_t count,
                                       SideJob& job);
void TransformBlocksShaNiBroken512Copying(Word h[5], const std::uint8_t* blocks,
                                          std::size_t count, SideJob& job);
#endif

// Many messages at once (common/lanes.hpp): kernels that compress `count`
// blocks of each lane's message, the lanes' words in `state` word-major.
#if QUILLET_X86_BACKENDS
// kAvx2Lanes and kAvx512Lanes lanes.
template <typename Variant>
void ShaLanesAvx2(Word* state, const std::uint8_t* const* blocks, std::size_t count);
template <typename Variant>
void ShaLanesAvx512(Word* state, const std::uint8_t* const* blocks, std::size_t count);
#endif
#if defined(__wasm_simd128__)
// WebAssembly's SIMD128 for the message words' loads, byte order and
// rotating schedule, the rounds in scalar locals (sha1/sha1_simd128.cpp):
// the variants of the rotating schedule only.
template <typename Variant>
void TransformBlocksSimd128(Word h[5], const std::uint8_t* blocks, std::size_t count);
// kSimd128Lanes lanes of WebAssembly's SIMD128 (sha1/many_simd128.cpp).
template <typename Variant>
void ShaLanesSimd128(Word* state, const std::uint8_t* const* blocks, std::size_t count);
#endif
#if QUILLET_SHA_EXTENSIONS
// Two messages' rounds interleaved on the SHA extensions.
void ShaLanesShaNi(Word* state, const std::uint8_t* const* blocks, std::size_t count);
void ShaLanesShaNiLittleEndian(Word* state, const std::uint8_t* const* blocks, std::size_t count);
void ShaLanesShaNiBroken(Word* state, const std::uint8_t* const* blocks, std::size_t count);
void ShaLanesShaNiBroken512(Word* state, const std::uint8_t* const* blocks, std::size_t count);
#endif

}  // namespace quillet::sha1
