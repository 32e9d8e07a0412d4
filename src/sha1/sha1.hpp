// The SHA-1 engine: one compression, three digests.
//
// Two byte-wide switches select the digest. StandardFlag picks the byte order
// of everything that crosses between bytes and words (message words, length
// field, result words): big-endian when on, little-endian when off.
// BrokenFlag picks the padding (zero fill to a whole block, no marker, no
// length) and the schedule rule (W[t] = 1 << (v & 31) instead of rotl(v, 1)).
//
//   StandardSHA  StandardFlag 1, BrokenFlag 0   FIPS 180-1 SHA-1
//   BrokenSHA    StandardFlag 0, BrokenFlag 1
//   LockdownSHA  StandardFlag 0, BrokenFlag 0
//
// The switches are template parameters of everything below ComputeSHA, so a
// call chooses its instantiation once and no step tests a switch at run time.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <span>

namespace quillet::sha1 {

using Word = std::uint32_t;

inline constexpr std::size_t kBlockSize = 64;
inline constexpr std::size_t kDigestSize = 20;
using Digest = std::array<std::uint8_t, kDigestSize>;

inline constexpr Word kInitialH[5] = {0x67452301u, 0xEFCDAB89u, 0x98BADCFEu,
                                      0x10325476u, 0xC3D2E1F0u};

// The engine's working record: the chaining words and the block being
// processed, as little-endian words. The compression reuses `x` as the ring
// of the last sixteen schedule words, so it holds derived data after a block.
// Contexts live in the engine's stack frames, which the library's outermost
// frame wipes when a digest is done (BurnStack).
struct ShaContext {
  Word h[5];
  Word x[16];
};

// A switch is on only when it equals 1.
constexpr bool SwitchOn(std::uint8_t flag) { return flag == 1; }

constexpr Word RotateLeft(Word x, unsigned n) {
  return std::rotl(x, static_cast<int>(n & 31u));
}

constexpr Word SwapBytes(Word x) {
  return (x >> 24) | ((x >> 8) & 0x0000FF00u) | ((x << 8) & 0x00FF0000u) |
         (x << 24);
}

// The first four bytes as a word, first byte least significant; missing
// high-order bytes count as zero, bytes past the fourth are ignored.
constexpr Word BytesToWord(std::span<const std::uint8_t> bytes) {
  Word word = 0;
  const std::size_t count = bytes.size() < 4 ? bytes.size() : 4;
  for (std::size_t i = 0; i < count; ++i) {
    word |= static_cast<Word>(bytes[i]) << (8 * i);
  }
  return word;
}

// The word's four bytes, least significant first.
constexpr std::array<std::uint8_t, 4> WordToBytes(Word word) {
  return {static_cast<std::uint8_t>(word), static_cast<std::uint8_t>(word >> 8),
          static_cast<std::uint8_t>(word >> 16),
          static_cast<std::uint8_t>(word >> 24)};
}

// Loads one 64-byte block into context.x, as little-endian words.
inline void LoadBlock(ShaContext& context, const std::uint8_t* block) {
  for (std::size_t j = 0; j < 16; ++j) {
    context.x[j] = BytesToWord({block + 4 * j, 4});
  }
}

// One compression of the block held in context.x into context.h.
template <bool kStandard, bool kBroken>
void TransformSHA(ShaContext& context) {
  Word* w = context.x;
  if constexpr (kStandard) {
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
      wt = kBroken ? RotateLeft(1u, v) : RotateLeft(v, 1);
      w[t & 15] = wt;
    }
    Word f, k;
    if (t < 20) {
      f = d ^ (b & (c ^ d));  // (b & c) | (~b & d)
      k = 0x5A827999u;
    } else if (t < 40) {
      f = b ^ c ^ d;
      k = 0x6ED9EBA1u;
    } else if (t < 60) {
      f = (b & c) | (d & (b | c));  // majority
      k = 0x8F1BBCDCu;
    } else {
      f = b ^ c ^ d;
      k = 0xCA62C1D6u;
    }
    const Word temp = RotateLeft(a, 5) + f + e + k + wt;
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

// Compresses `count` whole blocks at `blocks` into h, in order. Every backend
// (the portable one here, the CPU-specific ones beside it) has this shape.
using BlockFunction = void (*)(Word h[5], const std::uint8_t* blocks,
                               std::size_t count);

template <bool kStandard, bool kBroken>
void TransformBlocksPortable(Word h[5], const std::uint8_t* blocks,
                             std::size_t count);

// The padding of a message whose last `tail.size()` (< 64) bytes are `tail`
// and whose whole length is `total_length` bytes, as one or two blocks in
// `out`. Returns the number of blocks (0 to 2).
//
// Standard byte order: 0x80, zeros, the 64-bit bit count big-endian. The bit
// count is kept in full, so a message of any length gets the FIPS 180-1
// field.
// Little-endian (lockdown): 0x80, zeros, the bit count modulo 2^32
// little-endian, then four zero bytes.
// Broken: the tail filled up with zeros to a whole block; nothing at all when
// the message already ends on a block boundary.
template <bool kStandard, bool kBroken>
std::size_t PadFinalBlocks(std::span<const std::uint8_t> tail,
                           std::uint64_t total_length,
                           std::uint8_t (&out)[2 * kBlockSize]);

// Feeds a whole message through `transform`: its whole blocks, then the
// padded tail from a small local buffer, so no padded copy of the message is
// ever made.
//
// With `copy` (room for message.size() bytes), every byte is first copied
// there and hashed from there: a private copy, taken a chunk at a time so
// that each chunk is hashed while it is still in the cache, and wiped once it
// has been hashed. Without it the message is hashed in place.
template <bool kStandard, bool kBroken>
void HashBlocks(ShaContext& context, std::span<const std::uint8_t> message,
                BlockFunction transform, std::uint8_t* copy = nullptr);

// The 20 result bytes of a finished context: every chaining word most
// significant byte first on the standard path, least significant first
// otherwise.
template <bool kStandard>
Digest DigestFromChainingWords(const Word (&h)[5]);

// The whole one-shot digest, with the switches resolved; `copy` as for
// HashBlocks.
template <bool kStandard, bool kBroken>
Digest ComputeVariant(std::span<const std::uint8_t> input, std::uint8_t* copy);

// The digest of `input` selected by the two switches (on only when 1). With
// `copy`, the input is hashed through a private copy there, which is left
// wiped.
Digest ComputeSHA(std::span<const std::uint8_t> input, std::uint8_t StandardFlag,
                  std::uint8_t BrokenFlag, std::uint8_t* copy = nullptr);

}  // namespace quillet::sha1
