#include "md5/many.hpp"

#include "common/bytes.hpp"
#include "md5/backends.hpp"
#include "md5/dispatch.hpp"

namespace quillet::md5 {

namespace {

struct LaneTraits {
  static constexpr std::size_t kWords = 4;
  // 0x80, zeros, then the 64-bit bit count least significant byte first.
  static constexpr PaddingRule kPadding = {true, false, true};
  static void Start(std::uint32_t *words) {
    Md5Context context;
    InitMD5(context);
    for (int i = 0; i < 4; ++i) words[i] = context.state[i];
  }
};

void Emit(Digest &out, const std::uint32_t *words) {
  for (int i = 0; i < 4; ++i) StoreLittleEndian32(out.data() + 4 * i, words[i]);
}

template <std::size_t kLanes>
void InLanes(LaneKernel kernel, const void *batch, MessageAt message_at, std::size_t count,
             Digest *out) {
  HashInLanes<LaneTraits, kLanes>(
      count, [&](std::size_t i) { return message_at(batch, i); }, kernel,
      SelectBlockFunction(std::size_t{1} << 20),
      [out](std::size_t i, const std::uint32_t *words) { Emit(out[i], words); });
}

}  // namespace

ManyKernels ManyKernelsFor([[maybe_unused]] const CpuFeatures &cpu) noexcept {
  ManyKernels found;
#if QUILLET_X86_BACKENDS
  if (cpu.avx512vl) found.Add("avx512 x32", {&Md5LanesAvx512, kAvx512Lanes});
  if (cpu.avx2) found.Add("avx2 x16", {&Md5LanesAvx2, kAvx2Lanes});
#endif
#if defined(__wasm_simd128__)
  found.Add("simd128 x8", {&Md5LanesSimd128, kSimd128Lanes});
#endif
  found.Add("one at a time", {nullptr, 1});
  return found;
}

void DigestManyWith(const ManyKernel &kernel, const void *batch, MessageAt message_at,
                    std::size_t count, Digest *out) noexcept {
  if (kernel.function == nullptr || count < 2) {
    for (std::size_t i = 0; i < count; ++i) {
      const auto message = message_at(batch, i);
      Md5Context context;
      InitMD5(context);
      UpdateMD5(context, message.data(), message.size());
      FinishMD5(out[i], context);
    }
    return;
  }
  WithLaneCount(kernel.lanes, [&](auto lanes) {
    InLanes<lanes>(kernel.function, batch, message_at, count, out);
  });
}

void DigestMany(const void *batch, MessageAt message_at, std::size_t count, Digest *out) noexcept {
  DigestManyWith(KernelForBatch(ManyKernelsFor(DetectCpu()), count), batch, message_at, count, out);
}

}  // namespace quillet::md5
