// Digest bytes as hexadecimal text: the one writer every part uses.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/bytes.hpp"

namespace quillet {

// Writes two digits for each of the `size` bytes at `bytes` to `text`, high
// digit first, letters in upper or lower case. Four bytes at a time in one
// 64-bit word (each byte's nibbles spread to a byte each, then made digits
// with no table and no branch): a table read byte by byte let the compiler
// spill and reload every byte.
constexpr void WriteHex(const std::uint8_t* bytes, std::size_t size, char* text, bool upper_case) {
  constexpr std::uint64_t kNibbles = 0x0F0F0F0F0F0F0F0Full, kOnes = 0x0101010101010101ull;
  // Added to a digit of 10 or more beyond '0' + digit: to 'A' or to 'a'.
  const std::uint64_t letter_step = upper_case ? 'A' - '0' - 10 : 'a' - '0' - 10;
  const std::uint8_t* const end = bytes + size;
  for (; end - bytes >= 4; bytes += 4, text += 8) {
    std::uint64_t x = LoadBigEndian32(bytes);
    x = (x | x << 16) & 0x0000FFFF0000FFFFull;
    x = (x | x << 8) & 0x00FF00FF00FF00FFull;         // a byte in each 16 bits
    x = ((x >> 4) & kNibbles) << 8 | (x & kNibbles);  // high nibble above low
    const std::uint64_t letters = ((x + 6 * kOnes) >> 4) & kOnes;  // 1 where a digit >= 10
    x += '0' * kOnes + letters * letter_step;
    for (unsigned k = 0; k < 8; ++k) text[k] = static_cast<char>(x >> (56 - 8 * k));
  }
  const char* digits = upper_case ? "0123456789ABCDEF" : "0123456789abcdef";
  for (; bytes != end; ++bytes, text += 2) {
    text[0] = digits[*bytes >> 4];
    text[1] = digits[*bytes & 15];
  }
}

}  // namespace quillet
