// The MD5 engine (RFC 1321): start, update, finish, and the hexadecimal text
// of a digest.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "common/block_buffer.hpp"
#include "quillet/detail/md5_context.hpp"

namespace quillet::md5 {

using quillet::kBlockSize;
inline constexpr std::size_t kDigestSize = 16;
inline constexpr std::size_t kHexSize = 2 * kDigestSize;
using Digest = std::array<std::uint8_t, kDigestSize>;
using HexText = std::array<char, kHexSize>;

void InitMD5(Md5Context& context);

// Advances the 64-bit bit count (low word first) by 8 * length, modulo 2^64.
void AddToBitCount(std::uint32_t (&count)[2], std::size_t length);

// Appends `length` bytes at `data` (which must be a valid address even when
// length is 0) to the message.
void UpdateMD5(Md5Context& context, const std::uint8_t* data, std::size_t length);

// Pads, appends the 64-bit little-endian bit count, writes the digest and
// wipes the context, which must go through InitMD5 before it is used again.
void FinishMD5(Digest& digest, Md5Context& context);

// The digest of a whole message at once: its whole blocks are read where
// they are, the last bytes padded on the stack (wiped after), and nothing
// else is kept.
Digest ComputeMD5(std::span<const std::uint8_t> message);

// FinishMD5, then the digest as 32 upper-case hexadecimal characters, high
// nibble first.
HexText FinishMD5Hex(Md5Context& context);

// The upper-case text of any 16 digest bytes.
HexText DigestToHex(const Digest& digest);

}  // namespace quillet::md5
