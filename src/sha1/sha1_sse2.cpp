// The SHA-1 block functions with an SSE2 message schedule, for all three
// variants. SSE2 is part of every x86-64 CPU and is required of 32-bit x86
// ones (this file is built with -msse2 there), so this is the block function
// used without asking the CPU anything.
#include "sha1/backends.hpp"

#if QUILLET_X86_BACKENDS
#define QUILLET_SIMD_AVX2 0
#include "sha1/sha1_simd.inc"

namespace quillet::sha1 {

template <typename Variant>
void TransformBlocksSse2(Word h[5], const std::uint8_t* blocks, std::size_t count) {
  SimdBlocks<Variant>(h, blocks, count);
}

#define QUILLET_INSTANTIATE(V) \
  template void TransformBlocksSse2<V>(Word[5], const std::uint8_t*, std::size_t);
QUILLET_SHA1_FOR_EACH_VARIANT(QUILLET_INSTANTIATE)
#undef QUILLET_INSTANTIATE

}  // namespace quillet::sha1
#endif
