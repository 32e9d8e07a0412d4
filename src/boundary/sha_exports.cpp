// The three SHA-1 exports: read the caller's handle, digest a private copy,
// return the 20 bytes as a new string.
#include "boundary/byte_string.hpp"
#include "boundary/sha_frame.hpp"
#include "common/secure_wipe.hpp"

namespace quillet::boundary {

bool DigestPrivateCopy(const ByteString* data, std::uint8_t StandardFlag,
                       std::uint8_t BrokenFlag, sha1::Digest& digest) noexcept {
  const auto content = ReadArgument(data);
  const auto length = static_cast<std::uint32_t>(content.size());
  if (length == 0) {  // the empty input needs no copy and no allocation
    digest = sha1::ComputeSHA(content, StandardFlag, BrokenFlag);
    return true;
  }
  const ByteString copy = NewString(length);
  if (copy == nullptr) return false;
  // The engine fills the copy from the caller's bytes and hashes the copy, a
  // cache-sized chunk at a time, wiping each chunk once it is hashed.
  digest = sha1::ComputeSHA(content, StandardFlag, BrokenFlag, Content(copy));
  ReleaseString(copy);
  return true;
}

ByteString ShaExportFrame(const ByteString* data, std::uint8_t StandardFlag,
                          std::uint8_t BrokenFlag) noexcept {
  sha1::Digest digest;
  if (!DigestPrivateCopy(data, StandardFlag, BrokenFlag, digest)) return nullptr;
  const ByteString result = MakeResult(digest);
  BurnStack();  // spill slots and temporaries of everything below
  return result;
}

}  // namespace quillet::boundary

extern "C" {

ByteString QUILLET_CALL StandardSHA(const ByteString* data) {
  return quillet::boundary::ShaExportFrame(data, 1, 0);
}

ByteString QUILLET_CALL BrokenSHA(const ByteString* data) {
  return quillet::boundary::ShaExportFrame(data, 0, 1);
}

ByteString QUILLET_CALL LockdownSHA(const ByteString* data) {
  return quillet::boundary::ShaExportFrame(data, 0, 0);
}

}  // extern "C"

QUILLET_EXPORT_ALIAS(StandardSHA)
QUILLET_EXPORT_ALIAS(BrokenSHA)
QUILLET_EXPORT_ALIAS(LockdownSHA)
