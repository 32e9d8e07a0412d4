// The MD5 and DoubleHashPassword exports, called as a C++ program linked
// against the shared library would call them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <type_traits>
#include <vector>

#if defined(_WIN32)
#include <windows.h>
#include <oleauto.h>
#endif

#include "common/secure_wipe.hpp"
#include "known_answers.hpp"
#include "stack_secrets.hpp"
#include "quillet/digest.hpp"
#include "quillet/quillet.h"
#include "quillet/stream.h"
#include "test_support.hpp"

namespace {

struct Release {
  void operator()(ByteString s) const { SysFreeString(s); }
};
using Owned = std::unique_ptr<std::remove_pointer_t<ByteString>, Release>;

Owned Make(std::string_view bytes) {
  return Owned(SysAllocStringByteLen(bytes.data(), static_cast<unsigned>(bytes.size())));
}

std::string Text(const Owned& s) {
  return {reinterpret_cast<const char*>(s.get()), SysStringByteLen(s.get())};
}

std::string HexOf(const Owned& s) {
  return quillet::test::Hex(
      {reinterpret_cast<const std::uint8_t*>(s.get()), SysStringByteLen(s.get())});
}

Owned Proof(ByteString password, std::int32_t first, std::int32_t second) {
  return Owned(DoubleHashPassword(&password, &first, &second));
}

TEST(Md5Export, TextOfTheDigest) {
  const struct {
    std::string_view message;
    const char* text;
  } rows[] = {{"", "D41D8CD98F00B204E9800998ECF8427E"},
              {"abc", "900150983CD24FB0D6963F7D28E17F72"},
              {std::string_view("a\0b", 3), "70350F6027BCE3713F6B76473084309B"}};
  for (const auto& row : rows) {
    ByteString input = Make(row.message).release();
    const ByteString held = input;
    const Owned result(MD5(&input));
    ASSERT_NE(result, nullptr);
    EXPECT_EQ(SysStringByteLen(result.get()), 32u);
    EXPECT_EQ(Text(result), row.text);
    EXPECT_EQ(input, held);
    EXPECT_EQ(std::string_view(reinterpret_cast<char*>(input), SysStringByteLen(input)),
              row.message);
    SysFreeString(input);
  }
}

TEST(Md5Export, NullAndEmptyHandlesAgree) {
  ByteString null_handle = nullptr;
  ByteString empty = SysAllocStringByteLen(nullptr, 0);
  const Owned a(MD5(&null_handle)), b(MD5(&empty));
  EXPECT_EQ(Text(a), "D41D8CD98F00B204E9800998ECF8427E");
  EXPECT_EQ(Text(a), Text(b));
  SysFreeString(empty);
}

TEST(DoubleHashPassword, KnownAnswers) {
  ASSERT_FALSE(quillet::test::PasswordAnswers().empty());
  for (const auto& answer : quillet::test::PasswordAnswers()) {
    const Owned password = Make(answer.message);
    // The tokens as a caller holding signed 32-bit numbers passes them.
    const Owned proof = Proof(password.get(), static_cast<std::int32_t>(answer.first_token),
                              static_cast<std::int32_t>(answer.second_token));
    ASSERT_NE(proof, nullptr);
    EXPECT_EQ(SysStringByteLen(proof.get()), 20u);
    EXPECT_EQ(HexOf(proof), answer.hex);
  }
}

TEST(DoubleHashPassword, IsBrokenShaOfTheTokensAndTheFirstDigest) {
  ByteString password = Make("correct horse").release();
  const std::int32_t first = 0x01020304, second = static_cast<std::int32_t>(0x80FF0001u);
  const Owned inner(BrokenSHA(&password));
  std::string joined("\x04\x03\x02\x01\x01\x00\xFF\x80", 8);
  joined.append(reinterpret_cast<const char*>(inner.get()), 20);
  ByteString second_stage = Make(joined).release();
  const Owned expected(BrokenSHA(&second_stage));
  EXPECT_EQ(HexOf(Proof(password, first, second)), HexOf(expected));
  SysFreeString(second_stage);
  SysFreeString(password);
}

TEST(DoubleHashPassword, TokensAndPasswordHandling) {
  const Owned password = Make("secret");
  // Unequal tokens swapped give another proof; equal ones the same.
  EXPECT_NE(HexOf(Proof(password.get(), 1, 2)), HexOf(Proof(password.get(), 2, 1)));
  EXPECT_EQ(HexOf(Proof(password.get(), 9, 9)), HexOf(Proof(password.get(), 9, 9)));
  // A token with its top bit set: the same bits, signed or unsigned.
  const std::uint32_t unsigned_token = 0xFFFFFFFEu;
  std::int32_t as_signed;
  std::memcpy(&as_signed, &unsigned_token, 4);
  EXPECT_EQ(as_signed, -2);
  EXPECT_EQ(HexOf(Proof(password.get(), as_signed, 5)),
            HexOf(Proof(password.get(), static_cast<std::int32_t>(unsigned_token), 5)));
  // Null and non-null empty passwords agree.
  ByteString empty = SysAllocStringByteLen(nullptr, 0);
  EXPECT_EQ(HexOf(Proof(nullptr, 3, 4)), HexOf(Proof(empty, 3, 4)));
  SysFreeString(empty);
}

TEST(DoubleHashPassword, ArgumentsUnchanged) {
  ByteString password = Make(std::string_view("p\0w", 3)).release();
  const ByteString held = password;
  std::int32_t first = -123, second = 456;
  const Owned proof(DoubleHashPassword(&password, &first, &second));
  ASSERT_NE(proof, nullptr);
  EXPECT_EQ(password, held);
  EXPECT_EQ(SysStringByteLen(password), 3u);
  EXPECT_EQ(std::memcmp(password, "p\0w", 3), 0);
  EXPECT_EQ(first, -123);
  EXPECT_EQ(second, 456);
  SysFreeString(password);
}

// After any export or C++ API call, the stack below the caller holds no
// eight consecutive bytes of the input (from the copies and padding blocks
// made of it) and, after the password proof, none of the first-stage digest.
template <typename T>
void Keep(const T& result) {
  __asm__ __volatile__("" : : "r"(&result) : "memory");
}

std::span<const std::byte> BytesOf(const ByteString* s) {
  return {reinterpret_cast<const std::byte*>(*s), *s == nullptr ? 0 : SysStringByteLen(*s)};
}

constexpr std::int32_t kFirst = 0x5EC12E7, kSecond = -99;

// Makes a result and wipes it, as a caller that is done with it would. The
// result is used (Keep) before the wipe: were it not, the compiler could
// treat its bytes as dead and make the call into a temporary of its own
// here, which nothing wipes.
template <typename Make>
void Forget(Make make) {
  auto result = make();
  Keep(result);
  quillet::SecureWipeObject(result);
  Keep(result);
}

template <quillet::Algorithm kAlgorithm>
void ThroughHasher(const ByteString* s) {
  quillet::Hasher hasher(kAlgorithm);
  Forget([&] { return hasher.Update(BytesOf(s)).Finish(); });
}

// The streaming C interface, its digest wiped by the caller: an opaque
// hasher, a state in the caller's frame (cleared after), digest_many. Its
// frames lie above the C++ calls that burn below themselves, and hold no
// part of the message: a state's header and pointers (kStreamFrame), and
// digest_many's batch of views and of digests, which it wipes
// (kStreamBatchFrame).
constexpr std::size_t kStreamFrame = 256;
constexpr std::size_t kStreamBatchFrame = 4096;
template <std::uint32_t kNumber>
void ThroughCHasher(const ByteString* s) {
  const auto bytes = BytesOf(s);
  quillet_hasher* hasher = nullptr;
  std::array<std::uint8_t, QUILLET_MAX_DIGEST_SIZE> out{};
  if (quillet_hasher_new(kNumber, &hasher) == QUILLET_OK &&
      quillet_hasher_update(hasher, bytes.data(), bytes.size()) == QUILLET_OK) {
    quillet_hasher_finish(hasher, out.data(), out.size());
  }
  quillet_hasher_free(hasher);
  Keep(out);
  quillet::SecureWipeObject(out);
  Keep(out);
}

template <std::uint32_t kNumber>
void ThroughCState(const ByteString* s) {
  const auto bytes = BytesOf(s);
  unsigned char memory[QUILLET_STATE_SIZE + 3];
  void* const state = memory + 3;
  std::array<std::uint8_t, QUILLET_MAX_DIGEST_SIZE> out{};
  if (quillet_state_init(state, QUILLET_STATE_SIZE, kNumber) == QUILLET_OK &&
      quillet_state_update(state, bytes.data(), bytes.size()) == QUILLET_OK) {
    quillet_state_finish(state, out.data(), out.size());
  }
  quillet_state_clear(state, QUILLET_STATE_SIZE);
  Keep(out);
  quillet::SecureWipeObject(out);
  Keep(out);
}

template <std::uint32_t kNumber>
void ThroughCDigestMany(const ByteString* s) {
  const auto bytes = BytesOf(s);
  const void* messages[8];
  std::uint64_t sizes[8];
  std::fill(std::begin(messages), std::end(messages), bytes.data());
  std::fill(std::begin(sizes), std::end(sizes), bytes.size());
  std::array<std::uint8_t, 8 * QUILLET_MAX_DIGEST_SIZE> out{};
  quillet_digest_many(kNumber, 8, messages, sizes, out.data(), out.size());
  Keep(out);
  quillet::SecureWipeObject(out);
  Keep(out);
}

// Eight copies of the message: enough for the widest lanes to be chosen.
template <quillet::Algorithm kAlgorithm>
void ThroughDigestMany(const ByteString* s) {
  const std::vector<quillet::ByteView> messages(8, BytesOf(s));
  std::vector<quillet::Digest> digests(messages.size());
  quillet::DigestMany(kAlgorithm, messages, digests);
  quillet::SecureWipe(digests.data(), digests.size() * sizeof digests[0]);
  Keep(digests);
}

TEST(NoResidue, NothingOfTheInputIsLeftOnTheStack) {
#if defined(QUILLET_SANITIZED_FRAMES)
  GTEST_SKIP() << "the sanitizers' frames are larger and laid out apart";
#endif
  // Each call makes its result and lets it go. A call that forgets its
  // result (wipes it) must leave no word of the digest either: `digest` names
  // the algorithm whose digest it made, and `burn` is how far below itself
  // the library wipes.
  using Fn = void (*)(const ByteString*);
  using quillet::Algorithm;
  struct Entry {
    const char* name;
    Fn call;
    std::optional<Algorithm> digest = std::nullopt;
    std::size_t burn = quillet::kStackBurnSize;
  };
  const Entry exports[] = {
      {"StandardSHA", [](const ByteString* s) { SysFreeString(StandardSHA(s)); }},
      {"BrokenSHA", [](const ByteString* s) { SysFreeString(BrokenSHA(s)); }},
      {"LockdownSHA", [](const ByteString* s) { SysFreeString(LockdownSHA(s)); }},
      {"MD5", [](const ByteString* s) { SysFreeString(MD5(s)); }},
      {"DoubleHashPassword",
       [](const ByteString* s) { SysFreeString(DoubleHashPassword(s, &kFirst, &kSecond)); }},
      {"C++ StandardSHA", [](const ByteString* s) { Keep(quillet::StandardSHA(BytesOf(s))); }},
      {"C++ BrokenSHA", [](const ByteString* s) { Keep(quillet::BrokenSHA(BytesOf(s))); }},
      {"C++ MD5", [](const ByteString* s) { Keep(quillet::MD5Hex(BytesOf(s))); }},
      {"C++ DoubleHashPassword",
       [](const ByteString* s) {
         Keep(quillet::DoubleHashPassword(BytesOf(s), kFirst, static_cast<std::uint32_t>(kSecond)));
       }},
      {"C++ StandardShaHasher",
       [](const ByteString* s) {
         quillet::StandardShaHasher hasher;
         hasher.Update(BytesOf(s));
         Keep(hasher.Finish());
       }},
      {"C++ BrokenShaHasher, updated only",
       [](const ByteString* s) {
         quillet::BrokenShaHasher hasher;
         hasher.Update(BytesOf(s));
       }},
      {"C++ Md5Hasher, updated only",
       [](const ByteString* s) {
         quillet::Md5Hasher hasher;
         hasher.Update(BytesOf(s));
       }},
      {"C++ Md5Hasher",
       [](const ByteString* s) {
         quillet::Md5Hasher hasher;
         hasher.Update(BytesOf(s));
         Keep(hasher.Finish());
       }},
      {"C++ StandardShaHasher, result wiped",
       [](const ByteString* s) {
         quillet::StandardShaHasher hasher;
         Forget([&] { return hasher.Update(BytesOf(s)).Finish(); });
       },
       Algorithm::kStandardSha},
      {"C++ Md5Hasher, result wiped",
       [](const ByteString* s) {
         quillet::Md5Hasher hasher;
         Forget([&] { return hasher.Update(BytesOf(s)).Finish(); });
       },
       Algorithm::kMd5},
      {"C++ StandardSHA, result wiped",
       [](const ByteString* s) { Forget([&] { return quillet::StandardSHA(BytesOf(s)); }); },
       Algorithm::kStandardSha},
      {"C++ Hasher sha1", &ThroughHasher<Algorithm::kStandardSha>, Algorithm::kStandardSha},
      {"C++ Hasher broken_sha", &ThroughHasher<Algorithm::kBrokenSha>, Algorithm::kBrokenSha},
      {"C++ Hasher lockdown_sha", &ThroughHasher<Algorithm::kLockdownSha>, Algorithm::kLockdownSha},
      {"C++ Hasher md5", &ThroughHasher<Algorithm::kMd5>, Algorithm::kMd5},
      {"C++ DigestMany sha1", &ThroughDigestMany<Algorithm::kStandardSha>, Algorithm::kStandardSha,
       quillet::kManyStackBurnSize},
      {"C++ DigestMany broken_sha", &ThroughDigestMany<Algorithm::kBrokenSha>,
       Algorithm::kBrokenSha, quillet::kManyStackBurnSize},
      {"C++ DigestMany lockdown_sha", &ThroughDigestMany<Algorithm::kLockdownSha>,
       Algorithm::kLockdownSha, quillet::kManyStackBurnSize},
      {"C++ DigestMany md5", &ThroughDigestMany<Algorithm::kMd5>, Algorithm::kMd5,
       quillet::kManyStackBurnSize},
      {"C quillet_hasher sha1", &ThroughCHasher<QUILLET_STANDARD_SHA>, Algorithm::kStandardSha,
       quillet::kStackBurnSize + kStreamFrame},
      {"C quillet_hasher broken_sha", &ThroughCHasher<QUILLET_BROKEN_SHA>, Algorithm::kBrokenSha,
       quillet::kStackBurnSize + kStreamFrame},
      {"C quillet_hasher md5", &ThroughCHasher<QUILLET_MD5>, Algorithm::kMd5,
       quillet::kStackBurnSize + kStreamFrame},
      {"C quillet_state lockdown_sha", &ThroughCState<QUILLET_LOCKDOWN_SHA>,
       Algorithm::kLockdownSha, quillet::kStackBurnSize + kStreamFrame},
      {"C quillet_state md5", &ThroughCState<QUILLET_MD5>, Algorithm::kMd5,
       quillet::kStackBurnSize + kStreamFrame},
      {"C quillet_digest_many sha1", &ThroughCDigestMany<QUILLET_STANDARD_SHA>,
       Algorithm::kStandardSha, quillet::kManyStackBurnSize + kStreamBatchFrame},
      {"C quillet_digest_many md5", &ThroughCDigestMany<QUILLET_MD5>, Algorithm::kMd5,
       quillet::kManyStackBurnSize + kStreamBatchFrame},
  };
  for (const std::size_t length : {8u, 30u, 64u, 100u, 20000u}) {
    const auto bytes = quillet::test::RandomBytes(length, static_cast<std::uint32_t>(length) + 77);
    ByteString input = Make({reinterpret_cast<const char*>(bytes.data()), bytes.size()}).release();
    std::vector<std::vector<std::uint8_t>> secrets;
    for (std::size_t at = 0; at + 8 <= std::min<std::size_t>(length, 512); ++at) {
      secrets.emplace_back(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                           bytes.begin() + static_cast<std::ptrdiff_t>(at + 8));
    }
    // The schedules of the first block, for the SHA-1 calls.
    const std::size_t schedule_secrets_begin = secrets.size();
    if (length >= 64) {
      quillet::test::AddScheduleWindows<quillet::sha1::StandardSha>(secrets, bytes.data());
      quillet::test::AddScheduleWindows<quillet::sha1::BrokenSha>(secrets, bytes.data());
    }
    const std::size_t schedule_secrets_end = secrets.size();
    // Single words, as a block function spills them to its frame one at a
    // time: the message's own (MD5's and the little-endian variants' inputs)
    // and the first block's standard schedule words (the one-bit ones take
    // only 32 values, as any flag may), looked for only where the call's
    // frames were (about 2 KiB: a chance match is below 1 in 10^4 a run).
    std::vector<std::array<std::uint8_t, 4>> words;
    for (std::size_t at = 0; at + 4 <= std::min<std::size_t>(length, 512); at += 4) {
      words.push_back({bytes[at], bytes[at + 1], bytes[at + 2], bytes[at + 3]});
    }
    const std::size_t message_words = words.size();
    if (length >= 64) {
      const auto schedule = quillet::test::ScheduleOf<quillet::sha1::StandardSha>(bytes.data());
      for (std::size_t t = 0; t < 80; ++t) {
        std::array<std::uint8_t, 4> word;
        std::memcpy(word.data(), &schedule[t], 4);
        words.push_back(word);
      }
    }
    // Message words in both byte orders: the lanes transpose them.
    const std::size_t forward_words = words.size();
    for (std::size_t i = 0; i < forward_words; ++i) {
      auto word = words[i];
      std::reverse(word.begin(), word.end());
      words.push_back(word);
    }
    const Owned inner(BrokenSHA(&input));
    const auto* inner_bytes = reinterpret_cast<const std::uint8_t*>(inner.get());
    for (std::size_t at = 0; at + 8 <= 20; ++at) {
      secrets.emplace_back(inner_bytes + at, inner_bytes + at + 8);
    }
    for (const auto& e : exports) {
      e.call(&input);  // binds the symbol first: the resolver's stack is not ours
      // The deepest stack the call reaches is the wipe's own, so the frames
      // below the call lay within the wiped area.
      const auto used = quillet::test::StackAfter([&] { e.call(&input); }, 0xA5);
      const std::size_t depth = quillet::test::StackDepth(used, 0xA5);
      EXPECT_LE(depth, e.burn + quillet::test::kFrameSlack) << e.name;
      const auto stack = quillet::test::StackAfter([&] { e.call(&input); });
      const bool proof = std::string_view(e.name).find("DoubleHashPassword") != std::string_view::npos;
      std::size_t found = 0;
      const bool md5 = std::string_view(e.name).find("MD5") != std::string_view::npos;
      for (std::size_t i = 0; i < secrets.size(); ++i) {
        // The first-stage digest is BrokenSHA's own result, so only the
        // proof must not leave it. MD5 has no schedule.
        if (i + 13 >= secrets.size() && !proof) continue;
        if (md5 && i >= schedule_secrets_begin && i < schedule_secrets_end) continue;
        found += quillet::test::Contains(stack, secrets[i]) ? 1u : 0u;
      }
      const std::vector<std::uint8_t> frames(stack.end() - static_cast<std::ptrdiff_t>(depth),
                                             stack.end());
      for (std::size_t i = 0; i < words.size(); ++i) {
        if (md5 && i >= message_words && i < forward_words) continue;
        if (md5 && i >= forward_words + message_words) continue;
        found += quillet::test::Contains(frames, words[i]) ? 1u : 0u;
      }
      if (e.digest) {
        quillet::Hasher reference(*e.digest);
        const quillet::Digest digest = reference.Update(BytesOf(&input)).Finish();
        for (std::size_t at = 0; at + 4 <= digest.size(); at += 4) {
          std::array<std::uint8_t, 4> word;
          std::memcpy(word.data(), digest.data() + at, 4);
          found += quillet::test::Contains(frames, word) ? 1u : 0u;
          std::reverse(word.begin(), word.end());
          found += quillet::test::Contains(frames, word) ? 1u : 0u;
        }
      }
      EXPECT_EQ(found, 0u) << e.name << " of " << length << " bytes";
    }
    SysFreeString(input);
  }
}

// Every export and the C++ API from many threads at once, each result
// checked against the C++ API's one-shot call on the same bytes (which
// hashes them in place, without the exports' private copy). Sizes span the
// default and the fast paths and several chunks of the private copy.
TEST(Concurrency, EveryExportFromManyThreads) {
  using Fn = std::string (*)(ByteString);
  const Fn calls[] = {
      [](ByteString s) { return HexOf(Owned(StandardSHA(&s))); },
      [](ByteString s) { return HexOf(Owned(BrokenSHA(&s))); },
      [](ByteString s) { return HexOf(Owned(LockdownSHA(&s))); },
      [](ByteString s) { return Text(Owned(MD5(&s))); },
      [](ByteString s) { return HexOf(Proof(s, 11, -11)); },
      [](ByteString s) { return quillet::test::Hex(quillet::BrokenSHA(BytesOf(&s))); },
  };
  constexpr std::size_t kCalls = sizeof calls / sizeof calls[0];
  const auto reference = [&](std::size_t call, ByteString s) -> std::string {
    const auto data = BytesOf(&s);
    switch (call) {
      case 0: return quillet::test::Hex(quillet::StandardSHA(data));
      case 1: return quillet::test::Hex(quillet::BrokenSHA(data));
      case 2: return quillet::test::Hex(quillet::LockdownSHA(data));
      case 3: {
        const auto text = quillet::MD5Hex(data);
        return {text.begin(), text.end()};
      }
      case 4: return quillet::test::Hex(quillet::DoubleHashPassword(data, 11, 0xFFFFFFF5u));
      default: return calls[1](s);  // the export against the C++ call
    }
  };
  std::vector<Owned> inputs;
  inputs.emplace_back(nullptr);
  for (const std::size_t length : {1u, 55u, 64u, 1000u, 16383u, 16384u, 16449u, 20000u,
                                   70000u, 200003u}) {
    const auto bytes = quillet::test::RandomBytes(length, static_cast<std::uint32_t>(length));
    inputs.push_back(Make({reinterpret_cast<const char*>(bytes.data()), bytes.size()}));
  }
  std::vector<std::string> expected;
  for (const Owned& input : inputs) {
    for (std::size_t c = 0; c < kCalls; ++c) {
      expected.push_back(reference(c, input.get()));
      EXPECT_EQ(calls[c](input.get()), expected.back())
          << "call " << c << " on " << SysStringByteLen(input.get()) << " bytes";
    }
  }
  std::vector<int> mismatches(8, 0);
  std::vector<std::thread> threads;
  for (std::size_t t = 0; t < mismatches.size(); ++t) {
    threads.emplace_back([&, t] {
      for (std::size_t round = 0; round < 6; ++round) {
        for (std::size_t i = 0; i < inputs.size(); ++i) {
          const std::size_t c = (i + t + round) % kCalls;
          if (calls[c](inputs[i].get()) != expected[i * kCalls + c]) ++mismatches[t];
        }
      }
    });
  }
  for (auto& thread : threads) thread.join();
  for (std::size_t t = 0; t < mismatches.size(); ++t) EXPECT_EQ(mismatches[t], 0) << "thread " << t;
}

}  // namespace
