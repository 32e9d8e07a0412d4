#include "sha1/engine.hpp"

#include <algorithm>
#include <cstring>

#include "common/block_buffer.hpp"
#include "common/secure_wipe.hpp"

namespace quillet::sha1 {

template <typename Variant>
void HashBlocks(ShaContext& context, std::span<const std::uint8_t> message,
                BlockFunction transform) {
  const std::size_t whole = message.size() / kBlockSize;
  if (whole != 0) transform(context.h, message.data(), whole);
  std::uint8_t final_blocks[2 * kBlockSize];
  const std::size_t count =
      PadFinalBlocks(message.subspan(whole * kBlockSize), std::uint64_t{message.size()} << 3,
                     Variant::kPadding, final_blocks);
  if (count != 0) transform(context.h, final_blocks, count);
}

template <typename Variant>
Digest DigestFromChainingWords(const Word (&h)[5]) {
  Digest digest;
  for (std::size_t i = 0; i < 5; ++i) {
    const auto bytes = WordToBytes(Variant::kBigEndian ? SwapBytes(h[i]) : h[i]);
    std::memcpy(digest.data() + 4 * i, bytes.data(), bytes.size());
  }
  return digest;
}

template <typename Variant>
void StartSHA(ShaState& state) noexcept {
  std::memcpy(state.h, kInitialH, sizeof state.h);
  state.length = 0;
  state.transform = nullptr;
  state.transform_final = false;
}

template <typename Variant>
void UpdateSHA(ShaState& state, std::span<const std::uint8_t> piece) noexcept {
  if (piece.empty()) return;
  if (!state.transform_final) {
    // Where asking the CPU is costly it is asked only once a piece is large
    // enough to repay it; the answer is then kept for the message.
    state.transform = SelectBlockFunction<Variant>(piece.size());
    state.transform_final = piece.size() >= kFastPathThreshold;
  }
  const auto pending = static_cast<std::size_t>(state.length % kBlockSize);
  state.length += piece.size();
  BufferedUpdate(state.buffer, pending, piece.data(), piece.size(),
                 [&state](const std::uint8_t* blocks, std::size_t count) {
                   state.transform(state.h, blocks, count);
                 });
}

template <typename Variant>
Digest FinishSHA(ShaState& state) noexcept {
  if (state.transform == nullptr) state.transform = SelectBlockFunction<Variant>(0);
  std::uint8_t final_blocks[2 * kBlockSize];
  const auto pending = static_cast<std::size_t>(state.length % kBlockSize);
  const std::size_t count =
      PadFinalBlocks({state.buffer, pending}, state.length << 3, Variant::kPadding, final_blocks);
  if (count != 0) state.transform(state.h, final_blocks, count);
  const Digest digest = DigestFromChainingWords<Variant>(state.h);
  SecureWipeObject(final_blocks);
  SecureWipeObject(state.buffer);
  StartSHA<Variant>(state);
  return digest;
}

template <typename Variant>
Digest ComputeVariant(std::span<const std::uint8_t> input) noexcept {
  ShaContext context{};
  std::memcpy(context.h, kInitialH, sizeof context.h);
  HashBlocks<Variant>(context, input, SelectBlockFunction<Variant>(input.size()));
  return DigestFromChainingWords<Variant>(context.h);
}

namespace {

// Without a block function that moves beside its rounds: each piece copied,
// hashed and wiped in turn, 16 KiB at a time (small enough to stay in the
// first-level cache from copy to wipe; smaller ones measured 1-2% slower
// on the block functions without SHA extensions).
constexpr std::size_t kInTurnPiece = 16 * 1024;

template <typename Variant>
Digest ComputeInTurnThroughCopy(std::span<const std::uint8_t> input, std::uint8_t* copy) noexcept {
  ShaState state;
  StartSHA<Variant>(state);
  state.transform = SelectBlockFunction<Variant>(input.size());
  state.transform_final = true;
  for (std::size_t at = 0; at < input.size(); at += kInTurnPiece) {
    const std::size_t size = std::min(kInTurnPiece, input.size() - at);
    std::memcpy(copy + at, input.data() + at, size);
    UpdateSHA<Variant>(state, {copy + at, size});
    SecureWipe(copy + at, size);
  }
  return FinishSHA<Variant>(state);
}

template <typename Variant>
Digest ComputeVariantThroughCopy(std::span<const std::uint8_t> input, std::uint8_t* copy) noexcept {
  const std::size_t length = input.size();
  const CopyingBlockFunction transform = SelectCopyingBlockFunction<Variant>(length);
  if (transform == nullptr || length == 0) return ComputeInTurnThroughCopy<Variant>(input, copy);
  ShaContext context{};
  std::memcpy(context.h, kInitialH, sizeof context.h);
  const std::uint8_t* const from = input.data();
  std::memcpy(copy, from, std::min(kCopyPiece, length));
  for (std::size_t at = 0; at < length; at += kCopyPiece) {
    const std::size_t next = at + kCopyPiece;
    SideJob job{};
    if (next < length) {
      job.from = from + next;
      job.to = copy + next;
      job.copy = std::min(kCopyPiece, length - next);
    }
    if (at != 0) {
      job.clear = copy + at - kCopyPiece;
      job.wipe = kCopyPiece;
    }
    transform(context.h, copy + at, std::min(kCopyPiece, length - at) / kBlockSize, job);
    // What the rounds had no block for: the next piece's tail past its last
    // whole block, or all that the last piece is short of a whole one.
    if (job.copy != 0) std::memcpy(job.to, job.from, job.copy);
    if (job.wipe != 0) SecureWipe(job.clear, job.wipe);
  }
  const std::size_t whole = length / kBlockSize * kBlockSize;
  std::uint8_t final_blocks[2 * kBlockSize];
  const std::size_t count = PadFinalBlocks({copy + whole, length - whole},
                                           std::uint64_t{length} << 3, Variant::kPadding,
                                           final_blocks);
  SideJob none{};
  if (count != 0) transform(context.h, final_blocks, count, none);
  // The last piece: hashed, and no piece after it to be wiped beside.
  const std::size_t last = (length - 1) / kCopyPiece * kCopyPiece;
  SecureWipe(copy + last, length - last);
  SecureWipeObject(final_blocks);
  return DigestFromChainingWords<Variant>(context.h);
}

}  // namespace

void ComputeSHAThroughCopy(std::span<const std::uint8_t> input, std::uint8_t* copy,
                           std::uint8_t StandardFlag, std::uint8_t BrokenFlag,
                           Digest& digest) noexcept {
  WithVariant(StandardFlag, BrokenFlag, [input, copy, &digest]<typename Variant>() {
    digest = ComputeVariantThroughCopy<Variant>(input, copy);
  });
}

Digest ComputeSHA(std::span<const std::uint8_t> input, std::uint8_t StandardFlag,
                  std::uint8_t BrokenFlag) noexcept {
  return WithVariant(StandardFlag, BrokenFlag,
                     [input]<typename Variant>() { return ComputeVariant<Variant>(input); });
}

#define QUILLET_INSTANTIATE(V)                                                                \
  template void HashBlocks<V>(ShaContext&, std::span<const std::uint8_t>, BlockFunction);      \
  template Digest DigestFromChainingWords<V>(const Word (&)[5]);                               \
  template void StartSHA<V>(ShaState&) noexcept;                                               \
  template void UpdateSHA<V>(ShaState&, std::span<const std::uint8_t>) noexcept;               \
  template Digest FinishSHA<V>(ShaState&) noexcept;                                            \
  template Digest ComputeVariant<V>(std::span<const std::uint8_t>) noexcept;
QUILLET_SHA1_FOR_EACH_VARIANT(QUILLET_INSTANTIATE)
#undef QUILLET_INSTANTIATE

}  // namespace quillet::sha1
