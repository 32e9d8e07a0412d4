#include "sha1/many.hpp"

#include <cstring>
#include <type_traits>

#include "sha1/backends.hpp"
#include "sha1/dispatch.hpp"
#include "sha1/engine.hpp"

namespace quillet::sha1 {

namespace {

template <typename Variant>
struct LaneTraits {
  static constexpr std::size_t kWords = 5;
  static constexpr PaddingRule kPadding = Variant::kPadding;
  static void Start(Word *words) { std::memcpy(words, kInitialH, sizeof kInitialH); }
};

template <typename Variant, std::size_t kLanes>
void InLanes(LaneKernel kernel, const void *batch, MessageAt message_at, std::size_t count,
             Digest *out) {
  const BlockFunction single = FastBlockFunction<Variant>(DetectCpu());
  HashInLanes<LaneTraits<Variant>, kLanes>(
      count, [&](std::size_t i) { return message_at(batch, i); }, kernel,
      [single](Word *words, const std::uint8_t *blocks, std::size_t n) {
        if (n != 0) single(words, blocks, n);
      },
      [out](std::size_t i, const Word *words) {
        Word h[5];
        std::memcpy(h, words, sizeof h);
        out[i] = DigestFromChainingWords<Variant>(h);
      });
}

}  // namespace

template <typename Variant>
ManyKernels ManyKernelsFor([[maybe_unused]] const CpuFeatures &cpu) noexcept {
  ManyKernels found;
  // Measured on AMD Zen 5 (4096 messages of 1 KiB): 32 AVX-512 lanes take
  // about two thirds of the time of two messages interleaved on the SHA
  // extensions; for the broken variant, whose one-bit schedule costs the SHA
  // extensions most, 16 AVX2 lanes are faster too.
#if QUILLET_X86_BACKENDS
  if (cpu.avx512vl) found.Add("avx512 x32", {&ShaLanesAvx512<Variant>, kAvx512Lanes});
  if constexpr (std::is_same_v<Variant, BrokenSha>) {
    if (cpu.avx2) found.Add("avx2 x16", {&ShaLanesAvx2<Variant>, kAvx2Lanes});
  }
#endif
#if QUILLET_SHA_EXTENSIONS
  if constexpr (std::is_same_v<Variant, StandardSha>) {
    if (cpu.sha) found.Add("sha-extensions x2", {&ShaLanesShaNi, 2});
  } else if constexpr (std::is_same_v<Variant, LockdownSha>) {
    if (cpu.sha) found.Add("sha-extensions x2", {&ShaLanesShaNiLittleEndian, 2});
  } else if constexpr (std::is_same_v<Variant, BrokenSha>) {
    if (cpu.sha && cpu.avx512vl) {
      found.Add("sha-extensions+avx512vl x2", {&ShaLanesShaNiBroken512, 2});
    }
    if (cpu.sha && cpu.avx2) found.Add("sha-extensions+avx2 x2", {&ShaLanesShaNiBroken, 2});
  }
#endif
#if QUILLET_X86_BACKENDS
  if constexpr (!std::is_same_v<Variant, BrokenSha>) {
    if (cpu.avx2) found.Add("avx2 x16", {&ShaLanesAvx2<Variant>, kAvx2Lanes});
  }
#endif
#if defined(__wasm_simd128__)
  found.Add("simd128 x8", {&ShaLanesSimd128<Variant>, kSimd128Lanes});
#endif
  found.Add("one at a time", {nullptr, 1});
  return found;
}

template <typename Variant>
void DigestManyWith(const ManyKernel &kernel, const void *batch, MessageAt message_at,
                    std::size_t count, Digest *out) noexcept {
  if (kernel.function == nullptr || count < 2) {
    // One message, or no kernel: each alone, as the one-shot call does.
    for (std::size_t i = 0; i < count; ++i) out[i] = ComputeVariant<Variant>(message_at(batch, i));
    return;
  }
  WithLaneCount(kernel.lanes, [&](auto lanes) {
    InLanes<Variant, lanes>(kernel.function, batch, message_at, count, out);
  });
}

template <typename Variant>
void DigestMany(const void *batch, MessageAt message_at, std::size_t count, Digest *out) noexcept {
  DigestManyWith<Variant>(KernelForBatch(ManyKernelsFor<Variant>(DetectCpu()), count), batch,
                          message_at, count, out);
}

#define QUILLET_INSTANTIATE(V)                                                              \
  template ManyKernels ManyKernelsFor<V>(const CpuFeatures &) noexcept;                     \
  template void DigestManyWith<V>(const ManyKernel &, const void *, MessageAt, std::size_t, \
                                  Digest *) noexcept;                                       \
  template void DigestMany<V>(const void *, MessageAt, std::size_t, Digest *) noexcept;
QUILLET_SHA1_FOR_EACH_VARIANT(QUILLET_INSTANTIATE)
#undef QUILLET_INSTANTIATE

}  // namespace quillet::sha1
