// Small helpers shared by the C++ tests.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/secure_wipe.hpp"

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

// What a call leaves behind in the stack below its caller: the stack is
// painted with zeros, the call made from the same frame, and the same area
// read back. The area lies in the frames of two helpers that are not
// inlined, so it is the memory the call's own frames used. (memcheck counts
// reads of a stack that has been popped as invalid, so scripts/memcheck
// leaves out the tests that use this.)
// Deeper than the widest wipe, so that a call that reaches past it shows.
inline constexpr std::size_t kScannedStack = kManyStackBurnSize + 8 * 1024;

// How far below the wiped area the frames of a call and of the wipe itself
// may reach: s390x starts every frame with a 160-byte register save area,
// and Win64 has every caller keep 32 bytes for its callee.
#if defined(__s390x__)
inline constexpr std::size_t kFrameSlack = 1024;
#elif defined(_WIN64)
inline constexpr std::size_t kFrameSlack = 1024;  // 32 bytes of shadow space a call
#else
inline constexpr std::size_t kFrameSlack = 512;
#endif

// Under the sanitizers frames are larger and laid out apart, so what a call
// leaves in them says nothing about the real build.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define QUILLET_SANITIZED_FRAMES 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define QUILLET_SANITIZED_FRAMES 1
#endif
#endif

// Whether the stack below the stack pointer may be read: memcheck rightly
// calls what is there undefined, and scripts/memcheck sets
// QUILLET_STACK_SCANS=0.
inline bool StackScansOn() {
  const char* setting = std::getenv("QUILLET_STACK_SCANS");
  return setting == nullptr || std::string_view(setting) != "0";
}

[[gnu::noinline]] inline void PaintStack(std::uint8_t paint) {
  volatile std::uint8_t area[kScannedStack];
  for (std::size_t i = 0; i < kScannedStack; ++i) area[i] = paint;
  __asm__ __volatile__("" : : "r"(area) : "memory");
}

[[gnu::noinline]] inline void ReadStack(std::uint8_t* out) {
  volatile std::uint8_t area[kScannedStack];
  // The area's bytes are whatever earlier frames left there; the empty asm
  // tells the compiler they may have been written.
  __asm__ __volatile__("" : : "r"(area) : "memory");
  for (std::size_t i = 0; i < kScannedStack; ++i) out[i] = area[i];
}

template <typename Call>
std::vector<std::uint8_t> StackAfter(Call&& call, std::uint8_t paint = 0) {
  std::vector<std::uint8_t> stack(kScannedStack);
  PaintStack(paint);
  call();
  ReadStack(stack.data());
  return stack;
}

// How many bytes below the caller a call wrote to: the stack after it, read
// by StackAfter with a paint the call does not write.
inline std::size_t StackDepth(const std::vector<std::uint8_t>& stack, std::uint8_t paint) {
  std::size_t untouched = 0;
  while (untouched < stack.size() && stack[untouched] == paint) ++untouched;
  return stack.size() - untouched;
}

inline bool Contains(const std::vector<std::uint8_t>& haystack,
                     std::span<const std::uint8_t> needle) {
  return std::search(haystack.begin(), haystack.end(), needle.begin(), needle.end()) !=
         haystack.end();
}

}  // namespace quillet::test
