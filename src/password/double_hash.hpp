// The two-stage password proof.
#pragma once

#include <array>
#include <cstdint>

#include "quillet/quillet.h"
#include "sha1/sha1.hpp"

namespace quillet::password {

// The second stage digests: first token, second token (4 bytes each, least
// significant first), then the 20-byte first-stage digest.
using SecondStageInput = std::array<std::uint8_t, 28>;

// The proof of the caller's password (read through `password`) and the two
// tokens. Returns false, with `proof` untouched, when memory runs out.
bool ComputeDoubleHash(const ByteString* password, std::uint32_t first_token,
                       std::uint32_t second_token, sha1::Digest& proof) noexcept;

}  // namespace quillet::password
