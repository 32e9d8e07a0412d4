// Every export with each of its allocations made to fail in turn: the
// export returns the null handle, leaves nothing allocated and leaves its
// arguments as they were. The library's frames are linked here over a
// counting allocator instead of the platform's.
#include <gtest/gtest.h>

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
  const std::string inputs[] = {"", "abc", std::string(1000, 'x')};
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
      boundary::ReleaseString(good);
      ASSERT_EQ(Outstanding(), 0u);

      for (long n = 1; n <= allocations; ++n) {
        FailAllocation(n);
        const ByteString result = c.call(&input);
        EXPECT_EQ(result, nullptr) << "allocation " << n << " of " << allocations << " failed";
        EXPECT_EQ(Outstanding(), 0u) << "allocation " << n << " failed";
        EXPECT_EQ(input, held);
        EXPECT_EQ(std::memcmp(input, text.data(), text.size()), 0);
        if (result != nullptr) boundary::ReleaseString(result);
      }
      // And with memory back, the same answer as before.
      FailAllocation(0);
      const ByteString again = c.call(&input);
      ASSERT_NE(again, nullptr);
      EXPECT_EQ(std::memcmp(again, good_bytes.data(), good_bytes.size()), 0);
      boundary::ReleaseString(again);
      EXPECT_EQ(Outstanding(), 0u);
      FreeTestString(input);
    }
  }
}

}  // namespace
}  // namespace quillet::test
