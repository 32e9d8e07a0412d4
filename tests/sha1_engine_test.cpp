// The SHA-1 engine: helpers, padding, block walk and known answers.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "known_answers.hpp"
#include "sha1/engine.hpp"
#include "test_support.hpp"

namespace quillet::sha1 {
namespace {

using test::Bytes;
using test::Hex;
using test::KnownAnswers;

// The switches of each export, as the exports pass them.
Switches SwitchesOf(Algorithm algorithm) {
  switch (algorithm) {
    case Algorithm::kStandardSha: return StandardSha::kSwitches;
    case Algorithm::kBrokenSha: return BrokenSha::kSwitches;
    case Algorithm::kLockdownSha:
    case Algorithm::kMd5: break;
  }
  return LockdownSha::kSwitches;
}

// Each known answer through ComputeSHA, whole and handed over in pieces of
// every size from 1 to 70 bytes.
TEST(ShaEngine, KnownAnswers) {
  for (const auto& answer : KnownAnswers()) {
    if (answer.algorithm == Algorithm::kMd5) continue;
    SCOPED_TRACE(testing::Message() << answer.digest << ", length " << answer.message.size());
    const Switches s = SwitchesOf(answer.algorithm);
    const auto message = Bytes(answer.message);
    EXPECT_EQ(Hex(ComputeSHA(message, s.StandardFlag, s.BrokenFlag)), answer.hex);
    if (message.size() > 1000) continue;
    for (std::size_t piece = 1; piece <= 70; ++piece) {
      const auto pieces = [&](auto feed) {
        for (std::size_t at = 0; at < message.size(); at += piece) {
          feed(message.subspan(at, std::min(piece, message.size() - at)));
        }
      };
      ASSERT_EQ(Hex(ComputeSHA(message.size(), pieces, s.StandardFlag, s.BrokenFlag)), answer.hex)
          << "pieces of " << piece;
    }
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

template <typename Variant>
std::size_t BlocksFor(std::size_t length) {
  const std::vector<std::uint8_t> message(length, 0x61);
  ShaContext context{};
  counted_blocks = 0;
  HashBlocks<Variant>(context, message, &CountBlocks);
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
    EXPECT_EQ(BlocksFor<StandardSha>(row.length), row.standard) << row.length;
    EXPECT_EQ(BlocksFor<LockdownSha>(row.length), row.standard) << row.length;
    EXPECT_EQ(BlocksFor<BrokenSha>(row.length), row.broken) << row.length;
  }
}

// The padding of each variant, of a message of `length` bytes ending in
// `tail`.
template <typename Variant>
std::size_t Pad(std::span<const std::uint8_t> tail, std::uint64_t length,
                std::uint8_t (&out)[2 * kBlockSize]) {
  return PadFinalBlocks(tail, length << 3, Variant::kPadding, out);
}

TEST(ShaEngine, PaddingLayout) {
  const std::vector<std::uint8_t> tail = {1, 2, 3};
  std::uint8_t out[2 * kBlockSize];

  ASSERT_EQ(Pad<StandardSha>(tail, 67, out), 1u);
  EXPECT_EQ(Hex({out, 4}), "01020380");
  EXPECT_EQ(Hex({out + 4, 52}), std::string(104, '0'));
  EXPECT_EQ(Hex({out + 56, 8}), "0000000000000218");  // 536 bits, big-endian

  ASSERT_EQ(Pad<LockdownSha>(tail, 67, out), 1u);
  EXPECT_EQ(Hex({out + 56, 8}), "1802000000000000");  // little-endian, then zeros

  ASSERT_EQ(Pad<BrokenSha>(tail, 67, out), 1u);
  EXPECT_EQ(Hex({out, 64}), "010203" + std::string(122, '0'));
  EXPECT_EQ(Pad<BrokenSha>({}, 64, out), 0u);

  // 56 bytes of tail: the marker ends the first block, the length the second.
  const std::vector<std::uint8_t> long_tail(56, 0xAA);
  ASSERT_EQ(Pad<StandardSha>(long_tail, 56, out), 2u);
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
    const std::size_t blocks = Pad<StandardSha>(tail, row.length, out);
    EXPECT_EQ(Hex({out + 64 * blocks - 8, 8}), row.standard_field) << row.length;
    Pad<LockdownSha>(tail, row.length, out);
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
