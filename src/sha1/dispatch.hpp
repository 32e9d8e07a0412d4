// Which block function hashes a message: the table of those this CPU can run
// for a variant, fastest first and ending with the portable one, and the
// choice for a message of a given length.
#pragma once

#include <array>
#include <cstddef>

#include "common/cpu_features.hpp"
#include "common/dispatch.hpp"
#include "sha1/sha1.hpp"

namespace quillet::sha1 {

using Backend = quillet::Backend<BlockFunction>;
using BackendTable = quillet::BackendTable<BlockFunction, 6>;

// Every block function `cpu` can run for `Variant`, fastest first, the last
// one the portable function.
template <typename Variant>
BackendTable Backends(const CpuFeatures& cpu) noexcept;

// The fastest block function `cpu` allows for `Variant`.
template <typename Variant>
BlockFunction FastBlockFunction(const CpuFeatures& cpu) noexcept;

// The block function used without asking the CPU: SSE2 on x86, the portable
// one elsewhere.
template <typename Variant>
BlockFunction DefaultBlockFunction() noexcept;

// The block function for a message of `length` bytes: the default one below
// the threshold, otherwise the fastest the CPU offers. Asks the CPU on each
// call above the threshold; the library keeps no answer between calls.
template <typename Variant>
BlockFunction SelectBlockFunction(std::size_t length) noexcept;

// The block function with a side job that runs what FastBlockFunction
// chooses, where there is one: null where moving beside the rounds gains
// nothing (the block functions without SHA extensions keep every port busy).
template <typename Variant>
CopyingBlockFunction FastCopyingBlockFunction(const CpuFeatures& cpu) noexcept;

// The same for a message of `length` bytes: null below the threshold, where
// SelectBlockFunction does not ask the CPU.
template <typename Variant>
CopyingBlockFunction SelectCopyingBlockFunction(std::size_t length) noexcept;

}  // namespace quillet::sha1
