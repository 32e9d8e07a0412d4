// The SHA-1 block functions with an AVX2 message schedule (pshufb for byte
// order, vpsllvd for the broken variant's one-bit words) and BMI rounds
// (rorx, andn). Built with -mavx2 -mbmi -mbmi2; called only after DetectCpu()
// has seen all of them.
#include "sha1/backends.hpp"

#if QUILLET_X86_BACKENDS
#define QUILLET_SIMD_AVX2 1
#include "sha1/sha1_simd.inc"

namespace quillet::sha1 {

template <bool kStandard, bool kBroken>
void TransformBlocksAvx2(Word h[5], const std::uint8_t* blocks, std::size_t count) {
  SimdBlocks<kStandard, kBroken>(h, blocks, count);
}

template void TransformBlocksAvx2<true, false>(Word[5], const std::uint8_t*, std::size_t);
template void TransformBlocksAvx2<false, true>(Word[5], const std::uint8_t*, std::size_t);
template void TransformBlocksAvx2<false, false>(Word[5], const std::uint8_t*, std::size_t);
template void TransformBlocksAvx2<true, true>(Word[5], const std::uint8_t*, std::size_t);

}  // namespace quillet::sha1
#endif
