// Every CPU-specific block function against the portable one, on a 251-byte
// repeating pattern (so reordered or repeated blocks change the answer), from
// several chaining values and at several alignments, and whole digests past
// the dispatch threshold.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "sha1/backends.hpp"
#include "sha1/dispatch.hpp"
#include "test_support.hpp"

namespace quillet::sha1 {
namespace {

std::vector<std::uint8_t> Pattern(std::size_t length) {
  std::vector<std::uint8_t> out(length);
  for (std::size_t i = 0; i < length; ++i) out[i] = static_cast<std::uint8_t>(i % 251);
  return out;
}

template <bool kStandard, bool kBroken>
void CompareOne(const Backend& backend) {
  const char* name = backend.name;
  const BlockFunction fast = backend.function;
  const Word starts[][5] = {
      {0x67452301u, 0xEFCDAB89u, 0x98BADCFEu, 0x10325476u, 0xC3D2E1F0u},
      {0xFFFFFFFFu, 0, 0x80000000u, 1, 0xDEADBEEFu},
  };
  const auto pattern = Pattern(8 * kBlockSize + 16);
  const auto random = test::RandomBytes(8 * kBlockSize + 16, 99);
  for (const auto* source : {&pattern, &random}) {
    for (const std::size_t blocks : {1u, 2u, 3u, 4u, 8u}) {
      for (const std::size_t offset : {0u, 1u, 4u, 15u}) {
        for (const auto& start : starts) {
          Word expected[5], got[5];
          std::memcpy(expected, start, sizeof expected);
          std::memcpy(got, start, sizeof got);
          TransformBlocksPortable<kStandard, kBroken>(expected, source->data() + offset, blocks);
          fast(got, source->data() + offset, blocks);
          ASSERT_EQ(std::memcmp(expected, got, sizeof got), 0)
              << name << ", " << blocks << " blocks at offset " << offset;
        }
      }
    }
  }
}

template <bool kStandard, bool kBroken>
void CompareWithPortable(const char* variant) {
  const auto backends = FastBackends<kStandard, kBroken>(DetectCpu());
  if (backends[0].function == nullptr) {
    GTEST_SKIP() << variant << ": this CPU has no fast path for it";
  }
  for (const Backend& backend : backends) {
    if (backend.function != nullptr) CompareOne<kStandard, kBroken>(backend);
  }
}

TEST(ShaBackends, StandardMatchesPortable) { CompareWithPortable<true, false>("standard"); }
TEST(ShaBackends, LockdownMatchesPortable) { CompareWithPortable<false, false>("lockdown"); }
TEST(ShaBackends, BrokenMatchesPortable) { CompareWithPortable<false, true>("broken"); }

// Whole digests, on whichever path the dispatch picks for each length (the
// portable one below a CPUID threshold where there is one), agree with a
// digest computed block by block by the portable function.
TEST(ShaBackends, DigestsAgreeWithThePortableWalk) {
  for (const std::size_t length : {std::size_t{1}, std::size_t{100}, std::size_t{8191},
                                   std::size_t{8192}, std::size_t{8247}, std::size_t{24583},
                                   kFastPathThreshold + 64}) {
    const auto message = Pattern(length);
    ShaContext context{};
    std::memcpy(context.h, kInitialH, sizeof context.h);
    HashBlocks<false, true>(context, message, &TransformBlocksPortable<false, true>);
    EXPECT_EQ(ComputeSHA(message, 0, 1), DigestFromChainingWords<false>(context.h)) << length;
    std::memcpy(context.h, kInitialH, sizeof context.h);
    HashBlocks<false, false>(context, message, &TransformBlocksPortable<false, false>);
    EXPECT_EQ(ComputeSHA(message, 0, 0), DigestFromChainingWords<false>(context.h)) << length;
    std::memcpy(context.h, kInitialH, sizeof context.h);
    HashBlocks<true, false>(context, message, &TransformBlocksPortable<true, false>);
    EXPECT_EQ(ComputeSHA(message, 1, 0), DigestFromChainingWords<true>(context.h)) << length;
  }
}

}  // namespace
}  // namespace quillet::sha1
