// The WebAssembly build's interface: the C++ API's hashers and the password
// proof as plain functions over the module's memory, for lib/wasm-backend.mjs.
// Built for wasm32 (WASI's C library for malloc and memcpy; no system calls
// are made) by scripts/build-wasm.mjs.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <new>

#include "quillet/digest.hpp"
#include "quillet/secure_wipe.hpp"

#define QUILLET_WASM_EXPORT(name) extern "C" __attribute__((export_name(#name)))

QUILLET_WASM_EXPORT(q_alloc) void* q_alloc(std::size_t size) { return std::malloc(size); }

// Memory that held a caller's bytes is wiped before it goes back.
QUILLET_WASM_EXPORT(q_free) void q_free(void* memory, std::size_t size) {
  if (memory == nullptr) return;
  quillet::SecureWipe(memory, size);
  std::free(memory);
}

// A hasher of quillet::Algorithms()[algorithm], or null.
QUILLET_WASM_EXPORT(q_hasher_new) quillet::Hasher* q_hasher_new(std::uint32_t algorithm) {
  if (algorithm >= quillet::Algorithms().size()) return nullptr;
  void* memory = std::malloc(sizeof(quillet::Hasher));
  if (memory == nullptr) return nullptr;
  return new (memory) quillet::Hasher(quillet::Algorithms()[algorithm].algorithm);
}

QUILLET_WASM_EXPORT(q_hasher_update)
void q_hasher_update(quillet::Hasher* hasher, const std::byte* bytes, std::size_t size) {
  hasher->Update(std::span<const std::byte>(bytes, size));
}

// Writes the digest to `out` (20 bytes at most) and returns its size. The
// result's copy in this frame (in the module's memory, where the stack of
// WebAssembly code keeps what has an address) is wiped.
QUILLET_WASM_EXPORT(q_hasher_finish)
std::size_t q_hasher_finish(quillet::Hasher* hasher, std::uint8_t* out) {
  quillet::Digest digest = hasher->Finish();
  const std::size_t size = digest.size();
  for (std::size_t i = 0; i < size; ++i) out[i] = digest.data()[i];
  quillet::SecureWipeObject(digest);
  return size;
}

QUILLET_WASM_EXPORT(q_hasher_copy) quillet::Hasher* q_hasher_copy(const quillet::Hasher* hasher) {
  void* memory = std::malloc(sizeof(quillet::Hasher));
  if (memory == nullptr) return nullptr;
  return new (memory) quillet::Hasher(*hasher);
}

// The hasher wipes what it holds as it is destroyed.
QUILLET_WASM_EXPORT(q_hasher_delete) void q_hasher_delete(quillet::Hasher* hasher) {
  if (hasher == nullptr) return;
  hasher->~Hasher();
  std::free(hasher);
}

// The password proof of `size` bytes at `password` into `out` (20 bytes).
QUILLET_WASM_EXPORT(q_double_hash)
void q_double_hash(const std::byte* password, std::size_t size, std::uint32_t first,
                   std::uint32_t second, std::uint8_t* out) {
  quillet::Sha1Digest proof =
      quillet::DoubleHashPassword(std::span<const std::byte>(password, size), first, second);
  for (std::size_t i = 0; i < proof.size(); ++i) out[i] = proof[i];
  quillet::SecureWipeObject(proof);
}
