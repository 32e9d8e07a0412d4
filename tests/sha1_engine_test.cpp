// The SHA-1 engine: helpers, padding, block walk and known answers.
//
// Origins of the vectors:
//   StandardSHA  FIPS 180-1 appendices A and B, RFC 3174 section 7.3 (TEST4),
//                and the FIPS 180-1 digests of the other inputs as computed
//                by Python's hashlib.sha1.
//   BrokenSHA,   the variants' published known answers (empty, "abc", "a"
//   LockdownSHA  repeated 55, 56, 64 and 65 times); the rest from
//                tests/reference/sha_variants.py, a plain model written
//                independently of the library.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "sha1/sha1.hpp"
#include "test_support.hpp"

namespace quillet::sha1 {
namespace {

using test::Bytes;
using test::Hex;

enum class Kind { kStandard, kBroken, kLockdown };

Digest Compute(Kind kind, std::span<const std::uint8_t> input) {
  switch (kind) {
    case Kind::kStandard: return ComputeSHA(input, 1, 0);
    case Kind::kBroken: return ComputeSHA(input, 0, 1);
    case Kind::kLockdown: return ComputeSHA(input, 0, 0);
  }
  return {};
}

struct KnownAnswer {
  Kind kind;
  std::string message;
  const char* hex;
};

std::string Repeat(const std::string& unit, std::size_t times) {
  std::string out;
  for (std::size_t i = 0; i < times; ++i) out += unit;
  return out;
}

std::string AllByteValues() {
  std::string out;
  for (int i = 0; i < 256; ++i) out.push_back(static_cast<char>(i));
  return out;
}

const std::vector<KnownAnswer>& KnownAnswers() {
  static const std::vector<KnownAnswer> answers = {
      {Kind::kStandard, "", "da39a3ee5e6b4b0d3255bfef95601890afd80709"},
      {Kind::kStandard, "abc", "a9993e364706816aba3e25717850c26c9cd0d89d"},
      {Kind::kStandard, "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "84983e441c3bd26ebaae4aa1f95129e5e54670f1"},
      {Kind::kStandard, std::string(1000000, 'a'),
       "34aa973cd4c4daa4f61eeb2bdbad27316534016f"},
      {Kind::kStandard, Repeat("01234567", 80),
       "dea356a2cddd90c7a7ecedc5ebb563934f460452"},
      {Kind::kStandard, std::string("a\0b", 3),
       "4a3dec2d1f8245280855c42db0ee4239f917fdb8"},
      {Kind::kStandard, AllByteValues(), "4916d6bdb7f78e6803698cab32d1586ea457dfc8"},
      {Kind::kStandard, std::string(1000, 'a'),
       "291e9a6c66994949b57ba5e650361e98fc36b1ba"},

      {Kind::kBroken, "", "0123456789abcdeffedcba9876543210f0e1d2c3"},
      {Kind::kBroken, "abc", "7a7af57b99e91bcce6dc75f981fe2255d6c878ab"},
      {Kind::kBroken, std::string(55, 'a'), "f7889b5b56f2e597e7954c4a895462accd85b112"},
      {Kind::kBroken, std::string(56, 'a'), "f69d7cde51621b03179b9c9ea43aac5568bd23e1"},
      {Kind::kBroken, std::string(64, 'a'), "af23d1f0d252d926f82ef4b128b074f661836dee"},
      {Kind::kBroken, std::string(65, 'a'), "477cc9642888c0cb89d5b3b820f54cda0d12b206"},
      {Kind::kBroken, std::string(120, 'a'), "e89552b6abe6ed74bb4c9fe5188a0f6ecc2b3439"},
      {Kind::kBroken, std::string(128, 'a'), "41c0f5297502706c2a94f185870bad124665cb02"},
      {Kind::kBroken, std::string(64, '\0'), "eea03a4d5a1d2694576f4a5860998d6b80c64615"},
      {Kind::kBroken, AllByteValues(), "e8e096c56987947b0d9bdcf3b94836f51c391706"},

      {Kind::kLockdown, "", "1ef84498ecf608147d1332b9cfd7be33a318f5dc"},
      {Kind::kLockdown, "abc", "50c8e95373d4856f7567b73c2df9da981062e20a"},
      {Kind::kLockdown, std::string(55, 'a'), "98a70fdd1273224976f0420d697b02b3da6d9eba"},
      {Kind::kLockdown, std::string(56, 'a'), "c4f719535fec33a03359f23623537ed62d204443"},
      {Kind::kLockdown, std::string(64, 'a'), "3be7b388cea36f16e0e528135e3a4987009e9ee6"},
      {Kind::kLockdown, std::string(65, 'a'), "ab070b3cb673563d90b048a4989aeddfd1946d35"},
      {Kind::kLockdown, std::string(120, 'a'), "6850143cba1b23b29ec5bb2247a65700ac218275"},
      {Kind::kLockdown, AllByteValues(), "3bfc336f25e3297707ebd392914ebe653bf4c40a"},
  };
  return answers;
}

TEST(ShaEngine, KnownAnswers) {
  for (const auto& answer : KnownAnswers()) {
    SCOPED_TRACE(testing::Message() << "kind " << static_cast<int>(answer.kind)
                                    << ", length " << answer.message.size());
    EXPECT_EQ(Hex(Compute(answer.kind, Bytes(answer.message))), answer.hex);
  }
}

TEST(ShaEngine, SwitchIsOnOnlyWhenOne) {
  const auto abc = Bytes("abc");
  const Digest lockdown = ComputeSHA(abc, 0, 0);
  const std::uint8_t offs[] = {0, 2, 0x81, 0xFF};
  for (const std::uint8_t off : offs) {
    EXPECT_EQ(ComputeSHA(abc, off, 0), lockdown) << "StandardFlag " << int{off};
    EXPECT_EQ(ComputeSHA(abc, 0, off), lockdown) << "BrokenFlag " << int{off};
  }
  EXPECT_NE(ComputeSHA(abc, 1, 0), lockdown);
  EXPECT_NE(ComputeSHA(abc, 0, 1), lockdown);
}

TEST(ShaEngine, BrokenIgnoresTrailingZerosWithinTheLastBlock) {
  const std::string abc = "abc";
  const Digest expected = ComputeSHA(Bytes(abc), 0, 1);
  for (std::size_t zeros : {1u, 2u, 30u, 61u}) {
    const std::string padded = abc + std::string(zeros, '\0');
    EXPECT_EQ(ComputeSHA(Bytes(padded), 0, 1), expected) << zeros << " zeros";
  }
  const std::string two_blocks = abc + std::string(62, '\0');
  EXPECT_NE(ComputeSHA(Bytes(two_blocks), 0, 1), expected);
  // The other digests count every byte.
  const std::string one_zero = abc + std::string(1, '\0');
  EXPECT_NE(ComputeSHA(Bytes(one_zero), 1, 0), ComputeSHA(Bytes(abc), 1, 0));
  EXPECT_NE(ComputeSHA(Bytes(one_zero), 0, 0), ComputeSHA(Bytes(abc), 0, 0));
}

// Counts the blocks HashBlocks hands to its block function.
thread_local std::size_t counted_blocks = 0;
void CountBlocks(Word[5], const std::uint8_t*, std::size_t count) {
  counted_blocks += count;
}

template <bool kStandard, bool kBroken>
std::size_t BlocksFor(std::size_t length) {
  const std::vector<std::uint8_t> message(length, 0x61);
  ShaContext context{};
  counted_blocks = 0;
  HashBlocks<kStandard, kBroken>(context, message, &CountBlocks);
  return counted_blocks;
}

TEST(ShaEngine, BlockCounts) {
  struct Row {
    std::size_t length, standard, broken;
  };
  const Row rows[] = {{0, 1, 0},   {1, 1, 1},    {55, 1, 1},   {56, 2, 1},
                      {63, 2, 1},  {64, 2, 1},   {65, 2, 2},   {119, 2, 2},
                      {120, 3, 2}, {128, 3, 2},  {129, 3, 3},  {1000, 16, 16}};
  for (const auto& row : rows) {
    EXPECT_EQ((BlocksFor<true, false>(row.length)), row.standard) << row.length;
    EXPECT_EQ((BlocksFor<false, false>(row.length)), row.standard) << row.length;
    EXPECT_EQ((BlocksFor<false, true>(row.length)), row.broken) << row.length;
  }
}

TEST(ShaEngine, PaddingLayout) {
  const std::vector<std::uint8_t> tail = {1, 2, 3};
  std::uint8_t out[2 * kBlockSize];

  ASSERT_EQ((PadFinalBlocks<true, false>(tail, 67, out)), 1u);
  EXPECT_EQ(Hex({out, 4}), "01020380");
  EXPECT_EQ(Hex({out + 4, 52}), std::string(104, '0'));
  EXPECT_EQ(Hex({out + 56, 8}), "0000000000000218");  // 536 bits, big-endian

  ASSERT_EQ((PadFinalBlocks<false, false>(tail, 67, out)), 1u);
  EXPECT_EQ(Hex({out + 56, 8}), "1802000000000000");  // little-endian, then zeros

  ASSERT_EQ((PadFinalBlocks<false, true>(tail, 67, out)), 1u);
  EXPECT_EQ(Hex({out, 64}), "010203" + std::string(122, '0'));
  EXPECT_EQ((PadFinalBlocks<false, true>({}, 64, out)), 0u);

  // 56 bytes of tail: the marker ends the first block, the length the second.
  const std::vector<std::uint8_t> long_tail(56, 0xAA);
  ASSERT_EQ((PadFinalBlocks<true, false>(long_tail, 56, out)), 2u);
  EXPECT_EQ(out[56], 0x80);
  EXPECT_EQ(Hex({out + 57, 63}), std::string(126, '0'));
  EXPECT_EQ(Hex({out + 120, 8}), "00000000000001c0");
}

TEST(ShaEngine, LengthFieldOfLongMessages) {
  std::uint8_t out[2 * kBlockSize];
  struct Row {
    std::uint64_t length;
    const char* standard_field;  // full 64-bit count, big-endian
    const char* lockdown_field;  // count modulo 2^32, little-endian
  };
  const Row rows[] = {
      {(1ull << 29) - 1, "00000000fffffff8", "f8ffffff00000000"},
      {1ull << 29, "0000000100000000", "0000000000000000"},
      {(1ull << 29) + 5, "0000000100000028", "2800000000000000"},
      {(1ull << 32) + 1, "0000000800000008", "0800000000000000"},
      {1ull << 60, "8000000000000000", "0000000000000000"},
  };
  for (const auto& row : rows) {
    const std::size_t tail_length = static_cast<std::size_t>(row.length % 64);
    const std::vector<std::uint8_t> tail(tail_length, 0);
    const std::size_t blocks = PadFinalBlocks<true, false>(tail, row.length, out);
    EXPECT_EQ(Hex({out + 64 * blocks - 8, 8}), row.standard_field) << row.length;
    PadFinalBlocks<false, false>(tail, row.length, out);
    EXPECT_EQ(Hex({out + 64 * blocks - 8, 8}), row.lockdown_field) << row.length;
  }
}

TEST(ShaEngine, Helpers) {
  EXPECT_EQ(RotateLeft(0x80000001u, 1), 0x00000003u);
  for (unsigned n : {0u, 32u, 64u}) EXPECT_EQ(RotateLeft(0x12345678u, n), 0x12345678u);
  EXPECT_EQ(RotateLeft(0x12345678u, 36), RotateLeft(0x12345678u, 4));
  EXPECT_EQ(RotateLeft(1u, 31), 0x80000000u);

  EXPECT_EQ(SwapBytes(0xEFCDAB89u), 0x89ABCDEFu);
  EXPECT_EQ(SwapBytes(0x00000080u), 0x80000000u);
  EXPECT_EQ(SwapBytes(SwapBytes(0xDEADBEEFu)), 0xDEADBEEFu);

  const std::uint8_t bytes[] = {1, 2, 3, 4, 5, 6};
  EXPECT_EQ(BytesToWord({bytes, 2}), 0x201u);
  EXPECT_EQ(BytesToWord({bytes, 6}), 0x04030201u);
  EXPECT_EQ(BytesToWord({bytes, 0}), 0u);
  const std::uint8_t high[] = {0xFF, 0xFF, 0xFF, 0xFF};
  EXPECT_EQ(BytesToWord(high), 0xFFFFFFFFu);

  EXPECT_EQ(Hex(WordToBytes(0x89ABCDEFu)), "efcdab89");
  EXPECT_EQ(Hex(WordToBytes(0x80000000u)), "00000080");
  EXPECT_EQ(BytesToWord(WordToBytes(0xC3D2E1F0u)), 0xC3D2E1F0u);
}

}  // namespace
}  // namespace quillet::sha1
