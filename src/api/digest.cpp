// The C++ API's one-shot functions: the same engines as the exports, over
// the caller's bytes in place.
#include "quillet/digest.hpp"

#include "common/hex.hpp"
#include "common/secure_wipe.hpp"
#include "md5/md5.hpp"
#include "password/double_hash.hpp"
#include "sha1/engine.hpp"

namespace quillet {

namespace {

std::span<const std::uint8_t> Octets(ByteView data) {
  return {reinterpret_cast<const std::uint8_t*>(data.bytes().data()), data.bytes().size()};
}

// Every function here runs its work in a frame of its own and wipes the
// stack that work used before it returns (the block functions' spill slots,
// the engine's temporaries, the result's copies).
template <typename Variant>
Sha1Digest OneShot(ByteView data) noexcept {
  return BurnAfter([&] { return sha1::ComputeVariant<Variant>(Octets(data)); });
}

}  // namespace

Sha1Digest StandardSHA(ByteView data) noexcept { return OneShot<sha1::StandardSha>(data); }
Sha1Digest BrokenSHA(ByteView data) noexcept { return OneShot<sha1::BrokenSha>(data); }
Sha1Digest LockdownSHA(ByteView data) noexcept { return OneShot<sha1::LockdownSha>(data); }

Md5Digest MD5(ByteView data) noexcept {
  return BurnAfter<kMd5StackBurnSize>([&] { return Md5Digest(md5::ComputeMD5(Octets(data))); });
}

Md5Text MD5Hex(ByteView data) noexcept {
  return BurnAfter<kMd5StackBurnSize>(
      [&] { return Md5Text(md5::DigestToHex(md5::ComputeMD5(Octets(data)))); });
}

Sha1Digest DoubleHashPassword(ByteView password, std::uint32_t first_token,
                              std::uint32_t second_token) noexcept {
  return BurnAfter([&] {
    sha1::Digest inner = sha1::ComputeVariant<sha1::BrokenSha>(Octets(password));
    const Sha1Digest proof = password::SecondStageSHA(first_token, second_token, inner);
    SecureWipeObject(inner);
    return proof;
  });
}

void detail::WriteHex(const std::uint8_t* bytes, std::size_t size, char* text,
                      bool upper_case) noexcept {
  quillet::WriteHex(bytes, size, text, upper_case);
}

}  // namespace quillet
