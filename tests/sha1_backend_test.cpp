// Every CPU-specific block function against the portable one, on a 251-byte
// repeating pattern (so reordered or repeated blocks change the answer), from
// several chaining values and at several alignments, and whole digests past
// the dispatch threshold.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "common/secure_wipe.hpp"
#include "sha1/backends.hpp"
#include "sha1/dispatch.hpp"
#include "sha1/engine.hpp"
#include "sha1/many.hpp"
#include "stack_secrets.hpp"
#include "test_support.hpp"

namespace quillet::sha1 {
namespace {

std::vector<std::uint8_t> Pattern(std::size_t length) {
  std::vector<std::uint8_t> out(length);
  for (std::size_t i = 0; i < length; ++i) out[i] = static_cast<std::uint8_t>(i % 251);
  return out;
}

template <typename Variant>
void CompareOne(const Backend& backend) {
  const char* name = backend.name;
  const BlockFunction fast = backend.function;
  const Word starts[][5] = {
      {0x67452301u, 0xEFCDAB89u, 0x98BADCFEu, 0x10325476u, 0xC3D2E1F0u},
      {0xFFFFFFFFu, 0, 0x80000000u, 1, 0xDEADBEEFu},
  };
  const auto pattern = Pattern(8 * kBlockSize + 16);
  const auto random = test::RandomBytes(8 * kBlockSize + 16, 99);
  for (const auto* source : {&pattern, &random}) {
    for (const std::size_t blocks : {1u, 2u, 3u, 4u, 8u}) {
      for (const std::size_t offset : {0u, 1u, 4u, 15u}) {
        for (const auto& start : starts) {
          Word expected[5], got[5];
          std::memcpy(expected, start, sizeof expected);
          std::memcpy(got, start, sizeof got);
          TransformBlocksPortable<Variant>(expected, source->data() + offset, blocks);
          fast(got, source->data() + offset, blocks);
          ASSERT_EQ(std::memcmp(expected, got, sizeof got), 0)
              << name << ", " << blocks << " blocks at offset " << offset;
        }
      }
    }
  }
}

template <typename Variant>
void CompareWithPortable() {
  const auto backends = Backends<Variant>(DetectCpu());
  if (backends.count == 1) {
    GTEST_SKIP() << Variant::kName << ": this build has no CPU-specific block functions";
  }
  for (const Backend& backend : backends) {
    if (backend.function != nullptr) CompareOne<Variant>(backend);
  }
}

// CPUID and XCR0 words of real CPUs and of systems that hide parts of them,
// and what they allow.
TEST(CpuFeatures, DecodedFromCpuidWords) {
  const struct {
    const char* cpu;
    CpuidWords words;
    CpuFeatures want;  // sha, avx2, avx512vl, bmi, arm_sha1, slow_one_lane_vectors
  } rows[] = {
      {"AMD EPYC (Zen 4)", {0xFFFA3203u, 0xF1BF07ABu, 0xE7, 0x004003F3u},
       {true, true, true, true, false, true}},
      {"AMD EPYC (Zen 4), leaf 0x80000001 not read", {0xFFFA3203u, 0xF1BF07ABu, 0xE7},
       {true, true, true, true}},
      {"AMD Zen 4 with AVX-512 state not saved", {0xFFFA3203u, 0xF1BF07ABu, 0x07, 0x004003F3u},
       {true, true, false, true}},
      {"Intel Haswell", {0x7FFAFBFFu, 0x000027ABu, 0x07}, {false, true, false, true}},
      {"Intel Skylake-SP", {0x7FFEFBFFu, 0xD39FFFFBu, 0x2E7, 0x121u}, {false, true, true, true}},
      {"Intel Goldmont: SHA, no AVX", {0x4FF8EBBFu, 0x2294E283u, 0x03}, {true, false, false, false}},
      {"Xeon Phi: AVX-512F without VL", {0x7FF8F3BFu, 0x1C0D23ABu, 0xE7}, {false, true, false, true}},
      {"OS saves no AVX state", {0xFFFA3203u, 0xF1BF07ABu, 0x03}, {true, false, false, true}},
      {"OS saves YMM but not ZMM", {0xFFFA3203u, 0xF1BF07ABu, 0x07}, {true, true, false, true}},
      {"OS saves ZMM but not the opmask", {0xFFFA3203u, 0xF1BF07ABu, 0xC7}, {true, true, false, true}},
      {"XSAVE off: XCR0 not readable", {0xF7FA3203u, 0xF1BF07ABu, 0}, {true, false, false, true}},
      {"XSAVE off: an XCR0 word is not trusted", {0xF7FA3203u, 0xF1BF07ABu, 0xE7},
       {true, false, false, true}},
      {"SHA without SSE4.1", {0xFFF23203u, 0xF1BF07ABu, 0xE7}, {false, true, true, true}},
      {"SHA without SSSE3", {0xFFFA3003u, 0xF1BF07ABu, 0xE7}, {false, true, true, true}},
      {"BMI1 without BMI2", {0xFFFA3203u, 0xF1BF06ABu, 0xE7}, {true, true, true, false}},
      {"nothing", {0, 0, 0}, {false, false, false, false}},
  };
  for (const auto& row : rows) {
    const CpuFeatures got = DecodeCpuFeatures(row.words);
    EXPECT_EQ(got.sha, row.want.sha) << row.cpu;
    EXPECT_EQ(got.avx2, row.want.avx2) << row.cpu;
    EXPECT_EQ(got.avx512vl, row.want.avx512vl) << row.cpu;
    EXPECT_EQ(got.bmi, row.want.bmi) << row.cpu;
    EXPECT_EQ(got.slow_one_lane_vectors, row.want.slow_one_lane_vectors) << row.cpu;
  }
}

#if QUILLET_X86_BACKENDS
// The question asked of this CPU, whoever answers it (the C library, the
// system), gives what this CPU's own words decode to. ctest runs this once
// more with the C library told that AVX2, AVX-512 and BMI2 may not be used
// (GLIBC_TUNABLES, QUILLET_MASKED_FEATURES=1), as when the system does not
// save the vector registers: the CPU still has them, and none may be taken.
TEST(CpuFeatures, DetectionFollowsWhatTheSystemAllows) {
  unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
  CpuidWords words;
  __asm__ __volatile__("cpuid" : "=a"(eax), "=b"(ebx), "=c"(ecx), "=d"(edx) : "a"(1), "c"(0));
  words.leaf1_ecx = ecx;
  __asm__ __volatile__("cpuid" : "=a"(eax), "=b"(ebx), "=c"(ecx), "=d"(edx) : "a"(7), "c"(0));
  words.leaf7_ebx = ebx;
  __asm__ __volatile__("cpuid" : "=a"(eax), "=b"(ebx), "=c"(ecx), "=d"(edx) : "a"(0x80000001u),
                       "c"(0));
  words.extended1_ecx = ecx;
  if ((words.leaf1_ecx & cpuid_bit::kOsxsave) != 0) {
    unsigned low = 0, high = 0;
    __asm__ __volatile__("xgetbv" : "=a"(low), "=d"(high) : "c"(0));
    words.xcr0 = (std::uint64_t{high} << 32) | low;
  }
  CpuFeatures want = DecodeCpuFeatures(words);
  // Where the library asks CPUID itself, it does not ask the vendor.
  if (!QUILLET_CPU_FEATURES_FROM_LIBC) want.slow_one_lane_vectors = want.avx512vl;
  // What the C library was told not to use: "all" (AVX2, AVX-512, BMI2), or
  // "avx512" (AVX512F alone, which takes every AVX-512 function with it).
  if (const char* masked = std::getenv("QUILLET_MASKED_FEATURES"); masked != nullptr) {
    ASSERT_TRUE(QUILLET_CPU_FEATURES_FROM_LIBC) << "only the C library can be told";
    if (std::string(masked) != "avx512") want.avx2 = want.bmi = false;
    want.avx512vl = want.slow_one_lane_vectors = false;
  }
  EXPECT_EQ(DetectCpu(), want);
  for (const Backend& fast : Backends<BrokenSha>(DetectCpu())) {
    if (fast.function == nullptr) continue;
    const std::string name = fast.name;
    EXPECT_TRUE(want.avx2 || name.find("avx") == std::string::npos) << name;
  }
}
#endif

// ARM64: the HWCAP words of real systems and what they allow; the SHA-1
// instructions count only with ASIMD.
TEST(CpuFeatures, DecodedFromHwcap) {
  const struct {
    const char* system;
    std::uint64_t hwcap;
    bool sha1;
  } rows[] = {{"Graviton 3 (Neoverse V1)", 0xEFFFFFBFULL, true},
              {"Cortex-A53 with crypto", 0xFFULL, true},
              {"Cortex-A53 without crypto (Raspberry Pi 3)", 0x87ULL, false},
              {"SHA1 without ASIMD", 0x21ULL, false},
              {"nothing", 0, false}};
  for (const auto& row : rows) {
    const CpuFeatures got = DecodeHwcap(row.hwcap);
    EXPECT_EQ(got.arm_sha1, row.sha1) << row.system;
    EXPECT_FALSE(got.sha || got.avx2 || got.avx512vl || got.bmi) << row.system;
  }
}

// The block function the dispatch picks for a long message on this CPU is
// the fastest it has; where ctest knows the CPU, that is the one it names
// (QUILLET_EXPECT_BACKEND: "armv8-sha1" under qemu-aarch64 -cpu max).
TEST(CpuFeatures, TheFastestBlockFunctionRuns) {
  const Backend fastest = Backends<StandardSha>(DetectCpu())[0];
  EXPECT_EQ(SelectBlockFunction<StandardSha>(1 << 20), fastest.function) << fastest.name;
  if (kCpuQueryIsCheap) {
    EXPECT_EQ(SelectBlockFunction<StandardSha>(1), fastest.function) << fastest.name;
  }
  if (const char* expected = std::getenv("QUILLET_EXPECT_BACKEND")) {
    EXPECT_STREQ(fastest.name, expected);
  }
}

// Which instructions each block function needs, by name.
CpuFeatures Needs(const std::string& name) {
  CpuFeatures needs;
  needs.arm_sha1 = name.find("armv8") != std::string::npos;
  needs.sha = name.find("sha-extensions") != std::string::npos;
  needs.avx2 = name.find("avx2") != std::string::npos || name.find("avx512vl") != std::string::npos;
  needs.avx512vl = name.find("avx512vl") != std::string::npos;
  needs.bmi = name.find("bmi") != std::string::npos;
  return needs;
}

bool Covers(const CpuFeatures& have, const CpuFeatures& needs) {
  return (have.sha || !needs.sha) && (have.avx2 || !needs.avx2) &&
         (have.avx512vl || !needs.avx512vl) && (have.bmi || !needs.bmi) &&
         (have.arm_sha1 || !needs.arm_sha1);
}

// For every feature set, every block function offered runs on it, the one
// used first is the one expected, the table ends with the portable one, and
// the default needs nothing.
template <typename Variant>
void ChoiceFollowsFeatures(const char* fastest_on_all) {
  const char* variant = Variant::kName.data();
  const auto offered = [](const CpuFeatures& cpu) { return Backends<Variant>(cpu); };
  const BlockFunction default_function = DefaultBlockFunction<Variant>();
  const BlockFunction portable = &TransformBlocksPortable<Variant>;
  constexpr bool one_bit = Variant::kSchedule == Schedule::kOneBit;
  constexpr bool one_bit_sse2_last = one_bit && QUILLET_X86_BACKENDS;
  for (unsigned bits = 0; bits < 32; ++bits) {
    const CpuFeatures cpu{(bits & 1) != 0, (bits & 2) != 0, (bits & 4) != 0, (bits & 8) != 0,
                          (bits & 16) != 0};
    const auto backends = offered(cpu);
    std::size_t count = 0;
    for (const Backend& backend : backends) {
      if (backend.function == nullptr) continue;
      ++count;
      EXPECT_TRUE(Covers(cpu, Needs(backend.name)))
          << variant << ": " << backend.name << " offered to features " << bits;
    }
    ASSERT_GT(count, 0u);
    // The table ends with the portable function, or (the one-bit variants'
    // SSE2 function, slower than it) one place before the end.
    const std::size_t last = count - 1 - (one_bit_sse2_last ? 1 : 0);
    EXPECT_EQ(backends[last].function, portable) << variant;
    EXPECT_STREQ(backends[last].name, "portable") << variant;
    if (one_bit_sse2_last) {
      EXPECT_STREQ(backends[count - 1].name, "sse2") << variant;
    }
    EXPECT_EQ(FastBlockFunction<Variant>(cpu), backends[0].function) << variant;
    // A block function with a side job exactly where the first choice has
    // the SHA extensions (the x86 variants the exports use).
    const bool sha_first = std::string_view(backends[0].name).starts_with("sha-extensions");
    EXPECT_EQ(FastCopyingBlockFunction<Variant>(cpu) != nullptr, sha_first)
        << variant << ", features " << bits;
  }
#if QUILLET_X86_BACKENDS
  const char* sha_only = !QUILLET_SHA_EXTENSIONS ? (one_bit ? "portable" : "sse2")
                         : std::is_same_v<Variant, BrokenSha> ? "sha-extensions+avx2"
                                                              : "sha-extensions";
  EXPECT_STREQ(offered({true, true, true, true})[0].name,
               QUILLET_SHA_EXTENSIONS ? fastest_on_all : "avx512vl+bmi")
      << variant;
  EXPECT_STREQ(offered({true, true, false, false})[0].name, sha_only) << variant;
  EXPECT_STREQ(offered({false, true, true, true})[0].name, "avx512vl+bmi") << variant;
  EXPECT_STREQ(offered({false, true, false, true})[0].name, "avx2+bmi") << variant;
  EXPECT_STREQ(offered({false, false, false, false})[0].name, one_bit ? "portable" : "sse2")
      << variant;
  const BlockFunction sse2 = &TransformBlocksSse2<Variant>;
  EXPECT_EQ(default_function, one_bit ? portable : sse2) << variant;
#elif QUILLET_ARM_BACKENDS
  (void)fastest_on_all;
  EXPECT_STREQ(offered(DecodeHwcap(hwcap_bit::kAsimd | hwcap_bit::kSha1))[0].name, "armv8-sha1")
      << variant;
  EXPECT_STREQ(offered(DecodeHwcap(hwcap_bit::kAsimd))[0].name, "portable") << variant;
  EXPECT_EQ(default_function, portable) << variant;
#else
  (void)fastest_on_all;
  EXPECT_STREQ(offered({true, true, true, true, true})[0].name, "portable") << variant;
  EXPECT_EQ(default_function, portable) << variant;
#endif
}

TEST(CpuFeatures, BackendChoiceFollowsFeatures) {
  ChoiceFollowsFeatures<StandardSha>("sha-extensions");
  ChoiceFollowsFeatures<LockdownSha>("sha-extensions");
  ChoiceFollowsFeatures<BrokenSha>("sha-extensions+avx512vl");
}

TEST(ShaBackends, StandardMatchesPortable) { CompareWithPortable<StandardSha>(); }
TEST(ShaBackends, LockdownMatchesPortable) { CompareWithPortable<LockdownSha>(); }
TEST(ShaBackends, BrokenMatchesPortable) { CompareWithPortable<BrokenSha>(); }

template <typename Variant>
std::vector<Backend> EveryBackend() {
  std::vector<Backend> backends;
  for (const Backend& backend : Backends<Variant>(DetectCpu())) {
    if (backend.function != nullptr) backends.push_back(backend);
  }
  return backends;
}

// After hashing secret blocks and the wipe of the stack below (as every
// caller of the engine does), no four consecutive schedule words (nor the
// words plus their round constant) and no chaining value are left, in either
// order. Every backend of every variant, on one block (the password's first
// stage) and on three; and every backend's frames lie well within the area
// that is wiped.
template <typename Variant>
void LeavesNothingOnTheStack() {
  const char* variant = Variant::kName.data();
  const auto backends = EveryBackend<Variant>();
  for (const std::size_t count : {std::size_t{1}, std::size_t{3}}) {
    const auto blocks = test::RandomBytes(count * kBlockSize, static_cast<std::uint32_t>(count));
    std::vector<std::vector<std::uint8_t>> secrets;
    std::vector<Word> chain(kInitialH, kInitialH + 5);
    for (std::size_t b = 0; b < count; ++b) {
      test::AddScheduleWindows<Variant>(secrets, blocks.data() + b * kBlockSize);
      TransformBlocksPortable<Variant>(chain.data(), blocks.data() + b * kBlockSize, 1);
      test::AddWindows(secrets, chain.data(), 4);
      std::vector<std::uint8_t> tail(8);
      std::memcpy(tail.data(), chain.data() + 3, 8);
      secrets.push_back(tail);
    }
    for (const Backend& backend : backends) {
      std::vector<Word> h(kInitialH, kInitialH + 5);
      const auto used = test::StackAfter([&] { backend.function(h.data(), blocks.data(), count); },
                                         0xA5);
      ASSERT_EQ(h, chain) << backend.name;
      EXPECT_LE(test::StackDepth(used, 0xA5), kStackBurnSize / 2) << variant << ", " << backend.name;

      auto context = std::make_unique<ShaContext>();
      std::memcpy(context->h, kInitialH, sizeof context->h);
      const auto stack = test::StackAfter(
          [&] {
            HashBlocks<Variant>(*context, blocks, backend.function);
            BurnStack();
          });
      std::size_t found = 0;
      for (const auto& secret : secrets) found += test::Contains(stack, secret) ? 1u : 0u;
      EXPECT_EQ(found, 0u) << variant << ", " << backend.name << ", " << count
                           << " blocks: secret words left on the stack";
    }
  }
}

TEST(ShaBackends, LeaveNothingOnTheStack) {
#if defined(QUILLET_SANITIZED_FRAMES)
  GTEST_SKIP() << "the sanitizers' frames are larger and laid out apart";
#endif
  LeavesNothingOnTheStack<StandardSha>();
  LeavesNothingOnTheStack<LockdownSha>();
  LeavesNothingOnTheStack<BrokenSha>();
}

// The side job of a block function that has one: the digest words are the
// portable function's, the copy holds the source's bytes and the cleared
// area zeroes, 64 bytes of each per block, and the job comes back advanced
// past exactly that, with no byte after it touched. Sources at odd
// addresses; jobs shorter and longer than the blocks.
template <typename Variant>
void CopyingMovesBesideTheRounds() {
  const CopyingBlockFunction copying = FastCopyingBlockFunction<Variant>(DetectCpu());
  if (copying == nullptr) return;
  const auto random = test::RandomBytes(8 * kBlockSize + 16, 5);
  const auto source = test::RandomBytes(12 * kBlockSize + 16, 6);
  for (const std::size_t blocks : {0u, 1u, 2u, 3u, 8u}) {
    for (const std::size_t offset : {0u, 1u, 15u}) {
      for (const std::size_t size : {0u, 1u, 63u, 64u, 65u, 127u, 128u, 200u, 513u, 700u}) {
        SCOPED_TRACE(testing::Message() << Variant::kName << ", " << blocks << " blocks, offset "
                                        << offset << ", " << size << " bytes");
        Word expected[5], got[5];
        std::memcpy(expected, kInitialH, sizeof expected);
        std::memcpy(got, kInitialH, sizeof got);
        TransformBlocksPortable<Variant>(expected, random.data() + offset, blocks);
        std::vector<std::uint8_t> to(size + 64, 0xEE);
        std::vector<std::uint8_t> clear(size + 64 + offset, 0xDD);
        SideJob job{source.data() + offset, to.data(), size, clear.data() + offset, size};
        copying(got, random.data() + offset, blocks, job);
        ASSERT_EQ(std::memcmp(expected, got, sizeof got), 0);
        const std::size_t moved = std::min(blocks, size / kBlockSize) * kBlockSize;
        EXPECT_EQ(job.from, source.data() + offset + moved);
        EXPECT_EQ(job.to, to.data() + moved);
        EXPECT_EQ(job.copy, size - moved);
        EXPECT_EQ(job.clear, clear.data() + offset + moved);
        EXPECT_EQ(job.wipe, size - moved);
        EXPECT_EQ(std::memcmp(to.data(), source.data() + offset, moved), 0);
        EXPECT_EQ(std::count(to.begin() + static_cast<std::ptrdiff_t>(moved), to.end(), 0xEE),
                  static_cast<std::ptrdiff_t>(to.size() - moved));
        const auto cleared = clear.begin() + static_cast<std::ptrdiff_t>(offset);
        EXPECT_EQ(std::count(cleared, cleared + static_cast<std::ptrdiff_t>(moved), 0),
                  static_cast<std::ptrdiff_t>(moved));
        EXPECT_EQ(std::count(clear.begin(), clear.end(), 0xDD),
                  static_cast<std::ptrdiff_t>(clear.size() - moved));
      }
    }
  }
}

TEST(ShaBackends, CopyingMovesBesideTheRounds) {
  CopyingMovesBesideTheRounds<StandardSha>();
  CopyingMovesBesideTheRounds<LockdownSha>();
  CopyingMovesBesideTheRounds<BrokenSha>();
}

// Whole digests, on whichever path the dispatch picks for each length (the
// portable one below a CPUID threshold where there is one), agree with a
// digest computed block by block by the portable function; so do those
// hashed through a private copy, from sources at odd addresses, for lengths
// about the copy's pieces, and the copy is all zeroes after, with nothing
// beyond it written.
TEST(ShaBackends, DigestsAgreeWithThePortableWalk) {
  constexpr std::size_t kPiece = kCopyPiece;
  for (const std::size_t length :
       {std::size_t{0}, std::size_t{1}, std::size_t{63}, std::size_t{64}, std::size_t{100},
        kPiece - 1, kPiece, kPiece + 1, kPiece + 63, kPiece + 64, 2 * kPiece - 1, 2 * kPiece,
        2 * kPiece + 1, 3 * kPiece + 65, std::size_t{8191}, std::size_t{8192}, std::size_t{8247},
        std::size_t{24583}, kFastPathThreshold + 64, kFastPathThreshold + 5 * kPiece + 7}) {
    const auto message = Pattern(length + 16);
    for (const std::size_t offset : {0u, 1u, 7u}) {
      const std::span<const std::uint8_t> input(message.data() + offset, length);
      const auto by_portable_walk = [&input]<typename Variant>() {
        ShaContext context{};
        std::memcpy(context.h, kInitialH, sizeof context.h);
        HashBlocks<Variant>(context, input, &TransformBlocksPortable<Variant>);
        return DigestFromChainingWords<Variant>(context.h);
      };
      const auto through_copy = [&input, length, offset](Switches s) {
        std::vector<std::uint8_t> copy(length + 2 * kBlockSize, 0xEE);
        Digest digest{};
        ComputeSHAThroughCopy(input, copy.data() + kBlockSize, s.StandardFlag, s.BrokenFlag,
                              digest);
        EXPECT_EQ(std::count(copy.begin(), copy.end(), 0xEE), 2 * kBlockSize)
            << length << " bytes at offset " << offset << ": written outside the copy";
        EXPECT_EQ(std::count(copy.begin(), copy.end(), 0), static_cast<std::ptrdiff_t>(length))
            << length << " bytes at offset " << offset << ": the copy not wiped";
        return digest;
      };
      const std::pair<Switches, Digest> rows[] = {
          {{0, 1}, by_portable_walk.operator()<BrokenSha>()},
          {{0, 0}, by_portable_walk.operator()<LockdownSha>()},
          {{1, 0}, by_portable_walk.operator()<StandardSha>()},
          {{1, 1}, by_portable_walk.operator()<StandardBrokenSha>()},
      };
      for (const auto& [s, want] : rows) {
        SCOPED_TRACE(testing::Message() << length << " bytes at offset " << offset << ", switches "
                                        << int{s.StandardFlag} << int{s.BrokenFlag});
        EXPECT_EQ(ComputeSHA(input, s.StandardFlag, s.BrokenFlag), want);
        EXPECT_EQ(through_copy(s), want);
      }
    }
  }
}

// Batches for the many-message kernels: every length from 0 to 300 (so each
// lane meets every padding case), long ones beside short ones (so lanes are
// refilled while others go on), and batches of 1 to 33 messages (every
// number of busy lanes).
std::vector<std::vector<std::uint8_t>> ManyMessages() {
  std::vector<std::vector<std::uint8_t>> messages;
  for (std::size_t length = 0; length <= 300; ++length) {
    messages.push_back(test::RandomBytes(length, static_cast<std::uint32_t>(length)));
  }
  for (const std::size_t length : {1000u, 4096u, 5000u, 64u * 40, 17u, 0u, 70000u, 3u}) {
    messages.insert(messages.begin() + static_cast<std::ptrdiff_t>(length % 97),
                    test::RandomBytes(length, 1234 + static_cast<std::uint32_t>(length)));
  }
  return messages;
}

std::span<const std::uint8_t> MessageOf(const void* batch, std::size_t i) {
  return (*static_cast<const std::vector<std::vector<std::uint8_t>>*>(batch))[i];
}

template <typename Variant>
void ManyKernelsAgree() {
  const auto messages = ManyMessages();
  std::vector<Digest> want(messages.size());
  for (std::size_t i = 0; i < messages.size(); ++i) {
    ShaContext context{};
    std::memcpy(context.h, kInitialH, sizeof context.h);
    HashBlocks<Variant>(context, messages[i], &TransformBlocksPortable<Variant>);
    want[i] = DigestFromChainingWords<Variant>(context.h);
  }
  const auto kernels = ManyKernelsFor<Variant>(DetectCpu());
  EXPECT_STREQ(kernels[kernels.count - 1].name, "one at a time");
  for (const auto& kernel : kernels) {
    SCOPED_TRACE(testing::Message() << Variant::kName << ", " << kernel.name);
    std::vector<Digest> got(messages.size());
    // The kernel's frames lie within what the library's DigestMany wipes.
    [[maybe_unused]] const auto used = test::StackAfter(
        [&] {
          DigestManyWith<Variant>(kernel.function, &messages, &MessageOf, messages.size(),
                                  got.data());
        },
        0xA5);
#if !defined(QUILLET_SANITIZED_FRAMES)  // their frames are larger by design
    if (test::StackScansOn()) {
      EXPECT_LE(test::StackDepth(used, 0xA5) + test::kFrameSlack, kManyStackBurnSize);
    }
#endif
    for (std::size_t i = 0; i < messages.size(); ++i) {
      ASSERT_EQ(got[i], want[i]) << "message " << i << " of " << messages[i].size() << " bytes";
    }
    for (std::size_t n = 1; n <= 33; ++n) {
      const std::vector<std::vector<std::uint8_t>> few(messages.end() - static_cast<std::ptrdiff_t>(n),
                                                       messages.end());
      std::vector<Digest> some(n);
      DigestManyWith<Variant>(kernel.function, &few, &MessageOf, n, some.data());
      for (std::size_t i = 0; i < n; ++i) {
        ASSERT_EQ(some[i], want[messages.size() - n + i]) << n << " messages, " << i;
      }
    }
  }
}

TEST(ShaMany, EveryKernelAgreesWithThePortableWalk) {
  ManyKernelsAgree<StandardSha>();
  ManyKernelsAgree<BrokenSha>();
  ManyKernelsAgree<LockdownSha>();
  ManyKernelsAgree<StandardBrokenSha>();
}

}  // namespace
}  // namespace quillet::sha1
