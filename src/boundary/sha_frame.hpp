// The frame shared by the SHA-1 exports and the password proof's first stage.
#pragma once

#include <cstdint>

#include "quillet/quillet.h"
#include "sha1/sha1.hpp"

namespace quillet::boundary {

// Reads the caller's string through `data`, digests a private copy of its
// content with the engine selected by the switches, and wipes and releases
// the copy. Returns false, with `digest` untouched, when the copy cannot be
// allocated.
bool DigestPrivateCopy(const ByteString* data, std::uint8_t StandardFlag,
                       std::uint8_t BrokenFlag, sha1::Digest& digest) noexcept;

// The whole SHA-1 export frame: the digest of a private copy as a new 20-byte
// string, or null when memory runs out.
ByteString ShaExportFrame(const ByteString* data, std::uint8_t StandardFlag,
                          std::uint8_t BrokenFlag) noexcept;

}  // namespace quillet::boundary
