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

// The digest of `size` bytes at `bytes` by quillet::Algorithms()[algorithm]
// into `out`, in one call of the one-shot functions (whose stack is wiped
// as they return, at less cost than a hasher's): its raw bytes, or where
// `upper_hex` is set for MD5 the export's upper-case hexadecimal text.
// The `size` bytes at `bytes` (the caller's copy) are wiped. Returns what it
// wrote, 0 for an unknown algorithm.
QUILLET_WASM_EXPORT(q_digest)
std::size_t q_digest(std::uint32_t algorithm, std::byte* bytes, std::size_t size,
                     std::uint8_t* out, std::uint32_t upper_hex) {
  const std::span<const std::byte> data(bytes, size);
  const auto deliver = [out, bytes, size](auto& result) {
    quillet::SecureWipe(bytes, size);
    for (std::size_t i = 0; i < result.size(); ++i) out[i] = static_cast<std::uint8_t>(result[i]);
    const std::size_t written = result.size();
    quillet::SecureWipeObject(result);
    return written;
  };
  switch (algorithm) {
    case 0: { quillet::Sha1Digest digest = quillet::StandardSHA(data); return deliver(digest); }
    case 1: { quillet::Sha1Digest digest = quillet::BrokenSHA(data); return deliver(digest); }
    case 2: { quillet::Sha1Digest digest = quillet::LockdownSHA(data); return deliver(digest); }
    case 3:
      if (upper_hex != 0) {
        quillet::Md5Text text = quillet::MD5Hex(data);
        return deliver(text);
      } else {
        quillet::Md5Digest digest = quillet::MD5(data);
        return deliver(digest);
      }
    default: return 0;
  }
}

// The digests of `count` messages by quillet::Algorithms()[algorithm], with
// quillet::DigestMany: message i is table[2 i + 1] bytes at table[2 i]; its
// digest goes to out + i * (the digest's size). Returns 0 for an unknown
// algorithm or where memory ran out, else 1.
QUILLET_WASM_EXPORT(q_digest_many)
std::uint32_t q_digest_many(std::uint32_t algorithm, const std::uint32_t* table, std::size_t count,
                            std::uint8_t* out) {
  if (algorithm >= quillet::Algorithms().size()) return 0;
  const quillet::AlgorithmInfo& info = quillet::Algorithms()[algorithm];
  if (count == 0) return 1;
  auto* messages = static_cast<quillet::ByteView*>(std::malloc(count * sizeof(quillet::ByteView)));
  auto* digests = static_cast<quillet::Digest*>(std::malloc(count * sizeof(quillet::Digest)));
  if (messages == nullptr || digests == nullptr) {
    std::free(messages);
    std::free(digests);
    return 0;
  }
  for (std::size_t i = 0; i < count; ++i) {
    const auto* at = reinterpret_cast<const std::byte*>(static_cast<std::uintptr_t>(table[2 * i]));
    new (&messages[i]) quillet::ByteView(std::span<const std::byte>(at, table[2 * i + 1]));
    new (&digests[i]) quillet::Digest();
  }
  quillet::DigestMany(info.algorithm, std::span<const quillet::ByteView>(messages, count),
                      std::span<quillet::Digest>(digests, count));
  for (std::size_t i = 0; i < count; ++i) {
    for (std::size_t j = 0; j < info.digest_size; ++j) out[i * info.digest_size + j] = digests[i].data()[j];
  }
  q_free(digests, count * sizeof(quillet::Digest));
  std::free(messages);
  return 1;
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
