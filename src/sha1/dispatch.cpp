#include "sha1/dispatch.hpp"

#include <type_traits>

#include "sha1/backends.hpp"

namespace quillet::sha1 {

// SSE2 makes the one-bit schedule words through a float's exponent field, a
// conversion on the schedule's chain that costs more than the vector
// schedule saves: on AMD Zen 5 the SSE2 block function runs the one-bit
// variants at 0.7x the portable one at 1 MiB and 0.5x on one block (about
// even at 1 MiB on Zen 4). For them it comes after the portable one: listed
// and tested, not chosen, and not the default.
template <typename Variant>
inline constexpr bool kFloatOneBitWords = Variant::kSchedule == Schedule::kOneBit;

template <typename Variant>
BackendTable Backends([[maybe_unused]] const CpuFeatures& cpu) noexcept {
  BackendTable found;
#if QUILLET_SHA_EXTENSIONS
  if constexpr (std::is_same_v<Variant, StandardSha>) {
    if (cpu.sha) found.Add("sha-extensions", &TransformBlocksShaNi);
  } else if constexpr (std::is_same_v<Variant, LockdownSha>) {
    if (cpu.sha) found.Add("sha-extensions", &TransformBlocksShaNiLittleEndian);
  } else if constexpr (std::is_same_v<Variant, BrokenSha>) {
    if (cpu.sha && cpu.avx2 && cpu.avx512vl) {
      found.Add("sha-extensions+avx512vl", &TransformBlocksShaNiBroken512);
    }
    if (cpu.sha && cpu.avx2) found.Add("sha-extensions+avx2", &TransformBlocksShaNiBroken);
  }
#endif
#if QUILLET_ARM_BACKENDS
  if (cpu.arm_sha1) found.Add("armv8-sha1", &TransformBlocksArmv8<Variant>);
#endif
#if QUILLET_X86_BACKENDS
  if (cpu.avx2 && cpu.bmi && cpu.avx512vl) {
    found.Add("avx512vl+bmi", &TransformBlocksAvx512<Variant>);
  }
  if (cpu.avx2 && cpu.bmi) found.Add("avx2+bmi", &TransformBlocksAvx2<Variant>);
  if constexpr (!kFloatOneBitWords<Variant>) found.Add("sse2", &TransformBlocksSse2<Variant>);
#endif
#if defined(__wasm_simd128__)
  if constexpr (Variant::kSchedule == Schedule::kRotate) {
    found.Add("simd128", &TransformBlocksSimd128<Variant>);
  }
#endif
  found.Add("portable", &TransformBlocksPortable<Variant>);
#if QUILLET_X86_BACKENDS
  if constexpr (kFloatOneBitWords<Variant>) found.Add("sse2", &TransformBlocksSse2<Variant>);
#endif
  return found;
}

template <typename Variant>
BlockFunction DefaultBlockFunction() noexcept {
#if defined(__wasm_simd128__)
  if constexpr (Variant::kSchedule == Schedule::kRotate) return &TransformBlocksSimd128<Variant>;
#endif
#if QUILLET_X86_BACKENDS
  if constexpr (!kFloatOneBitWords<Variant>) return &TransformBlocksSse2<Variant>;
#endif
  return &TransformBlocksPortable<Variant>;
}

template <typename Variant>
BlockFunction FastBlockFunction(const CpuFeatures& cpu) noexcept {
  return Backends<Variant>(cpu).fastest().function;
}

template <typename Variant>
BlockFunction SelectBlockFunction(std::size_t length) noexcept {
  if (length >= kFastPathThreshold) return FastBlockFunction<Variant>(DetectCpu());
  return DefaultBlockFunction<Variant>();
}

template <typename Variant>
CopyingBlockFunction FastCopyingBlockFunction([[maybe_unused]] const CpuFeatures& cpu) noexcept {
#if QUILLET_SHA_EXTENSIONS
  if constexpr (std::is_same_v<Variant, StandardSha>) {
    if (cpu.sha) return &TransformBlocksShaNiCopying;
  } else if constexpr (std::is_same_v<Variant, LockdownSha>) {
    if (cpu.sha) return &TransformBlocksShaNiLittleEndianCopying;
  } else if constexpr (std::is_same_v<Variant, BrokenSha>) {
    if (cpu.sha && cpu.avx2 && cpu.avx512vl) return &TransformBlocksShaNiBroken512Copying;
    if (cpu.sha && cpu.avx2) return &TransformBlocksShaNiBrokenCopying;
  }
#endif
  return nullptr;
}

template <typename Variant>
CopyingBlockFunction SelectCopyingBlockFunction(std::size_t length) noexcept {
  if (length >= kFastPathThreshold) return FastCopyingBlockFunction<Variant>(DetectCpu());
  return nullptr;
}

#define QUILLET_INSTANTIATE(V)                                                               \
  template BackendTable Backends<V>(const CpuFeatures&) noexcept;                            \
  template BlockFunction FastBlockFunction<V>(const CpuFeatures&) noexcept;                  \
  template BlockFunction DefaultBlockFunction<V>() noexcept;                                 \
  template BlockFunction SelectBlockFunction<V>(std::size_t) noexcept;                      \
  template CopyingBlockFunction FastCopyingBlockFunction<V>(const CpuFeatures&) noexcept;    \
  template CopyingBlockFunction SelectCopyingBlockFunction<V>(std::size_t) noexcept;
QUILLET_SHA1_FOR_EACH_VARIANT(QUILLET_INSTANTIATE)
#undef QUILLET_INSTANTIATE

}  // namespace quillet::sha1
