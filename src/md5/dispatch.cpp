#include "md5/dispatch.hpp"

#include "md5/backends.hpp"

namespace quillet::md5 {

BackendTable Backends([[maybe_unused]] const CpuFeatures& cpu) noexcept {
  BackendTable found;
#if QUILLET_X86_BACKENDS
  // One lane of vector registers beats the scalar rounds where the vector
  // instructions on its chain take one cycle each (Intel's AVX-512 CPUs, by
  // published measurements). On AMD's vprold takes two (Zen 4, measured), so
  // a step costs five cycles or more against the scalar rounds' 4.5 on
  // average: it runs at 0.7x (Zen 4) and 0.47x (Zen 5) of them. There, and
  // where the vendor is not known, it comes after the portable one: listed,
  // tested, not chosen.
  if (cpu.avx512vl && !cpu.slow_one_lane_vectors) found.Add("avx512vl", &TransformMD5Avx512);
  found.Add("portable", &TransformMD5);
  if (cpu.avx512vl && cpu.slow_one_lane_vectors) found.Add("avx512vl", &TransformMD5Avx512);
#else
  found.Add("portable", &TransformMD5);
#endif
  return found;
}

// The one-lane vector form, where it is chosen, saves about a tenth of a
// block's 80 ns; asking the C library what the CPU has costs about 9 ns. So
// a message of fewer than four blocks is not worth the question, however
// cheap the answer.
constexpr std::size_t kAskThreshold =
    kFastPathThreshold > 4 * kBlockSize ? kFastPathThreshold : 4 * kBlockSize;

BlockFunction SelectBlockFunction(std::size_t length) noexcept {
  if (length >= kAskThreshold) return Backends(DetectCpu()).fastest().function;
  return &TransformMD5;
}

}  // namespace quillet::md5
