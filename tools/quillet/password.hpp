// quillet password FIRST SECOND: the proof of a password read from standard
// input, without echo on a terminal.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace quillet::tool {

// A 32-bit token: decimal from -2147483648 to 4294967295, or 0x followed by
// one to eight hexadecimal digits (leading zeros allowed).
std::optional<std::uint32_t> ParseToken(std::string_view text);

// Reads the password (one line, its final "\n" or "\r\n" removed) and prints
// the proof. Returns the exit status; usage errors are the caller's.
int PrintProof(std::uint32_t first, std::uint32_t second);

}  // namespace quillet::tool
