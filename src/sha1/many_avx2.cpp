// The SHA-1 family on sixteen messages at once, two groups of eight lanes of
// AVX2 registers. Built with -mavx2; called only after DetectCpu() has seen
// AVX2.
#include "sha1/backends.hpp"

#if QUILLET_X86_BACKENDS
#define QUILLET_LANES_AVX512 0
#include "sha1/many_lanes.inc"

namespace quillet::sha1 {

template <typename Variant>
void ShaLanesAvx2(std::uint32_t *state, const std::uint8_t *const *blocks, std::size_t count) {
  ShaLanes<Variant, kAvx2Lanes / Lanes::kCount>(state, blocks, count);
}

#define QUILLET_INSTANTIATE(V) \
  template void ShaLanesAvx2<V>(std::uint32_t *, const std::uint8_t *const *, std::size_t);
QUILLET_SHA1_FOR_EACH_VARIANT(QUILLET_INSTANTIATE)
#undef QUILLET_INSTANTIATE

}  // namespace quillet::sha1
#endif
