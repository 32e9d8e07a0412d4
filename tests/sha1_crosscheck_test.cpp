// StandardSHA against OpenSSL's SHA-1, an independent implementation, on
// random inputs of every length across the first several blocks.
#include <gtest/gtest.h>
#include <openssl/sha.h>

#include "sha1/engine.hpp"
#include "test_support.hpp"

namespace quillet::sha1 {
namespace {

TEST(ShaCrossCheck, StandardMatchesOpenSslForEveryShortLength) {
  for (std::size_t length = 0; length <= 600; ++length) {
    const auto input = test::RandomBytes(length, static_cast<std::uint32_t>(length));
    Digest expected;
    SHA1(input.data(), input.size(), expected.data());
    ASSERT_EQ(test::Hex(ComputeSHA(input, 1, 0)), test::Hex(expected)) << length;
  }
}

}  // namespace
}  // namespace quillet::sha1
