#include "sha1/dispatch.hpp"

#include "sha1/backends.hpp"

#if QUILLET_CPU_FEATURES_FROM_LIBC
// glibc's header spells its return type _Bool, which clang rejects in C++.
#if defined(__clang__)
#define _Bool bool
#include <sys/platform/x86.h>
#undef _Bool
#else
#include <sys/platform/x86.h>
#endif
#elif QUILLET_X86_BACKENDS
#include <cpuid.h>
#endif

namespace quillet::sha1 {

CpuFeatures DetectCpu() noexcept {
  CpuFeatures features;
#if QUILLET_CPU_FEATURES_FROM_LIBC
  // "Active" means the CPU has it and the OS enabled its register state.
  features.sha = CPU_FEATURE_ACTIVE(SHA) && CPU_FEATURE_ACTIVE(SSSE3) &&
                 CPU_FEATURE_ACTIVE(SSE4_1);
  features.avx2 = CPU_FEATURE_ACTIVE(AVX2);
  features.avx512vl = CPU_FEATURE_ACTIVE(AVX512F) && CPU_FEATURE_ACTIVE(AVX512VL);
#elif QUILLET_X86_BACKENDS
  unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
  if (__get_cpuid_max(0, nullptr) < 7) return features;
  __cpuid_count(1, 0, eax, ebx, ecx, edx);
  const bool ssse3 = (ecx & bit_SSSE3) != 0;
  const bool sse41 = (ecx & bit_SSE4_1) != 0;
  const bool osxsave = (ecx & bit_OSXSAVE) != 0;
  const bool avx = (ecx & bit_AVX) != 0;
  __cpuid_count(7, 0, eax, ebx, ecx, edx);
  features.sha = ssse3 && sse41 && (ebx & bit_SHA) != 0;
  if (osxsave && avx) {
    // The OS must save the XMM and YMM state (XCR0 bits 1 and 2), and for
    // AVX-512 the opmask and upper ZMM state (bits 5 to 7).
    unsigned xcr0_low = 0, xcr0_high = 0;
    __asm__("xgetbv" : "=a"(xcr0_low), "=d"(xcr0_high) : "c"(0));
    features.avx2 = (ebx & bit_AVX2) != 0 && (xcr0_low & 0x06u) == 0x06u;
    features.avx512vl = (ebx & bit_AVX512F) != 0 && (ebx & bit_AVX512VL) != 0 &&
                        (xcr0_low & 0xE6u) == 0xE6u;
  }
#endif
  return features;
}

template <bool kStandard, bool kBroken>
std::array<Backend, 3> FastBackends([[maybe_unused]] const CpuFeatures& cpu) noexcept {
  std::array<Backend, 3> found{};
  [[maybe_unused]] std::size_t n = 0;
#if QUILLET_X86_BACKENDS
  if constexpr (kStandard && !kBroken) {
    if (cpu.sha) found[n++] = {"sha-extensions", &TransformBlocksShaNi};
  } else if constexpr (!kStandard && !kBroken) {
    if (cpu.sha) found[n++] = {"sha-extensions", &TransformBlocksShaNiLittleEndian};
  } else if constexpr (!kStandard && kBroken) {
    if (cpu.sha && cpu.avx2 && cpu.avx512vl) {
      found[n++] = {"sha-extensions+avx512vl", &TransformBlocksShaNiBroken512};
    }
    if (cpu.sha && cpu.avx2) found[n++] = {"sha-extensions+avx2", &TransformBlocksShaNiBroken};
  }
#endif
  return found;
}

template <bool kStandard, bool kBroken>
BlockFunction FastBlockFunction(const CpuFeatures& cpu) noexcept {
  return FastBackends<kStandard, kBroken>(cpu)[0].function;
}

template <bool kStandard, bool kBroken>
BlockFunction SelectBlockFunction(std::size_t length) {
  if (length >= kFastPathThreshold) {
    if (const BlockFunction fast = FastBlockFunction<kStandard, kBroken>(DetectCpu())) return fast;
  }
  return &TransformBlocksPortable<kStandard, kBroken>;
}

#define QUILLET_DISPATCH_INSTANTIATE(S, B)                                          \
  template std::array<Backend, 3> FastBackends<S, B>(const CpuFeatures&) noexcept;  \
  template BlockFunction FastBlockFunction<S, B>(const CpuFeatures&) noexcept;      \
  template BlockFunction SelectBlockFunction<S, B>(std::size_t);

QUILLET_DISPATCH_INSTANTIATE(true, false)
QUILLET_DISPATCH_INSTANTIATE(false, true)
QUILLET_DISPATCH_INSTANTIATE(false, false)
QUILLET_DISPATCH_INSTANTIATE(true, true)
#undef QUILLET_DISPATCH_INSTANTIATE

}  // namespace quillet::sha1
