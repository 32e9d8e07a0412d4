// The MD5 block function for CPUs with AVX-512VL: the four words in the low
// lane of vector registers, each round function one vpternlogd and each
// rotation one vprold, so a step's chain from b to the new a is four
// one-cycle instructions (the scalar form needs five or six). Built with
// -mavx512f -mavx512vl; called only after DetectCpu() has seen them.
#include "md5/backends.hpp"

#if QUILLET_X86_BACKENDS
#include <immintrin.h>

#include "common/bytes.hpp"
#include "md5/md5_steps.inc"

namespace quillet::md5 {

// X[k] + T[i] first (it waits for nothing), then the round function of b, c
// and d (imm8 is its truth table), then the rotation and b.
#define QUILLET_MD5_STEP(a, b, c, d, k, s, t, table)                                              \
  a = _mm_add_epi32(a, _mm_cvtsi32_si128(static_cast<int>(LoadLittleEndian32(block + 4 * (k)) + \
                                                           (t))));                               \
  a = _mm_add_epi32(a, _mm_ternarylogic_epi32(b, c, d, table));                                  \
  a = _mm_add_epi32(_mm_rol_epi32(a, s), b);
#define QUILLET_MD5_F(a, b, c, d, k, s, t) QUILLET_MD5_STEP(a, b, c, d, k, s, t, 0xCA)  // b ? c : d
#define QUILLET_MD5_G(a, b, c, d, k, s, t) QUILLET_MD5_STEP(a, b, c, d, k, s, t, 0xE4)  // d ? b : c
#define QUILLET_MD5_H(a, b, c, d, k, s, t) QUILLET_MD5_STEP(a, b, c, d, k, s, t, 0x96)  // b ^ c ^ d
#define QUILLET_MD5_I(a, b, c, d, k, s, t) QUILLET_MD5_STEP(a, b, c, d, k, s, t, 0x39)  // c ^ (b | ~d)

void TransformMD5Avx512(std::uint32_t state[4], const std::uint8_t* blocks, std::size_t count) {
  __m128i sa = _mm_cvtsi32_si128(static_cast<int>(state[0]));
  __m128i sb = _mm_cvtsi32_si128(static_cast<int>(state[1]));
  __m128i sc = _mm_cvtsi32_si128(static_cast<int>(state[2]));
  __m128i sd = _mm_cvtsi32_si128(static_cast<int>(state[3]));
  for (const std::uint8_t* block = blocks; count != 0; --count, block += kBlockSize) {
    __m128i a = sa, b = sb, c = sc, d = sd;
    QUILLET_MD5_STEPS(QUILLET_MD5_F, QUILLET_MD5_G, QUILLET_MD5_H, QUILLET_MD5_I)
    sa = _mm_add_epi32(sa, a);
    sb = _mm_add_epi32(sb, b);
    sc = _mm_add_epi32(sc, c);
    sd = _mm_add_epi32(sd, d);
  }
  state[0] = static_cast<std::uint32_t>(_mm_cvtsi128_si32(sa));
  state[1] = static_cast<std::uint32_t>(_mm_cvtsi128_si32(sb));
  state[2] = static_cast<std::uint32_t>(_mm_cvtsi128_si32(sc));
  state[3] = static_cast<std::uint32_t>(_mm_cvtsi128_si32(sd));
}

#undef QUILLET_MD5_STEP
#undef QUILLET_MD5_F
#undef QUILLET_MD5_G
#undef QUILLET_MD5_H
#undef QUILLET_MD5_I

}  // namespace quillet::md5
#endif
