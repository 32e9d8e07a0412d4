// The library's side of ByteString: reading a caller's argument, making and
// releasing strings. The allocator behind NewString/ReleaseString is the
// platform's (OLE on Windows, the library's own elsewhere); nothing above this
// header knows which.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "common/bytes.hpp"
#include "quillet/quillet.h"

// On ELF platforms the header binds callers to quillet_NAME, the library's
// own name for each export (see quillet.h); the plain name is its alias for
// callers that look it up by name.
#if !defined(_WIN32) && defined(__ELF__)
#define QUILLET_EXPORT_ALIAS(name) \
  extern "C" QUILLET_API decltype(name) quillet_##name __attribute__((alias(#name)));
#else
#define QUILLET_EXPORT_ALIAS(name)
#endif

namespace quillet::boundary {

// The count stored in the four bytes before `content`, in the platform's
// byte order (little-endian on Windows and x86).
inline std::uint32_t StoredCount(const std::uint8_t* content) { return LoadNative32(content - 4); }

// The content of the caller's string: the handle is read once from the
// variable at `reference`, the count from the four bytes before the first
// content byte. The null handle and a zero count both give an empty span whose
// address is a static empty buffer, never null. A null `reference` (no
// variable at all, a binding's mistake) reads as the null handle.
std::span<const std::uint8_t> ReadArgument(const ByteString* reference);

// A new string of `length` (>= 1) uninitialised bytes, or null when memory is
// short.
ByteString NewString(std::uint32_t length) noexcept;

// Releases a string made by NewString. Never called with a caller's string.
void ReleaseString(ByteString string) noexcept;

// The writable content bytes of a string the library made.
inline std::uint8_t* Content(ByteString string) {
  return reinterpret_cast<std::uint8_t*>(string);
}

// A new string holding `bytes` (non-empty), or null when memory is short.
ByteString MakeResult(std::span<const std::uint8_t> bytes) noexcept;

}  // namespace quillet::boundary
