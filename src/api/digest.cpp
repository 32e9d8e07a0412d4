// The C++ API's one-shot functions: the same engines as the exports, over
// the caller's bytes in place.
#include "quillet/digest.hpp"

#include "common/secure_wipe.hpp"
#include "md5/md5.hpp"
#include "password/double_hash.hpp"
#include "sha1/sha1.hpp"

namespace quillet {

namespace {

std::span<const std::uint8_t> Octets(std::span<const std::byte> data) {
  return {reinterpret_cast<const std::uint8_t*>(data.data()), data.size()};
}

}  // namespace

// Every function here wipes the stack its callees used before it returns
// (the block functions' spill slots, the engine's temporaries).
Sha1Digest StandardSHA(std::span<const std::byte> data) noexcept {
  const Sha1Digest digest = sha1::ComputeSHA(Octets(data), 1, 0);
  BurnStack();
  return digest;
}

Sha1Digest BrokenSHA(std::span<const std::byte> data) noexcept {
  const Sha1Digest digest = sha1::ComputeSHA(Octets(data), 0, 1);
  BurnStack();
  return digest;
}

Sha1Digest LockdownSHA(std::span<const std::byte> data) noexcept {
  const Sha1Digest digest = sha1::ComputeSHA(Octets(data), 0, 0);
  BurnStack();
  return digest;
}

Md5Digest MD5(std::span<const std::byte> data) noexcept {
  Md5Hasher hasher;
  return hasher.Update(data).Finish();
}

Md5Text MD5Hex(std::span<const std::byte> data) noexcept {
  Md5Hasher hasher;
  return hasher.Update(data).FinishHex();
}

Sha1Digest DoubleHashPassword(std::span<const std::byte> password, std::uint32_t first_token,
                              std::uint32_t second_token) noexcept {
  sha1::Digest inner = sha1::ComputeSHA(Octets(password), 0, 1);
  const Sha1Digest proof = password::SecondStageSHA(first_token, second_token, inner);
  SecureWipeObject(inner);
  BurnStack();
  return proof;
}

}  // namespace quillet
