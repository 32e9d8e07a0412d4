#include "sha1/dispatch.hpp"

#include <type_traits>

#include "sha1/backends.hpp"

namespace quillet::sha1 {

namespace {

// Fills the next entry field by field: an aggregate of addresses would be
// built from a constant that some compilers (GCC for s390x) put in writable
// data, which the library has none of.
void Add(std::array<Backend, kMaxBackends>& found, std::size_t& n, const char* name,
         BlockFunction function) noexcept {
  found[n].name = name;
  found[n].function = function;
  ++n;
}

}  // namespace

template <typename Variant>
std::array<Backend, kMaxBackends> Backends([[maybe_unused]] const CpuFeatures& cpu) noexcept {
  std::array<Backend, kMaxBackends> found{};
  std::size_t n = 0;
#if QUILLET_SHA_EXTENSIONS
  if constexpr (std::is_same_v<Variant, StandardSha>) {
    if (cpu.sha) Add(found, n, "sha-extensions", &TransformBlocksShaNi);
  } else if constexpr (std::is_same_v<Variant, LockdownSha>) {
    if (cpu.sha) Add(found, n, "sha-extensions", &TransformBlocksShaNiLittleEndian);
  } else if constexpr (std::is_same_v<Variant, BrokenSha>) {
    if (cpu.sha && cpu.avx2 && cpu.avx512vl) {
      Add(found, n, "sha-extensions+avx512vl", &TransformBlocksShaNiBroken512);
    }
    if (cpu.sha && cpu.avx2) Add(found, n, "sha-extensions+avx2", &TransformBlocksShaNiBroken);
  }
#endif
#if QUILLET_ARM_BACKENDS
  if (cpu.arm_sha1) Add(found, n, "armv8-sha1", &TransformBlocksArmv8<Variant>);
#endif
#if QUILLET_X86_BACKENDS
  if (cpu.avx2 && cpu.bmi) Add(found, n, "avx2+bmi", &TransformBlocksAvx2<Variant>);
  Add(found, n, "sse2", &TransformBlocksSse2<Variant>);
#endif
  Add(found, n, "portable", &TransformBlocksPortable<Variant>);
  return found;
}

template <typename Variant>
BlockFunction DefaultBlockFunction() noexcept {
#if QUILLET_X86_BACKENDS
  return &TransformBlocksSse2<Variant>;
#else
  return &TransformBlocksPortable<Variant>;
#endif
}

template <typename Variant>
BlockFunction FastBlockFunction(const CpuFeatures& cpu) noexcept {
  return Backends<Variant>(cpu)[0].function;
}

template <typename Variant>
BlockFunction SelectBlockFunction(std::size_t length) noexcept {
  if (length >= kFastPathThreshold) return FastBlockFunction<Variant>(DetectCpu());
  return DefaultBlockFunction<Variant>();
}

#define QUILLET_INSTANTIATE(V)                                                               \
  template std::array<Backend, kMaxBackends> Backends<V>(const CpuFeatures&) noexcept;        \
  template BlockFunction FastBlockFunction<V>(const CpuFeatures&) noexcept;                  \
  template BlockFunction DefaultBlockFunction<V>() noexcept;                                 \
  template BlockFunction SelectBlockFunction<V>(std::size_t) noexcept;
QUILLET_SHA1_FOR_EACH_VARIANT(QUILLET_INSTANTIATE)
#undef QUILLET_INSTANTIATE

}  // namespace quillet::sha1
