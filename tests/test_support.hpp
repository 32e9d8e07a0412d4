// Small helpers shared by the C++ tests.
#pragma once

#include <cstdint>
#include <random>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace quillet::test {

inline std::span<const std::uint8_t> Bytes(std::string_view text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

inline std::string Hex(std::span<const std::uint8_t> bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out;
  for (const std::uint8_t byte : bytes) {
    out.push_back(kDigits[byte >> 4]);
    out.push_back(kDigits[byte & 15]);
  }
  return out;
}

// Reproducible pseudo-random bytes.
inline std::vector<std::uint8_t> RandomBytes(std::size_t length, std::uint32_t seed) {
  std::mt19937 engine(seed);
  std::vector<std::uint8_t> out(length);
  for (auto& byte : out) byte = static_cast<std::uint8_t>(engine() >> 24);
  return out;
}

}  // namespace quillet::test
