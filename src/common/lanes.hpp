// Many messages at once: a kernel compresses one block of each of kLanes
// messages side by side (vector lanes, or interleaved instruction streams),
// and the driver here keeps its lanes full. Each lane takes the next message,
// walks its whole blocks where they are and then its padding from a small
// buffer, and is refilled as soon as its message is done. When too few
// messages are left to fill the lanes, each is finished alone by the
// single-message block function, from the point it had reached: a lone
// message never runs slower than it would alone.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <type_traits>

#include "common/block_buffer.hpp"
#include "common/dispatch.hpp"
#include "common/secure_wipe.hpp"

namespace quillet {

// The most blocks a kernel is given at once (lanes that wait read zeros).
inline constexpr std::size_t kMaxLaneRun = 16;

// What a kernel sees: kWords chaining words of each lane, word-major
// (state[w * kLanes + lane]), and each lane's next `count` blocks, one after
// the other from blocks[lane].
using LaneKernel = void (*)(std::uint32_t *state, const std::uint8_t *const *blocks,
                            std::size_t count);

// Message i of a batch the caller holds in its own form.
using MessageAt = std::span<const std::uint8_t> (*)(const void *batch, std::size_t i);

// A many-message kernel and its number of lanes; no function: each message
// alone.
struct ManyKernel {
  LaneKernel function;
  std::size_t lanes;
};
using ManyKernels = BackendTable<ManyKernel, 5>;

// The vector kernels run two groups of lanes side by side (16 in AVX2, 32 in
// AVX-512): where a vector instruction takes two cycles, as on AMD Zen 5, one
// group leaves half the units idle, and three gain nothing more.
inline constexpr std::size_t kAvx2Lanes = 16;
inline constexpr std::size_t kAvx512Lanes = 32;
// WebAssembly's SIMD128 kernels: two groups of four lanes, for the same
// reason (engines compile each vector instruction to one SSE or NEON one).
inline constexpr std::size_t kSimd128Lanes = 8;

// The fewest messages for which a kernel beats one message at a time: where
// a lane costs as much as a message alone (two interleaved messages) both
// lanes must be busy; wide kernels pay for a quarter of their lanes.
constexpr std::size_t MinActiveLanes(std::size_t lanes) { return lanes <= 2 ? lanes : lanes / 4; }

// The first kernel of `kernels` (fastest first) worth running on `count`
// messages; the table ends with the one-at-a-time entry, which always is.
inline const ManyKernel &KernelForBatch(const ManyKernels &kernels, std::size_t count) {
  for (const auto &kernel : kernels) {
    if (kernel.function.function == nullptr || count >= MinActiveLanes(kernel.function.lanes)) {
      return kernel.function;
    }
  }
  return kernels[kernels.count - 1].function;
}

// run(std::integral_constant<std::size_t, lanes>{}) for a kernel's number
// of lanes: two (interleaved messages), kSimd128Lanes, kAvx2Lanes or
// kAvx512Lanes.
template <typename Run>
void WithLaneCount(std::size_t lanes, Run &&run) {
  switch (lanes) {
    case 2:
      return run(std::integral_constant<std::size_t, 2>{});
#if defined(__wasm_simd128__)
    case kSimd128Lanes:
      return run(std::integral_constant<std::size_t, kSimd128Lanes>{});
#endif
    case kAvx2Lanes:
      return run(std::integral_constant<std::size_t, kAvx2Lanes>{});
    default:
      return run(std::integral_constant<std::size_t, kAvx512Lanes>{});
  }
}

// Traits, for each digest: kWords; kPadding (PaddingRule); Start(words),
// the initial chaining words. message_at(i) gives message i's bytes;
// single(words, blocks, n) is the single-message block function going on
// from `words`; emit(i, words) takes message i's final chaining words.
template <typename Traits, std::size_t kLanes, typename MessageOf, typename Single, typename Emit>
void HashInLanes(std::size_t count, MessageOf &&message_at, LaneKernel kernel, Single &&single,
                 Emit &&emit) {
  constexpr std::size_t kWords = Traits::kWords;
  constexpr std::size_t min_active = MinActiveLanes(kLanes);
  struct Lane {
    bool active = false;
    bool on_padding = false;
    std::size_t index = 0;               // of the message
    const std::uint8_t *next = nullptr;  // the next block to compress
    std::size_t left = 0;                // blocks left in this run
    std::size_t padding_blocks = 0;      // after the message's whole blocks
    alignas(16) std::uint8_t padding[2 * kBlockSize];
  };
  static constexpr std::uint8_t kIdle[kMaxLaneRun * kBlockSize] = {};
  Lane lanes[kLanes];
  std::uint32_t state[kWords * kLanes];
  const std::uint8_t *blocks[kLanes];
  std::size_t next_message = 0;

  const auto words_of = [&](std::size_t lane, std::uint32_t *words) {
    for (std::size_t w = 0; w < kWords; ++w) words[w] = state[w * kLanes + lane];
  };
  // The lane's next message: its whole blocks, then its padding. A message
  // with no block at all (the broken variant's empty message) is done at
  // once.
  const auto refill = [&](std::size_t i) {
    Lane &lane = lanes[i];
    lane.active = false;
    while (next_message < count) {
      const std::size_t index = next_message++;
      const std::span<const std::uint8_t> message = message_at(index);
      const std::size_t whole = message.size() / kBlockSize;
      lane.padding_blocks =
          PadFinalBlocks(message.subspan(whole * kBlockSize), std::uint64_t{message.size()} << 3,
                         Traits::kPadding, lane.padding);
      std::uint32_t words[kWords];
      Traits::Start(words);
      if (whole + lane.padding_blocks == 0) {
        emit(index, words);
        continue;
      }
      for (std::size_t w = 0; w < kWords; ++w) state[w * kLanes + i] = words[w];
      lane.active = true;
      lane.index = index;
      lane.on_padding = whole == 0;
      lane.next = whole == 0 ? lane.padding : message.data();
      lane.left = whole == 0 ? lane.padding_blocks : whole;
      return;
    }
  };

  for (std::size_t i = 0; i < kLanes; ++i) refill(i);
  for (;;) {
    std::size_t active = 0, run = kMaxLaneRun;
    for (const Lane &lane : lanes) {
      if (!lane.active) continue;
      ++active;
      run = std::min(run, lane.left);
    }
    if (active == 0) break;
    if (active < min_active && next_message == count) {
      // Too few to fill the lanes: each goes on alone from where it is.
      for (Lane &lane : lanes) {
        if (!lane.active) continue;
        std::uint32_t words[kWords];
        words_of(static_cast<std::size_t>(&lane - lanes), words);
        single(words, lane.next, lane.left);
        if (!lane.on_padding && lane.padding_blocks != 0) {
          single(words, lane.padding, lane.padding_blocks);
        }
        emit(lane.index, words);
        lane.active = false;
      }
      break;
    }
    for (std::size_t i = 0; i < kLanes; ++i) blocks[i] = lanes[i].active ? lanes[i].next : kIdle;
    kernel(state, blocks, run);
    for (std::size_t i = 0; i < kLanes; ++i) {
      Lane &lane = lanes[i];
      if (!lane.active) continue;
      lane.next += run * kBlockSize;
      lane.left -= run;
      if (lane.left != 0) continue;
      if (!lane.on_padding && lane.padding_blocks != 0) {
        lane.on_padding = true;
        lane.next = lane.padding;
        lane.left = lane.padding_blocks;
        continue;
      }
      std::uint32_t words[kWords];
      words_of(i, words);
      emit(lane.index, words);
      refill(i);
    }
  }
  // What the lanes held of the messages' tails and states.
  SecureWipeObject(lanes);
  SecureWipeObject(state);
}

}  // namespace quillet
