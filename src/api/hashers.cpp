// The C++ API's streaming hashers, over the engines' streaming operations.
#include "api/algorithm_table.hpp"
#include "common/secure_wipe.hpp"
#include "md5/md5.hpp"
#include "quillet/digest.hpp"
#include "sha1/engine.hpp"

namespace quillet {

namespace {

// The engine's variant behind each SHA-1 algorithm.
template <Algorithm kAlgorithm>
using VariantOf = typename table::EngineOf<kAlgorithm>::type;

std::span<const std::uint8_t> Octets(ByteView data) {
  return {reinterpret_cast<const std::uint8_t*>(data.bytes().data()), data.bytes().size()};
}

}  // namespace

template <Algorithm kAlgorithm>
ShaHasher<kAlgorithm>::ShaHasher() noexcept {
  sha1::StartSHA<VariantOf<kAlgorithm>>(state_);
}

template <Algorithm kAlgorithm>
ShaHasher<kAlgorithm>::~ShaHasher() {
  SecureWipeObject(state_);
}

template <Algorithm kAlgorithm>
ShaHasher<kAlgorithm>& ShaHasher<kAlgorithm>::Update(ByteView data) noexcept {
  const auto pending = static_cast<std::size_t>(state_.length % 64);
  sha1::UpdateSHA<VariantOf<kAlgorithm>>(state_, Octets(data));
  if (pending + data.bytes().size() >= 64) BurnStack();  // a block was hashed
  return *this;
}

template <Algorithm kAlgorithm>
Sha1Digest ShaHasher<kAlgorithm>::Finish() noexcept {
  return BurnAfter([this] { return sha1::FinishSHA<VariantOf<kAlgorithm>>(state_); });
}

template class ShaHasher<Algorithm::kStandardSha>;
template class ShaHasher<Algorithm::kBrokenSha>;
template class ShaHasher<Algorithm::kLockdownSha>;

Md5Hasher::Md5Hasher() noexcept { md5::InitMD5(context_); }

Md5Hasher::~Md5Hasher() { SecureWipeObject(context_); }

Md5Hasher& Md5Hasher::Update(ByteView data) noexcept {
  static constexpr std::uint8_t kNothing[1] = {0};
  const auto bytes = Octets(data);
  const std::size_t pending = (context_.count[0] >> 3) & 63;
  md5::UpdateMD5(context_, bytes.empty() ? kNothing : bytes.data(), bytes.size());
  if (pending + bytes.size() >= md5::kBlockSize) BurnStack<kMd5StackBurnSize>();  // a block was hashed
  return *this;
}

Md5Digest Md5Hasher::Finish() noexcept {
  const Md5Digest digest = BurnAfter<kMd5StackBurnSize>([this] {
    Md5Digest bytes;
    md5::FinishMD5(bytes, context_);  // wipes the context
    return bytes;
  });
  md5::InitMD5(context_);
  return digest;
}

Md5Text Md5Hasher::FinishHex() noexcept {
  const Md5Text text = BurnAfter<kMd5StackBurnSize>([this] { return md5::FinishMD5Hex(context_); });
  md5::InitMD5(context_);
  return text;
}

}  // namespace quillet
