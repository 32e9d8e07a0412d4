// The export frames, linked here over a counting allocator instead of the
// platform's: every export with each of its allocations made to fail in turn
// returns the null handle, leaves nothing allocated and leaves its arguments
// as they were; every string the library releases has been wiped; and the
// frames read a caller's count as it is stored.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "oom/counting_alloc.hpp"
#include "quillet/quillet.h"

namespace quillet::test {
namespace {

std::uint32_t StoredCountOf(ByteString s) {
  return boundary::StoredCount(reinterpret_cast<const std::uint8_t*>(s));
}

struct Case {
  const char* name;
  std::function<ByteString(const ByteString*)> call;
};

std::vector<Case> Cases() {
  return {
      {"StandardSHA", [](const ByteString* d) { return ::StandardSHA(d); }},
      {"BrokenSHA", [](const ByteString* d) { return ::BrokenSHA(d); }},
      {"LockdownSHA", [](const ByteString* d) { return ::LockdownSHA(d); }},
      {"MD5", [](const ByteString* d) { return ::MD5(d); }},
      {"DoubleHashPassword",
       [](const ByteString* d) {
         const std::int32_t first = -7, second = 0x1234;
         return ::DoubleHashPassword(d, &first, &second);
       }},
  };
}

TEST(OutOfMemory, EveryAllocationFailureGivesNullAndLeavesNothing) {
  // Past one 16 KiB chunk of the private copy, and with a tail after it.
  const std::string inputs[] = {"", "abc", std::string(1000, 'x'), std::string(40000, 'y')};
  for (const Case& c : Cases()) {
    for (const std::string& text : inputs) {
      SCOPED_TRACE(testing::Message() << c.name << ", " << text.size() << " bytes");
      ByteString input = MakeTestString(text.data(), static_cast<std::uint32_t>(text.size()));
      const ByteString held = input;

      FailAllocation(0);
      const ByteString good = c.call(&input);
      const long allocations = AllocationCalls();
      ASSERT_NE(good, nullptr);
      ASSERT_GE(allocations, 1);
      const std::uint32_t good_length = StoredCountOf(good);
      std::vector<std::uint8_t> good_bytes(reinterpret_cast<std::uint8_t*>(good),
                                           reinterpret_cast<std::uint8_t*>(good) + good_length);
      FreeResult(good);
      ASSERT_EQ(Outstanding(), 0u);

      for (long n = 1; n <= allocations; ++n) {
        FailAllocation(n);
        const ByteString result = c.call(&input);
        EXPECT_EQ(result, nullptr) << "allocation " << n << " of " << allocations << " failed";
        EXPECT_EQ(Outstanding(), 0u) << "allocation " << n << " failed";
        EXPECT_EQ(input, held);
        EXPECT_EQ(std::memcmp(input, text.data(), text.size()), 0);
        if (result != nullptr) FreeResult(result);
      }
      // And with memory back, the same answer as before.
      FailAllocation(0);
      const ByteString again = c.call(&input);
      ASSERT_NE(again, nullptr);
      EXPECT_EQ(std::memcmp(again, good_bytes.data(), good_bytes.size()), 0);
      FreeResult(again);
      EXPECT_EQ(Outstanding(), 0u);
      EXPECT_EQ(DirtyReleases(), 0) << "a private copy released before it was wiped";
      FreeTestString(input);
    }
  }
}

// The count before the content, every byte of it, and what an argument
// reads as: the content itself is not touched, so a count of any size can be
// shown without that many bytes behind it.
TEST(ArgumentReading, CountsAsStored) {
  // Each in the platform's byte order: the bytes as a little-endian host
  // has them, swapped on a big-endian one.
  const struct {
    std::uint8_t header[4];
    std::uint32_t count;
  } little[] = {{{0x01, 0, 0, 0}, 1},
                {{0x78, 0x56, 0x34, 0x12}, 0x12345678u},
                {{0, 0, 0, 0x01}, 0x01000000u},  // 16 MiB: the highest byte counts
                {{0, 0, 0x01, 0}, 0x00010000u},
                {{0, 0x01, 0, 0}, 0x00000100u},
                {{0xFF, 0xFF, 0xFF, 0xFF}, 0xFFFFFFFFu},
                {{0, 0, 0, 0x80}, 0x80000000u}};
  auto rows = std::to_array(little);
  if constexpr (std::endian::native == std::endian::big) {
    for (auto& row : rows) std::reverse(std::begin(row.header), std::end(row.header));
  }
  for (const auto& row : rows) {
    std::uint8_t string[5];
    std::memcpy(string, row.header, 4);
    string[4] = 0x5A;
    EXPECT_EQ(boundary::StoredCount(string + 4), row.count);
    const ByteString handle = reinterpret_cast<ByteString>(string + 4);
    const auto content = boundary::ReadArgument(&handle);
    EXPECT_EQ(content.size(), row.count);
    EXPECT_EQ(content.data(), string + 4);
  }
  // Null and zero-count handles read as empty, at a readable address.
  const std::uint8_t zero_count[5] = {0, 0, 0, 0, 0x5A};
  const ByteString empty = reinterpret_cast<ByteString>(const_cast<std::uint8_t*>(zero_count + 4));
  const ByteString null_handle = nullptr;
  for (const ByteString* reference : {&empty, &null_handle}) {
    const auto content = boundary::ReadArgument(reference);
    EXPECT_EQ(content.size(), 0u);
    EXPECT_NE(content.data(), nullptr);
  }
}

}  // namespace
}  // namespace quillet::test
