// What the CPU offers the block functions, and the one place that asks.
#pragma once

#include <cstdint>

// QUILLET_X86_BACKENDS: block functions for x86 CPUs are built (SSE2, AVX2).
// QUILLET_SHA_EXTENSIONS: also those with the SHA extensions.
#if !defined(QUILLET_PORTABLE_ONLY) && (defined(__x86_64__) || defined(__i386__))
#define QUILLET_X86_BACKENDS 1
#else
#define QUILLET_X86_BACKENDS 0
#endif
#if QUILLET_X86_BACKENDS && !defined(QUILLET_NO_SHA_EXTENSIONS)
#define QUILLET_SHA_EXTENSIONS 1
#else
#define QUILLET_SHA_EXTENSIONS 0
#endif
// QUILLET_ARM_BACKENDS: the block functions with the ARMv8 SHA-1 instructions.
#if !defined(QUILLET_PORTABLE_ONLY) && (defined(__aarch64__) || defined(_M_ARM64))
#define QUILLET_ARM_BACKENDS 1
#else
#define QUILLET_ARM_BACKENDS 0
#endif

// Where the C library has already read the CPU's features for the process
// (glibc 2.33 and later, on x86), asking costs a few nanoseconds. Elsewhere
// the library runs CPUID itself, which is slow where it traps to a
// hypervisor (microseconds a leaf in the virtual machines we measure on).
#if QUILLET_X86_BACKENDS && defined(__GLIBC__) && \
    (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 33))
#define QUILLET_CPU_FEATURES_FROM_LIBC 1
#else
#define QUILLET_CPU_FEATURES_FROM_LIBC 0
#endif

namespace quillet {

// On ARM64 the answer is always in memory: the C library's copy of the
// kernel's HWCAP word (getauxval), the system's record (Windows), or a
// constant (Apple's CPUs all have the SHA-1 instructions).
inline constexpr bool kCpuQueryIsCheap =
    QUILLET_CPU_FEATURES_FROM_LIBC != 0 || QUILLET_ARM_BACKENDS != 0;

// What the CPU (and the operating system, for the vector register state)
// offers, as far as the block functions care. SSE2 is assumed on x86.
struct CpuFeatures {
  bool sha = false;       // SHA extensions with SSSE3 and SSE4.1
  bool avx2 = false;      // AVX2, its register state saved by the OS
  bool avx512vl = false;  // AVX-512 F and VL, their register state saved by the OS
  bool bmi = false;       // BMI1 and BMI2
  bool arm_sha1 = false;  // ARMv8 SHA-1 instructions, with ASIMD
  // AVX-512 where one-lane vector code loses to scalar code: AMD's CPUs
  // (told by SSE4a, which only they have; measured on Zen 4 and Zen 5), and
  // every CPU where only another CPUID question (microseconds under a
  // hypervisor) would tell the vendor.
  bool slow_one_lane_vectors = false;
  friend bool operator==(const CpuFeatures&, const CpuFeatures&) = default;
};

// The words the answer is decoded from: CPUID leaf 1's ECX (or the same bits
// filled in from the system's own record of the features), leaf 7's EBX, and
// XCR0 (0 where it was not read: it may be read only when ECX has OSXSAVE),
// and leaf 0x80000001's ECX.
struct CpuidWords {
  std::uint32_t leaf1_ecx = 0;
  std::uint32_t leaf7_ebx = 0;
  std::uint64_t xcr0 = 0;
  std::uint32_t extended1_ecx = 0;
};

namespace cpuid_bit {
inline constexpr std::uint32_t kSsse3 = 1u << 9, kSse41 = 1u << 19, kOsxsave = 1u << 27,
                               kAvx = 1u << 28;                     // leaf 1 ECX
inline constexpr std::uint32_t kBmi1 = 1u << 3, kAvx2 = 1u << 5, kBmi2 = 1u << 8,
                               kAvx512F = 1u << 16, kSha = 1u << 29,
                               kAvx512VL = 1u << 31;                // leaf 7 EBX
inline constexpr std::uint32_t kSse4a = 1u << 6;                     // leaf 0x80000001 ECX
inline constexpr std::uint64_t kXmmYmm = 0x06, kOpmaskZmm = 0xE0;  // XCR0
}  // namespace cpuid_bit

constexpr CpuFeatures DecodeCpuFeatures(const CpuidWords& words) {
  using namespace cpuid_bit;
  const auto has = [](std::uint32_t word, std::uint32_t bits) { return (word & bits) == bits; };
  CpuFeatures features;
  features.sha = has(words.leaf7_ebx, kSha) && has(words.leaf1_ecx, kSsse3 | kSse41);
  features.bmi = has(words.leaf7_ebx, kBmi1 | kBmi2);
  // AVX state is usable only when the OS has turned on XSAVE and saves the
  // XMM and YMM registers; AVX-512 needs the opmask and ZMM state as well.
  const bool ymm_state = has(words.leaf1_ecx, kOsxsave | kAvx) &&
                         (words.xcr0 & kXmmYmm) == kXmmYmm;
  features.avx2 = ymm_state && has(words.leaf7_ebx, kAvx2);
  features.avx512vl = features.avx2 && has(words.leaf7_ebx, kAvx512F | kAvx512VL) &&
                      (words.xcr0 & (kXmmYmm | kOpmaskZmm)) == (kXmmYmm | kOpmaskZmm);
  features.slow_one_lane_vectors = features.avx512vl && has(words.extended1_ecx, kSse4a);
  return features;
}

// The ARM64 Linux kernel's HWCAP word (getauxval(AT_HWCAP)), decoded.
namespace hwcap_bit {
inline constexpr std::uint64_t kAsimd = 1u << 1, kSha1 = 1u << 5;
}  // namespace hwcap_bit

constexpr CpuFeatures DecodeHwcap(std::uint64_t hwcap) {
  CpuFeatures features;
  const std::uint64_t needed = hwcap_bit::kAsimd | hwcap_bit::kSha1;
  features.arm_sha1 = (hwcap & needed) == needed;
  return features;
}

// Asks the CPU, or the C library or system that already did. Nothing is
// kept between calls.
CpuFeatures DetectCpu() noexcept;

}  // namespace quillet
