// On Windows every string the library makes is an OLE Automation byte string:
// SysAllocStringByteLen makes it, SysFreeString releases it, and the caller
// releases results with the same SysFreeString.
#include <windows.h>
#include <oleauto.h>

#include "boundary/byte_string.hpp"

namespace quillet::boundary {

ByteString NewString(std::uint32_t length) noexcept {
  // No source: the content is left for the caller to fill.
  return SysAllocStringByteLen(nullptr, length);
}

void ReleaseString(ByteString string) noexcept { SysFreeString(string); }

}  // namespace quillet::boundary
