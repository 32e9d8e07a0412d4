// Which block function hashes a message: the table of those this CPU can run
// for a variant, fastest first and ending with the portable one, and the
// choice for a message of a given length.
#pragma once

#include <array>
#include <cstddef>

#include "common/cpu_features.hpp"
#include "sha1/sha1.hpp"

namespace quillet::sha1 {

// A block function with its name, for the table.
struct Backend {
  const char* name;
  BlockFunction function;
};

inline constexpr std::size_t kMaxBackends = 5;

// Every block function `cpu` can run for `Variant`, fastest first, the last
// one the portable function; the rest of the array null. Tests and
// benchmarks read this table rather than naming block functions themselves.
template <typename Variant>
std::array<Backend, kMaxBackends> Backends(const CpuFeatures& cpu) noexcept;

// The fastest block function `cpu` allows for `Variant`.
template <typename Variant>
BlockFunction FastBlockFunction(const CpuFeatures& cpu) noexcept;

// The block function used without asking the CPU: SSE2 on x86, the portable
// one elsewhere.
template <typename Variant>
BlockFunction DefaultBlockFunction() noexcept;

// Where the library must run CPUID itself (Windows, C libraries that do not
// answer), shorter messages are hashed by the default block function (SSE2
// on x86) without asking. One CPUID leaf costs 5.6 microseconds in the AMD
// EPYC virtual machine we measure on and 6.8 in an Intel Xeon one (1.4 on
// another AMD one); the SHA extensions save about 0.5 ns a byte against the
// SSE2 block function there, so the question pays for itself only from about
// 12 KiB on. Where the C library answers, every message takes the fastest
// path.
inline constexpr std::size_t kFastPathThreshold = kCpuQueryIsCheap ? 0 : 16 * 1024;

// The block function for a message of `length` bytes: the default one below
// the threshold, otherwise the fastest the CPU offers. Asks the CPU on each
// call above the threshold; the library keeps no answer between calls.
template <typename Variant>
BlockFunction SelectBlockFunction(std::size_t length) noexcept;

}  // namespace quillet::sha1
