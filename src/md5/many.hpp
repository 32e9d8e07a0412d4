// MD5 on many messages at once: the digests of a batch, each exactly the
// one-shot digest of its message, 32 AVX-512 or 16 AVX2 lanes at a time
// where the CPU has them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "common/cpu_features.hpp"
#include "common/dispatch.hpp"
#include "common/lanes.hpp"
#include "md5/md5.hpp"

namespace quillet::md5 {

// Every kernel `cpu` can run, fastest first; the table ends with "one at a
// time" (no kernel: each message alone).
ManyKernels ManyKernelsFor(const CpuFeatures& cpu) noexcept;

// The digest of each of `count` messages into out[0..count), on `kernel`, or
// on this CPU's fastest kernel for that many messages.
void DigestManyWith(const ManyKernel& kernel, const void* batch, MessageAt message_at,
                    std::size_t count, Digest* out) noexcept;
void DigestMany(const void* batch, MessageAt message_at, std::size_t count, Digest* out) noexcept;

}  // namespace quillet::md5
