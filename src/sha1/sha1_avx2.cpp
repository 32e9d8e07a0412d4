// The SHA-1 block functions with an AVX2 message schedule (pshufb for byte
// order, vpsllvd for the broken variant's one-bit words) and BMI rounds
// (rorx, andn). Built with -mavx2 -mbmi -mbmi2; called only after DetectCpu()
// has seen all of them.
#include "sha1/backends.hpp"

#if QUILLET_X86_BACKENDS
#define QUILLET_SIMD_AVX2 1
#include "sha1/sha1_simd.inc"

namespace quillet::sha1 {

template <typename Variant>
void TransformBlocksAvx2(Word h[5], const std::uint8_t* blocks, std::size_t count) {
  SimdBlocks<Variant>(h, blocks, count);
}

#define QUILLET_INSTANTIATE(V) \
  template void TransformBlocksAvx2<V>(Word[5], const std::uint8_t*, std::size_t);
QUILLET_SHA1_FOR_EACH_VARIANT(QUILLET_INSTANTIATE)
#undef QUILLET_INSTANTIATE

}  // namespace quillet::sha1
#endif
