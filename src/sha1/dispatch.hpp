// Which block function hashes a message.
#pragma once

#include <cstddef>

#include "sha1/sha1.hpp"

namespace quillet::sha1 {

// The block function for a message of `length` bytes.
template <bool kStandard, bool kBroken>
BlockFunction SelectBlockFunction(std::size_t length);

}  // namespace quillet::sha1
