// The SHA-1 family's block function for WebAssembly with SIMD128. WebAssembly
// has no byte swap: the message words are loaded four at a time and, for the
// big-endian variants, put in order by one shuffle instead of eight scalar
// operations a word. For the rotating schedule the words stay in four
// vectors, each next four computed at once (the last of them, which needs
// the first, mended after: the rotation distributes over the xor) with the
// round constant added, and stored for the rounds to load one word each (in
// Chromium 156 and Node.js 20 about a seventh faster than taking each word
// out of its lane); the general registers are left to the rounds. The one-bit schedule, which is
// no rotation, has no block function here: its variant takes the portable
// one. Built into the SIMD module only (node/scripts/build-wasm.mjs).
#include <utility>

#include "common/secure_wipe.hpp"
#include "sha1/backends.hpp"

#if defined(__wasm_simd128__)
#include <wasm_simd128.h>

namespace quillet::sha1 {

namespace {

inline __attribute__((always_inline)) v128_t Rol1(v128_t v) {
  return wasm_v128_or(wasm_i32x4_shl(v, 1), wasm_u32x4_shr(v, 31));
}

template <int t>
inline __attribute__((always_inline)) void VectorRound(Word (&s)[5], Word wk) {
  // The five working words renamed by t, as in the lane kernels.
  Word& a = s[(5 - t % 5) % 5];
  Word& b = s[(6 - t % 5) % 5];
  Word& c = s[(7 - t % 5) % 5];
  Word& d = s[(8 - t % 5) % 5];
  Word& e = s[(9 - t % 5) % 5];
  Word f;
  if constexpr (t < 20) {
    f = d ^ (b & (c ^ d));
  } else if constexpr (t < 40 || t >= 60) {
    f = b ^ c ^ d;
  } else {
    f = (b & c) | (d & (b | c));
  }
  e += RotateLeft(a, 5) + f + wk;
  b = RotateLeft(b, 30);
}

// Rounds 4q..4q+3, with words 4q..4q+3 made first (from q = 4 on) into the
// ring w[q & 3], and through `words` with the constant added.
template <int q>
inline __attribute__((always_inline)) void VectorQuad(Word (&s)[5], v128_t (&w)[4], Word (&words)[4]) {
  if constexpr (q >= 4) {
    const v128_t w16 = w[q & 3], w12 = w[(q + 1) & 3], w8 = w[(q + 2) & 3], w4 = w[(q + 3) & 3];
    const v128_t w14 = wasm_i32x4_shuffle(w16, w12, 2, 3, 4, 5);
    const v128_t w3 = wasm_i32x4_shuffle(w4, wasm_i32x4_splat(0), 1, 2, 3, 4);
    v128_t v = Rol1(wasm_v128_xor(wasm_v128_xor(w16, w14), wasm_v128_xor(w8, w3)));
    // Word 4q + 3 also takes in word 4q, just made: rol1(x ^ y) = rol1(x) ^ rol1(y).
    v = wasm_v128_xor(v, Rol1(wasm_i32x4_shuffle(wasm_i32x4_splat(0), v, 0, 1, 2, 4)));
    w[q & 3] = v;
  }
  wasm_v128_store(words, wasm_i32x4_add(w[q & 3], wasm_u32x4_splat(RoundConstant(4 * q))));
  // The store and the loads stay as written (else the compiler takes the
  // words out of the lanes again).
  __asm__ __volatile__("" : : "r"(words) : "memory");
  VectorRound<4 * q>(s, words[0]);
  VectorRound<4 * q + 1>(s, words[1]);
  VectorRound<4 * q + 2>(s, words[2]);
  VectorRound<4 * q + 3>(s, words[3]);
}

template <int... q>
inline __attribute__((always_inline)) void VectorQuads(Word (&s)[5], v128_t (&w)[4], Word (&words)[4],
                                                       std::integer_sequence<int, q...>) {
  (VectorQuad<q>(s, w, words), ...);
}

template <typename Variant>
void VectorSchedule(Word h[5], const std::uint8_t* blocks, std::size_t count) {
  Word chain[5] = {h[0], h[1], h[2], h[3], h[4]};
  // In the module's memory (the stack that WebAssembly code addresses):
  // wiped before returning.
  alignas(16) Word words[4];
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint8_t* block = blocks + i * kBlockSize;
    v128_t w[4];
    for (int q = 0; q < 4; ++q) {
      w[q] = wasm_v128_load(block + 16 * q);
      if constexpr (Variant::kBigEndian) {
        w[q] = wasm_i8x16_shuffle(w[q], w[q], 3, 2, 1, 0, 7, 6, 5, 4, 11, 10, 9, 8, 15, 14, 13, 12);
      }
    }
    Word s[5] = {chain[0], chain[1], chain[2], chain[3], chain[4]};
    VectorQuads(s, w, words, std::make_integer_sequence<int, 20>{});
    for (int k = 0; k < 5; ++k) chain[k] += s[k];
  }
  SecureWipeObject(words);
  for (int k = 0; k < 5; ++k) h[k] = chain[k];
}

}  // namespace

template <typename Variant>
void TransformBlocksSimd128(Word h[5], const std::uint8_t* blocks, std::size_t count) {
  static_assert(Variant::kSchedule == Schedule::kRotate);
  VectorSchedule<Variant>(h, blocks, count);
}

// The variants of the rotating schedule.
template void TransformBlocksSimd128<StandardSha>(Word[5], const std::uint8_t*, std::size_t);
template void TransformBlocksSimd128<LockdownSha>(Word[5], const std::uint8_t*, std::size_t);

}  // namespace quillet::sha1

#endif
