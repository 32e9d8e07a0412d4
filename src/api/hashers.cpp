// The C++ API's streaming hashers.
#include <cstring>

#include "common/secure_wipe.hpp"
#include "md5/md5.hpp"
#include "quillet/digest.hpp"
#include "sha1/dispatch.hpp"
#include "sha1/sha1.hpp"

namespace quillet {

namespace {

template <ShaVariant kVariant>
struct Switches;
template <>
struct Switches<ShaVariant::kStandard> {
  static constexpr bool kStandard = true, kBroken = false;
};
template <>
struct Switches<ShaVariant::kBroken> {
  static constexpr bool kStandard = false, kBroken = true;
};
template <>
struct Switches<ShaVariant::kLockdown> {
  static constexpr bool kStandard = false, kBroken = false;
};

}  // namespace

template <ShaVariant kVariant>
ShaHasher<kVariant>::ShaHasher() noexcept : transform_(nullptr), fast_path_checked_(false) {
  Reset();
}

template <ShaVariant kVariant>
ShaHasher<kVariant>::~ShaHasher() {
  SecureWipeObject(*this);
}

template <ShaVariant kVariant>
void ShaHasher<kVariant>::Reset() noexcept {
  std::memcpy(h_, sha1::kInitialH, sizeof h_);
  length_ = 0;
}

template <ShaVariant kVariant>
ShaHasher<kVariant>& ShaHasher<kVariant>::Update(std::span<const std::byte> data) noexcept {
  using S = Switches<kVariant>;
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(data.data());
  std::size_t size = data.size();
  if (size == 0) return *this;
  if (!fast_path_checked_) {
    // Where asking the CPU is costly it is asked only once a piece is large
    // enough to repay it; the answer is then kept for the hasher's life.
    transform_ = sha1::SelectBlockFunction<S::kStandard, S::kBroken>(size);
    fast_path_checked_ = size >= sha1::kFastPathThreshold;
  }
  const std::size_t pending = static_cast<std::size_t>(length_ % sha1::kBlockSize);
  length_ += size;
  if (pending != 0) {
    const std::size_t take = std::min(sha1::kBlockSize - pending, size);
    std::memcpy(buffer_ + pending, bytes, take);
    bytes += take;
    size -= take;
    if (pending + take < sha1::kBlockSize) return *this;
    transform_(h_, buffer_, 1);
  }
  const std::size_t whole = size / sha1::kBlockSize;
  if (whole != 0) {
    transform_(h_, bytes, whole);
    bytes += whole * sha1::kBlockSize;
    size -= whole * sha1::kBlockSize;
  }
  if (size != 0) std::memcpy(buffer_, bytes, size);
  if (pending + data.size() >= sha1::kBlockSize) BurnStack();  // a block was hashed
  return *this;
}

template <ShaVariant kVariant>
Sha1Digest ShaHasher<kVariant>::Finish() noexcept {
  using S = Switches<kVariant>;
  if (transform_ == nullptr) {
    transform_ = sha1::SelectBlockFunction<S::kStandard, S::kBroken>(0);
  }
  std::uint8_t final_blocks[2 * sha1::kBlockSize];
  const std::size_t pending = static_cast<std::size_t>(length_ % sha1::kBlockSize);
  const std::size_t count = sha1::PadFinalBlocks<S::kStandard, S::kBroken>(
      {buffer_, pending}, length_, final_blocks);
  if (count != 0) transform_(h_, final_blocks, count);
  const Sha1Digest digest = sha1::DigestFromChainingWords<S::kStandard>(h_);
  SecureWipeObject(final_blocks);
  BurnStack();
  SecureWipeObject(buffer_);
  Reset();
  return digest;
}

template class ShaHasher<ShaVariant::kStandard>;
template class ShaHasher<ShaVariant::kBroken>;
template class ShaHasher<ShaVariant::kLockdown>;

Md5Hasher::Md5Hasher() noexcept { md5::InitMD5(context_); }

Md5Hasher::~Md5Hasher() { SecureWipeObject(context_); }

Md5Hasher& Md5Hasher::Update(std::span<const std::byte> data) noexcept {
  static constexpr std::uint8_t kNothing[1] = {0};
  const auto* bytes =
      data.empty() ? kNothing : reinterpret_cast<const std::uint8_t*>(data.data());
  const std::size_t pending = (context_.count[0] >> 3) & 63;
  md5::UpdateMD5(context_, bytes, data.size());
  if (pending + data.size() >= md5::kBlockSize) BurnStack();  // a block was hashed
  return *this;
}

Md5Digest Md5Hasher::Finish() noexcept {
  Md5Digest digest;
  md5::FinishMD5(digest, context_);  // wipes the context
  BurnStack();
  md5::InitMD5(context_);
  return digest;
}

Md5Text Md5Hasher::FinishHex() noexcept {
  const Md5Text text = md5::FinishMD5Hex(context_);
  BurnStack();
  md5::InitMD5(context_);
  return text;
}

}  // namespace quillet
