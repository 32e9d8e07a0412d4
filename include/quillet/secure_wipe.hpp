// quillet::SecureWipe: clearing memory that held a message, a digest or a
// password, for callers of the C++ API and the language packages built on it.
#ifndef QUILLET_SECURE_WIPE_HPP_
#define QUILLET_SECURE_WIPE_HPP_

#include <cstddef>
#include <cstring>

namespace quillet {

// SecureWipe zeroes `size` bytes at `data` (nothing for a size of 0; `data`
// may then be null). The guarantee: the zeroes are written even when the
// memory is released or goes out of scope right after the call, which a
// plain memset does not promise (the optimiser may drop a store that nothing
// reads). The empty asm statement takes the address and clobbers memory, so
// the compiler must assume the zeroes are read afterwards; memset keeps it at
// memory speed, which matters for the private copy of a large input. It
// clears only the bytes named: copies the compiler made elsewhere (registers,
// spilled temporaries) are the library's own entry points' concern, each of
// which clears the stack it used before it returns.
inline void SecureWipe(void* data, std::size_t size) noexcept {
  if (size == 0) return;
  std::memset(data, 0, size);
  __asm__ __volatile__("" : : "r"(data) : "memory");
}

// SecureWipeObject wipes a whole object (a context, a digest array, a stack
// buffer) with SecureWipe.
template <typename T>
inline void SecureWipeObject(T& object) noexcept {
  SecureWipe(&object, sizeof(T));
}

}  // namespace quillet

#endif  // QUILLET_SECURE_WIPE_HPP_
