// The table of algorithms and the type-erased hasher over it. Adding a
// digest is a row of algorithm_table.hpp (with its streaming hasher).
#include <algorithm>
#include <array>
#include <cstring>
#include <new>
#include <type_traits>

#include "api/algorithm_table.hpp"
#include "common/hex.hpp"
#include "common/secure_wipe.hpp"
#include "md5/many.hpp"
#include "quillet/digest.hpp"
#include "sha1/many.hpp"

namespace quillet {

namespace {

// The operations of one concrete hasher type over the Hasher's storage.
template <typename Concrete>
struct OpsFor {
  static_assert(sizeof(Concrete) <= detail::kHasherStorage);
  static_assert(alignof(Concrete) <= detail::kHasherAlignment);
  static Concrete& Get(void* storage) { return *std::launder(static_cast<Concrete*>(storage)); }
  static void Construct(void* storage) noexcept { new (storage) Concrete; }
  static void Copy(void* storage, const void* from) noexcept {
    new (storage) Concrete(*std::launder(static_cast<const Concrete*>(from)));
  }
  static void Update(void* storage, std::span<const std::byte> data) noexcept {
    Get(storage).Update(data);
  }
  static void Finish(void* storage, std::uint8_t* digest) noexcept {
    auto bytes = Get(storage).Finish();
    std::memcpy(digest, bytes.data(), bytes.size());
    SecureWipeObject(bytes);
  }
  static void Destroy(void* storage) noexcept { Get(storage).~Concrete(); }
  static constexpr detail::HasherOps kOps = {&Construct, &Copy, &Update, &Finish, &Destroy};
};

// A message of the caller's batch, for the engines' many-message drivers.
std::span<const std::uint8_t> MessageAt(const void* batch, std::size_t i) {
  const ByteView& view = static_cast<const ByteView*>(batch)[i];
  return {reinterpret_cast<const std::uint8_t*>(view.bytes().data()), view.bytes().size()};
}

// The engines' DigestMany, writing into the caller's Digests, wiping the
// stack below it as the one-shot calls do (the many-message kernels have the
// deepest frames of the library).
template <typename Engine, std::size_t kSize>
void ManyChunks(std::span<const ByteView> messages, std::span<Digest> digests) noexcept {
  constexpr std::size_t kChunk = 64;
  const std::size_t count = std::min(messages.size(), digests.size());
  for (std::size_t at = 0; at < count; at += kChunk) {
    std::array<std::array<std::uint8_t, kSize>, kChunk> out;
    const std::size_t n = std::min(kChunk, count - at);
    Engine::Run(messages.data() + at, n, out.data());
    for (std::size_t i = 0; i < n; ++i) digests[at + i] = Digest(out[i].data(), kSize);
    SecureWipeObject(out);
  }
}

// The chunks run in a frame of their own, burnt after: the digests' copies
// the compiler makes in that frame (as it fills the caller's) go too.
template <typename Engine, std::size_t kSize>
void Many(std::span<const ByteView> messages, std::span<Digest> digests) noexcept {
  BurnAfter<kManyStackBurnSize>([&] { ManyChunks<Engine, kSize>(messages, digests); });
}

// The many-message driver and the streaming hasher of each engine.
template <typename Variant>
struct EngineRuns {
  static void Run(const ByteView* batch, std::size_t n, sha1::Digest* out) noexcept {
    sha1::DigestMany<Variant>(batch, &MessageAt, n, out);
  }
};
template <>
struct EngineRuns<table::Md5Engine> {
  static void Run(const ByteView* batch, std::size_t n, md5::Digest* out) noexcept {
    md5::DigestMany(batch, &MessageAt, n, out);
  }
};
template <Algorithm kAlgorithm>
using HasherOf =
    std::conditional_t<kAlgorithm == Algorithm::kMd5, Md5Hasher, ShaHasher<kAlgorithm>>;

#define QUILLET_ROW(value, engine, name, export_name, size) \
  {Algorithm::value, name, export_name, size, kBlockSize,    \
   &OpsFor<HasherOf<Algorithm::value>>::kOps, &Many<EngineRuns<engine>, size>},
constexpr AlgorithmInfo kAlgorithms[] = {QUILLET_FOR_EACH_ALGORITHM(QUILLET_ROW)};
#undef QUILLET_ROW

bool SameIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

}  // namespace

std::span<const AlgorithmInfo> Algorithms() noexcept { return kAlgorithms; }

const AlgorithmInfo& Info(Algorithm algorithm) noexcept {
  return kAlgorithms[static_cast<std::size_t>(algorithm)];
}

std::optional<Algorithm> FindAlgorithm(std::string_view name) noexcept {
  for (const AlgorithmInfo& info : kAlgorithms) {
    if (SameIgnoringCase(info.name, name)) return info.algorithm;
  }
  return std::nullopt;
}

Hasher::Hasher(Algorithm algorithm) noexcept : algorithm_(algorithm) {
  Info(algorithm_).ops->construct(storage_);
}

Hasher::~Hasher() { Info(algorithm_).ops->destroy(storage_); }

Hasher::Hasher(const Hasher& other) noexcept : algorithm_(other.algorithm_) {
  Info(algorithm_).ops->copy(storage_, other.storage_);
}

Hasher& Hasher::operator=(const Hasher& other) noexcept {
  if (this == &other) return *this;
  Info(algorithm_).ops->destroy(storage_);
  algorithm_ = other.algorithm_;
  Info(algorithm_).ops->copy(storage_, other.storage_);
  return *this;
}

Hasher& Hasher::Update(ByteView data) noexcept {
  Info(algorithm_).ops->update(storage_, data.bytes());
  return *this;
}

Digest Hasher::Finish() noexcept {
  std::uint8_t bytes[kMaxDigestSize];
  const AlgorithmInfo& info = Info(algorithm_);
  info.ops->finish(storage_, bytes);
  const Digest digest(bytes, info.digest_size);
  SecureWipeObject(bytes);
  return digest;
}

void DigestMany(Algorithm algorithm, std::span<const ByteView> messages,
                std::span<Digest> digests) noexcept {
  Info(algorithm).digest_many(messages, digests);
}

DigestText ToHex(const Digest& digest, bool upper_case) noexcept {
  DigestText text;
  WriteHex(digest.data(), digest.size(), text.chars.data(), upper_case);
  text.size = 2 * digest.size();
  return text;
}

}  // namespace quillet
