// The streaming C interface (quillet/stream.h) over the C++ API's Hasher,
// algorithm table and DigestMany. Nothing here throws or uses the C++
// runtime: the hashers live in memory from malloc or in the caller's own.
#include "quillet/stream.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <type_traits>

#include "common/secure_wipe.hpp"
#include "quillet/digest.hpp"
#include "quillet/quillet.h"

struct quillet_hasher {
  quillet::Hasher hasher;
  bool finished;
};

namespace quillet {

namespace {

// A size the process can hold (every one, where size_t has 64 bits).
constexpr bool Fits(std::uint64_t size) {
  if constexpr (sizeof(std::size_t) >= sizeof(std::uint64_t)) {
    return true;
  } else {
    return size <= std::numeric_limits<std::size_t>::max();
  }
}

// The row of an algorithm's number (1 to the table's size), or null.
const AlgorithmInfo* RowOf(std::uint32_t number) {
  const auto table = Algorithms();
  if (number == 0 || number > table.size()) return nullptr;
  return &table[number - 1];
}

std::uint32_t NumberOf(Algorithm algorithm) {
  return static_cast<std::uint32_t>(algorithm) + 1;
}

// The caller's bytes as the API's view, once their size is known to fit.
ByteView View(const void* data, std::uint64_t size) {
  return ByteView(std::span<const std::byte>(static_cast<const std::byte*>(data),
                                             static_cast<std::size_t>(size)));
}

quillet_status CheckInput(const void* data, std::uint64_t size) {
  if (!Fits(size)) return QUILLET_ERROR_TOO_LARGE;
  if (data == nullptr && size != 0) return QUILLET_ERROR_NULL;
  return QUILLET_OK;
}

// Finishes `hasher` into the caller's buffer, which the caller has checked.
void FinishInto(Hasher& hasher, void* out) {
  Digest digest = hasher.Finish();
  std::memcpy(out, digest.data(), digest.size());
  SecureWipeObject(digest);
}

quillet_status CheckOutput(Algorithm algorithm, const void* out, std::uint64_t out_size) {
  if (out == nullptr) return QUILLET_ERROR_NULL;
  if (out_size < Info(algorithm).digest_size) return QUILLET_ERROR_BUFFER_TOO_SMALL;
  return QUILLET_OK;
}

// The caller-allocated state: a header of plain bytes at the start of the
// caller's memory, read and written with memcpy at whatever alignment, and
// the Hasher at the first address after it that suits a Hasher. The header
// records where the Hasher was placed; when the bytes have been moved to an
// address of another alignment, the Hasher's bytes are moved to where the
// new address wants them before it is used. That is sound because a Hasher
// is its algorithm and the engine's state, plain data that relocates byte
// for byte (the block function it caches is a pointer to code).
static_assert(std::is_trivially_copyable_v<sha1::ShaState> &&
              std::is_trivially_copyable_v<md5::Md5Context>);

struct StateHeader {
  std::uint32_t magic;
  std::uint8_t offset;    // of the Hasher, from the start of the state
  std::uint8_t finished;  // 1 after finish, until reset
  std::uint8_t unused[2];
};
constexpr std::uint32_t kStateMagic = 0x51535431;  // "QST1"
constexpr std::size_t kHeaderSize = sizeof(StateHeader);
constexpr std::size_t kStateAlign = alignof(Hasher);
constexpr std::size_t kStateSize = kHeaderSize + kStateAlign - 1 + sizeof(Hasher);
static_assert(kStateSize <= QUILLET_STATE_SIZE, "QUILLET_STATE_SIZE is too small");

unsigned char* Bytes(void* state) { return static_cast<unsigned char*>(state); }

// Where a Hasher goes in a state that starts at `state`.
std::uint8_t OffsetFor(const void* state) {
  const auto start = reinterpret_cast<std::uintptr_t>(state) + kHeaderSize;
  const std::uintptr_t pad = (kStateAlign - start % kStateAlign) % kStateAlign;
  return static_cast<std::uint8_t>(kHeaderSize + pad);
}

// The header of a state that init made, or false.
bool ReadHeader(const void* state, StateHeader& header) {
  std::memcpy(&header, state, sizeof header);
  if (header.magic != kStateMagic) return false;
  if (header.offset < kHeaderSize || header.offset >= kHeaderSize + kStateAlign) return false;
  if (header.finished > 1) return false;
  Algorithm algorithm;
  std::memcpy(&algorithm, static_cast<const unsigned char*>(state) + header.offset,
              sizeof algorithm);
  return static_cast<std::size_t>(algorithm) < Algorithms().size();
}

void WriteHeader(void* state, const StateHeader& header) {
  std::memcpy(state, &header, sizeof header);
}

// The state's Hasher, moved first to where this address wants it; null for
// memory that holds no state.
Hasher* Locate(void* state, StateHeader& header) {
  if (!ReadHeader(state, header)) return nullptr;
  const std::uint8_t wanted = OffsetFor(state);
  if (wanted != header.offset) {
    std::memmove(Bytes(state) + wanted, Bytes(state) + header.offset, sizeof(Hasher));
    header.offset = wanted;
    WriteHeader(state, header);
  }
  return std::launder(static_cast<Hasher*>(static_cast<void*>(Bytes(state) + wanted)));
}

}  // namespace

}  // namespace quillet

using quillet::Algorithm;
using quillet::AlgorithmInfo;
using quillet::Hasher;

extern "C" {

const char* quillet_version(void) { return QUILLET_VERSION_STRING; }

std::uint32_t quillet_abi_version(void) { return QUILLET_ABI_VERSION; }

const char* quillet_status_text(quillet_status status) {
  switch (status) {
    case QUILLET_OK:
      return "success";
    case QUILLET_ERROR_NULL:
      return "null pointer";
    case QUILLET_ERROR_UNKNOWN_ALGORITHM:
      return "unknown algorithm";
    case QUILLET_ERROR_OUT_OF_MEMORY:
      return "out of memory";
    case QUILLET_ERROR_FINISHED:
      return "hasher already finished (reset it to start a new message)";
    case QUILLET_ERROR_BUFFER_TOO_SMALL:
      return "buffer too small";
    case QUILLET_ERROR_TOO_LARGE:
      return "size too large for this process";
    case QUILLET_ERROR_BAD_STATE:
      return "memory holds no initialised state";
    default:
      return "unknown status";
  }
}

std::uint32_t quillet_algorithm_count(void) {
  return static_cast<std::uint32_t>(quillet::Algorithms().size());
}

quillet_status quillet_algorithm_name(std::uint32_t algorithm, const char** name) {
  if (name == nullptr) return QUILLET_ERROR_NULL;
  const AlgorithmInfo* row = quillet::RowOf(algorithm);
  if (row == nullptr) return QUILLET_ERROR_UNKNOWN_ALGORITHM;
  *name = row->name.data();  // a string literal: zero-terminated
  return QUILLET_OK;
}

quillet_status quillet_algorithm_find(const char* name, std::uint32_t* algorithm) {
  if (name == nullptr || algorithm == nullptr) return QUILLET_ERROR_NULL;
  const auto found = quillet::FindAlgorithm(name);
  if (!found) return QUILLET_ERROR_UNKNOWN_ALGORITHM;
  *algorithm = quillet::NumberOf(*found);
  return QUILLET_OK;
}

quillet_status quillet_digest_size(std::uint32_t algorithm, std::uint64_t* size) {
  if (size == nullptr) return QUILLET_ERROR_NULL;
  const AlgorithmInfo* row = quillet::RowOf(algorithm);
  if (row == nullptr) return QUILLET_ERROR_UNKNOWN_ALGORITHM;
  *size = row->digest_size;
  return QUILLET_OK;
}

quillet_status quillet_digest_size_by_name(const char* name, std::uint64_t* size) {
  std::uint32_t algorithm = 0;
  if (size == nullptr) return QUILLET_ERROR_NULL;
  const quillet_status status = quillet_algorithm_find(name, &algorithm);
  return status != QUILLET_OK ? status : quillet_digest_size(algorithm, size);
}

quillet_status quillet_digest(std::uint32_t algorithm, const void* data, std::uint64_t size,
                              void* out, std::uint64_t out_size) {
  const AlgorithmInfo* row = quillet::RowOf(algorithm);
  if (row == nullptr) return QUILLET_ERROR_UNKNOWN_ALGORITHM;
  quillet_status status = quillet::CheckInput(data, size);
  if (status == QUILLET_OK) status = quillet::CheckOutput(row->algorithm, out, out_size);
  if (status != QUILLET_OK) return status;
  Hasher hasher(row->algorithm);
  hasher.Update(quillet::View(data, size));
  quillet::FinishInto(hasher, out);
  return QUILLET_OK;
}

quillet_status quillet_digest_many(std::uint32_t algorithm, std::uint64_t count,
                                   const void* const* messages, const std::uint64_t* sizes,
                                   void* digests, std::uint64_t digests_size) {
  const AlgorithmInfo* row = quillet::RowOf(algorithm);
  if (row == nullptr) return QUILLET_ERROR_UNKNOWN_ALGORITHM;
  if (count == 0) return QUILLET_OK;
  if (messages == nullptr || sizes == nullptr || digests == nullptr) return QUILLET_ERROR_NULL;
  const std::size_t digest_size = row->digest_size;
  if (!quillet::Fits(count) || count > std::numeric_limits<std::size_t>::max() / digest_size) {
    return QUILLET_ERROR_TOO_LARGE;  // more digests than memory holds
  }
  if (count > digests_size / digest_size) return QUILLET_ERROR_BUFFER_TOO_SMALL;
  const auto n = static_cast<std::size_t>(count);
  // Every message is checked before any is hashed: a call that fails writes
  // nothing.
  for (std::size_t i = 0; i < n; ++i) {
    const quillet_status status = quillet::CheckInput(messages[i], sizes[i]);
    if (status != QUILLET_OK) return status;
  }
  // In batches on the stack, so that nothing is allocated; each batch is
  // as many messages as the widest kernel has lanes, and more.
  constexpr std::size_t kBatch = 64;
  auto* const out = static_cast<unsigned char*>(digests);
  for (std::size_t at = 0; at < n; at += kBatch) {
    const std::size_t m = n - at < kBatch ? n - at : kBatch;
    quillet::ByteView views[kBatch];
    quillet::Digest batch[kBatch];
    for (std::size_t i = 0; i < m; ++i) views[i] = quillet::View(messages[at + i], sizes[at + i]);
    quillet::DigestMany(row->algorithm, std::span<const quillet::ByteView>(views, m),
                        std::span<quillet::Digest>(batch, m));
    for (std::size_t i = 0; i < m; ++i) {
      std::memcpy(out + (at + i) * digest_size, batch[i].data(), digest_size);
    }
    quillet::SecureWipeObject(batch);
  }
  return QUILLET_OK;
}

quillet_status quillet_hasher_new(std::uint32_t algorithm, quillet_hasher** hasher) {
  if (hasher == nullptr) return QUILLET_ERROR_NULL;
  *hasher = nullptr;
  const AlgorithmInfo* row = quillet::RowOf(algorithm);
  if (row == nullptr) return QUILLET_ERROR_UNKNOWN_ALGORITHM;
  void* memory = std::malloc(sizeof(quillet_hasher));
  if (memory == nullptr) return QUILLET_ERROR_OUT_OF_MEMORY;
  *hasher = new (memory) quillet_hasher{Hasher(row->algorithm), false};
  return QUILLET_OK;
}

quillet_status quillet_hasher_update(quillet_hasher* hasher, const void* data,
                                     std::uint64_t size) {
  if (hasher == nullptr) return QUILLET_ERROR_NULL;
  const quillet_status status = quillet::CheckInput(data, size);
  if (status != QUILLET_OK) return status;
  if (hasher->finished) return QUILLET_ERROR_FINISHED;
  hasher->hasher.Update(quillet::View(data, size));
  return QUILLET_OK;
}

quillet_status quillet_hasher_finish(quillet_hasher* hasher, void* out, std::uint64_t out_size) {
  if (hasher == nullptr) return QUILLET_ERROR_NULL;
  if (hasher->finished) return QUILLET_ERROR_FINISHED;
  const quillet_status status = quillet::CheckOutput(hasher->hasher.algorithm(), out, out_size);
  if (status != QUILLET_OK) return status;
  quillet::FinishInto(hasher->hasher, out);
  hasher->finished = true;
  return QUILLET_OK;
}

quillet_status quillet_hasher_copy(const quillet_hasher* hasher, quillet_hasher** copy) {
  if (copy == nullptr) return QUILLET_ERROR_NULL;
  *copy = nullptr;
  if (hasher == nullptr) return QUILLET_ERROR_NULL;
  void* memory = std::malloc(sizeof(quillet_hasher));
  if (memory == nullptr) return QUILLET_ERROR_OUT_OF_MEMORY;
  *copy = new (memory) quillet_hasher{*hasher};
  return QUILLET_OK;
}

quillet_status quillet_hasher_reset(quillet_hasher* hasher) {
  if (hasher == nullptr) return QUILLET_ERROR_NULL;
  hasher->hasher = Hasher(hasher->hasher.algorithm());
  hasher->finished = false;
  return QUILLET_OK;
}

quillet_status quillet_hasher_algorithm(const quillet_hasher* hasher, std::uint32_t* algorithm) {
  if (hasher == nullptr || algorithm == nullptr) return QUILLET_ERROR_NULL;
  *algorithm = quillet::NumberOf(hasher->hasher.algorithm());
  return QUILLET_OK;
}

void quillet_hasher_free(quillet_hasher* hasher) {
  if (hasher == nullptr) return;
  hasher->~quillet_hasher();  // the Hasher wipes its state
  quillet::SecureWipe(hasher, sizeof *hasher);
  std::free(hasher);
}

std::uint64_t quillet_state_size(void) { return quillet::kStateSize; }

std::uint64_t quillet_state_align(void) { return quillet::kStateAlign; }

quillet_status quillet_state_init(void* state, std::uint64_t state_size, std::uint32_t algorithm) {
  if (state == nullptr) return QUILLET_ERROR_NULL;
  const AlgorithmInfo* row = quillet::RowOf(algorithm);
  if (row == nullptr) return QUILLET_ERROR_UNKNOWN_ALGORITHM;
  if (state_size < quillet::kStateSize) return QUILLET_ERROR_BUFFER_TOO_SMALL;
  const quillet::StateHeader header = {quillet::kStateMagic, quillet::OffsetFor(state), 0, {0, 0}};
  new (quillet::Bytes(state) + header.offset) Hasher(row->algorithm);
  quillet::WriteHeader(state, header);
  return QUILLET_OK;
}

quillet_status quillet_state_update(void* state, const void* data, std::uint64_t size) {
  if (state == nullptr) return QUILLET_ERROR_NULL;
  quillet::StateHeader header;
  Hasher* hasher = quillet::Locate(state, header);
  if (hasher == nullptr) return QUILLET_ERROR_BAD_STATE;
  const quillet_status status = quillet::CheckInput(data, size);
  if (status != QUILLET_OK) return status;
  if (header.finished) return QUILLET_ERROR_FINISHED;
  hasher->Update(quillet::View(data, size));
  return QUILLET_OK;
}

quillet_status quillet_state_finish(void* state, void* out, std::uint64_t out_size) {
  if (state == nullptr) return QUILLET_ERROR_NULL;
  quillet::StateHeader header;
  Hasher* hasher = quillet::Locate(state, header);
  if (hasher == nullptr) return QUILLET_ERROR_BAD_STATE;
  if (header.finished) return QUILLET_ERROR_FINISHED;
  const quillet_status status = quillet::CheckOutput(hasher->algorithm(), out, out_size);
  if (status != QUILLET_OK) return status;
  quillet::FinishInto(*hasher, out);
  header.finished = 1;
  quillet::WriteHeader(state, header);
  return QUILLET_OK;
}

quillet_status quillet_state_copy(const void* from, void* to, std::uint64_t to_size) {
  if (from == nullptr || to == nullptr) return QUILLET_ERROR_NULL;
  quillet::StateHeader header;
  if (!quillet::ReadHeader(from, header)) return QUILLET_ERROR_BAD_STATE;
  if (to_size < quillet::kStateSize) return QUILLET_ERROR_BUFFER_TOO_SMALL;
  if (from == to) return QUILLET_OK;
  // The Hasher's bytes, from where `from` holds them (it may have been moved
  // and not used since) to where `to` wants them.
  const std::uint8_t from_offset = header.offset;
  header.offset = quillet::OffsetFor(to);
  std::memmove(quillet::Bytes(to) + header.offset,
               static_cast<const unsigned char*>(from) + from_offset, sizeof(Hasher));
  quillet::WriteHeader(to, header);
  return QUILLET_OK;
}

quillet_status quillet_state_reset(void* state) {
  if (state == nullptr) return QUILLET_ERROR_NULL;
  quillet::StateHeader header;
  Hasher* hasher = quillet::Locate(state, header);
  if (hasher == nullptr) return QUILLET_ERROR_BAD_STATE;
  *hasher = Hasher(hasher->algorithm());
  header.finished = 0;
  quillet::WriteHeader(state, header);
  return QUILLET_OK;
}

quillet_status quillet_state_clear(void* state, std::uint64_t state_size) {
  if (state == nullptr) return QUILLET_ERROR_NULL;
  if (state_size < quillet::kStateSize) return QUILLET_ERROR_BUFFER_TOO_SMALL;
  if (!quillet::Fits(state_size)) return QUILLET_ERROR_TOO_LARGE;
  // Whatever the memory holds, a state (its Hasher is plain data, which the
  // wipe ends) or a state's bytes left behind by a move.
  quillet::SecureWipe(state, static_cast<std::size_t>(state_size));
  return QUILLET_OK;
}

}  // extern "C"
