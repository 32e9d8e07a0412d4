// The MD5 engine.
//
// Origins of the vectors: RFC 1321 appendix A.5 (the test suite, in upper
// case); the boundary lengths and the 256 byte values from Python's
// hashlib.md5.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "md5/md5.hpp"
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

std::string AllByteValues() {
  std::string out;
  for (int i = 0; i < 256; ++i) out.push_back(static_cast<char>(i));
  return out;
}

TEST(Md5Engine, KnownAnswers) {
  const struct {
    std::string message;
    const char* hex;
  } answers[] = {
      {"", "D41D8CD98F00B204E9800998ECF8427E"},
      {"a", "0CC175B9C0F1B6A831C399E269772661"},
      {"abc", "900150983CD24FB0D6963F7D28E17F72"},
      {"message digest", "F96B697D7CB7938D525A2F31AAF161D0"},
      {"abcdefghijklmnopqrstuvwxyz", "C3FCD3D76192E4007DFB496CCA67E13B"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
       "D174AB98D277D9F5A5611C2C9F419D9F"},
      {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
       "57EDF4A22BE3C955AC49DA2E2107B67A"},
      {std::string(55, 'a'), "EF1772B6DFF9A122358552954AD0DF65"},
      {std::string(56, 'a'), "3B0C8AC703F828B04C6C197006D17218"},
      {std::string(63, 'a'), "B06521F39153D618550606BE297466D5"},
      {std::string(64, 'a'), "014842D480B571495A4A0363793F7367"},
      {std::string(65, 'a'), "C743A45E0D2E6A95CB859ADAE0248435"},
      {std::string(119, 'a'), "8A7BD0732ED6A28CE75F6DABC90E1613"},
      {std::string(120, 'a'), "5F61C0CCAD4CAC44C75FF505E1F1E537"},
      {AllByteValues(), "E2C865DB4162BED963BFAA9EF6AC18F0"},
      {std::string("a\0b", 3), "70350F6027BCE3713F6B76473084309B"},
  };
  for (const auto& answer : answers) {
    EXPECT_EQ(HexOf(test::Bytes(answer.message)), answer.hex) << answer.message.size();
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
  const std::vector<std::uint8_t> data(200, 0x5A);
  const struct {
    std::uint32_t low, high;
    std::size_t length;
    std::uint32_t want_low, want_high;
  } rows[] = {
      {0xFFFFFE00u, 0, 64, 0x00000000u, 1},    // exactly wraps
      {0xFFFFFE00u, 0, 67, 0x00000018u, 1},    // wraps with a remainder
      {0xFFFFFE00u, 0, 63, 0xFFFFFFF8u, 0},    // just short of wrapping
      {0xFFFFFFF8u, 7, 1, 0x00000000u, 8},     // carry into a non-zero high word
      {0xFFFFFFF8u, 0xFFFFFFFFu, 1, 0, 0},     // the 64-bit count itself wraps
  };
  for (const auto& row : rows) {
    Md5Context context;
    InitMD5(context);
    context.count[0] = row.low;
    context.count[1] = row.high;
    UpdateMD5(context, data.data(), row.length);
    EXPECT_EQ(context.count[0], row.want_low) << row.low << "+" << row.length;
    EXPECT_EQ(context.count[1], row.want_high) << row.low << "+" << row.length;
  }
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
  TransformMD5(state, block);

  Digest digest;
  FinishMD5(digest, context);
  for (std::size_t i = 0; i < 4; ++i) {
    const std::uint32_t word = digest[4 * i] | digest[4 * i + 1] << 8 |
                               digest[4 * i + 2] << 16 |
                               static_cast<std::uint32_t>(digest[4 * i + 3]) << 24;
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
