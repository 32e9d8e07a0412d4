// The password proof: BrokenSHA over the two tokens (each least significant
// byte first) followed by the BrokenSHA digest of the password.
//
// Everything derived from the password (its private copy, the first-stage
// digest, the 28-byte second-stage input) is wiped before it goes out of
// scope: the first-stage digest alone is as good as the password.
#include <cstring>

#include "boundary/byte_string.hpp"
#include "boundary/sha_frame.hpp"
#include "common/secure_wipe.hpp"
#include "password/double_hash.hpp"
#include "sha1/sha1.hpp"

namespace quillet::password {

bool ComputeDoubleHash(const ByteString* password, std::uint32_t first_token,
                       std::uint32_t second_token, sha1::Digest& proof) noexcept {
  SecondStageInput joined;
  const auto first = sha1::WordToBytes(first_token);
  const auto second = sha1::WordToBytes(second_token);
  std::memcpy(joined.data(), first.data(), first.size());
  std::memcpy(joined.data() + 4, second.data(), second.size());

  sha1::Digest inner;
  if (!boundary::DigestPrivateCopy(password, 0, 1, inner)) {
    SecureWipeObject(joined);
    return false;
  }
  std::memcpy(joined.data() + 8, inner.data(), inner.size());
  SecureWipeObject(inner);

  proof = sha1::ComputeSHA(joined, 0, 1);
  SecureWipeObject(joined);
  return true;
}

}  // namespace quillet::password

extern "C" ByteString QUILLET_CALL DoubleHashPassword(const ByteString* password,
                                                      const std::int32_t* firstToken,
                                                      const std::int32_t* secondToken) {
  using namespace quillet;
  // Each token is read once, as a bit pattern.
  const auto first = static_cast<std::uint32_t>(*firstToken);
  const auto second = static_cast<std::uint32_t>(*secondToken);
  sha1::Digest proof;
  if (!password::ComputeDoubleHash(password, first, second, proof)) return nullptr;
  const ByteString result = boundary::MakeResult(proof);
  SecureWipeObject(proof);
  return result;
}
