// Clearing the stack below the library's outermost frames (SecureWipe
// itself is public: quillet/secure_wipe.hpp).
#pragma once

#include <cstddef>

#include "quillet/secure_wipe.hpp"

namespace quillet {

// The block functions hold schedule words and chaining values in registers
// and, where registers run out, in stack slots that no C++ name reaches, and
// the compiler keeps returned digests in temporaries of its own; no wipe in
// the code that uses them can clear either. So every outermost frame of the
// library (each export, each C++ API function, each hasher call that
// hashed) calls BurnStack before it returns: BurnStack's own frame then lies
// over the memory that the frames below used, and it zeroes all of it. The
// deepest export uses about 1.3 KiB of stack below its frame on x86-64, i686
// and ARM64, and 2.6 KiB on s390x, whose every frame starts with a 160-byte
// register save area (tests keep every export and every block function
// within the bound).
#if defined(__s390x__)
inline constexpr std::size_t kStackBurnSize = 4096;
#else
inline constexpr std::size_t kStackBurnSize = 2048;
#endif

// MD5's frames are shallower (no vector schedule, no SHA-1 block function):
// its outermost frames wipe a quarter of that.
inline constexpr std::size_t kMd5StackBurnSize = kStackBurnSize / 4;
// The many-message kernels go deepest: the AVX-512 ones hold 32 lanes of
// blocks, schedules and chaining values, and reach about 13 KiB below their
// caller on x86-64 Linux and 16 KiB in the Windows builds, with the batch's
// own frame on top (tests keep every kernel and DigestMany within the bound).
inline constexpr std::size_t kManyStackBurnSize = 12 * kStackBurnSize;

template <std::size_t kSize = kStackBurnSize>
[[gnu::noinline]] void BurnStack() noexcept {
  unsigned char area[kSize];
  // The size is hidden from the compiler, so the C library's memset, which
  // picks its stores for the CPU, does the work: for a size it knows, the
  // compiler writes `rep stosq`, which starts slowly (12 ns for 512 bytes
  // against 5 ns through memset on AMD Zen 4; 19 ns against 18 for 2 KiB).
  std::size_t size = sizeof area;
  __asm__("" : "+r"(size));
  SecureWipe(area, size);
}

// A function that returns what it computed keeps copies of it in its own
// frame (the engine's chaining values, the result before it is returned),
// and BurnStack called there reaches only the frames below. So an outermost
// frame that returns a secret runs the work in a frame of its own and burns
// after it: only the returned value, in the caller's memory, is left.
template <typename Work>
[[gnu::noinline]] auto InFrameOfItsOwn(Work& work) noexcept {
  return work();
}

// The result (if any: the work may return nothing) is returned as a
// prvalue, so it is made straight in the caller's memory (no copy of it in
// this frame, whatever the compiler's choices), and the burn runs as `burn`
// is destroyed, after it is made.
template <std::size_t kSize = kStackBurnSize, typename Work>
auto BurnAfter(Work&& work) noexcept {
  struct BurnOnExit {
    BurnOnExit() = default;
    BurnOnExit(const BurnOnExit&) = delete;
    BurnOnExit& operator=(const BurnOnExit&) = delete;
    ~BurnOnExit() { BurnStack<kSize>(); }
  } burn;
  return InFrameOfItsOwn(work);
}

}  // namespace quillet
