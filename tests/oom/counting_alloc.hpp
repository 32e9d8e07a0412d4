// Control of the counting allocator that the out-of-memory test links in
// place of the platform's.
#pragma once

#include <cstddef>
#include <cstdint>

#include "boundary/byte_string.hpp"

namespace quillet::test {

// Makes the nth NewString call from now fail (0: none fail) and restarts
// the count.
void FailAllocation(long n);
// NewString calls since the last FailAllocation.
long AllocationCalls();
// Strings made by NewString and not yet released.
std::size_t Outstanding();
// Strings the library released that still held a non-zero byte.
long DirtyReleases();
// Releases a result the library handed over (its content is not checked).
void FreeResult(ByteString string);

// Caller-side strings, from outside the library's allocator.
ByteString MakeTestString(const void* bytes, std::uint32_t length);
void FreeTestString(ByteString string);

}  // namespace quillet::test
