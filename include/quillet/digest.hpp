// Quillet's C++ API: the same digests as the C exports, over byte spans,
// without byte strings and without heap allocation.
//
//   auto d = quillet::StandardSHA("abc");            // std::array<uint8_t, 20>
//   quillet::StandardShaHasher h;                    // streaming
//   h.Update(part1).Update(part2);
//   auto same = h.Finish();
//
// Every function is safe to call from any number of threads; a hasher object
// is used by one thread at a time. Hashers can be copied: the copy goes on
// from the same point of the message.
#ifndef QUILLET_DIGEST_HPP_
#define QUILLET_DIGEST_HPP_

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <ranges>
#include <span>
#include <string_view>
#include <type_traits>

#include "quillet/detail/md5_context.hpp"

namespace quillet {

using Sha1Digest = std::array<std::uint8_t, 20>;
using Md5Digest = std::array<std::uint8_t, 16>;
// MD5 as the C export returns it: 32 upper-case hexadecimal characters.
using Md5Text = std::array<char, 32>;

// What each function takes:
//
// - std::span<const std::byte>, and std::string_view: exactly those bytes.
// - Any contiguous range of byte-sized trivially copyable values
//   (std::string, std::vector<std::uint8_t>, std::array<std::byte, N>,
//   a built-in std::byte array, ...): all its elements.
// - A built-in array of a character type (char, signed char, unsigned char,
//   char8_t; std::uint8_t is unsigned char): all its elements but a last
//   one that is zero, which is taken for a string's terminator. So a string
//   literal of any character type ("abc", u8"abc") and an array initialised
//   from one hash without the terminator; zero bytes elsewhere are hashed;
//   and no array is ever measured by looking for a zero: nothing past its
//   end is read. For a byte buffer whose last byte may be zero, pass a span
//   or a std::array.
template <typename T>
concept CharacterType =
    std::is_same_v<std::remove_cv_t<T>, char> || std::is_same_v<std::remove_cv_t<T>, signed char> ||
    std::is_same_v<std::remove_cv_t<T>, unsigned char> ||
    std::is_same_v<std::remove_cv_t<T>, char8_t>;

template <typename R>
concept ByteContainer =
    std::ranges::contiguous_range<R> && std::ranges::sized_range<R> &&
    sizeof(std::ranges::range_value_t<R>) == 1 &&
    std::is_trivially_copyable_v<std::ranges::range_value_t<R>> &&
    !(std::is_array_v<std::remove_cvref_t<R>> && CharacterType<std::ranges::range_value_t<R>>);

template <ByteContainer R>
std::span<const std::byte> AsBytes(const R& range) {
  return {reinterpret_cast<const std::byte*>(std::ranges::data(range)),
          std::ranges::size(range)};
}

inline std::span<const std::byte> AsBytes(std::string_view text) {
  return {reinterpret_cast<const std::byte*>(text.data()), text.size()};
}

template <CharacterType C, std::size_t N>
std::span<const std::byte> AsBytes(const C (&text)[N]) {
  const std::size_t length = (N != 0 && text[N - 1] == C{}) ? N - 1 : N;
  return {reinterpret_cast<const std::byte*>(text), length};
}

// SHA-1 (FIPS 180-1), for every length.
Sha1Digest StandardSHA(std::span<const std::byte> data) noexcept;
// The broken variant: little-endian words, zero fill to a whole block with no
// marker and no length, one-bit schedule words.
Sha1Digest BrokenSHA(std::span<const std::byte> data) noexcept;
// SHA-1 with every multi-byte quantity little-endian; 32-bit length field.
Sha1Digest LockdownSHA(std::span<const std::byte> data) noexcept;
// MD5 (RFC 1321) as 16 raw bytes.
Md5Digest MD5(std::span<const std::byte> data) noexcept;
// MD5 as the upper-case text the C export returns.
Md5Text MD5Hex(std::span<const std::byte> data) noexcept;
// The password proof: BrokenSHA of the two tokens (least significant byte
// first) followed by BrokenSHA of the password.
Sha1Digest DoubleHashPassword(std::span<const std::byte> password, std::uint32_t first_token,
                              std::uint32_t second_token) noexcept;

inline Sha1Digest StandardSHA(std::string_view data) noexcept { return StandardSHA(AsBytes(data)); }
inline Sha1Digest BrokenSHA(std::string_view data) noexcept { return BrokenSHA(AsBytes(data)); }
inline Sha1Digest LockdownSHA(std::string_view data) noexcept { return LockdownSHA(AsBytes(data)); }
inline Md5Digest MD5(std::string_view data) noexcept { return MD5(AsBytes(data)); }
inline Md5Text MD5Hex(std::string_view data) noexcept { return MD5Hex(AsBytes(data)); }
inline Sha1Digest DoubleHashPassword(std::string_view password, std::uint32_t first_token,
                                     std::uint32_t second_token) noexcept {
  return DoubleHashPassword(AsBytes(password), first_token, second_token);
}

template <CharacterType C, std::size_t N>
Sha1Digest StandardSHA(const C (&data)[N]) noexcept { return StandardSHA(AsBytes(data)); }
template <CharacterType C, std::size_t N>
Sha1Digest BrokenSHA(const C (&data)[N]) noexcept { return BrokenSHA(AsBytes(data)); }
template <CharacterType C, std::size_t N>
Sha1Digest LockdownSHA(const C (&data)[N]) noexcept { return LockdownSHA(AsBytes(data)); }
template <CharacterType C, std::size_t N>
Md5Digest MD5(const C (&data)[N]) noexcept { return MD5(AsBytes(data)); }
template <CharacterType C, std::size_t N>
Md5Text MD5Hex(const C (&data)[N]) noexcept { return MD5Hex(AsBytes(data)); }
template <CharacterType C, std::size_t N>
Sha1Digest DoubleHashPassword(const C (&password)[N], std::uint32_t first_token,
                              std::uint32_t second_token) noexcept {
  return DoubleHashPassword(AsBytes(password), first_token, second_token);
}

template <ByteContainer R>
Sha1Digest StandardSHA(const R& data) noexcept { return StandardSHA(AsBytes(data)); }
template <ByteContainer R>
Sha1Digest BrokenSHA(const R& data) noexcept { return BrokenSHA(AsBytes(data)); }
template <ByteContainer R>
Sha1Digest LockdownSHA(const R& data) noexcept { return LockdownSHA(AsBytes(data)); }
template <ByteContainer R>
Md5Digest MD5(const R& data) noexcept { return MD5(AsBytes(data)); }
template <ByteContainer R>
Md5Text MD5Hex(const R& data) noexcept { return MD5Hex(AsBytes(data)); }
template <ByteContainer R>
Sha1Digest DoubleHashPassword(const R& password, std::uint32_t first_token,
                              std::uint32_t second_token) noexcept {
  return DoubleHashPassword(AsBytes(password), first_token, second_token);
}

// Hexadecimal text of digest bytes, high digit first, into a fixed array.
template <std::size_t N>
std::array<char, 2 * N> ToHex(const std::array<std::uint8_t, N>& bytes, bool upper_case = false) {
  const char* digits = upper_case ? "0123456789ABCDEF" : "0123456789abcdef";
  std::array<char, 2 * N> text{};
  for (std::size_t i = 0; i < N; ++i) {
    text[2 * i] = digits[bytes[i] >> 4];
    text[2 * i + 1] = digits[bytes[i] & 15];
  }
  return text;
}

enum class ShaVariant { kStandard, kBroken, kLockdown };

// A streaming SHA-1-family digest: Update with the message in pieces of any
// sizes, then Finish, which returns exactly the one-shot digest of the whole
// message and leaves the hasher ready for a new message. The standard
// variant carries the full 64-bit bit count; the lockdown variant its 32-bit
// field; the broken variant fills the last block with zeros. The hasher
// wipes what it buffered when it finishes and when it is destroyed.
template <ShaVariant kVariant>
class ShaHasher {
 public:
  ShaHasher() noexcept;
  ~ShaHasher();
  // A copy goes on from the same point of the same message, independently.
  ShaHasher(const ShaHasher&) noexcept = default;
  ShaHasher& operator=(const ShaHasher&) noexcept = default;

  ShaHasher& Update(std::span<const std::byte> data) noexcept;
  ShaHasher& Update(std::string_view data) noexcept { return Update(AsBytes(data)); }
  template <ByteContainer R>
  ShaHasher& Update(const R& data) noexcept { return Update(AsBytes(data)); }
  template <CharacterType C, std::size_t N>
  ShaHasher& Update(const C (&data)[N]) noexcept { return Update(AsBytes(data)); }

  Sha1Digest Finish() noexcept;

 private:
  using BlockFunction = void (*)(std::uint32_t*, const std::uint8_t*, std::size_t);
  void Reset() noexcept;

  std::uint32_t h_[5];
  std::uint8_t buffer_[64];
  std::uint64_t length_;  // bytes taken in
  BlockFunction transform_;
  bool fast_path_checked_;  // whether transform_ is final for this hasher
};

using StandardShaHasher = ShaHasher<ShaVariant::kStandard>;
using BrokenShaHasher = ShaHasher<ShaVariant::kBroken>;
using LockdownShaHasher = ShaHasher<ShaVariant::kLockdown>;

// A streaming MD5 digest, with the same contract as ShaHasher.
class Md5Hasher {
 public:
  Md5Hasher() noexcept;
  ~Md5Hasher();
  Md5Hasher(const Md5Hasher&) noexcept = default;
  Md5Hasher& operator=(const Md5Hasher&) noexcept = default;

  Md5Hasher& Update(std::span<const std::byte> data) noexcept;
  Md5Hasher& Update(std::string_view data) noexcept { return Update(AsBytes(data)); }
  template <ByteContainer R>
  Md5Hasher& Update(const R& data) noexcept { return Update(AsBytes(data)); }
  template <CharacterType C, std::size_t N>
  Md5Hasher& Update(const C (&data)[N]) noexcept { return Update(AsBytes(data)); }

  Md5Digest Finish() noexcept;
  Md5Text FinishHex() noexcept;

 private:
  md5::Md5Context context_;
};

// Which digest, as one value: the name every other part of the C++ API, the
// tool and the bindings use.
enum class Algorithm { kStandardSha, kBrokenSha, kLockdownSha, kMd5 };

inline constexpr std::size_t kMaxDigestSize = 20;

// The raw bytes of a digest of any algorithm.
class Digest {
 public:
  constexpr Digest() = default;
  Digest(const std::uint8_t* bytes, std::size_t size) noexcept;
  const std::uint8_t* data() const noexcept { return bytes_.data(); }
  std::size_t size() const noexcept { return size_; }
  std::span<const std::uint8_t> span() const noexcept { return {bytes_.data(), size_}; }
  friend bool operator==(const Digest& a, const Digest& b) noexcept {
    return a.span().size() == b.span().size() &&
           std::equal(a.span().begin(), a.span().end(), b.span().begin());
  }

 private:
  std::array<std::uint8_t, kMaxDigestSize> bytes_{};
  std::size_t size_ = 0;
};

namespace detail {
// How a hasher of one algorithm is made, fed, finished, copied and wiped,
// over storage that the type-erased Hasher owns.
struct HasherOps {
  void (*construct)(void* storage) noexcept;
  void (*copy)(void* storage, const void* from) noexcept;
  void (*update)(void* storage, std::span<const std::byte> data) noexcept;
  void (*finish)(void* storage, std::uint8_t* digest) noexcept;
  void (*destroy)(void* storage) noexcept;
};
inline constexpr std::size_t kHasherStorage = 128;
inline constexpr std::size_t kHasherAlignment = 8;
}  // namespace detail

// One row of the table of algorithms.
struct AlgorithmInfo {
  Algorithm algorithm;
  std::string_view name;         // "sha1", "broken_sha", "lockdown_sha", "md5"
  std::string_view export_name;  // the C export: "StandardSHA", ... "MD5"
  std::size_t digest_size;       // raw bytes
  std::size_t block_size;
  const detail::HasherOps* ops;
};

// Every algorithm, in the order of the enumeration.
std::span<const AlgorithmInfo> Algorithms() noexcept;
const AlgorithmInfo& Info(Algorithm algorithm) noexcept;
// The algorithm called `name` (the names above, in any case), if any.
std::optional<Algorithm> FindAlgorithm(std::string_view name) noexcept;

// A streaming hasher of any algorithm, chosen at run time: the same digests
// as the hashers above (MD5 as raw bytes), with the same contract.
class Hasher {
 public:
  explicit Hasher(Algorithm algorithm) noexcept;
  ~Hasher();
  Hasher(const Hasher& other) noexcept;
  Hasher& operator=(const Hasher& other) noexcept;

  Hasher& Update(std::span<const std::byte> data) noexcept;
  Hasher& Update(std::string_view data) noexcept { return Update(AsBytes(data)); }
  template <ByteContainer R>
  Hasher& Update(const R& data) noexcept { return Update(AsBytes(data)); }
  template <CharacterType C, std::size_t N>
  Hasher& Update(const C (&data)[N]) noexcept { return Update(AsBytes(data)); }

  // The digest of everything taken in; the hasher starts a new message.
  Digest Finish() noexcept;

  Algorithm algorithm() const noexcept { return algorithm_; }
  const AlgorithmInfo& info() const noexcept { return Info(algorithm_); }

 private:
  Algorithm algorithm_;
  alignas(detail::kHasherAlignment) unsigned char storage_[detail::kHasherStorage];
};

// Hexadecimal text of any digest, high digit first, in a fixed array.
struct DigestText {
  std::array<char, 2 * kMaxDigestSize> chars{};
  std::size_t size = 0;
  std::string_view view() const noexcept { return {chars.data(), size}; }
};
DigestText ToHex(const Digest& digest, bool upper_case = false) noexcept;

}  // namespace quillet

#endif  // QUILLET_DIGEST_HPP_
