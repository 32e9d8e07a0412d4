// The broken variant on SHA extensions with an AVX-512VL schedule: vprolvd
// rotates by the count modulo 32, so 1 << (v & 31) is one instruction and the
// schedule's chain from one message vector to the next is two steps shorter
// than with AVX2. Built with -msha -mssse3 -msse4.1 -mavx2 -mavx512f
// -mavx512vl; called only after DetectCpu() has seen all of them.
#include "sha1/backends.hpp"

#if QUILLET_SHA_EXTENSIONS
#include "sha1/sha1_shani_rounds.inc"

namespace {

struct FinishOneBitRotate {
  // As the AVX2 form: W[t] = 1 << ((W[t-16] ^ W[t-14] ^ W[t-8] ^ W[t-3]) & 31),
  // with the fourth word's W[t-3] being the first new word.
  static inline __attribute__((always_inline)) __m128i Finish(__m128i partial,
                                                              __m128i previous) {
    const __m128i ones = _mm_set1_epi32(1);
    __m128i v = _mm_xor_si128(partial, _mm_slli_si128(previous, 4));
    const __m128i first = _mm_rolv_epi32(ones, v);
    v = _mm_xor_si128(v, _mm_srli_si128(first, 12));
    return _mm_rolv_epi32(ones, v);
  }
};

}  // namespace

namespace quillet::sha1 {

void TransformBlocksShaNiBroken512(Word h[5], const std::uint8_t* blocks, std::size_t count) {
  // One block has no next block to overlap with; the plain interleaving is
  // shorter for it.
  if (count == 1) {
    ShaExtensionBlocks<LoadLittleEndian, FinishOneBitRotate>(h, blocks, count);
  } else {
    ShaExtensionBlocksPipelined<LoadLittleEndian, FinishOneBitRotate>(h, blocks, count);
  }
}

void TransformBlocksShaNiBroken512Copying(Word h[5], const std::uint8_t* blocks,
                                          std::size_t count, SideJob& job) {
  JobMoves moves(job);
  if (count == 1) {
    ShaExtensionBlocks<LoadLittleEndian, FinishOneBitRotate>(h, blocks, count, moves);
  } else {
    ShaExtensionBlocksPipelined<LoadLittleEndian, FinishOneBitRotate>(h, blocks, count, moves);
  }
  moves.Return(job);
}

void ShaLanesShaNiBroken512(Word* state, const std::uint8_t* const* blocks, std::size_t count) {
  ShaExtensionTwoLanes<LoadLittleEndian, FinishOneBitRotate>(state, blocks, count);
}

}  // namespace quillet::sha1
#endif
