// The portable block function: the compression as written, for every CPU.
// It is the reference every other block function is tested against.
#include <cstring>

#include "sha1/backends.hpp"

namespace quillet::sha1 {

// Loads one 64-byte block into context.x, as little-endian words.
void LoadBlock(ShaContext& context, const std::uint8_t* block) {
  for (std::size_t j = 0; j < 16; ++j) {
    context.x[j] = BytesToWord({block + 4 * j, 4});
  }
}

template <typename Variant>
void TransformSHA(ShaContext& context) {
  Word* w = context.x;
  if constexpr (Variant::kBigEndian) {
    for (int j = 0; j < 16; ++j) w[j] = SwapBytes(w[j]);
  }
  Word a = context.h[0], b = context.h[1], c = context.h[2], d = context.h[3],
       e = context.h[4];
  // Fully unrolled: the step function and constant of each group and the ring
  // indices become constants, and a..e stay in registers.
#pragma GCC unroll 80
  for (int t = 0; t < 80; ++t) {
    Word wt;
    if (t < 16) {
      wt = w[t];
    } else {
      const Word v =
          w[(t - 3) & 15] ^ w[(t - 8) & 15] ^ w[(t - 14) & 15] ^ w[t & 15];
      wt = Variant::kSchedule == Schedule::kOneBit ? RotateLeft(1u, v) : RotateLeft(v, 1);
      w[t & 15] = wt;
    }
    Word f;
    if (t < 20) {
      f = d ^ (b & (c ^ d));  // (b & c) | (~b & d)
    } else if (t < 40 || t >= 60) {
      f = b ^ c ^ d;
    } else {
      f = (b & c) | (d & (b | c));  // majority
    }
    const Word temp = RotateLeft(a, 5) + f + e + RoundConstant(t) + wt;
    e = d;
    d = c;
    c = RotateLeft(b, 30);
    b = a;
    a = temp;
  }
  context.h[0] += a;
  context.h[1] += b;
  context.h[2] += c;
  context.h[3] += d;
  context.h[4] += e;
}

template <typename Variant>
void TransformBlocksPortable(Word h[5], const std::uint8_t* blocks, std::size_t count) {
  ShaContext context;
  std::memcpy(context.h, h, sizeof context.h);
  for (std::size_t i = 0; i < count; ++i) {
    LoadBlock(context, blocks + i * kBlockSize);
    TransformSHA<Variant>(context);
  }
  std::memcpy(h, context.h, sizeof context.h);
}

#define QUILLET_INSTANTIATE(V)                      \
  template void TransformSHA<V>(ShaContext&);        \
  template void TransformBlocksPortable<V>(Word[5], const std::uint8_t*, std::size_t);
QUILLET_SHA1_FOR_EACH_VARIANT(QUILLET_INSTANTIATE)
#undef QUILLET_INSTANTIATE

}  // namespace quillet::sha1
