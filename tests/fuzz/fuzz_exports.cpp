// libFuzzer target: arbitrary bytes choose an export, two split points, two
// tokens and the input. Each export through the boundary must equal the C++
// one-shot call and the streaming hasher fed in three pieces; every fast
// block function the CPU has must equal the portable one on the input's
// whole blocks; the batch call gives each of forty prefixes of the input its
// Hasher digest; results have the right length; the input is left untouched.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "quillet/digest.hpp"
#include "quillet/quillet.h"
#include "sha1/backends.hpp"
#include "sha1/dispatch.hpp"

namespace {

void Require(bool condition) {
  if (!condition) __builtin_trap();
}

template <std::size_t N>
void SameBytes(ByteString result, const std::array<std::uint8_t, N>& expected) {
  Require(result != nullptr && SysStringByteLen(result) == N);
  Require(std::memcmp(result, expected.data(), N) == 0);
}

void SameText(ByteString result, const quillet::Md5Text& expected) {
  Require(result != nullptr && SysStringByteLen(result) == expected.size());
  Require(std::memcmp(result, expected.data(), expected.size()) == 0);
}

template <typename Hasher>
auto Pieces(std::span<const std::byte> data, std::size_t a, std::size_t b) {
  Hasher hasher;
  hasher.Update(data.first(a)).Update(data.subspan(a, b - a)).Update(data.subspan(b));
  if constexpr (std::is_same_v<Hasher, quillet::Md5Hasher>) {
    return hasher.FinishHex();
  } else {
    return hasher.Finish();
  }
}

template <typename Variant>
void BackendsAgree(std::span<const std::uint8_t> data) {
  using namespace quillet::sha1;
  const std::size_t blocks = data.size() / kBlockSize;
  if (blocks == 0) return;
  Word expected[5] = {0x67452301u, 0xEFCDAB89u, 0x98BADCFEu, 0x10325476u, 0xC3D2E1F0u};
  Word start[5];
  std::memcpy(start, expected, sizeof start);
  TransformBlocksPortable<Variant>(expected, data.data(), blocks);
  for (const auto& backend : Backends<Variant>(quillet::DetectCpu())) {
    if (backend.function == nullptr) continue;
    Word got[5];
    std::memcpy(got, start, sizeof got);
    backend.function(got, data.data(), blocks);
    Require(std::memcmp(got, expected, sizeof got) == 0);
  }
}

// Forty prefixes of the input, of lengths spread from the split points, in
// one batch: enough to fill the widest kernel's lanes and refill them.
void BatchAgrees(quillet::Algorithm algorithm, std::span<const std::byte> data, std::size_t a) {
  constexpr std::size_t kCount = 40;
  std::vector<quillet::ByteView> messages;
  for (std::size_t i = 0; i < kCount; ++i)
    messages.push_back(data.first((a + 37 * i) % (data.size() + 1)));
  std::vector<quillet::Digest> digests(kCount);
  quillet::DigestMany(algorithm, messages, digests);
  for (std::size_t i = 0; i < kCount; ++i) {
    quillet::Hasher hasher(algorithm);
    Require(digests[i] == hasher.Update(messages[i]).Finish());
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 5) return 0;
  const unsigned which = data[0] % 5;
  const std::uint8_t* payload = data + 5;
  const std::size_t n = size - 5;
  std::size_t a = data[1] * n / 255, b = data[2] * n / 255;
  if (a > b) std::swap(a, b);
  // Tokens from two bytes, spread so that top bits are often set.
  const auto first = static_cast<std::int32_t>(data[3] * 0x01010101u);
  const auto second = static_cast<std::int32_t>(std::uint32_t{data[4]} << 24 | data[3]);

  ByteString input =
      n == 0 && (data[1] & 1)
          ? nullptr
          : SysAllocStringByteLen(reinterpret_cast<const char*>(payload), static_cast<unsigned>(n));
  const ByteString held = input;
  const std::vector<std::uint8_t> before(payload, payload + n);
  const std::span<const std::byte> bytes(reinterpret_cast<const std::byte*>(payload), n);
  const std::span<const std::uint8_t> octets(payload, n);

  ByteString result = nullptr;
  switch (which) {
    case 0:
      result = StandardSHA(&input);
      SameBytes(result, quillet::StandardSHA(bytes));
      Require(Pieces<quillet::StandardShaHasher>(bytes, a, b) == quillet::StandardSHA(bytes));
      BackendsAgree<quillet::sha1::StandardSha>(octets);
      break;
    case 1:
      result = BrokenSHA(&input);
      SameBytes(result, quillet::BrokenSHA(bytes));
      Require(Pieces<quillet::BrokenShaHasher>(bytes, a, b) == quillet::BrokenSHA(bytes));
      BackendsAgree<quillet::sha1::BrokenSha>(octets);
      break;
    case 2:
      result = LockdownSHA(&input);
      SameBytes(result, quillet::LockdownSHA(bytes));
      Require(Pieces<quillet::LockdownShaHasher>(bytes, a, b) == quillet::LockdownSHA(bytes));
      BackendsAgree<quillet::sha1::LockdownSha>(octets);
      break;
    case 3:
      result = MD5(&input);
      SameText(result, quillet::MD5Hex(bytes));
      Require(Pieces<quillet::Md5Hasher>(bytes, a, b) == quillet::MD5Hex(bytes));
      break;
    case 4: {
      const std::int32_t first_before = first, second_before = second;
      result = DoubleHashPassword(&input, &first, &second);
      SameBytes(result, quillet::DoubleHashPassword(bytes, static_cast<std::uint32_t>(first),
                                                    static_cast<std::uint32_t>(second)));
      Require(first == first_before && second == second_before);
      break;
    }
  }
  if (which < 4) BatchAgrees(static_cast<quillet::Algorithm>(which), bytes, a);
  Require(input == held);
  Require(input == nullptr ||
          (SysStringByteLen(input) == n && (n == 0 || std::memcmp(input, before.data(), n) == 0)));
  SysFreeString(result);
  SysFreeString(input);
  return 0;
}
