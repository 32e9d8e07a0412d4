// SHA-extension backends for the standard and little-endian (lockdown) word
// orders. Built with -msha -mssse3 -msse4.1; called only after DetectCpu()
// has seen those features.
#include "sha1/backends.hpp"

#if QUILLET_SHA_EXTENSIONS
#include "sha1/sha1_shani_rounds.inc"

namespace quillet::sha1 {

void TransformBlocksShaNi(Word h[5], const std::uint8_t* blocks, std::size_t count) {
  ShaExtensionBlocks<LoadBigEndian, FinishRotate>(h, blocks, count);
}

void TransformBlocksShaNiLittleEndian(Word h[5], const std::uint8_t* blocks, std::size_t count) {
  ShaExtensionBlocks<LoadLittleEndian, FinishRotate>(h, blocks, count);
}

void TransformBlocksShaNiCopying(Word h[5], const std::uint8_t* blocks, std::size_t count,
                                 SideJob& job) {
  JobMoves moves(job);
  ShaExtensionBlocks<LoadBigEndian, FinishRotate>(h, blocks, count, moves);
  moves.Return(job);
}

void TransformBlocksShaNiLittleEndianCopying(Word h[5], const std::uint8_t* blocks,
                                             std::size_t count, SideJob& job) {
  JobMoves moves(job);
  ShaExtensionBlocks<LoadLittleEndian, FinishRotate>(h, blocks, count, moves);
  moves.Return(job);
}

void ShaLanesShaNi(Word* state, const std::uint8_t* const* blocks, std::size_t count) {
  ShaExtensionTwoLanes<LoadBigEndian, FinishRotate>(state, blocks, count);
}

void ShaLanesShaNiLittleEndian(Word* state, const std::uint8_t* const* blocks, std::size_t count) {
  ShaExtensionTwoLanes<LoadLittleEndian, FinishRotate>(state, blocks, count);
}

}  // namespace quillet::sha1
#endif
