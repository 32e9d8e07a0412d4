#include "common/cpu_features.hpp"

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
#elif QUILLET_ARM_BACKENDS && defined(__linux__)
#include <sys/auxv.h>
#elif QUILLET_ARM_BACKENDS && defined(_WIN32)
#include <windows.h>
#endif

namespace quillet {

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
  features.slow_one_lane_vectors = features.avx512vl && CPU_FEATURE_PRESENT(SSE4A);
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
  CpuFeatures features = DecodeCpuFeatures(words);
  // The vendor is not asked (one leaf more): one-lane vector code is not
  // chosen here.
  features.slow_one_lane_vectors = features.avx512vl;
  return features;
#elif QUILLET_ARM_BACKENDS && defined(__linux__)
  return DecodeHwcap(getauxval(AT_HWCAP));
#elif QUILLET_ARM_BACKENDS && defined(_WIN32)
  // Not built here: written for Windows on ARM64.
  CpuFeatures features;
  features.arm_sha1 = IsProcessorFeaturePresent(PF_ARM_V8_CRYPTO_INSTRUCTIONS_AVAILABLE) != 0;
  return features;
#elif QUILLET_ARM_BACKENDS && defined(__APPLE__)
  // Not built here: every Apple ARM64 CPU has the SHA-1 instructions.
  CpuFeatures features;
  features.arm_sha1 = true;
  return features;
#else
  return {};
#endif
}

}  // namespace quillet
