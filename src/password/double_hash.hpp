// The two-stage password proof.
#pragma once

#include <array>
#include <cstdint>

#include "sha1/engine.hpp"

namespace quillet::password {

// The second stage digests 28 bytes: the first token, the second token (4
// bytes each, least significant first), then the 20-byte first-stage digest
// (BrokenSHA of the password).
using SecondStageInput = std::array<std::uint8_t, 28>;

// BrokenSHA of the second-stage input built from the tokens and `inner`.
// Its frame holds the 28-byte input, and the caller's stack wipe clears it;
// `inner` is the caller's to wipe.
sha1::Digest SecondStageSHA(std::uint32_t first_token, std::uint32_t second_token,
                            const sha1::Digest& inner) noexcept;

}  // namespace quillet::password
