// Quillet's C++ API: the same digests as the C exports, over bytes, without
// byte strings and without heap allocation.
//
//   auto d = quillet::StandardSHA("abc");            // std::array<uint8_t, 20>
//   quillet::StandardShaHasher h;                    // streaming
//   h.Update(part1).Update(part2);
//   auto same = h.Finish();
//   quillet::Hasher any(quillet::Algorithm::kMd5);   // any digest, chosen at run time
//
// Every function is safe to call from any number of threads; a hasher object
// is used by one thread at a time. Hashers can be copied: the copy goes on
// from the same point of the message.
#ifndef QUILLET_DIGEST_HPP_
#define QUILLET_DIGEST_HPP_

#if __cplusplus < 202002L && !(defined(_MSVC_LANG) && _MSVC_LANG >= 202002L)
#error "quillet/digest.hpp needs C++20 or later (-std=c++20)"
#endif

#include <algorithm>
#include <array>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <ranges>
#include <span>
#include <string_view>
#include <type_traits>

#include "quillet/detail/md5_context.hpp"
#include "quillet/detail/sha_state.hpp"

namespace quillet {

using Sha1Digest = std::array<std::uint8_t, 20>;
using Md5Digest = std::array<std::uint8_t, 16>;
// MD5 as the C export returns it: 32 upper-case hexadecimal characters.
using Md5Text = std::array<char, 32>;

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

// The bytes every function takes, converted from what the caller has:
//
// - std::span<const std::byte>, and std::string_view: exactly those bytes.
// - A C string (const char*): its bytes up to the terminating zero.
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
class ByteView {
 public:
  constexpr ByteView() noexcept = default;
  constexpr ByteView(std::span<const std::byte> bytes) noexcept : bytes_(bytes) {}
  ByteView(std::string_view text) noexcept
      : bytes_(reinterpret_cast<const std::byte*>(text.data()), text.size()) {}
  template <typename P>
    requires std::same_as<P, const char*> || std::same_as<P, char*>
  ByteView(P text) noexcept : ByteView(std::string_view(text)) {}
  template <ByteContainer R>
  ByteView(const R& range) noexcept
      : bytes_(reinterpret_cast<const std::byte*>(std::ranges::data(range)),
               std::ranges::size(range)) {}
  template <CharacterType C, std::size_t N>
  ByteView(const C (&text)[N]) noexcept
      : bytes_(reinterpret_cast<const std::byte*>(text),
               (N != 0 && text[N - 1] == C{}) ? N - 1 : N) {}

  constexpr std::span<const std::byte> bytes() const noexcept { return bytes_; }
  constexpr operator std::span<const std::byte>() const noexcept { return bytes_; }

 private:
  std::span<const std::byte> bytes_;
};

// The bytes of anything a ByteView takes.
inline std::span<const std::byte> AsBytes(ByteView data) noexcept { return data.bytes(); }

// SHA-1 (FIPS 180-1), for every length.
Sha1Digest StandardSHA(ByteView data) noexcept;
// The broken variant: little-endian words, zero fill to a whole block with no
// marker and no length, one-bit schedule words.
Sha1Digest BrokenSHA(ByteView data) noexcept;
// SHA-1 with every multi-byte quantity little-endian; 32-bit length field.
Sha1Digest LockdownSHA(ByteView data) noexcept;
// MD5 (RFC 1321) as 16 raw bytes.
Md5Digest MD5(ByteView data) noexcept;
// MD5 as the upper-case text the C export returns.
Md5Text MD5Hex(ByteView data) noexcept;
// The password proof: BrokenSHA of the two tokens (least significant byte
// first) followed by BrokenSHA of the password.
Sha1Digest DoubleHashPassword(ByteView password, std::uint32_t first_token,
                              std::uint32_t second_token) noexcept;

namespace detail {
// Hexadecimal digits of `size` bytes into `text` (2 * size characters).
void WriteHex(const std::uint8_t* bytes, std::size_t size, char* text, bool upper_case) noexcept;
}  // namespace detail

// Hexadecimal text of digest bytes, high digit first. Both ToHex overloads
// return their text in a fixed array held by value (no allocation), read
// the same way: view() gives the digits as a string_view. This one's is
// also a std::array of exactly 2 * N characters.
template <std::size_t N>
struct HexDigits : std::array<char, 2 * N> {
  std::string_view view() const noexcept { return {this->data(), 2 * N}; }
};
template <std::size_t N>
HexDigits<N> ToHex(const std::array<std::uint8_t, N>& bytes, bool upper_case = false) {
  HexDigits<N> text{};
  detail::WriteHex(bytes.data(), N, text.data(), upper_case);
  return text;
}

// Which digest, as one value: the name every other part of the C++ API, the
// tool and the bindings use.
enum class Algorithm { kStandardSha, kBrokenSha, kLockdownSha, kMd5 };

// A streaming SHA-1-family digest: Update with the message in pieces of any
// sizes, then Finish, which returns exactly the one-shot digest of the whole
// message and leaves the hasher ready for a new message. The standard
// variant carries the full 64-bit bit count; the lockdown variant its 32-bit
// field; the broken variant fills the last block with zeros. The hasher
// wipes what it buffered when it finishes and when it is destroyed.
template <Algorithm kAlgorithm>
class ShaHasher {
  static_assert(kAlgorithm != Algorithm::kMd5, "MD5 has Md5Hasher");

 public:
  ShaHasher() noexcept;
  ~ShaHasher();
  // A copy goes on from the same point of the same message, independently.
  ShaHasher(const ShaHasher&) noexcept = default;
  ShaHasher& operator=(const ShaHasher&) noexcept = default;

  ShaHasher& Update(ByteView data) noexcept;
  Sha1Digest Finish() noexcept;

 private:
  sha1::ShaState state_;
};

using StandardShaHasher = ShaHasher<Algorithm::kStandardSha>;
using BrokenShaHasher = ShaHasher<Algorithm::kBrokenSha>;
using LockdownShaHasher = ShaHasher<Algorithm::kLockdownSha>;

// A streaming MD5 digest, with the same contract as ShaHasher.
class Md5Hasher {
 public:
  Md5Hasher() noexcept;
  ~Md5Hasher();
  Md5Hasher(const Md5Hasher&) noexcept = default;
  Md5Hasher& operator=(const Md5Hasher&) noexcept = default;

  Md5Hasher& Update(ByteView data) noexcept;
  Md5Digest Finish() noexcept;
  Md5Text FinishHex() noexcept;

 private:
  md5::Md5Context context_;
};

inline constexpr std::size_t kMaxDigestSize = 20;

// The raw bytes of a digest of any algorithm.
class Digest {
 public:
  constexpr Digest() = default;
  Digest(const std::uint8_t* bytes, std::size_t size) noexcept
      : size_(std::min(size, kMaxDigestSize)) {
    std::memcpy(bytes_.data(), bytes, size_);
  }
  const std::uint8_t* data() const noexcept { return bytes_.data(); }
  std::size_t size() const noexcept { return size_; }
  std::span<const std::uint8_t> span() const noexcept { return {bytes_.data(), size_}; }
  friend bool operator==(const Digest& a, const Digest& b) noexcept {
    return a.size_ == b.size_ && std::equal(a.bytes_.begin(), a.bytes_.begin() + a.size_,
                                            b.bytes_.begin());
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
// Many messages at once (DigestMany).
using DigestManyFunction = void (*)(std::span<const ByteView> messages,
                                    std::span<Digest> digests) noexcept;
inline constexpr std::size_t kHasherStorage = 128;
inline constexpr std::size_t kHasherAlignment = 8;
}  // namespace detail

// One row of the table of algorithms: adding a digest is a row (with its
// streaming hasher).
struct AlgorithmInfo {
  Algorithm algorithm;
  std::string_view name;         // "sha1", "broken_sha", "lockdown_sha", "md5"
  std::string_view export_name;  // the C export: "StandardSHA", ... "MD5"
  std::size_t digest_size;       // raw bytes
  std::size_t block_size;
  const detail::HasherOps* ops;
  detail::DigestManyFunction digest_many;
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

  Hasher& Update(ByteView data) noexcept;
  // The digest of everything taken in; the hasher starts a new message.
  Digest Finish() noexcept;

  Algorithm algorithm() const noexcept { return algorithm_; }
  const AlgorithmInfo& info() const noexcept { return Info(algorithm_); }

 private:
  Algorithm algorithm_;
  alignas(detail::kHasherAlignment) unsigned char storage_[detail::kHasherStorage];
};

// The digests of many messages at once, each exactly what a Hasher of
// `algorithm` gives for it: digests[i] is the digest of messages[i], for i
// below the smaller of the two sizes. Messages of any lengths, in any number;
// several are hashed side by side where the CPU can (vector lanes, or
// interleaved rounds on the SHA extensions), lanes refilled as messages end,
// and a message left alone is finished as fast as alone. Synchronous: every
// digest is written when it returns.
void DigestMany(Algorithm algorithm, std::span<const ByteView> messages,
                std::span<Digest> digests) noexcept;

// Hexadecimal text of any digest, high digit first, in a fixed array: its
// first `size` characters, which view() gives (see HexDigits above).
struct DigestText {
  std::array<char, 2 * kMaxDigestSize> chars{};
  std::size_t size = 0;
  std::string_view view() const noexcept { return {chars.data(), size}; }
};
DigestText ToHex(const Digest& digest, bool upper_case = false) noexcept;

}  // namespace quillet

#endif  // QUILLET_DIGEST_HPP_
