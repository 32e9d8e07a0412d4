// The MD5 engine's working record, shared by the engine and the public
// streaming hasher that holds one.
#ifndef QUILLET_DETAIL_MD5_CONTEXT_HPP_
#define QUILLET_DETAIL_MD5_CONTEXT_HPP_

#include <cstdint>

namespace quillet::md5 {

// The running state of one digest. The first (count[0] / 8) % 64 bytes of
// `buffer` are pending; the rest has no meaning.
struct Md5Context {
  std::uint32_t state[4];  // A, B, C, D
  std::uint32_t count[2];  // bits taken in, modulo 2^64, low word first
  std::uint8_t buffer[64];
};

}  // namespace quillet::md5

#endif  // QUILLET_DETAIL_MD5_CONTEXT_HPP_
