// The MD5 engine.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "md5/backends.hpp"
#include "md5/dispatch.hpp"
#include "md5/many.hpp"
#include "md5/md5.hpp"
#include "known_answers.hpp"
#include "test_support.hpp"

namespace quillet::md5 {
namespace {

std::string HexOf(std::span<const std::uint8_t> message) {
  Md5Context context;
  InitMD5(context);
  UpdateMD5(context, message.data(), message.size());
  const HexText text = FinishMD5Hex(context);
  return {text.begin(), text.end()};
}

TEST(Md5Engine, KnownAnswers) {
  for (const auto& answer : test::KnownAnswers()) {
    if (answer.algorithm != Algorithm::kMd5) continue;
    EXPECT_EQ(HexOf(test::Bytes(answer.message)), answer.hex) << answer.message.size();
  }
}

// Every block function this CPU can run against the portable one, from
// several chaining values, on a 251-byte repeating pattern (so a block read
// from the wrong place changes the answer) and on random bytes; and the
// table ends with the portable one.
TEST(Md5Backends, MatchPortable) {
  const auto backends = Backends(DetectCpu());
  ASSERT_GT(backends.count, 0u);
  EXPECT_EQ(std::count_if(backends.begin(), backends.end(),
                          [](const Backend& b) { return b.function == &TransformMD5; }),
            1);
  std::vector<std::uint8_t> pattern_bytes(16 * kBlockSize);
  for (std::size_t i = 0; i < pattern_bytes.size(); ++i) {
    pattern_bytes[i] = static_cast<std::uint8_t>(i % 251);
  }
  const auto& pattern = pattern_bytes;
  const auto random = test::RandomBytes(16 * kBlockSize, 77);
  const std::uint32_t starts[][4] = {{0x67452301u, 0xEFCDAB89u, 0x98BADCFEu, 0x10325476u},
                                     {0xFFFFFFFFu, 0, 0x80000000u, 1}};
  for (const Backend& backend : backends) {
    for (const std::vector<std::uint8_t>* source : {&pattern, &random}) {
      for (const auto& start : starts) {
        std::uint32_t expected[4], got[4];
        std::memcpy(expected, start, sizeof expected);
        std::memcpy(got, start, sizeof got);
        // One block a call for the expected value; all sixteen in one call,
        // then none, for the function under test.
        for (std::size_t b = 0; b < 16; ++b) {
          TransformMD5(expected, source->data() + b * kBlockSize, 1);
        }
        backend.function(got, source->data(), 16);
        backend.function(got, source->data(), 0);
        EXPECT_EQ(std::memcmp(expected, got, sizeof got), 0) << backend.name;
      }
    }
  }
  // The choice for a long message is the fastest the CPU has.
  EXPECT_EQ(SelectBlockFunction(1 << 20), backends.fastest().function);
}

// The one-lane AVX-512 form where vector integer instructions are fast, not
// on AMD's AVX-512 CPUs; the portable one always there.
TEST(Md5Backends, ChoiceFollowsFeatures) {
  CpuFeatures cpu;
  EXPECT_STREQ(Backends(cpu).fastest().name, "portable");
  cpu.avx2 = cpu.avx512vl = true;
#if QUILLET_X86_BACKENDS
  EXPECT_STREQ(Backends(cpu).fastest().name, "avx512vl");
#endif
  cpu.slow_one_lane_vectors = true;  // listed after the portable one
  EXPECT_STREQ(Backends(cpu).fastest().name, "portable");
#if QUILLET_X86_BACKENDS
  EXPECT_STREQ(Backends(cpu)[1].name, "avx512vl");
#endif
}

std::span<const std::uint8_t> MessageOf(const void* batch, std::size_t i) {
  return (*static_cast<const std::vector<std::vector<std::uint8_t>>*>(batch))[i];
}

// Every many-message kernel against the one-shot digest: lengths 0 to 300,
// long messages among short ones (lanes refilled while others go on), and
// batches of 1 to 33.
TEST(Md5Many, EveryKernelAgreesWithTheOneShotDigest) {
  std::vector<std::vector<std::uint8_t>> messages;
  for (std::size_t length = 0; length <= 300; ++length) {
    messages.push_back(test::RandomBytes(length, static_cast<std::uint32_t>(length) + 9));
  }
  for (const std::size_t length : {1000u, 4096u, 2560u, 70000u, 55u, 0u}) {
    messages.insert(messages.begin() + static_cast<std::ptrdiff_t>(length % 89),
                    test::RandomBytes(length, 99 + static_cast<std::uint32_t>(length)));
  }
  std::vector<std::string> want;
  for (const auto& message : messages) want.push_back(HexOf(message));
  const auto kernels = ManyKernelsFor(DetectCpu());
  EXPECT_STREQ(kernels[kernels.count - 1].name, "one at a time");
  for (const auto& kernel : kernels) {
    SCOPED_TRACE(kernel.name);
    std::vector<Digest> got(messages.size());
    // The kernel's frames lie within what the library's DigestMany wipes.
    [[maybe_unused]] const auto used = test::StackAfter(
        [&] { DigestManyWith(kernel.function, &messages, &MessageOf, messages.size(), got.data()); },
        0xA5);
#if !defined(QUILLET_SANITIZED_FRAMES)  // their frames are larger by design
    if (test::StackScansOn()) {
      EXPECT_LE(test::StackDepth(used, 0xA5) + test::kFrameSlack, kManyStackBurnSize);
    }
#endif
    for (std::size_t i = 0; i < messages.size(); ++i) {
      const HexText text = DigestToHex(got[i]);
      ASSERT_EQ(std::string(text.begin(), text.end()), want[i]) << i;
    }
    for (std::size_t n = 1; n <= 33; ++n) {
      const std::vector<std::vector<std::uint8_t>> few(messages.begin(), messages.begin() + static_cast<std::ptrdiff_t>(n));
      std::vector<Digest> some(n);
      DigestManyWith(kernel.function, &few, &MessageOf, n, some.data());
      for (std::size_t i = 0; i < n; ++i) {
        const HexText text = DigestToHex(some[i]);
        ASSERT_EQ(std::string(text.begin(), text.end()), want[i]) << n << " messages, " << i;
      }
    }
  }
}

// Three pieces at every pair of split points, empty pieces included.
TEST(Md5Engine, PiecesGiveTheOneShotDigest) {
  const auto message = test::RandomBytes(150, 5);
  const std::string expected = HexOf(message);
  for (std::size_t i = 0; i <= message.size(); ++i) {
    for (std::size_t j = i; j <= message.size(); ++j) {
      Md5Context context;
      InitMD5(context);
      UpdateMD5(context, message.data(), i);
      UpdateMD5(context, message.data() + i, j - i);
      UpdateMD5(context, message.data() + j, message.size() - j);
      const HexText text = FinishMD5Hex(context);
      ASSERT_EQ(std::string(text.begin(), text.end()), expected) << i << "," << j;
    }
  }
}

TEST(Md5Engine, BitCountCarriesIntoTheHighWord) {
  const struct {
    std::uint32_t low, high;
    std::uint64_t length;
    std::uint32_t want_low, want_high;
  } rows[] = {
      {0xFFFFFE00u, 0, 64, 0x00000000u, 1},         // exactly wraps
      {0xFFFFFE00u, 0, 67, 0x00000018u, 1},         // wraps with a remainder
      {0xFFFFFE00u, 0, 63, 0xFFFFFFF8u, 0},         // just short of wrapping
      {0xFFFFFFF8u, 7, 1, 0x00000000u, 8},          // carry into a non-zero high word
      {0xFFFFFFF8u, 0xFFFFFFFFu, 1, 0, 0},          // the 64-bit count itself wraps
      {0, 0, 1u << 29, 0, 1},                       // 512 MiB in one piece
      {8, 2, (1u << 29) + 3, 32, 3},                // and a little more
      {0, 0, 0xFFFFFFFFu, 0xFFFFFFF8u, 7},          // the largest 32-bit length
      {0x10u, 0, 0xFFFFFFFFu, 0x00000008u, 8},      // the same, carrying
#if SIZE_MAX > 0xFFFFFFFFu
      {0, 0, 0x123456789ull, 0x1A2B3C48u, 9},       // past 4 GiB (64-bit size_t)
#endif
  };
  for (const auto& row : rows) {
    std::uint32_t count[2] = {row.low, row.high};
    AddToBitCount(count, static_cast<std::size_t>(row.length));
    EXPECT_EQ(count[0], row.want_low) << row.low << "+" << row.length;
    EXPECT_EQ(count[1], row.want_high) << row.low << "+" << row.length;
  }
  // UpdateMD5 counts the same way.
  const std::vector<std::uint8_t> data(200, 0x5A);
  Md5Context context;
  InitMD5(context);
  context.count[0] = 0xFFFFFE00u;
  UpdateMD5(context, data.data(), 67);
  EXPECT_EQ(context.count[0], 0x18u);
  EXPECT_EQ(context.count[1], 1u);
}

TEST(Md5Engine, FinishWritesTheFullBitCountAndWipesTheContext) {
  // The padding block of a message whose count has wrapped carries both words:
  // recompute that final block by hand and compare states.
  Md5Context context;
  InitMD5(context);
  context.count[0] = 0x00000018u;  // 2^32 + 24 bits: 2^29 + 3 bytes
  context.count[1] = 1;
  const std::uint8_t tail[3] = {1, 2, 3};
  std::memcpy(context.buffer, tail, 3);
  std::uint8_t block[64] = {1, 2, 3, 0x80};
  block[56] = 0x18;
  block[60] = 0x01;
  std::uint32_t state[4] = {0x67452301u, 0xEFCDAB89u, 0x98BADCFEu, 0x10325476u};
  TransformMD5(state, block, 1);

  Digest digest;
  FinishMD5(digest, context);
  for (std::size_t i = 0; i < 4; ++i) {
    std::uint32_t word = 0;
    for (std::size_t b = 0; b < 4; ++b) {
      word |= static_cast<std::uint32_t>(digest[4 * i + b]) << (8 * b);
    }
    EXPECT_EQ(word, state[i]) << "word " << i;
  }
  const auto* raw = reinterpret_cast<const std::uint8_t*>(&context);
  for (std::size_t i = 0; i < sizeof context; ++i) ASSERT_EQ(raw[i], 0) << "byte " << i;
}

TEST(Md5Engine, HexTextIsUpperCaseWithLeadingZeros) {
  Digest digest{};
  digest[0] = 0x0A;
  digest[15] = 0xF0;
  const HexText text = DigestToHex(digest);
  EXPECT_EQ(std::string(text.begin(), text.end()), "0A0000000000000000000000000000F0");
}

}  // namespace
}  // namespace quillet::md5
