// The counted byte string allocator on platforms without OLE. Same layout as
// an OLE byte string: a 32-bit count in the platform's byte order (as OLE
// stores it), the content, then two zero bytes that are not counted. The
// handle points at the first content byte.
//
// The library's own code calls NewString/ReleaseString directly, never the
// exported names, so a same-named function of another library in the process
// cannot take its place.
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "boundary/byte_string.hpp"
#include "common/bytes.hpp"

namespace quillet::boundary {

namespace {

constexpr std::size_t kCountSize = 4;
constexpr std::size_t kTerminatorSize = 2;

ByteString Allocate(std::uint32_t length) noexcept {
  // On a 32-bit size_t the header and terminator could overflow the size.
  if constexpr (sizeof(std::size_t) <= sizeof(std::uint32_t)) {
    if (length > SIZE_MAX - kCountSize - kTerminatorSize) return nullptr;
  }
  auto* block = static_cast<std::uint8_t*>(
      std::malloc(kCountSize + std::size_t{length} + kTerminatorSize));
  if (block == nullptr) return nullptr;
  StoreNative32(block, length);
  block[kCountSize + length] = 0;
  block[kCountSize + length + 1] = 0;
  return block + kCountSize;
}

void Free(ByteString string) noexcept {
  if (string != nullptr) std::free(string - kCountSize);
}

}  // namespace

ByteString NewString(std::uint32_t length) noexcept { return Allocate(length); }

void ReleaseString(ByteString string) noexcept { Free(string); }

}  // namespace quillet::boundary

extern "C" {

ByteString SysAllocStringByteLen(const char* source, unsigned int length) {
  const ByteString string = quillet::boundary::Allocate(length);
  if (string == nullptr) return nullptr;
  if (source != nullptr) {
    if (length != 0) std::memcpy(string, source, length);
  } else {
    std::memset(string, 0, length);
  }
  return string;
}

void SysFreeString(ByteString string) { quillet::boundary::Free(string); }

unsigned int SysStringByteLen(ByteString string) {
  if (string == nullptr) return 0;
  return quillet::boundary::StoredCount(string);
}

}  // extern "C"

QUILLET_EXPORT_ALIAS(SysAllocStringByteLen)
QUILLET_EXPORT_ALIAS(SysFreeString)
QUILLET_EXPORT_ALIAS(SysStringByteLen)
