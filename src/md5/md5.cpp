#include "md5/md5.hpp"

#include <cstring>

#include "common/block_buffer.hpp"
#include "common/bytes.hpp"
#include "common/hex.hpp"
#include "common/secure_wipe.hpp"
#include "md5/dispatch.hpp"

namespace quillet::md5 {

constexpr std::uint32_t kInitialState[4] = {0x67452301u, 0xEFCDAB89u, 0x98BADCFEu, 0x10325476u};

void InitMD5(Md5Context& context) {
  std::memcpy(context.state, kInitialState, sizeof kInitialState);
  context.count[0] = 0;
  context.count[1] = 0;
}

void AddToBitCount(std::uint32_t (&count)[2], std::size_t length) {
  const std::uint32_t old = count[0];
  count[0] = old + static_cast<std::uint32_t>(length << 3);
  if (count[0] < old) ++count[1];  // the low word wrapped
  count[1] += static_cast<std::uint32_t>(length >> 29);
}

void UpdateMD5(Md5Context& context, const std::uint8_t* data, std::size_t length) {
  const std::size_t index = (context.count[0] >> 3) & 63;
  AddToBitCount(context.count, length);
  // The block function the CPU runs fastest (the portable one or one with the
  // same results), asked for only when a block is to be compressed.
  const BlockFunction transform =
      index + length >= kBlockSize ? SelectBlockFunction(length) : nullptr;
  BufferedUpdate(context.buffer, index, data, length,
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
