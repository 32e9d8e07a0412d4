#include "md5/dispatch.hpp"

#include "md5/backends.hpp"

namespace quillet::md5 {

BackendTable Backends([[maybe_unused]] const CpuFeatures& cpu) noexcept {
  BackendTable found;
#if QUILLET_X86_BACKENDS
  // One lane of vector registers beats the scalar rounds only where vector
  // integer instructions take one cycle (Zen 4, Intel); on Zen 5 (the CPUs
  // with VP2INTERSECT) they take two and it runs at half the speed, so it
  // comes after the portable one there: listed, tested, not chosen.
  if (cpu.avx512vl && !cpu.vp2intersect) found.Add("avx512vl", &TransformMD5Avx512);
  found.Add("portable", &TransformMD5);
  if (cpu.avx512vl && cpu.vp2intersect) found.Add("avx512vl", &TransformMD5Avx512);
#else
  found.Add("portable", &TransformMD5);
#endif
  return found;
}

BlockFunction SelectBlockFunction(std::size_t length) noexcept {
  if (length >= kFastPathThreshold) return Backends(DetectCpu()).fastest().function;
  return &TransformMD5;
}

}  // namespace quillet::md5
