// The SHA-1 family on many messages at once: the digests of a batch, each
// exactly the one-shot digest of its message, computed several at a time on
// the kernel the CPU runs fastest (32 AVX-512 lanes, two messages
// interleaved on the SHA extensions, 16 AVX2 lanes).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "common/cpu_features.hpp"
#include "common/dispatch.hpp"
#include "common/lanes.hpp"
#include "sha1/sha1.hpp"

namespace quillet::sha1 {

// Every kernel `cpu` can run for `Variant`, fastest first; the table ends
// with "one at a time" (no kernel: each message alone).
template <typename Variant>
ManyKernels ManyKernelsFor(const CpuFeatures& cpu) noexcept;

// The digest of each of `count` messages into out[0..count), on `kernel`.
template <typename Variant>
void DigestManyWith(const ManyKernel& kernel, const void* batch, MessageAt message_at,
                    std::size_t count, Digest* out) noexcept;

// The same on this CPU's fastest kernel for that many messages.
template <typename Variant>
void DigestMany(const void* batch, MessageAt message_at, std::size_t count, Digest* out) noexcept;

}  // namespace quillet::sha1
