// The DoubleHashPassword export: the first stage runs BrokenSHA's own frame
// on the caller's password (a private copy, wiped after), the second stage
// digests the tokens and that digest. The first-stage digest is as good as
// the password, so it is wiped as soon as it has been used.
#include "boundary/byte_string.hpp"
#include "boundary/sha_frame.hpp"
#include "common/secure_wipe.hpp"
#include "password/double_hash.hpp"

extern "C" ByteString QUILLET_CALL DoubleHashPassword(const ByteString* password,
                                                      const std::int32_t* firstToken,
                                                      const std::int32_t* secondToken) {
  using namespace quillet;
  // Each token is read once, as a bit pattern.
  const auto first = static_cast<std::uint32_t>(*firstToken);
  const auto second = static_cast<std::uint32_t>(*secondToken);
  sha1::Digest inner;
  if (!boundary::DigestPrivateCopy(password, 0, 1, inner)) {
    BurnStack();
    return nullptr;
  }
  sha1::Digest proof = password::SecondStageSHA(first, second, inner);
  SecureWipeObject(inner);
  const ByteString result = boundary::MakeResult(proof);
  SecureWipeObject(proof);
  // The stages' frames below this one held the first-stage digest in
  // temporaries and the block functions' spill slots: wiped too.
  BurnStack();  // both stages
  return result;
}

QUILLET_EXPORT_ALIAS(DoubleHashPassword)
