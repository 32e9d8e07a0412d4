#include "sha1/sha1.hpp"

#include <algorithm>
#include <cstring>

#include "common/secure_wipe.hpp"
#include "sha1/dispatch.hpp"

namespace quillet::sha1 {

template <bool kStandard, bool kBroken>
void TransformBlocksPortable(Word h[5], const std::uint8_t* blocks,
                             std::size_t count) {
  ShaContext context;
  std::memcpy(context.h, h, sizeof context.h);
  for (std::size_t i = 0; i < count; ++i) {
    LoadBlock(context, blocks + i * kBlockSize);
    TransformSHA<kStandard, kBroken>(context);
  }
  std::memcpy(h, context.h, sizeof context.h);
}

template <bool kStandard, bool kBroken>
std::size_t PadFinalBlocks(std::span<const std::uint8_t> tail,
                           std::uint64_t total_length,
                           std::uint8_t (&out)[2 * kBlockSize]) {
  const std::size_t r = tail.size();
  if constexpr (kBroken) {
    if (r == 0) return 0;
    std::memset(out, 0, kBlockSize);
    std::memcpy(out, tail.data(), r);
    return 1;
  } else {
    const std::size_t blocks = r <= 55 ? 1 : 2;
    const std::size_t end = blocks * kBlockSize;
    std::memset(out, 0, end);
    if (r != 0) std::memcpy(out, tail.data(), r);
    out[r] = 0x80;
    std::uint8_t* field = out + end - 8;
    if constexpr (kStandard) {
      // 64-bit big-endian bit count; wraps only past 2^61 bytes.
      const std::uint64_t bits = total_length << 3;
      for (int i = 0; i < 8; ++i) {
        field[i] = static_cast<std::uint8_t>(bits >> (56 - 8 * i));
      }
    } else {
      // Bit count modulo 2^32, little-endian, then four zero bytes.
      const auto bits = static_cast<Word>(total_length << 3);
      const auto bytes = WordToBytes(bits);
      std::memcpy(field, bytes.data(), bytes.size());
    }
    return blocks;
  }
}

namespace {
// Small enough to stay in the first-level cache between copy, hash and wipe.
constexpr std::size_t kCopyChunk = 16 * 1024;
}  // namespace

template <bool kStandard, bool kBroken>
void HashBlocks(ShaContext& context, std::span<const std::uint8_t> message,
                BlockFunction transform, std::uint8_t* copy) {
  const std::size_t whole_bytes = message.size() / kBlockSize * kBlockSize;
  if (copy == nullptr) {
    if (whole_bytes != 0) transform(context.h, message.data(), whole_bytes / kBlockSize);
  } else {
    for (std::size_t at = 0; at < whole_bytes; at += kCopyChunk) {
      const std::size_t size = std::min(kCopyChunk, whole_bytes - at);
      std::memcpy(copy + at, message.data() + at, size);
      transform(context.h, copy + at, size / kBlockSize);
      SecureWipe(copy + at, size);
    }
  }
  std::span<const std::uint8_t> tail = message.subspan(whole_bytes);
  if (copy != nullptr && !tail.empty()) {
    std::memcpy(copy + whole_bytes, tail.data(), tail.size());
    tail = {copy + whole_bytes, tail.size()};
  }
  std::uint8_t final_blocks[2 * kBlockSize];
  const std::size_t count =
      PadFinalBlocks<kStandard, kBroken>(tail, message.size(), final_blocks);
  if (copy != nullptr) SecureWipe(copy + whole_bytes, tail.size());
  if (count != 0) transform(context.h, final_blocks, count);
}

template <bool kStandard>
Digest DigestFromChainingWords(const Word (&h)[5]) {
  Digest digest;
  for (std::size_t i = 0; i < 5; ++i) {
    const Word word = kStandard ? SwapBytes(h[i]) : h[i];
    const auto bytes = WordToBytes(word);
    std::memcpy(digest.data() + 4 * i, bytes.data(), bytes.size());
  }
  return digest;
}

template <bool kStandard, bool kBroken>
Digest ComputeVariant(std::span<const std::uint8_t> input, std::uint8_t* copy) {
  ShaContext context{};
  std::memcpy(context.h, kInitialH, sizeof context.h);
  HashBlocks<kStandard, kBroken>(
      context, input, SelectBlockFunction<kStandard, kBroken>(input.size()), copy);
  return DigestFromChainingWords<kStandard>(context.h);
}

Digest ComputeSHA(std::span<const std::uint8_t> input, std::uint8_t StandardFlag,
                  std::uint8_t BrokenFlag, std::uint8_t* copy) {
  if (SwitchOn(StandardFlag)) {
    return SwitchOn(BrokenFlag) ? ComputeVariant<true, true>(input, copy)
                                : ComputeVariant<true, false>(input, copy);
  }
  return SwitchOn(BrokenFlag) ? ComputeVariant<false, true>(input, copy)
                              : ComputeVariant<false, false>(input, copy);
}

#define QUILLET_SHA1_INSTANTIATE(S, B)                                       \
  template void TransformBlocksPortable<S, B>(Word[5], const std::uint8_t*,   \
                                              std::size_t);                   \
  template std::size_t PadFinalBlocks<S, B>(std::span<const std::uint8_t>,    \
                                            std::uint64_t,                    \
                                            std::uint8_t (&)[2 * kBlockSize]); \
  template void HashBlocks<S, B>(ShaContext&, std::span<const std::uint8_t>,  \
                                 BlockFunction, std::uint8_t*);               \
  template Digest ComputeVariant<S, B>(std::span<const std::uint8_t>,         \
                                       std::uint8_t*);

QUILLET_SHA1_INSTANTIATE(true, false)
QUILLET_SHA1_INSTANTIATE(false, true)
QUILLET_SHA1_INSTANTIATE(false, false)
QUILLET_SHA1_INSTANTIATE(true, true)
#undef QUILLET_SHA1_INSTANTIATE

template Digest DigestFromChainingWords<true>(const Word (&)[5]);
template Digest DigestFromChainingWords<false>(const Word (&)[5]);

}  // namespace quillet::sha1
