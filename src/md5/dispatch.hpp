// Which MD5 block function compresses a block: the table of those this CPU
// can run, ending with the portable TransformMD5, and the choice for a
// message of a given length.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/block_buffer.hpp"
#include "common/cpu_features.hpp"
#include "common/dispatch.hpp"

namespace quillet::md5 {

using BlockFunction = void (*)(std::uint32_t state[4], const std::uint8_t* blocks,
                               std::size_t count);
using Backend = quillet::Backend<BlockFunction>;
using BackendTable = quillet::BackendTable<BlockFunction, 3>;

// Every block function `cpu` can run, fastest first; the portable one is
// always there (last, unless a CPU runs some function slower than it).
BackendTable Backends(const CpuFeatures& cpu) noexcept;

// The block function for `length` more bytes: the portable one below the
// threshold where asking the CPU costs more than it can save (a few blocks,
// or more where the CPU is asked directly), otherwise the fastest the CPU
// offers. Asks on each call; nothing is kept between calls.
BlockFunction SelectBlockFunction(std::size_t length) noexcept;

}  // namespace quillet::md5
