// The SHA-1 engine: a whole message, or one handed over in pieces, to its
// 20-byte digest. ComputeSHA is what the exports call.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <type_traits>

#include "quillet/detail/sha_state.hpp"
#include "sha1/dispatch.hpp"
#include "sha1/sha1.hpp"

namespace quillet::sha1 {

// Walks a whole message through `transform`: its whole blocks where they
// are, then its padded tail from a small local buffer, so no padded copy of
// the message is ever made.
template <typename Variant>
void HashBlocks(ShaContext& context, std::span<const std::uint8_t> message,
                BlockFunction transform);

// The 20 result bytes of finished chaining words: each most significant byte
// first on the standard path, least significant first otherwise.
template <typename Variant>
Digest DigestFromChainingWords(const Word (&h)[5]);

// A message in pieces: StartSHA, UpdateSHA with each piece (any sizes), then
// FinishSHA, which gives the digest of the whole, wipes what the state held
// of the message and starts it anew. The block function is chosen with the
// first piece unless one was set after StartSHA.
template <typename Variant>
void StartSHA(ShaState& state) noexcept;
template <typename Variant>
void UpdateSHA(ShaState& state, std::span<const std::uint8_t> piece) noexcept;
template <typename Variant>
Digest FinishSHA(ShaState& state) noexcept;

// The one-shot digest of `input` for a variant.
template <typename Variant>
Digest ComputeVariant(std::span<const std::uint8_t> input) noexcept;

// Calls visit.template operator()<Variant>() with the variant the two
// switches select (each on only when it equals 1).
template <typename Visit>
constexpr decltype(auto) WithVariant(std::uint8_t StandardFlag, std::uint8_t BrokenFlag,
                                     Visit&& visit) {
  if (SwitchOn(StandardFlag)) {
    return SwitchOn(BrokenFlag) ? visit.template operator()<StandardBrokenSha>()
                                : visit.template operator()<StandardSha>();
  }
  return SwitchOn(BrokenFlag) ? visit.template operator()<BrokenSha>()
                              : visit.template operator()<LockdownSha>();
}

// Each variant's switches select it.
#define QUILLET_SWITCHES_SELECT(V)                                              \
  static_assert(WithVariant(V::kSwitches.StandardFlag, V::kSwitches.BrokenFlag, \
                            []<typename Selected>() { return std::is_same_v<Selected, V>; }));
QUILLET_SHA1_FOR_EACH_VARIANT(QUILLET_SWITCHES_SELECT)
#undef QUILLET_SWITCHES_SELECT

// The digest of `input` selected by the two switches.
Digest ComputeSHA(std::span<const std::uint8_t> input, std::uint8_t StandardFlag,
                  std::uint8_t BrokenFlag) noexcept;

// How much of a message the private copy holds at a time: the piece being
// hashed, the one being copied and the one being wiped all stay in the
// first-level cache.
inline constexpr std::size_t kCopyPiece = 2048;

// The digest of `input` selected by the two switches, hashed from a private
// copy at `copy` (room for input.size() bytes, apart from `input`). The copy
// is made and hashed a piece at a time; where the CPU has a block function
// with a side job, piece k + 1 is copied and piece k - 1 wiped while piece
// k is hashed, otherwise each piece is copied, hashed and wiped in turn.
// Every byte of the copy is zero on return. The digest is written straight
// to `digest`, so that no temporary of it is left in the caller's frame,
// which the caller's BurnStack does not reach.
void ComputeSHAThroughCopy(std::span<const std::uint8_t> input, std::uint8_t* copy,
                           std::uint8_t StandardFlag, std::uint8_t BrokenFlag,
                           Digest& digest) noexcept;

// The same for a message of `length` bytes handed over in pieces:
// pieces(feed) calls feed(piece) with each piece in order.
template <typename Pieces>
Digest ComputeSHA(std::size_t length, Pieces&& pieces, std::uint8_t StandardFlag,
                  std::uint8_t BrokenFlag) noexcept {
  return WithVariant(StandardFlag, BrokenFlag, [&]<typename Variant>() {
    ShaState state;
    StartSHA<Variant>(state);
    state.transform = SelectBlockFunction<Variant>(length);
    state.transform_final = true;
    pieces([&state](std::span<const std::uint8_t> piece) { UpdateSHA<Variant>(state, piece); });
    return FinishSHA<Variant>(state);
  });
}

}  // namespace quillet::sha1
