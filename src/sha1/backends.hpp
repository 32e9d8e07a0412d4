// The CPU-specific SHA-1 block functions beside the portable one, and the
// check of what the CPU offers.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "sha1/sha1.hpp"

#if !defined(QUILLET_PORTABLE_ONLY) && (defined(__x86_64__) || defined(__i386__))
#define QUILLET_X86_BACKENDS 1
#else
#define QUILLET_X86_BACKENDS 0
#endif

namespace quillet::sha1 {

// Where the C library has already read the CPU's features for the process
// (glibc 2.33 and later, on x86), asking costs a few nanoseconds. Elsewhere
// the library runs CPUID itself, which is slow where it traps to a hypervisor
// (about 1.4 microseconds a leaf on the machine we measure on).
#if QUILLET_X86_BACKENDS && defined(__GLIBC__) && \
    (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 33))
#define QUILLET_CPU_FEATURES_FROM_LIBC 1
inline constexpr bool kCpuQueryIsCheap = true;
#else
#define QUILLET_CPU_FEATURES_FROM_LIBC 0
inline constexpr bool kCpuQueryIsCheap = false;
#endif

// What the CPU (and the operating system, for the AVX register state) offers.
struct CpuFeatures {
  bool sha = false;       // SHA extensions with SSSE3 and SSE4.1
  bool avx2 = false;      // AVX2
  bool avx512vl = false;  // AVX-512 F and VL
};

// Asks the CPU, or the C library that already did. Nothing is kept between
// calls.
CpuFeatures DetectCpu() noexcept;

#if QUILLET_X86_BACKENDS
// SHA-extension rounds over big-endian message words (standard byte order).
void TransformBlocksShaNi(Word h[5], const std::uint8_t* blocks, std::size_t count);
// The same over little-endian message words (the lockdown variant).
void TransformBlocksShaNiLittleEndian(Word h[5], const std::uint8_t* blocks, std::size_t count);
// SHA-extension rounds with the broken variant's one-bit schedule computed
// with AVX2 variable shifts.
void TransformBlocksShaNiBroken(Word h[5], const std::uint8_t* blocks, std::size_t count);
// The same with AVX-512VL rotates.
void TransformBlocksShaNiBroken512(Word h[5], const std::uint8_t* blocks, std::size_t count);
#endif

// A CPU-specific block function with its name, for tests and benchmarks.
struct Backend {
  const char* name;
  BlockFunction function;
};

// Every CPU-specific block function `cpu` can run for a variant, fastest
// first (up to three; the rest null).
template <bool kStandard, bool kBroken>
std::array<Backend, 3> FastBackends(const CpuFeatures& cpu) noexcept;

// The fastest block function `cpu` allows for a variant, or null when only
// the portable one applies.
template <bool kStandard, bool kBroken>
BlockFunction FastBlockFunction(const CpuFeatures& cpu) noexcept;

}  // namespace quillet::sha1
