// The broken variant on SHA extensions. Its schedule words have one bit set,
// W[t] = 1 << (v & 31), which sha1msg2 cannot compute; AVX2's per-lane
// variable shift can. Built with -msha -mssse3 -msse4.1 -mavx2; called only
// after DetectCpu() has seen all of them.
#include "sha1/backends.hpp"

#if QUILLET_SHA_EXTENSIONS
#include "sha1/sha1_shani_rounds.inc"

namespace {

struct FinishOneBit {
  // `partial` holds W[t-16] ^ W[t-14] ^ W[t-8] for t = 4k..4k+3 (lanes 3..0);
  // `previous` is M_{k-1}. W[t-3] is in `previous` for the first three words
  // and is the first new word itself for the fourth.
  static inline __attribute__((always_inline)) __m128i Finish(__m128i partial,
                                                              __m128i previous) {
    const __m128i ones = _mm_set1_epi32(1);
    const __m128i low5 = _mm_set1_epi32(31);
    // vpsllvd gives 0 for counts of 32 and more, so the count is masked.
    __m128i v = _mm_xor_si128(partial, _mm_slli_si128(previous, 4));
    const __m128i first = _mm_sllv_epi32(ones, _mm_and_si128(v, low5));
    v = _mm_xor_si128(v, _mm_srli_si128(first, 12));
    return _mm_sllv_epi32(ones, _mm_and_si128(v, low5));
  }
};

}  // namespace

namespace quillet::sha1 {

void TransformBlocksShaNiBroken(Word h[5], const std::uint8_t* blocks, std::size_t count) {
  // One block has no next block to overlap with; the plain interleaving is
  // shorter for it.
  if (count == 1) {
    ShaExtensionBlocks<LoadLittleEndian, FinishOneBit>(h, blocks, count);
  } else {
    ShaExtensionBlocksPipelined<LoadLittleEndian, FinishOneBit>(h, blocks, count);
  }
}

void TransformBlocksShaNiBrokenCopying(Word h[5], const std::uint8_t* blocks, std::size_t count,
                                       SideJob& job) {
  JobMoves moves(job);
  if (count == 1) {
    ShaExtensionBlocks<LoadLittleEndian, FinishOneBit>(h, blocks, count, moves);
  } else {
    ShaExtensionBlocksPipelined<LoadLittleEndian, FinishOneBit>(h, blocks, count, moves);
  }
  moves.Return(job);
}

void ShaLanesShaNiBroken(Word* state, const std::uint8_t* const* blocks, std::size_t count) {
  ShaExtensionTwoLanes<LoadLittleEndian, FinishOneBit>(state, blocks, count);
}

}  // namespace quillet::sha1
#endif
