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
#if defined(_WIN32)
#include <windows.h>
#endif
#endif

namespace quillet::sha1 {

#if QUILLET_X86_BACKENDS && !QUILLET_CPU_FEATURES_FROM_LIBC
namespace {

std::uint64_t ReadXcr0() {
  unsigned low = 0, high = 0;
  __asm__ __volatile__("xgetbv" : "=a"(low), "=d"(high) : "c"(0));
  return (std::uint64_t{high} << 32) | low;
}

}  // namespace
#endif

CpuFeatures DetectCpu() noexcept {
#if QUILLET_CPU_FEATURES_FROM_LIBC
  // "Active" means the CPU has it and the OS enabled its register state.
  CpuFeatures features;
  features.sha = CPU_FEATURE_ACTIVE(SHA) && CPU_FEATURE_ACTIVE(SSSE3) &&
                 CPU_FEATURE_ACTIVE(SSE4_1);
  features.avx2 = CPU_FEATURE_ACTIVE(AVX2);
  features.avx512vl = features.avx2 && CPU_FEATURE_ACTIVE(AVX512F) &&
                      CPU_FEATURE_ACTIVE(AVX512VL);
  features.bmi = CPU_FEATURE_ACTIVE(BMI1) && CPU_FEATURE_ACTIVE(BMI2);
  return features;
#elif QUILLET_X86_BACKENDS
  CpuidWords words;
  unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
#if defined(_WIN32)
  // What leaf 1 would say comes from the system's record of the features,
  // which is memory it keeps: one CPUID leaf instead of two. Windows reports
  // AVX only where it saves the AVX state.
  using namespace cpuid_bit;
  if (IsProcessorFeaturePresent(PF_SSSE3_INSTRUCTIONS_AVAILABLE)) words.leaf1_ecx |= kSsse3;
  if (IsProcessorFeaturePresent(PF_SSE4_1_INSTRUCTIONS_AVAILABLE)) words.leaf1_ecx |= kSse41;
  if (IsProcessorFeaturePresent(PF_XSAVE_ENABLED)) words.leaf1_ecx |= kOsxsave;
  if (IsProcessorFeaturePresent(PF_AVX_INSTRUCTIONS_AVAILABLE)) words.leaf1_ecx |= kAvx;
#else
  if (__get_cpuid_max(0, nullptr) < 7) return {};
  __cpuid_count(1, 0, eax, ebx, ecx, edx);
  words.leaf1_ecx = ecx;
#endif
  __cpuid_count(7, 0, eax, ebx, ecx, edx);
  words.leaf7_ebx = ebx;
  if ((words.leaf1_ecx & cpuid_bit::kOsxsave) != 0) words.xcr0 = ReadXcr0();
  return DecodeCpuFeatures(words);
#else
  return {};
#endif
}

template <bool kStandard, bool kBroken>
std::array<Backend, kMaxBackends> FastBackends([[maybe_unused]] const CpuFeatures& cpu) noexcept {
  std::array<Backend, kMaxBackends> found{};
  [[maybe_unused]] std::size_t n = 0;
#if QUILLET_SHA_EXTENSIONS
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
#if QUILLET_X86_BACKENDS
  if (cpu.avx2 && cpu.bmi) found[n++] = {"avx2+bmi", &TransformBlocksAvx2<kStandard, kBroken>};
  found[n++] = {"sse2", &TransformBlocksSse2<kStandard, kBroken>};
#endif
  return found;
}

template <bool kStandard, bool kBroken>
BlockFunction DefaultBlockFunction() noexcept {
#if QUILLET_X86_BACKENDS
  return &TransformBlocksSse2<kStandard, kBroken>;
#else
  return &TransformBlocksPortable<kStandard, kBroken>;
#endif
}

template <bool kStandard, bool kBroken>
BlockFunction FastBlockFunction(const CpuFeatures& cpu) noexcept {
  const BlockFunction fastest = FastBackends<kStandard, kBroken>(cpu)[0].function;
  return fastest != nullptr ? fastest : DefaultBlockFunction<kStandard, kBroken>();
}

template <bool kStandard, bool kBroken>
BlockFunction SelectBlockFunction(std::size_t length) {
  if (length >= kFastPathThreshold) return FastBlockFunction<kStandard, kBroken>(DetectCpu());
  return DefaultBlockFunction<kStandard, kBroken>();
}

#define QUILLET_DISPATCH_INSTANTIATE(S, B)                                                     \
  template std::array<Backend, kMaxBackends> FastBackends<S, B>(const CpuFeatures&) noexcept;  \
  template BlockFunction FastBlockFunction<S, B>(const CpuFeatures&) noexcept;                 \
  template BlockFunction DefaultBlockFunction<S, B>() noexcept;                                \
  template BlockFunction SelectBlockFunction<S, B>(std::size_t);

QUILLET_DISPATCH_INSTANTIATE(true, false)
QUILLET_DISPATCH_INSTANTIATE(false, true)
QUILLET_DISPATCH_INSTANTIATE(false, false)
QUILLET_DISPATCH_INSTANTIATE(true, true)
#undef QUILLET_DISPATCH_INSTANTIATE

}  // namespace quillet::sha1
