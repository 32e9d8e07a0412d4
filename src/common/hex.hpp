// Digest bytes as hexadecimal text: the one writer every part uses.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quillet {

// Writes two digits for each of the `size` bytes at `bytes` to `text`, high
// digit first, letters in upper or lower case.
constexpr void WriteHex(const std::uint8_t* bytes, std::size_t size, char* text, bool upper_case) {
  const char* digits = upper_case ? "0123456789ABCDEF" : "0123456789abcdef";
  for (std::size_t i = 0; i < size; ++i) {
    text[2 * i] = digits[bytes[i] >> 4];
    text[2 * i + 1] = digits[bytes[i] & 15];
  }
}

}  // namespace quillet
