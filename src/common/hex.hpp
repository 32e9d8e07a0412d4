// Digest bytes as hexadecimal text: the one writer every part uses.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "common/bytes.hpp"

namespace quillet {

// Writes two digits for each of the `size` bytes at `bytes` to `text`, high
// digit first, letters in upper or lower case. Sixteen bytes at a time with
// SSE2 where it is there; otherwise (and for the rest) four at a time in one
// 64-bit word (each byte's nibbles spread to a byte each, then made digits
// with no table and no branch): a table read byte by byte let the compiler
// spill and reload every byte.
constexpr void WriteHex(const std::uint8_t* bytes, std::size_t size, char* text, bool upper_case) {
#if defined(__SSE2__)
  // Sixteen bytes at a time where SSE2 is there (every x86-64 CPU): the
  // nibbles split and interleaved high first, then made digits as below.
  if (!std::is_constant_evaluated()) {
    const __m128i nibbles = _mm_set1_epi8(0x0F), nine = _mm_set1_epi8(9);
    const __m128i zero = _mm_set1_epi8('0');
    const __m128i letter =
        _mm_set1_epi8(static_cast<char>(upper_case ? 'A' - '0' - 10 : 'a' - '0' - 10));
    for (; size >= 16; bytes += 16, size -= 16, text += 32) {
      // Read a word at a time: digests are written a word at a time just
      // before, and one 16-byte load of four 4-byte stores would wait for
      // them to reach the cache (about 15 cycles) instead of forwarding.
      const auto word = [bytes](int i) {
        return _mm_cvtsi32_si128(static_cast<int>(LoadLittleEndian32(bytes + 4 * i)));
      };
      const __m128i x = _mm_unpacklo_epi64(_mm_unpacklo_epi32(word(0), word(1)),
                                           _mm_unpacklo_epi32(word(2), word(3)));
      const __m128i high = _mm_and_si128(_mm_srli_epi16(x, 4), nibbles);
      const __m128i low = _mm_and_si128(x, nibbles);
      for (int half = 0; half < 2; ++half) {
        const __m128i digit =
            half == 0 ? _mm_unpacklo_epi8(high, low) : _mm_unpackhi_epi8(high, low);
        const __m128i step = _mm_and_si128(_mm_cmpgt_epi8(digit, nine), letter);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(text + 16 * half),
                         _mm_add_epi8(_mm_add_epi8(digit, zero), step));
      }
    }
  }
#endif
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
