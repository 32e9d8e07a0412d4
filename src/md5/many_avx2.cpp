// MD5 on sixteen messages at once, two groups of eight lanes of AVX2 registers.
// Built with -mavx2; called only after DetectCpu() has seen AVX2.
#include "md5/backends.hpp"

#if QUILLET_X86_BACKENDS
#define QUILLET_LANES_AVX512 0
#include "md5/many_lanes.inc"

namespace quillet::md5 {

void Md5LanesAvx2(std::uint32_t *state, const std::uint8_t *const *blocks, std::size_t count) {
  Md5Lanes<kAvx2Lanes / Lanes::kCount>(state, blocks, count);
}

}  // namespace quillet::md5
#endif
