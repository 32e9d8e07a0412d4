#include "md5/md5.hpp"

#include <bit>
#include <cstring>

#include "common/block_buffer.hpp"
#include "common/bytes.hpp"
#include "common/hex.hpp"
#include "common/secure_wipe.hpp"

namespace quillet::md5 {

void InitMD5(Md5Context& context) {
  context.state[0] = 0x67452301u;
  context.state[1] = 0xEFCDAB89u;
  context.state[2] = 0x98BADCFEu;
  context.state[3] = 0x10325476u;
  context.count[0] = 0;
  context.count[1] = 0;
}

// The four rounds written out, constants and shifts inline. Each step adds
// X[k] + T[i] into `a` first: that sum does not wait for the previous step, so
// only the round function, one add, the rotate and the add of `b` sit on the
// chain from one step to the next. In G the two terms have no bit in common,
// so (b & d) | (c & ~d) is written as a sum, and (c & ~d), whose inputs are
// ready a step earlier, is added before b arrives.
#define QUILLET_MD5_F(b, c, d) ((d) ^ ((b) & ((c) ^ (d))))
#define QUILLET_MD5_H(b, c, d) ((b) ^ (c) ^ (d))
#define QUILLET_MD5_I(b, c, d) ((c) ^ ((b) | ~(d)))

#define QUILLET_MD5_FF(a, b, c, d, k, s, t)             \
  a += x(k) + (t);                                      \
  a += QUILLET_MD5_F(b, c, d);                          \
  a = std::rotl(a, s) + (b)
#define QUILLET_MD5_GG(a, b, c, d, k, s, t)             \
  a += x(k) + (t);                                      \
  a += (c) & ~(d);                                      \
  a += (b) & (d);                                       \
  a = std::rotl(a, s) + (b)
#define QUILLET_MD5_HH(a, b, c, d, k, s, t)             \
  a += x(k) + (t);                                      \
  a += QUILLET_MD5_H(b, c, d);                          \
  a = std::rotl(a, s) + (b)
#define QUILLET_MD5_II(a, b, c, d, k, s, t)             \
  a += x(k) + (t);                                      \
  a += QUILLET_MD5_I(b, c, d);                          \
  a = std::rotl(a, s) + (b)

void TransformMD5(std::uint32_t state[4], const std::uint8_t block[kBlockSize]) {
  // The message words are read from the block where they are used: a local
  // copy would be one more place that holds message data.
  const auto x = [block](int k) { return LoadLittleEndian32(block + 4 * k); };
  std::uint32_t a = state[0], b = state[1], c = state[2], d = state[3];

  QUILLET_MD5_FF(a, b, c, d, 0, 7, 0xD76AA478u);
  QUILLET_MD5_FF(d, a, b, c, 1, 12, 0xE8C7B756u);
  QUILLET_MD5_FF(c, d, a, b, 2, 17, 0x242070DBu);
  QUILLET_MD5_FF(b, c, d, a, 3, 22, 0xC1BDCEEEu);
  QUILLET_MD5_FF(a, b, c, d, 4, 7, 0xF57C0FAFu);
  QUILLET_MD5_FF(d, a, b, c, 5, 12, 0x4787C62Au);
  QUILLET_MD5_FF(c, d, a, b, 6, 17, 0xA8304613u);
  QUILLET_MD5_FF(b, c, d, a, 7, 22, 0xFD469501u);
  QUILLET_MD5_FF(a, b, c, d, 8, 7, 0x698098D8u);
  QUILLET_MD5_FF(d, a, b, c, 9, 12, 0x8B44F7AFu);
  QUILLET_MD5_FF(c, d, a, b, 10, 17, 0xFFFF5BB1u);
  QUILLET_MD5_FF(b, c, d, a, 11, 22, 0x895CD7BEu);
  QUILLET_MD5_FF(a, b, c, d, 12, 7, 0x6B901122u);
  QUILLET_MD5_FF(d, a, b, c, 13, 12, 0xFD987193u);
  QUILLET_MD5_FF(c, d, a, b, 14, 17, 0xA679438Eu);
  QUILLET_MD5_FF(b, c, d, a, 15, 22, 0x49B40821u);

  QUILLET_MD5_GG(a, b, c, d, 1, 5, 0xF61E2562u);
  QUILLET_MD5_GG(d, a, b, c, 6, 9, 0xC040B340u);
  QUILLET_MD5_GG(c, d, a, b, 11, 14, 0x265E5A51u);
  QUILLET_MD5_GG(b, c, d, a, 0, 20, 0xE9B6C7AAu);
  QUILLET_MD5_GG(a, b, c, d, 5, 5, 0xD62F105Du);
  QUILLET_MD5_GG(d, a, b, c, 10, 9, 0x02441453u);
  QUILLET_MD5_GG(c, d, a, b, 15, 14, 0xD8A1E681u);
  QUILLET_MD5_GG(b, c, d, a, 4, 20, 0xE7D3FBC8u);
  QUILLET_MD5_GG(a, b, c, d, 9, 5, 0x21E1CDE6u);
  QUILLET_MD5_GG(d, a, b, c, 14, 9, 0xC33707D6u);
  QUILLET_MD5_GG(c, d, a, b, 3, 14, 0xF4D50D87u);
  QUILLET_MD5_GG(b, c, d, a, 8, 20, 0x455A14EDu);
  QUILLET_MD5_GG(a, b, c, d, 13, 5, 0xA9E3E905u);
  QUILLET_MD5_GG(d, a, b, c, 2, 9, 0xFCEFA3F8u);
  QUILLET_MD5_GG(c, d, a, b, 7, 14, 0x676F02D9u);
  QUILLET_MD5_GG(b, c, d, a, 12, 20, 0x8D2A4C8Au);

  QUILLET_MD5_HH(a, b, c, d, 5, 4, 0xFFFA3942u);
  QUILLET_MD5_HH(d, a, b, c, 8, 11, 0x8771F681u);
  QUILLET_MD5_HH(c, d, a, b, 11, 16, 0x6D9D6122u);
  QUILLET_MD5_HH(b, c, d, a, 14, 23, 0xFDE5380Cu);
  QUILLET_MD5_HH(a, b, c, d, 1, 4, 0xA4BEEA44u);
  QUILLET_MD5_HH(d, a, b, c, 4, 11, 0x4BDECFA9u);
  QUILLET_MD5_HH(c, d, a, b, 7, 16, 0xF6BB4B60u);
  QUILLET_MD5_HH(b, c, d, a, 10, 23, 0xBEBFBC70u);
  QUILLET_MD5_HH(a, b, c, d, 13, 4, 0x289B7EC6u);
  QUILLET_MD5_HH(d, a, b, c, 0, 11, 0xEAA127FAu);
  QUILLET_MD5_HH(c, d, a, b, 3, 16, 0xD4EF3085u);
  QUILLET_MD5_HH(b, c, d, a, 6, 23, 0x04881D05u);
  QUILLET_MD5_HH(a, b, c, d, 9, 4, 0xD9D4D039u);
  QUILLET_MD5_HH(d, a, b, c, 12, 11, 0xE6DB99E5u);
  QUILLET_MD5_HH(c, d, a, b, 15, 16, 0x1FA27CF8u);
  QUILLET_MD5_HH(b, c, d, a, 2, 23, 0xC4AC5665u);

  QUILLET_MD5_II(a, b, c, d, 0, 6, 0xF4292244u);
  QUILLET_MD5_II(d, a, b, c, 7, 10, 0x432AFF97u);
  QUILLET_MD5_II(c, d, a, b, 14, 15, 0xAB9423A7u);
  QUILLET_MD5_II(b, c, d, a, 5, 21, 0xFC93A039u);
  QUILLET_MD5_II(a, b, c, d, 12, 6, 0x655B59C3u);
  QUILLET_MD5_II(d, a, b, c, 3, 10, 0x8F0CCC92u);
  QUILLET_MD5_II(c, d, a, b, 10, 15, 0xFFEFF47Du);
  QUILLET_MD5_II(b, c, d, a, 1, 21, 0x85845DD1u);
  QUILLET_MD5_II(a, b, c, d, 8, 6, 0x6FA87E4Fu);
  QUILLET_MD5_II(d, a, b, c, 15, 10, 0xFE2CE6E0u);
  QUILLET_MD5_II(c, d, a, b, 6, 15, 0xA3014314u);
  QUILLET_MD5_II(b, c, d, a, 13, 21, 0x4E0811A1u);
  QUILLET_MD5_II(a, b, c, d, 4, 6, 0xF7537E82u);
  QUILLET_MD5_II(d, a, b, c, 11, 10, 0xBD3AF235u);
  QUILLET_MD5_II(c, d, a, b, 2, 15, 0x2AD7D2BBu);
  QUILLET_MD5_II(b, c, d, a, 9, 21, 0xEB86D391u);

  state[0] += a;
  state[1] += b;
  state[2] += c;
  state[3] += d;
}

#undef QUILLET_MD5_F
#undef QUILLET_MD5_H
#undef QUILLET_MD5_I
#undef QUILLET_MD5_FF
#undef QUILLET_MD5_GG
#undef QUILLET_MD5_HH
#undef QUILLET_MD5_II

void AddToBitCount(std::uint32_t (&count)[2], std::size_t length) {
  const std::uint32_t old = count[0];
  count[0] = old + static_cast<std::uint32_t>(length << 3);
  if (count[0] < old) ++count[1];  // the low word wrapped
  count[1] += static_cast<std::uint32_t>(length >> 29);
}

void UpdateMD5(Md5Context& context, const std::uint8_t* data, std::size_t length) {
  const std::size_t index = (context.count[0] >> 3) & 63;
  AddToBitCount(context.count, length);
  // Whole blocks pass through the buffer too, so the transform reads only the
  // context and never depends on the caller's alignment.
  BufferedUpdate(context.buffer, index, data, length, true,
                 [&context](const std::uint8_t* block, std::size_t) {
                   TransformMD5(context.state, block);
                 });
}

void FinishMD5(Digest& digest, Md5Context& context) {
  const std::size_t index = (context.count[0] >> 3) & 63;
  const std::uint64_t bits = std::uint64_t{context.count[1]} << 32 | context.count[0];
  // 0x80, zeros, then the 64-bit bit count least significant byte first.
  constexpr PaddingRule kMd5Padding = {true, false, true};
  std::uint8_t final_blocks[2 * kBlockSize];
  const std::size_t count = PadFinalBlocks({context.buffer, index}, bits, kMd5Padding, final_blocks);
  for (std::size_t i = 0; i < count; ++i) TransformMD5(context.state, final_blocks + i * kBlockSize);
  for (int i = 0; i < 4; ++i) StoreLittleEndian32(digest.data() + 4 * i, context.state[i]);
  SecureWipeObject(final_blocks);
  SecureWipeObject(context);
}

HexText DigestToHex(const Digest& digest) {
  HexText text;
  WriteHex(digest.data(), digest.size(), text.data(), true);
  return text;
}

HexText FinishMD5Hex(Md5Context& context) {
  Digest digest;
  FinishMD5(digest, context);
  return DigestToHex(digest);
}

}  // namespace quillet::md5
