// The C++ API: every known answer through the one-shot functions (span,
// string_view and container overloads), the streaming hashers split at every
// point and fed byte by byte, and input at every alignment.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "known_answers.hpp"
#include "quillet/digest.hpp"
#include "test_support.hpp"

namespace quillet {
namespace {

constexpr Algorithm kEveryAlgorithm[] = {Algorithm::kStandardSha, Algorithm::kBrokenSha,
                                         Algorithm::kLockdownSha, Algorithm::kMd5};

// One digest of `data` as lower-case hex (MD5 as its upper-case text), by the
// one-shot function of `algorithm`.
std::string OneShot(Algorithm algorithm, std::span<const std::byte> data) {
  switch (algorithm) {
    case Algorithm::kStandardSha: return test::Hex(StandardSHA(data));
    case Algorithm::kBrokenSha: return test::Hex(BrokenSHA(data));
    case Algorithm::kLockdownSha: return test::Hex(LockdownSHA(data));
    case Algorithm::kMd5: {
      const Md5Text text = MD5Hex(data);
      return {text.begin(), text.end()};
    }
  }
  return {};
}

// The same through a streaming hasher fed the pieces split at `cuts`.
template <typename Hasher>
std::string Streamed(Hasher& hasher, std::span<const std::byte> data,
                     const std::vector<std::size_t>& cuts) {
  std::size_t from = 0;
  for (const std::size_t cut : cuts) {
    hasher.Update(data.subspan(from, cut - from));
    from = cut;
  }
  hasher.Update(data.subspan(from));
  if constexpr (std::is_same_v<Hasher, Md5Hasher>) {
    const Md5Text text = hasher.FinishHex();
    return {text.begin(), text.end()};
  } else {
    return test::Hex(hasher.Finish());
  }
}

// The same through the concrete hasher of `algorithm` and, checked to agree,
// through the type-erased Hasher.
std::string Streamed(Algorithm algorithm, std::span<const std::byte> data,
                     const std::vector<std::size_t>& cuts) {
  std::string concrete;
  switch (algorithm) {
    case Algorithm::kStandardSha: {
      StandardShaHasher h;
      concrete = Streamed(h, data, cuts);
      break;
    }
    case Algorithm::kBrokenSha: {
      BrokenShaHasher h;
      concrete = Streamed(h, data, cuts);
      break;
    }
    case Algorithm::kLockdownSha: {
      LockdownShaHasher h;
      concrete = Streamed(h, data, cuts);
      break;
    }
    case Algorithm::kMd5: {
      Md5Hasher h;
      concrete = Streamed(h, data, cuts);
      break;
    }
  }
  Hasher any(algorithm);
  std::size_t from = 0;
  for (const std::size_t cut : cuts) {
    any.Update(data.subspan(from, cut - from));
    from = cut;
  }
  any.Update(data.subspan(from));
  EXPECT_EQ(ToHex(any.Finish(), algorithm == Algorithm::kMd5).view(), concrete);
  return concrete;
}

TEST(Api, KnownAnswersOneShotAndStreamed) {
  for (const auto& answer : test::KnownAnswers()) {
    const auto data = AsBytes(std::string_view(answer.message));
    SCOPED_TRACE(testing::Message() << answer.digest << ", length " << answer.message.size());
    EXPECT_EQ(OneShot(answer.algorithm, data), answer.hex);
    EXPECT_EQ(Streamed(answer.algorithm, data, {}), answer.hex);
    if (answer.message.size() > 300) continue;
    for (std::size_t cut = 0; cut <= data.size(); ++cut) {
      ASSERT_EQ(Streamed(answer.algorithm, data, {cut}), answer.hex) << "split at " << cut;
    }
    std::vector<std::size_t> every_byte;
    for (std::size_t i = 1; i < data.size(); ++i) every_byte.push_back(i);
    EXPECT_EQ(Streamed(answer.algorithm, data, every_byte), answer.hex);
    // Empty pieces anywhere change nothing.
    EXPECT_EQ(Streamed(answer.algorithm, data, {0, 0, data.size() / 2, data.size() / 2}),
              answer.hex);
  }
}

TEST(Api, LongMessagesInUnevenPieces) {
  const auto message = test::RandomBytes(5000, 11);
  const auto data = std::as_bytes(std::span(message));
  const std::vector<std::size_t> cuts = {1, 64, 65, 127, 1000, 1063, 4096, 4999};
  for (const Algorithm algorithm : kEveryAlgorithm) {
    EXPECT_EQ(Streamed(algorithm, data, cuts), OneShot(algorithm, data)) << Info(algorithm).name;
  }
}

TEST(Api, UnalignedInput) {
  const auto message = test::RandomBytes(300, 3);
  std::vector<std::byte> buffer(message.size() + 16);
  const auto expected_data = std::as_bytes(std::span(message));
  for (std::size_t offset = 0; offset < 8; ++offset) {
    std::memcpy(buffer.data() + offset, message.data(), message.size());
    const std::span<const std::byte> shifted(buffer.data() + offset, message.size());
    for (const Algorithm algorithm : kEveryAlgorithm) {
      EXPECT_EQ(OneShot(algorithm, shifted), OneShot(algorithm, expected_data)) << offset;
      EXPECT_EQ(Streamed(algorithm, shifted, {7, 100}), OneShot(algorithm, expected_data)) << offset;
    }
  }
}

TEST(Api, OverloadsAgree) {
  const std::string text = "abc";
  const std::vector<std::uint8_t> bytes = {'a', 'b', 'c'};
  const std::array<std::byte, 3> array = {std::byte{'a'}, std::byte{'b'}, std::byte{'c'}};
  const Sha1Digest expected = StandardSHA(std::as_bytes(std::span(text)));
  EXPECT_EQ(StandardSHA("abc"), expected);  // a literal: its terminator is not hashed
  EXPECT_EQ(StandardSHA(text), expected);
  EXPECT_EQ(StandardSHA(bytes), expected);
  EXPECT_EQ(StandardSHA(array), expected);
  EXPECT_EQ(test::Hex(MD5("abc")), "900150983cd24fb0d6963f7d28e17f72");
  const auto md5_text = MD5Hex(bytes);
  EXPECT_EQ(std::string(md5_text.begin(), md5_text.end()), "900150983CD24FB0D6963F7D28E17F72");
  const auto lower = ToHex(MD5(array));
  EXPECT_EQ(std::string(lower.begin(), lower.end()), "900150983cd24fb0d6963f7d28e17f72");
  const Md5Digest raw = MD5(array);
  EXPECT_EQ(lower.view(), ToHex(Digest(raw.data(), raw.size())).view());  // one shape for both
}

// A copy made mid-message finishes as the original does, and each goes on
// on its own.
template <typename Hasher>
void CopyGoesOnIndependently(Algorithm algorithm) {
  const auto message = test::RandomBytes(300, 17);
  const auto data = std::as_bytes(std::span(message));
  for (const std::size_t cut : {std::size_t{0}, std::size_t{5}, std::size_t{64},
                                std::size_t{100}}) {
    Hasher original;
    original.Update(data.first(cut));
    Hasher copy = original;
    original.Update(data.subspan(cut));
    Hasher assigned;
    assigned = copy;
    copy.Update(data.subspan(cut));
    assigned.Update(data.subspan(cut, 10));
    EXPECT_EQ(Streamed(original, {}, {}), OneShot(algorithm, data)) << cut;
    EXPECT_EQ(Streamed(copy, {}, {}), OneShot(algorithm, data)) << cut;
    EXPECT_EQ(Streamed(assigned, {}, {}), OneShot(algorithm, data.first(cut + 10))) << cut;
  }
}

TEST(Api, HashersCopyMidMessage) {
  CopyGoesOnIndependently<StandardShaHasher>(Algorithm::kStandardSha);
  CopyGoesOnIndependently<BrokenShaHasher>(Algorithm::kBrokenSha);
  CopyGoesOnIndependently<LockdownShaHasher>(Algorithm::kLockdownSha);
  CopyGoesOnIndependently<Md5Hasher>(Algorithm::kMd5);
}

// Built-in arrays of every character type: a last zero is a terminator,
// other zeros are content, and nothing past the array is read (ASan would
// see an unterminated array measured with strlen).
TEST(Api, BuiltInArrays) {
  const Sha1Digest abc = StandardSHA(std::string_view("abc"));
  const unsigned char unsigned_text[] = "abc";
  const signed char signed_text[] = {'a', 'b', 'c', 0};
  EXPECT_EQ(StandardSHA("abc"), abc);
  EXPECT_EQ(StandardSHA(u8"abc"), abc);
  EXPECT_EQ(StandardSHA(unsigned_text), abc);
  EXPECT_EQ(StandardSHA(signed_text), abc);
  const char unterminated[3] = {'a', 'b', 'c'};
  EXPECT_EQ(StandardSHA(unterminated), abc);
  const char inner_zeros[8] = {'a', 0, 'b', 0, 0, 'c', 'd', 0};
  EXPECT_EQ(StandardSHA(inner_zeros), StandardSHA(std::string_view(inner_zeros, 7)));
  EXPECT_EQ(MD5(inner_zeros), MD5(std::string_view(inner_zeros, 7)));
  // Not a character type: every byte.
  const std::byte bytes[4] = {std::byte{'a'}, std::byte{'b'}, std::byte{'c'}, std::byte{0}};
  EXPECT_EQ(StandardSHA(bytes), StandardSHA(std::string_view("abc\0", 4)));
  StandardShaHasher hasher;
  EXPECT_EQ(hasher.Update(unterminated).Update(u8"").Finish(), abc);
  Md5Hasher md5;
  EXPECT_EQ(md5.Update(unsigned_text).Finish(), MD5("abc"));
  EXPECT_EQ(DoubleHashPassword("password", 0x12345678u, 0xDEADBEEFu),
            DoubleHashPassword(std::string_view("password"), 0x12345678u, 0xDEADBEEFu));
}

TEST(Api, HasherIsReusableAfterFinish) {
  StandardShaHasher sha;
  sha.Update("garbage that is thrown away").Finish();
  EXPECT_EQ(test::Hex(sha.Update("abc").Finish()), "a9993e364706816aba3e25717850c26c9cd0d89d");
  Md5Hasher md5;
  md5.Update("something else").Finish();
  EXPECT_EQ(test::Hex(md5.Update("abc").Finish()), "900150983cd24fb0d6963f7d28e17f72");
}

// A hasher leaves nothing of a message in its storage once it has finished
// it (it goes on as a fresh hasher) or is destroyed mid-message: not the
// buffered bytes, the chaining words or the count.
template <typename Hasher>
void DestroyedHasherIsWiped(const char* name) {
  constexpr std::string_view kSecret =
      "a secret longer than one block, so that the chaining words moved on; and a tail";
  alignas(Hasher) unsigned char storage[sizeof(Hasher)];
  std::memset(storage, 0, sizeof storage);
  auto* hasher = new (storage) Hasher;
  hasher->Update(kSecret);
  hasher->Finish();
  Hasher fresh;
  const auto fresh_digest = fresh.Finish();
  const std::string_view held(reinterpret_cast<const char*>(storage), sizeof storage);
  for (std::size_t i = 0; i + 8 <= kSecret.size(); ++i) {
    EXPECT_EQ(held.find(kSecret.substr(i, 8)), std::string_view::npos) << name << " after Finish";
  }
  EXPECT_EQ(hasher->Finish(), fresh_digest) << name << ": not fresh after Finish";
  hasher->Update(kSecret);
  hasher->~Hasher();
  std::size_t nonzero = 0;
  for (const unsigned char byte : storage) nonzero += byte != 0 ? 1u : 0u;
  EXPECT_EQ(nonzero, 0u) << name;
}

TEST(Api, DestroyedHashersAreWiped) {
  DestroyedHasherIsWiped<StandardShaHasher>("StandardShaHasher");
  DestroyedHasherIsWiped<BrokenShaHasher>("BrokenShaHasher");
  DestroyedHasherIsWiped<LockdownShaHasher>("LockdownShaHasher");
  DestroyedHasherIsWiped<Md5Hasher>("Md5Hasher");
}

// The type-erased hasher and the table of algorithms give what the concrete
// hashers give, under the names the bindings use.
TEST(Api, AlgorithmTableAndHasher) {
  const struct {
    Algorithm algorithm;
    const char* name;
    const char* export_name;
    std::size_t digest_size;
  } kRows[] = {{Algorithm::kStandardSha, "sha1", "StandardSHA", 20},
               {Algorithm::kBrokenSha, "broken_sha", "BrokenSHA", 20},
               {Algorithm::kLockdownSha, "lockdown_sha", "LockdownSHA", 20},
               {Algorithm::kMd5, "md5", "MD5", 16}};
  ASSERT_EQ(Algorithms().size(), std::size(kRows));
  const auto message = test::RandomBytes(300, 23);
  const auto data = std::as_bytes(std::span(message));
  for (const auto& row : kRows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(Info(row.algorithm).name, row.name);
    EXPECT_EQ(Info(row.algorithm).export_name, row.export_name);
    EXPECT_EQ(Info(row.algorithm).digest_size, row.digest_size);
    EXPECT_EQ(Info(row.algorithm).block_size, 64u);
    EXPECT_EQ(FindAlgorithm(row.name), row.algorithm);
    std::string upper = row.name;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    EXPECT_EQ(FindAlgorithm(upper), row.algorithm);
    for (const std::size_t cut : {std::size_t{0}, std::size_t{63}, std::size_t{64}, std::size_t{200}}) {
      Hasher hasher(row.algorithm);
      hasher.Update(data.first(cut));
      Hasher copy = hasher;
      Hasher assigned(Algorithm::kMd5);
      assigned = hasher;
      hasher.Update(data.subspan(cut));
      copy.Update(data.subspan(cut));
      assigned.Update(data.subspan(cut, 1));
      const Digest digest = hasher.Finish();
      ASSERT_EQ(digest.size(), row.digest_size);
      std::string want = OneShot(row.algorithm, data);
      if (row.algorithm == Algorithm::kMd5) {
        EXPECT_EQ(ToHex(digest, true).view(), want) << cut;
        for (char& c : want) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      }
      EXPECT_EQ(ToHex(digest).view(), want) << cut;
      EXPECT_EQ(copy.Finish(), digest) << cut;
      EXPECT_EQ(assigned.algorithm(), row.algorithm);
      Hasher one_more(row.algorithm);
      EXPECT_EQ(assigned.Finish(), one_more.Update(data.first(cut + 1)).Finish()) << cut;
      // Finish starts a new message.
      EXPECT_EQ(hasher.Update(data).Finish(), digest) << cut;
    }
  }
  EXPECT_EQ(FindAlgorithm("sha256"), std::nullopt);
  EXPECT_EQ(FindAlgorithm("sha"), std::nullopt);
  EXPECT_EQ(FindAlgorithm(""), std::nullopt);
}

// The Node.js package's names and digest sizes, by index, are the library's
// table (node/lib/core.mjs states them as two lines).
TEST(Api, NodeTablesAreTheLibrarys) {
  std::string names = "const HASHES = [", sizes = "const SIZES = [";
  for (const AlgorithmInfo& info : Algorithms()) {
    const bool first = &info == Algorithms().data();
    names += (first ? "'" : ", '") + std::string(info.name) + "'";
    sizes += (first ? "" : ", ") + std::to_string(info.digest_size);
  }
  std::FILE* file = std::fopen(QUILLET_NODE_CORE, "rb");
  ASSERT_NE(file, nullptr) << QUILLET_NODE_CORE;
  std::string source;
  char chunk[4096];
  for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, file)) != 0;) source.append(chunk, n);
  std::fclose(file);
  EXPECT_NE(source.find("\n" + names + "];\n"), std::string::npos) << names << "];";
  EXPECT_NE(source.find("\n" + sizes + "];\n"), std::string::npos) << sizes << "];";
}

// Hexadecimal text of digests of every size a Digest holds (the writer
// takes four bytes at a time, then the rest one by one), over every byte
// value, in both cases, against printf's.
TEST(Api, HexTextOfEveryByteAndSize) {
  std::uint8_t bytes[256 + kMaxDigestSize];
  for (std::size_t i = 0; i < sizeof bytes; ++i) bytes[i] = static_cast<std::uint8_t>(i * 167 + 13);
  for (std::size_t size = 0; size <= kMaxDigestSize; ++size) {
    for (std::size_t at = 0; at < 256; at += size == 0 ? 256 : 1) {
      const Digest digest(bytes + at, size);
      std::string lower, upper;
      for (std::size_t i = 0; i < size; ++i) {
        char two[3];
        std::snprintf(two, sizeof two, "%02x", bytes[at + i]);
        lower += two;
        std::snprintf(two, sizeof two, "%02X", bytes[at + i]);
        upper += two;
      }
      ASSERT_EQ(ToHex(digest).view(), lower) << size << " at " << at;
      ASSERT_EQ(ToHex(digest, true).view(), upper) << size << " at " << at;
    }
  }
}

// The batch call gives each message's Hasher digest, for every algorithm,
// whatever the batch's size; the smaller of the two spans counts.
TEST(Api, DigestMany) {
  std::vector<std::vector<std::uint8_t>> messages;
  for (std::size_t length = 0; length < 200; length += 7) {
    messages.push_back(test::RandomBytes(length * length % 3000, static_cast<std::uint32_t>(length)));
  }
  std::vector<ByteView> views(messages.begin(), messages.end());
  for (const Algorithm algorithm : kEveryAlgorithm) {
    for (const std::size_t n : {std::size_t{0}, std::size_t{1}, std::size_t{5}, views.size()}) {
      std::vector<Digest> got(n + 1);
      DigestMany(algorithm, std::span(views).first(n), got);
      for (std::size_t i = 0; i < n; ++i) {
        Hasher hasher(algorithm);
        EXPECT_EQ(got[i], hasher.Update(views[i]).Finish()) << Info(algorithm).name << " " << i;
      }
      EXPECT_EQ(got[n].size(), 0u) << "only as many digests as messages";
    }
  }
  std::vector<Digest> two(2);
  DigestMany(Algorithm::kMd5, views, two);  // fewer digests than messages
  EXPECT_EQ(ToHex(two[1]).view(), ToHex(Hasher(Algorithm::kMd5).Update(views[1]).Finish()).view());
}

TEST(Api, PasswordProof) {
  for (const auto& answer : test::PasswordAnswers()) {
    EXPECT_EQ(test::Hex(DoubleHashPassword(std::string_view(answer.message), answer.first_token,
                                           answer.second_token)),
              answer.hex)
        << answer.message;
  }
  ASSERT_FALSE(test::PasswordAnswers().empty());
}

}  // namespace
}  // namespace quillet
