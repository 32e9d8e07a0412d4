// Which block function hashes a message.
#pragma once

#include <cstddef>

#include "sha1/backends.hpp"
#include "sha1/sha1.hpp"

namespace quillet::sha1 {

// Where the library must run CPUID itself, messages shorter than this are
// hashed by the portable block function without asking: two CPUID leaves
// cost about 2.8 microseconds where the hypervisor traps them, and the
// SHA-extension rounds save about half a nanosecond a byte, so the question
// pays for itself only from a few KiB on (bench/ measures both sides). Where
// the C library answers, every message takes the fastest path.
inline constexpr std::size_t kFastPathThreshold = kCpuQueryIsCheap ? 0 : 8 * 1024;

// The block function for a message of `length` bytes: the portable one below
// the threshold or where the CPU offers nothing better. Asks the CPU on each
// call above the threshold; the library keeps no answer between calls.
template <bool kStandard, bool kBroken>
BlockFunction SelectBlockFunction(std::size_t length);

}  // namespace quillet::sha1
