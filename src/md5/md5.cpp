#include "md5/md5.hpp"

#include <bit>
#include <cstring>

#include "common/block_buffer.hpp"
#include "common/bytes.hpp"
#include "common/hex.hpp"
#include "common/secure_wipe.hpp"
#include "md5/dispatch.hpp"
#include "md5/md5_steps.inc"

namespace quillet::md5 {

constexpr std::uint32_t kInitialState[4] = {0x67452301u, 0xEFCDAB89u, 0x98BADCFEu, 0x10325476u};

void InitMD5(Md5Context& context) {
  std::memcpy(context.state, kInitialState, sizeof kInitialState);
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
  a = std::rotl(a, s) + (b);
#define QUILLET_MD5_GG(a, b, c, d, k, s, t)             \
  a += x(k) + (t);                                      \
  a += (c) & ~(d);                                      \
  a += (b) & (d);                                       \
  a = std::rotl(a, s) + (b);
#define QUILLET_MD5_HH(a, b, c, d, k, s, t)             \
  a += x(k) + (t);                                      \
  a += QUILLET_MD5_H(b, c, d);                          \
  a = std::rotl(a, s) + (b);
#define QUILLET_MD5_II(a, b, c, d, k, s, t)             \
  a += x(k) + (t);                                      \
  a += QUILLET_MD5_I(b, c, d);                          \
  a = std::rotl(a, s) + (b);

void TransformMD5(std::uint32_t state[4], const std::uint8_t* blocks, std::size_t count) {
  // The chaining value stays in registers from one block to the next: going
  // through `state` would put a store and a load on the chain at every block.
  std::uint32_t sa = state[0], sb = state[1], sc = state[2], sd = state[3];
  for (const std::uint8_t* block = blocks; count != 0; --count, block += kBlockSize) {
    // The message words are read from the block where they are used: a
    // local copy would be one more place that holds message data.
    const auto x = [block](int k) { return LoadLittleEndian32(block + 4 * k); };
    std::uint32_t a = sa, b = sb, c = sc, d = sd;

    QUILLET_MD5_STEPS(QUILLET_MD5_FF, QUILLET_MD5_GG, QUILLET_MD5_HH, QUILLET_MD5_II)

    sa += a;
    sb += b;
    sc += c;
    sd += d;
  }
  state[0] = sa;
  state[1] = sb;
  state[2] = sc;
  state[3] = sd;
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
  // The block function the CPU runs fastest (TransformMD5 or one with the
  // same results), asked for only when a block is to be compressed.
  const BlockFunction transform =
      index + length >= kBlockSize ? SelectBlockFunction(length) : &TransformMD5;
  // Whole blocks pass through the buffer too, so the transform reads only the
  // context and never depends on the caller's alignment.
  BufferedUpdate(context.buffer, index, data, length, true,
                 [&context, transform](const std::uint8_t* block, std::size_t count) {
                   transform(context.state, block, count);
                 });
}

namespace {

// 0x80, zeros, then the 64-bit bit count least significant byte first.
constexpr PaddingRule kMd5Padding = {true, false, true};

// Hashes the padded last bytes of a message into `state` and writes the
// digest; the padded copy is wiped.
void FinishBlocks(std::uint32_t (&state)[4], std::span<const std::uint8_t> tail,
                  std::uint64_t bits, BlockFunction transform, Digest& digest) {
  std::uint8_t final_blocks[2 * kBlockSize];
  const std::size_t count = PadFinalBlocks(tail, bits, kMd5Padding, final_blocks);
  transform(state, final_blocks, count);
  for (int i = 0; i < 4; ++i) StoreLittleEndian32(digest.data() + 4 * i, state[i]);
  SecureWipeObject(final_blocks);
}

}  // namespace

void FinishMD5(Digest& digest, Md5Context& context) {
  const std::size_t index = (context.count[0] >> 3) & 63;
  const std::uint64_t bits = std::uint64_t{context.count[1]} << 32 | context.count[0];
  FinishBlocks(context.state, {context.buffer, index}, bits, SelectBlockFunction(0), digest);
  SecureWipeObject(context);
}

Digest ComputeMD5(std::span<const std::uint8_t> message) {
  std::uint32_t state[4];
  std::memcpy(state, kInitialState, sizeof state);
  const BlockFunction transform = SelectBlockFunction(message.size());
  const std::size_t whole = message.size() / kBlockSize;
  if (whole != 0) transform(state, message.data(), whole);
  Digest digest;
  FinishBlocks(state, message.subspan(whole * kBlockSize), std::uint64_t{message.size()} << 3,
               transform, digest);
  SecureWipeObject(state);
  return digest;
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
