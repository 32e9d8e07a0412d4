// The SHA-1 family on 32 messages at once, two groups of sixteen lanes of
// AVX-512 registers (vpternlogd for the round functions, vprold and vprolvd for
// the rotations). Built with -mavx512f -mavx512vl; called only after
// DetectCpu() has seen them.
#include "sha1/backends.hpp"

#if QUILLET_X86_BACKENDS
#define QUILLET_LANES_AVX512 1
#include "sha1/many_lanes.inc"

namespace quillet::sha1 {

template <typename Variant>
void ShaLanesAvx512(std::uint32_t *state, const std::uint8_t *const *blocks, std::size_t count) {
  ShaLanes<Variant, kAvx512Lanes / Lanes::kCount>(state, blocks, count);
}

#define QUILLET_INSTANTIATE(V) \
  template void ShaLanesAvx512<V>(std::uint32_t *, const std::uint8_t *const *, std::size_t);
QUILLET_SHA1_FOR_EACH_VARIANT(QUILLET_INSTANTIATE)
#undef QUILLET_INSTANTIATE

}  // namespace quillet::sha1
#endif
