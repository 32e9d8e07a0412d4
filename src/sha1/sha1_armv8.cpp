// The SHA-1 block functions with the ARMv8 SHA-1 instructions (sha1c, sha1p,
// sha1m for four rounds each, sha1h for the next E), for every variant.
// SHA-1's schedule comes from sha1su0/sha1su1; the broken variant's one-bit
// words, which those cannot make, from NEON's per-lane shift. Built with
// -march=armv8-a+crypto; called only after DetectCpu() has seen ASIMD and
// SHA1.
#include "sha1/backends.hpp"

#if QUILLET_ARM_BACKENDS
#include <arm_neon.h>

namespace quillet::sha1 {

namespace {

// 1 << (v & 31) in each lane.
inline uint32x4_t OneBit(uint32x4_t v) {
  const int32x4_t count = vreinterpretq_s32_u32(vandq_u32(v, vdupq_n_u32(31)));
  return vshlq_u32(vdupq_n_u32(1), count);
}

// The broken variant's W[4k..4k+3] from the four vectors before it (lane 0
// the earliest word): v = W[t-16] ^ W[t-14] ^ W[t-8] ^ W[t-3], and the fourth
// lane's W[t-3] is the first new word, so that lane is finished last.
inline uint32x4_t NextOneBitVector(uint32x4_t x4, uint32x4_t x3, uint32x4_t x2, uint32x4_t x1) {
  const uint32x4_t zero = vdupq_n_u32(0);
  uint32x4_t v = veorq_u32(veorq_u32(x4, vextq_u32(x4, x3, 2)),
                           veorq_u32(x2, vextq_u32(x1, zero, 1)));
  const uint32x4_t first = OneBit(v);
  v = veorq_u32(v, vextq_u32(zero, first, 1));
  return OneBit(v);
}

// Four message words from their bytes: most significant byte first on the
// standard path, least significant first otherwise.
template <typename Variant>
inline uint32x4_t LoadWords(const std::uint8_t* p) {
  uint8x16_t bytes = vld1q_u8(p);
  if constexpr (Variant::kBigEndian) bytes = vrev32q_u8(bytes);
  // The words as the host holds four little-endian ones: an ARM64 Linux host
  // is little-endian.
  return vreinterpretq_u32_u8(bytes);
}

}  // namespace

template <typename Variant>
void TransformBlocksArmv8(Word h[5], const std::uint8_t* blocks, std::size_t count) {
  static_assert(std::endian::native == std::endian::little, "lanes are loaded little-endian");
  const uint32x4_t k[4] = {vdupq_n_u32(RoundConstant(0)), vdupq_n_u32(RoundConstant(20)),
                           vdupq_n_u32(RoundConstant(40)), vdupq_n_u32(RoundConstant(60))};
  uint32x4_t abcd = vld1q_u32(h);
  std::uint32_t e = h[4];
  for (std::size_t b = 0; b < count; ++b, blocks += kBlockSize) {
    const uint32x4_t abcd_saved = abcd;
    const std::uint32_t e_saved = e;
    uint32x4_t w[4] = {LoadWords<Variant>(blocks), LoadWords<Variant>(blocks + 16),
                       LoadWords<Variant>(blocks + 32), LoadWords<Variant>(blocks + 48)};
#pragma GCC unroll 20
    for (int g = 0; g < 20; ++g) {
      if (g >= 4) {
        uint32x4_t& next = w[g % 4];  // W[t-16..t-13] becomes W[t..t+3]
        if constexpr (Variant::kSchedule == Schedule::kOneBit) {
          next = NextOneBitVector(next, w[(g + 1) % 4], w[(g + 2) % 4], w[(g + 3) % 4]);
        } else {
          next = vsha1su1q_u32(vsha1su0q_u32(next, w[(g + 1) % 4], w[(g + 2) % 4]),
                               w[(g + 3) % 4]);
        }
      }
      const uint32x4_t wk = vaddq_u32(w[g % 4], k[g / 5]);
      const std::uint32_t e_next = vsha1h_u32(vgetq_lane_u32(abcd, 0));
      if (g < 5) {
        abcd = vsha1cq_u32(abcd, e, wk);
      } else if (g < 10 || g >= 15) {
        abcd = vsha1pq_u32(abcd, e, wk);
      } else {
        abcd = vsha1mq_u32(abcd, e, wk);
      }
      e = e_next;
    }
    abcd = vaddq_u32(abcd, abcd_saved);
    e += e_saved;
  }
  vst1q_u32(h, abcd);
  h[4] = e;
}

#define QUILLET_INSTANTIATE(V) \
  template void TransformBlocksArmv8<V>(Word[5], const std::uint8_t*, std::size_t);
QUILLET_SHA1_FOR_EACH_VARIANT(QUILLET_INSTANTIATE)
#undef QUILLET_INSTANTIATE

}  // namespace quillet::sha1
#endif
