// Which block function hashes a message.
#pragma once

#include <cstddef>

#include "sha1/backends.hpp"
#include "sha1/sha1.hpp"

namespace quillet::sha1 {

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
template <bool kStandard, bool kBroken>
BlockFunction SelectBlockFunction(std::size_t length);

}  // namespace quillet::sha1
