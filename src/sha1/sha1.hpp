// The SHA-1 family's words, helpers and variants: one compression, three
// digests.
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
// Below ComputeSHA each setting is a variant type (StandardSha, BrokenSha,
// LockdownSha) whose members say what the switches say; the engine and every
// block function are templates over it, so a call chooses its instantiation
// once and no step tests a switch at run time.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "common/block_buffer.hpp"
#include "common/bytes.hpp"

namespace quillet::sha1 {

using Word = std::uint32_t;

using quillet::kBlockSize;
inline constexpr std::size_t kDigestSize = 20;
using Digest = std::array<std::uint8_t, kDigestSize>;

inline constexpr Word kInitialH[5] = {0x67452301u, 0xEFCDAB89u, 0x98BADCFEu,
                                      0x10325476u, 0xC3D2E1F0u};

// The constant added in round t (0..79), one for each group of twenty.
constexpr Word RoundConstant(int t) {
  return t < 20 ? 0x5A827999u : t < 40 ? 0x6ED9EBA1u : t < 60 ? 0x8F1BBCDCu : 0xCA62C1D6u;
}

// The schedule words past the sixteenth: SHA-1's rotl(v, 1), or the broken
// variant's word with the single bit (v & 31) set.
enum class Schedule { kRotate, kOneBit };

// A switch is on only when it equals 1.
constexpr bool SwitchOn(std::uint8_t flag) { return flag == 1; }

// The switch settings that select a variant (each variant's kSwitches, which
// the exports pass to ComputeSHA; engine.hpp checks that they select it).
struct Switches {
  std::uint8_t StandardFlag;
  std::uint8_t BrokenFlag;
};

// StandardFlag on: every word crosses between bytes and words most
// significant byte first, and the length field carries the full 64-bit bit
// count (so StandardSHA is SHA-1 for every length).
struct StandardSha {
  static constexpr bool kBigEndian = true;
  static constexpr PaddingRule kPadding = {true, true, true};
  static constexpr Schedule kSchedule = Schedule::kRotate;
  static constexpr std::string_view kName = "StandardSHA";
  static constexpr Switches kSwitches = {1, 0};
};

// BrokenFlag on: little-endian words, zero fill to a whole block with no
// marker and no length, one-bit schedule words.
struct BrokenSha {
  static constexpr bool kBigEndian = false;
  static constexpr PaddingRule kPadding = {false, false, false};
  static constexpr Schedule kSchedule = Schedule::kOneBit;
  static constexpr std::string_view kName = "BrokenSHA";
  static constexpr Switches kSwitches = {0, 1};
};

// Both off: SHA-1 with every word little-endian; the length field holds the
// bit count modulo 2^32, least significant byte first, then four zero bytes.
struct LockdownSha {
  static constexpr bool kBigEndian = false;
  static constexpr PaddingRule kPadding = {true, false, false};
  static constexpr Schedule kSchedule = Schedule::kRotate;
  static constexpr std::string_view kName = "LockdownSHA";
  static constexpr Switches kSwitches = {0, 0};
};

// Both on, which no export sets: big-endian words with the broken padding
// and schedule.
struct StandardBrokenSha {
  static constexpr bool kBigEndian = true;
  static constexpr PaddingRule kPadding = {false, true, false};
  static constexpr Schedule kSchedule = Schedule::kOneBit;
  static constexpr std::string_view kName = "StandardSHA+BrokenSHA";
  static constexpr Switches kSwitches = {1, 1};
};

// Every variant, for the explicit instantiations of each template over them.
#define QUILLET_SHA1_FOR_EACH_VARIANT(X) \
  X(::quillet::sha1::StandardSha)        \
  X(::quillet::sha1::BrokenSha)          \
  X(::quillet::sha1::LockdownSha)        \
  X(::quillet::sha1::StandardBrokenSha)

// The engine's working record: the chaining words and the block being
// processed, as little-endian words. The compression reuses `x` as the ring
// of the last sixteen schedule words, so it holds derived data after a block.
// Contexts live in the engine's stack frames, which the library's outermost
// frame wipes when a digest is done (BurnStack).
struct ShaContext {
  Word h[5];
  Word x[16];
};

// Written out (compilers emit one rotate): libc++ 14's std::rotl takes an
// unsigned count where the standard's takes an int.
constexpr Word RotateLeft(Word x, unsigned n) {
  n &= 31u;
  return (x << n) | (x >> ((32u - n) & 31u));
}

constexpr Word SwapBytes(Word x) {
  return (x >> 24) | ((x >> 8) & 0x0000FF00u) | ((x << 8) & 0x00FF0000u) |
         (x << 24);
}

// The first four bytes as a word, first byte least significant; missing
// high-order bytes count as zero, bytes past the fourth are ignored.
constexpr Word BytesToWord(std::span<const std::uint8_t> bytes) {
  if (bytes.size() >= 4) return LoadLittleEndian32(bytes.data());
  Word word = 0;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    word |= static_cast<Word>(bytes[i]) << (8 * i);
  }
  return word;
}

// The word's four bytes, least significant first.
constexpr std::array<std::uint8_t, 4> WordToBytes(Word word) {
  std::array<std::uint8_t, 4> bytes{};
  StoreLittleEndian32(bytes.data(), word);
  return bytes;
}

// Compresses `count` whole blocks at `blocks` into h, in order. Every block
// function (the portable one and the CPU-specific ones) has this shape.
using BlockFunction = void (*)(Word h[5], const std::uint8_t* blocks, std::size_t count);

// Moves a block function makes beside its rounds: `copy` bytes from `from`
// to `to` and `wipe` zero bytes over `clear`, 64 bytes of each with every
// block it compresses, while there are 64 left. The rounds are one chain of
// dependent instructions that leaves the load and store ports idle, so the
// moves cost no time of their own. The function returns with the job
// advanced past what it moved; the caller moves what is left. The zeroes are
// written even when nothing reads that memory again.
struct SideJob {
  const std::uint8_t* from;
  std::uint8_t* to;
  std::size_t copy;
  std::uint8_t* clear;
  std::size_t wipe;
};

// A block function that also does a side job.
using CopyingBlockFunction = void (*)(Word h[5], const std::uint8_t* blocks, std::size_t count,
                                      SideJob& job);

}  // namespace quillet::sha1
