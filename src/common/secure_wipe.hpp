// Clearing memory that held caller data or secrets derived from it.
#pragma once

#include <cstddef>
#include <cstring>

namespace quillet {

// SecureWipe zeroes `size` bytes at `data` in a way the optimiser may not
// drop: the empty asm statement takes the address and clobbers memory, so the
// compiler must assume the zeroes are read afterwards, even when the buffer is
// released or goes out of scope right after. memset keeps it at memory speed,
// which matters for the private copy of a large input.
inline void SecureWipe(void* data, std::size_t size) noexcept {
  if (size == 0) return;
  std::memset(data, 0, size);
  __asm__ __volatile__("" : : "r"(data) : "memory");
}

// Wipes a whole object (a context, a digest array, a stack buffer).
template <typename T>
inline void SecureWipeObject(T& object) noexcept {
  SecureWipe(&object, sizeof(T));
}

}  // namespace quillet
