// The portable MD5 block function, for every CPU. It is the reference every
// other block function is tested against.
#include <bit>

#include "common/bytes.hpp"
#include "md5/backends.hpp"
#include "md5/md5_steps.inc"

namespace quillet::md5 {

// The four rounds written out, constants and shifts inline. Each step adds
// X[k] + T[i] into `a` first: that sum does not wait for the previous step, so
// only the round function, one add, the rotate and the add of `b` sit on the
// chain from one step to the next. In G the two terms have no bit in common,
// so (b & d) | (c & ~d) is written as a sum, and (c & ~d), whose inputs are
// ready a step earlier, is added before b arrives.
#define QUILLET_MD5_F(b, c, d) ((d) ^ ((b) & ((c) ^ (d))))
#define QUILLET_MD5_H(b, c, d) ((b) ^ (c) ^ (d))
#define QUILLET_MD5_I(b, c, d) ((c) ^ ((b) | ~(d)))

#define QUILLET_MD5_FF(a, b, c, d, k, s, t)             \
  a += x(k) + (t);                                      \
  a += QUILLET_MD5_F(b, c, d);                          \
  a = std::rotl(a, s) + (b);
#define QUILLET_MD5_GG(a, b, c, d, k, s, t)             \
  a += x(k) + (t);                                      \
  a += (c) & ~(d);                                      \
  a += (b) & (d);                                       \
  a = std::rotl(a, s) + (b);
#define QUILLET_MD5_HH(a, b, c, d, k, s, t)             \
  a += x(k) + (t);                                      \
  a += QUILLET_MD5_H(b, c, d);                          \
  a = std::rotl(a, s) + (b);
#define QUILLET_MD5_II(a, b, c, d, k, s, t)             \
  a += x(k) + (t);                                      \
  a += QUILLET_MD5_I(b, c, d);                          \
  a = std::rotl(a, s) + (b);

void TransformMD5(std::uint32_t state[4], const std::uint8_t* blocks, std::size_t count) {
  // The chaining value stays in registers from one block to the next: going
  // through `state` would put a store and a load on the chain at every block.
  std::uint32_t sa = state[0], sb = state[1], sc = state[2], sd = state[3];
  for (const std::uint8_t* block = blocks; count != 0; --count, block += kBlockSize) {
    // The message words are read from the block where they are used: a
    // local copy would be one more place that holds message data.
    const auto x = [block](int k) { return LoadLittleEndian32(block + 4 * k); };
    std::uint32_t a = sa, b = sb, c = sc, d = sd;

    QUILLET_MD5_STEPS(QUILLET_MD5_FF, QUILLET_MD5_GG, QUILLET_MD5_HH, QUILLET_MD5_II)

    sa += a;
    sb += b;
    sc += c;
    sd += d;
  }
  state[0] = sa;
  state[1] = sb;
  state[2] = sc;
  state[3] = sd;
}

#undef QUILLET_MD5_F
#undef QUILLET_MD5_H
#undef QUILLET_MD5_I
#undef QUILLET_MD5_FF
#undef QUILLET_MD5_GG
#undef QUILLET_MD5_HH
#undef QUILLET_MD5_II

}  // namespace quillet::md5
