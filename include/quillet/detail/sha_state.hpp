// The SHA-1 engine's streaming state, shared by the engine and the public
// streaming hashers that hold one.
#ifndef QUILLET_DETAIL_SHA_STATE_HPP_
#define QUILLET_DETAIL_SHA_STATE_HPP_

#include <cstddef>
#include <cstdint>

namespace quillet::sha1 {

// A message taken in so far: the chaining words, the bytes of its
// incomplete last block (the first length % 64 of `buffer`), its length, and
// the block function hashing it (chosen with the first piece; final once a
// piece was long enough to ask the CPU).
struct ShaState {
  std::uint32_t h[5];
  std::uint8_t buffer[64];
  std::uint64_t length;  // bytes taken in
  void (*transform)(std::uint32_t* h, const std::uint8_t* blocks, std::size_t count);
  bool transform_final;
};

}  // namespace quillet::sha1

#endif  // QUILLET_DETAIL_SHA_STATE_HPP_
