// A string allocator for the out-of-memory test, linked in place of the
// platform's: it counts allocations, can make the Nth one fail, and knows
// which strings are still outstanding. Same layout as the real one (32-bit
// count before the content, two zero bytes after).
#include "oom/counting_alloc.hpp"

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <set>

namespace {
std::mutex mutex;
long fail_at = 0;  // 0: never
long calls = 0;
long dirty_releases = 0;
std::set<void*>& Live() {
  static std::set<void*> live;
  return live;
}
}  // namespace

namespace quillet::test {

void FailAllocation(long n) {
  const std::lock_guard<std::mutex> lock(mutex);
  fail_at = n;
  calls = 0;
}

long AllocationCalls() {
  const std::lock_guard<std::mutex> lock(mutex);
  return calls;
}

std::size_t Outstanding() {
  const std::lock_guard<std::mutex> lock(mutex);
  return Live().size();
}

long DirtyReleases() {
  const std::lock_guard<std::mutex> lock(mutex);
  return dirty_releases;
}

void FreeResult(ByteString string) {
  {
    const std::lock_guard<std::mutex> lock(mutex);
    if (Live().erase(string) != 1) std::abort();
  }
  std::free(reinterpret_cast<std::uint8_t*>(string) - 4);
}

ByteString MakeTestString(const void* bytes, std::uint32_t length) {
  auto* block = static_cast<std::uint8_t*>(std::malloc(4 + std::size_t{length} + 2));
  if (block == nullptr) std::abort();
  std::memcpy(block, &length, 4);  // the platform's byte order, as the allocator
  if (length != 0) std::memcpy(block + 4, bytes, length);
  block[4 + length] = block[5 + length] = 0;
  return reinterpret_cast<ByteString>(block + 4);
}

void FreeTestString(ByteString string) {
  if (string != nullptr) std::free(reinterpret_cast<std::uint8_t*>(string) - 4);
}

}  // namespace quillet::test

namespace quillet::boundary {

ByteString NewString(std::uint32_t length) noexcept {
  {
    const std::lock_guard<std::mutex> lock(mutex);
    ++calls;
    if (fail_at != 0 && calls == fail_at) return nullptr;
  }
  auto* block = static_cast<std::uint8_t*>(std::malloc(4 + std::size_t{length} + 2));
  if (block == nullptr) return nullptr;
  std::memcpy(block, &length, 4);
  block[4 + length] = block[5 + length] = 0;
  const std::lock_guard<std::mutex> lock(mutex);
  Live().insert(block + 4);
  return reinterpret_cast<ByteString>(block + 4);
}

// The library releases only its own temporaries (the private copies), and
// wipes each before it does.
void ReleaseString(ByteString string) noexcept {
  const auto* content = reinterpret_cast<const std::uint8_t*>(string);
  const std::uint32_t length = StoredCount(content);
  bool wiped = true;
  for (std::uint32_t i = 0; i < length; ++i) wiped = wiped && content[i] == 0;
  {
    const std::lock_guard<std::mutex> lock(mutex);
    if (Live().erase(string) != 1) std::abort();  // never ours: a double or foreign free
    if (!wiped) ++dirty_releases;
  }
  std::free(reinterpret_cast<std::uint8_t*>(string) - 4);
}

}  // namespace quillet::boundary
