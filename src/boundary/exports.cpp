// The five exports. Each is a thin frame round one computation: it reads its
// arguments through the caller's references, hands plain bytes to the
// engine, and returns the result as a new string the caller owns. Every
// frame ends by wiping the stack its callees used (BurnStack).

#include "boundary/byte_string.hpp"
#include "common/secure_wipe.hpp"
#include "md5/md5.hpp"
#include "password/double_hash.hpp"
#include "sha1/engine.hpp"

namespace quillet::boundary {

namespace {

// Reads the caller's string through `data` and digests a private copy of its
// content with the engine the switches select: the engine makes, hashes and
// wipes the copy a cache-sized piece at a time, then it is released. False,
// with `digest` untouched, when the copy cannot be allocated.
bool DigestPrivateCopy(const ByteString* data, sha1::Switches switches,
                       sha1::Digest& digest) noexcept {
  const auto content = ReadArgument(data);
  const auto length = static_cast<std::uint32_t>(content.size());
  if (length == 0) {  // the empty input needs no copy and no allocation
    digest = sha1::ComputeSHA(content, switches.StandardFlag, switches.BrokenFlag);
    return true;
  }
  const ByteString copy = NewString(length);
  if (copy == nullptr) return false;
  sha1::ComputeSHAThroughCopy(content, Content(copy), switches.StandardFlag, switches.BrokenFlag,
                              digest);
  ReleaseString(copy);
  return true;
}

// The SHA-1 exports' frame: the digest of a private copy as a new 20-byte
// string, or null when memory runs out.
ByteString ShaFrame(const ByteString* data, sha1::Switches switches) noexcept {
  sha1::Digest digest;
  ByteString result = nullptr;
  if (DigestPrivateCopy(data, switches, digest)) result = MakeResult(digest);
  BurnStack();  // spill slots and temporaries of everything below
  return result;
}

}  // namespace

}  // namespace quillet::boundary

extern "C" {

ByteString QUILLET_CALL StandardSHA(const ByteString* data) {
  return quillet::boundary::ShaFrame(data, quillet::sha1::StandardSha::kSwitches);
}

ByteString QUILLET_CALL BrokenSHA(const ByteString* data) {
  return quillet::boundary::ShaFrame(data, quillet::sha1::BrokenSha::kSwitches);
}

ByteString QUILLET_CALL LockdownSHA(const ByteString* data) {
  return quillet::boundary::ShaFrame(data, quillet::sha1::LockdownSha::kSwitches);
}

// The caller's bytes read in place; the digest returned as 32 upper-case
// hexadecimal characters.
ByteString QUILLET_CALL MD5(const ByteString* data) {
  using namespace quillet;
  const auto content = boundary::ReadArgument(data);
  const md5::HexText text = md5::DigestToHex(md5::ComputeMD5(content));
  BurnStack<kMd5StackBurnSize>();  // the engine's frames and the digest's temporaries
  return boundary::MakeResult({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()});
}

// The first stage is BrokenSHA's own frame on the caller's password (a
// private copy, wiped after); the second digests the tokens and that digest.
// The first-stage digest is as good as the password, so it is wiped as soon
// as it has been used.
ByteString QUILLET_CALL DoubleHashPassword(const ByteString* password,
                                           const std::int32_t* firstToken,
                                           const std::int32_t* secondToken) {
  using namespace quillet;
  // Each token is read once, as a bit pattern; a null reference reads as 0.
  const auto first = firstToken == nullptr ? 0u : static_cast<std::uint32_t>(*firstToken);
  const auto second = secondToken == nullptr ? 0u : static_cast<std::uint32_t>(*secondToken);
  sha1::Digest inner;
  ByteString result = nullptr;
  if (boundary::DigestPrivateCopy(password, sha1::BrokenSha::kSwitches, inner)) {
    sha1::Digest proof = password::SecondStageSHA(first, second, inner);
    SecureWipeObject(inner);
    result = boundary::MakeResult(proof);
    SecureWipeObject(proof);
  }
  // The stages' frames below this one held the first-stage digest in
  // temporaries and the block functions' spill slots: wiped too.
  BurnStack();  // both stages
  return result;
}

}  // extern "C"

QUILLET_EXPORT_ALIAS(StandardSHA)
QUILLET_EXPORT_ALIAS(BrokenSHA)
QUILLET_EXPORT_ALIAS(LockdownSHA)
QUILLET_EXPORT_ALIAS(MD5)
QUILLET_EXPORT_ALIAS(DoubleHashPassword)
