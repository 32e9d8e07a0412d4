// What the stack-residue tests look for: the words a SHA-1 compression
// derives from a block, as they may lie in memory.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <vector>

#include "sha1/sha1.hpp"

namespace quillet::test {

using sha1::Word;

// Each block's schedule words as the compression derives them.
template <typename Variant>
std::array<Word, 80> ScheduleOf(const std::uint8_t* block) {
  std::array<Word, 80> w{};
  for (std::size_t j = 0; j < 16; ++j) {
    const Word x = sha1::BytesToWord({block + 4 * j, 4});
    w[j] = Variant::kBigEndian ? sha1::SwapBytes(x) : x;
  }
  for (std::size_t t = 16; t < 80; ++t) {
    const Word v = w[t - 3] ^ w[t - 8] ^ w[t - 14] ^ w[t - 16];
    w[t] = Variant::kSchedule == sha1::Schedule::kOneBit ? sha1::RotateLeft(1u, v)
                                                         : sha1::RotateLeft(v, 1);
  }
  return w;
}

// The 16 bytes of words[at..at+3] in memory order, and in the reverse order
// in which a vector register holds them.
inline void AddWindows(std::vector<std::vector<std::uint8_t>>& out, const Word* words, std::size_t count) {
  for (std::size_t at = 0; at + 4 <= count; ++at) {
    std::vector<std::uint8_t> forward(16), backward(16);
    std::memcpy(forward.data(), words + at, 16);
    for (std::size_t i = 0; i < 4; ++i) std::memcpy(backward.data() + 4 * i, words + at + 3 - i, 4);
    out.push_back(forward);
    out.push_back(backward);
  }
}

// Every window of four consecutive schedule words of `block`, and of the
// words plus their round constant.
template <typename Variant>
void AddScheduleWindows(std::vector<std::vector<std::uint8_t>>& out, const std::uint8_t* block) {
  const auto w = ScheduleOf<Variant>(block);
  AddWindows(out, w.data(), w.size());
  std::array<Word, 80> plus_k;
  for (std::size_t t = 0; t < 80; ++t) {
    static constexpr Word kK[4] = {0x5A827999u, 0x6ED9EBA1u, 0x8F1BBCDCu, 0xCA62C1D6u};
    plus_k[t] = w[t] + kK[t / 20];
  }
  AddWindows(out, plus_k.data(), plus_k.size());
}

}  // namespace quillet::test
