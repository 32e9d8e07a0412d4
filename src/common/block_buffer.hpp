// What every digest of 64-byte blocks does alike: take a message in pieces
// of any size, keeping the bytes of an incomplete block in a buffer and
// handing whole blocks to a block function, and pad the last of it. The
// SHA-1 engine and MD5 both run on these (as BoringSSL's SHA-1 and MD5 share
// md32_common); what they differ in is said by a PaddingRule.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

#include "common/bytes.hpp"

namespace quillet {

inline constexpr std::size_t kBlockSize = 64;

// Appends `length` bytes at `data` (a valid address even for 0 bytes) to a
// message whose last `pending` (< kBlockSize) bytes wait in `buffer`, and
// returns how many bytes wait there now. compress(blocks, count) is called
// for each run of whole blocks, in order: from the buffer when a pending
// block fills up, then from `data` itself for the whole blocks after it
// (every block function reads its blocks at any alignment, so the caller's
// does not matter).
template <typename Compress>
std::size_t BufferedUpdate(std::uint8_t (&buffer)[kBlockSize], std::size_t pending,
                           const std::uint8_t* data, std::size_t length, Compress&& compress) {
  if (pending != 0) {
    const std::size_t room = kBlockSize - pending;
    if (length < room) {
      std::memcpy(buffer + pending, data, length);
      return pending + length;
    }
    std::memcpy(buffer + pending, data, room);
    compress(static_cast<const std::uint8_t*>(buffer), std::size_t{1});
    data += room;
    length -= room;
  }
  if (length >= kBlockSize) {
    const std::size_t whole = length / kBlockSize;
    compress(data, whole);
    data += whole * kBlockSize;
    length -= whole * kBlockSize;
  }
  if (length != 0) std::memcpy(buffer, data, length);
  return length;
}

// How a message's last bytes are padded.
struct PaddingRule {
  // A 0x80 byte, zeros, and an 8-byte length field ending the last block;
  // otherwise only zeros up to a whole block (nothing when the message ends
  // on a block boundary).
  bool marker_and_length;
  bool length_big_endian;
  // The bit count the field carries: in full (modulo 2^64), or modulo 2^32
  // with the field's other four bytes zero.
  bool length_in_full;
};

// The padding of a message whose last `tail.size()` (< kBlockSize) bytes are
// `tail` and which is `bit_count` bits long, as the final blocks in `out`.
// Returns how many (0 to 2).
inline std::size_t PadFinalBlocks(std::span<const std::uint8_t> tail, std::uint64_t bit_count,
                                  PaddingRule rule, std::uint8_t (&out)[2 * kBlockSize]) {
  const std::size_t r = tail.size();
  if (!rule.marker_and_length) {
    if (r == 0) return 0;
    std::memset(out, 0, kBlockSize);
    std::memcpy(out, tail.data(), r);
    return 1;
  }
  const std::size_t blocks = r <= kBlockSize - 9 ? 1 : 2;
  const std::size_t end = blocks * kBlockSize;
  std::memset(out, 0, end);
  if (r != 0) std::memcpy(out, tail.data(), r);
  out[r] = 0x80;
  const std::uint64_t field = rule.length_in_full ? bit_count : bit_count & 0xFFFFFFFFu;
  if (rule.length_big_endian) {
    StoreBigEndian64(out + end - 8, field);
  } else {
    StoreLittleEndian64(out + end - 8, field);
  }
  return blocks;
}

}  // namespace quillet
