#include "md5/dispatch.hpp"

#include "md5/backends.hpp"

namespace quillet::md5 {

BackendTable Backends([[maybe_unused]] const CpuFeatures& cpu) noexcept {
  BackendTable found;
#if QUILLET_X86_BACKENDS
  // One lane of vector registers beats the scalar rounds only where vector
  // integer instructions take one cycle (Zen 4, Intel); on Zen 5 they take
  // two and it runs at half the speed.
  if (cpu.avx512vl && !cpu.vp2intersect) found.Add("avx512vl", &TransformMD5Avx512);
#endif
  found.Add("portable", &TransformMD5);
  return found;
}

BlockFunction SelectBlockFunction(std::size_t length) noexcept {
  if (length >= kFastPathThreshold) return Backends(DetectCpu()).fastest().function;
  return &TransformMD5;
}

}  // namespace quillet::md5
