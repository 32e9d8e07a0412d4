// Quillet beside OpenSSL, in one process: every SHA-1 and MD5 block
// function this CPU can run, the C++ API's one-shot functions and streaming
// hashers, the exports through the shared library, and the batch call
// (DigestMany, on each of its kernels) at 3 B, 64 B, 1 KiB, 16 KiB, 64 KiB and
// 1 MiB. After the runs it prints each Quillet figure as a ratio against its
// peer measured in the same run (above 1 is faster than the peer), once
// against OpenSSL as it runs on this CPU and once against OpenSSL as it runs
// on a CPU without SHA extensions, and names any block function slower than
// the portable one and any batch kernel slower than one message at a time.
//
// A batch is 4096 messages of the size (one of 1 MiB: a lone message); its
// figures are per message, beside one OpenSSL call on a message that size.
//
// The second OpenSSL is a private copy of libcrypto loaded with
// OPENSSL_ia32cap set to clear its SHA-extension bit (the first one read its
// capabilities when the program started). Its SHA-1 and MD5 are reached
// through their function pointers.
//
// The library is loaded with dlopen(RTLD_LOCAL) so that its MD5 export and
// OpenSSL's MD5 function, which share a name, stay apart.
#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <openssl/md5.h>
#include <openssl/sha.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "md5/dispatch.hpp"
#include "md5/many.hpp"
#include "quillet/digest.hpp"
#include "sha1/dispatch.hpp"
#include "sha1/many.hpp"

namespace {

// quillet.h declares an MD5 of its own, which OpenSSL's header also does; the
// exports are reached through dlsym here, so only the handle type is needed.
using ByteString = unsigned char*;

const std::vector<std::int64_t> kSizes = {3, 64, 1024, 16 * 1024, 64 * 1024, 1024 * 1024};

std::vector<std::byte> Input(std::size_t size) {
  std::vector<std::byte> data(size);
  for (std::size_t i = 0; i < size; ++i) data[i] = static_cast<std::byte>(i * 131 + 7);
  return data;
}

void SetBytes(benchmark::State& state) {
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}

// The exports, found by name in the shared library.
struct Exports {
  using Digest = ByteString (*)(const ByteString*);
  Digest standard = nullptr, broken = nullptr, lockdown = nullptr, md5 = nullptr;
  ByteString (*password)(const ByteString*, const std::int32_t*, const std::int32_t*) = nullptr;
  ByteString (*alloc)(const char*, unsigned) = nullptr;
  void (*free)(ByteString) = nullptr;

  static const Exports& Get() {
    static const Exports exports = Load();
    return exports;
  }

 private:
  template <typename F>
  static void Find(void* library, const char* name, F& out) {
    void* symbol = dlsym(library, name);
    if (symbol == nullptr) {
      std::fprintf(stderr, "missing %s\n", name);
      std::exit(1);
    }
    std::memcpy(&out, &symbol, sizeof symbol);
  }
  static Exports Load() {
    void* library = dlopen(QUILLET_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
      std::fprintf(stderr, "cannot load %s: %s\n", QUILLET_LIBRARY_PATH, dlerror());
      std::exit(1);
    }
    Exports e;
    Find(library, "StandardSHA", e.standard);
    Find(library, "BrokenSHA", e.broken);
    Find(library, "LockdownSHA", e.lockdown);
    Find(library, "MD5", e.md5);
    Find(library, "DoubleHashPassword", e.password);
    Find(library, "SysAllocStringByteLen", e.alloc);
    Find(library, "SysFreeString", e.free);
    return e;
  }
};

// OpenSSL's one-shot functions as a CPU without SHA extensions runs them.
struct OpenSslWithoutSha {
  unsigned char* (*sha1)(const unsigned char*, std::size_t, unsigned char*) = nullptr;
  unsigned char* (*md5)(const unsigned char*, std::size_t, unsigned char*) = nullptr;

  static const OpenSslWithoutSha& Get() {
    static const OpenSslWithoutSha loaded = Load();
    return loaded;
  }

 private:
  static OpenSslWithoutSha Load() {
    Dl_info info;
    if (dladdr(reinterpret_cast<void*>(&SHA1), &info) == 0) {
      std::fprintf(stderr, "cannot find libcrypto\n");
      std::exit(1);
    }
    const std::string copy = "/tmp/quillet-bench-libcrypto-" + std::to_string(getpid()) + ".so";
    {
      std::ifstream from(info.dli_fname, std::ios::binary);
      std::ofstream to(copy, std::ios::binary);
      to << from.rdbuf();
    }
    // Bit 29 of the second word is SHA; "~" clears it.
    setenv("OPENSSL_ia32cap", ":~0x20000000", 1);
    // DEEPBIND: the copy's calls to its own exported functions stay inside
    // it instead of binding to the first libcrypto.
    void* library = dlopen(copy.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_DEEPBIND);
    OpenSslWithoutSha loaded;
    if (library != nullptr) {
      void* sha1 = dlsym(library, "SHA1");
      void* md5 = dlsym(library, "MD5");
      std::memcpy(&loaded.sha1, &sha1, sizeof sha1);
      std::memcpy(&loaded.md5, &md5, sizeof md5);
      unsigned char out[20];
      if (loaded.sha1 != nullptr) loaded.sha1(out, 0, out);  // initialised with the setting
    }
    unsetenv("OPENSSL_ia32cap");
    std::remove(copy.c_str());
    if (loaded.sha1 == nullptr || loaded.md5 == nullptr) {
      std::fprintf(stderr, "cannot load a second libcrypto: %s\n", dlerror());
      std::exit(1);
    }
    return loaded;
  }
};

// --- OpenSSL, the peer ---
void OpenSSL_SHA1(benchmark::State& state) {
  const auto data = Input(static_cast<std::size_t>(state.range(0)));
  unsigned char out[20];
  for (auto _ : state) {
    SHA1(reinterpret_cast<const unsigned char*>(data.data()), data.size(), out);
    benchmark::DoNotOptimize(out);
  }
  SetBytes(state);
}

void OpenSSL_MD5(benchmark::State& state) {
  const auto data = Input(static_cast<std::size_t>(state.range(0)));
  unsigned char out[16];
  for (auto _ : state) {
    MD5(reinterpret_cast<const unsigned char*>(data.data()), data.size(), out);
    benchmark::DoNotOptimize(out);
  }
  SetBytes(state);
}

void OpenSSLNoSha_SHA1(benchmark::State& state) {
  const auto& openssl = OpenSslWithoutSha::Get();
  const auto data = Input(static_cast<std::size_t>(state.range(0)));
  unsigned char out[20];
  for (auto _ : state) {
    openssl.sha1(reinterpret_cast<const unsigned char*>(data.data()), data.size(), out);
    benchmark::DoNotOptimize(out);
  }
  SetBytes(state);
}

void OpenSSLNoSha_TwoSHA1(benchmark::State& state) {
  const auto& openssl = OpenSslWithoutSha::Get();
  const auto data = Input(static_cast<std::size_t>(state.range(0)));
  unsigned char inner[28] = {};
  unsigned char out[20];
  for (auto _ : state) {
    openssl.sha1(reinterpret_cast<const unsigned char*>(data.data()), data.size(), inner + 8);
    openssl.sha1(inner, sizeof inner, out);
    benchmark::DoNotOptimize(out);
  }
  SetBytes(state);
}

// --- the block functions, on the message's whole blocks ---
void Block(benchmark::State& state, quillet::sha1::BlockFunction function) {
  const auto data = Input(static_cast<std::size_t>(state.range(0)));
  std::uint32_t h[5] = {0x67452301u, 0xEFCDAB89u, 0x98BADCFEu, 0x10325476u, 0xC3D2E1F0u};
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(data.data());
  // Whole blocks only; the padding block a message needs is counted in,
  // as OpenSSL hashes it too.
  const std::size_t blocks = data.size() / 64 + 1;
  std::vector<std::uint8_t> padded(blocks * 64);
  std::memcpy(padded.data(), bytes, data.size());
  for (auto _ : state) {
    function(h, padded.data(), blocks);
    benchmark::DoNotOptimize(h);
  }
  SetBytes(state);
}

void Md5Block(benchmark::State& state, quillet::md5::BlockFunction function) {
  const auto data = Input(static_cast<std::size_t>(state.range(0)) / 64 * 64 + 64);
  std::uint32_t h[4] = {0x67452301u, 0xEFCDAB89u, 0x98BADCFEu, 0x10325476u};
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(data.data());
  for (auto _ : state) {
    function(h, bytes, data.size() / 64);
    benchmark::DoNotOptimize(h);
  }
  SetBytes(state);
}

// --- many messages at once ---
// The batch for a message size: 4096 messages, each at its own place in one
// buffer, or one message of 1 MiB.
struct Batch {
  std::vector<std::byte> data;
  std::vector<quillet::ByteView> messages;
  explicit Batch(std::size_t size) : data(Input(size * Count(size))) {
    for (std::size_t i = 0; i < Count(size); ++i) {
      messages.emplace_back(std::span<const std::byte>(data).subspan(i * size, size));
    }
  }
  static std::size_t Count(std::size_t size) { return size >= 1024 * 1024 ? 1 : 4096; }
};

void PerMessage(benchmark::State& state, std::size_t count) {
  // The reporter divides by this: every figure of a batch is per message.
  state.counters["messages"] = static_cast<double>(count);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * count) * state.range(0));
}

// OpenSSL on the batch, one call a message.
using OneShot = unsigned char* (*)(const unsigned char*, std::size_t, unsigned char*);
void OpenSSLLoop(benchmark::State& state, OneShot function) {
  const Batch batch(static_cast<std::size_t>(state.range(0)));
  unsigned char out[20];
  for (auto _ : state) {
    for (const auto& m : batch.messages) {
      function(reinterpret_cast<const unsigned char*>(m.bytes().data()), m.bytes().size(), out);
      benchmark::DoNotOptimize(out);
    }
  }
  PerMessage(state, batch.messages.size());
}

void Many(benchmark::State& state, quillet::Algorithm algorithm) {
  const Batch batch(static_cast<std::size_t>(state.range(0)));
  std::vector<quillet::Digest> digests(batch.messages.size());
  for (auto _ : state) {
    quillet::DigestMany(algorithm, batch.messages, digests);
    benchmark::DoNotOptimize(digests.data());
  }
  PerMessage(state, batch.messages.size());
}

std::span<const std::uint8_t> MessageOf(const void* batch, std::size_t i) {
  const auto bytes = static_cast<const quillet::ByteView*>(batch)[i].bytes();
  return {reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()};
}

// One kernel of the batch call, chosen by the caller.
template <typename Digest, typename Run>
void BatchKernel(benchmark::State& state, Run run) {
  const Batch batch(static_cast<std::size_t>(state.range(0)));
  std::vector<Digest> digests(batch.messages.size());
  for (auto _ : state) {
    run(batch.messages.data(), batch.messages.size(), digests.data());
    benchmark::DoNotOptimize(digests.data());
  }
  PerMessage(state, batch.messages.size());
}

// Two one-shot SHA1() calls: the peer of the two-stage password proof.
void OpenSSL_TwoSHA1(benchmark::State& state) {
  const auto data = Input(static_cast<std::size_t>(state.range(0)));
  unsigned char inner[28] = {};
  unsigned char out[20];
  for (auto _ : state) {
    SHA1(reinterpret_cast<const unsigned char*>(data.data()), data.size(), inner + 8);
    SHA1(inner, sizeof inner, out);
    benchmark::DoNotOptimize(out);
  }
  SetBytes(state);
}

// --- the C++ API ---
template <quillet::Sha1Digest (*F)(quillet::ByteView) noexcept>
void Api(benchmark::State& state) {
  const auto data = Input(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(F(data));
  SetBytes(state);
}

void Api_MD5(benchmark::State& state) {
  const auto data = Input(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(quillet::MD5(std::span<const std::byte>(data)));
  SetBytes(state);
}

void Api_DoubleHashPassword(benchmark::State& state) {
  const auto data = Input(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) {
    benchmark::DoNotOptimize(quillet::DoubleHashPassword(std::span<const std::byte>(data), 1, 2));
  }
  SetBytes(state);
}

// Streaming in 64 KiB pieces, as the tool does in its reads.
template <typename Hasher>
void Stream(benchmark::State& state) {
  const auto data = Input(static_cast<std::size_t>(state.range(0)));
  const std::span<const std::byte> all(data);
  for (auto _ : state) {
    Hasher hasher;
    for (std::size_t at = 0; at < all.size(); at += 65536) {
      hasher.Update(all.subspan(at, std::min<std::size_t>(65536, all.size() - at)));
    }
    benchmark::DoNotOptimize(hasher.Finish());
  }
  SetBytes(state);
}

// --- the exports ---
template <Exports::Digest Exports::*kMember>
void Export(benchmark::State& state) {
  const Exports& e = Exports::Get();
  const auto data = Input(static_cast<std::size_t>(state.range(0)));
  ByteString input =
      e.alloc(reinterpret_cast<const char*>(data.data()), static_cast<unsigned>(data.size()));
  for (auto _ : state) {
    ByteString result = (e.*kMember)(&input);
    benchmark::DoNotOptimize(result);
    e.free(result);
  }
  e.free(input);
  SetBytes(state);
}

void Export_DoubleHashPassword(benchmark::State& state) {
  const Exports& e = Exports::Get();
  const auto data = Input(static_cast<std::size_t>(state.range(0)));
  ByteString input =
      e.alloc(reinterpret_cast<const char*>(data.data()), static_cast<unsigned>(data.size()));
  const std::int32_t first = 1, second = 2;
  for (auto _ : state) {
    ByteString result = e.password(&input, &first, &second);
    benchmark::DoNotOptimize(result);
    e.free(result);
  }
  e.free(input);
  SetBytes(state);
}

// Each Quillet benchmark and the peers it is compared with.
std::vector<std::pair<std::string, std::string>> kPeers = {
    {"Api_StandardSHA", "OpenSSL_SHA1"},
    {"Api_BrokenSHA", "OpenSSL_SHA1"},
    {"Api_LockdownSHA", "OpenSSL_SHA1"},
    {"Api_MD5", "OpenSSL_MD5"},
    {"Api_DoubleHashPassword", "OpenSSL_TwoSHA1"},
    {"Stream_StandardSHA", "OpenSSL_SHA1"},
    {"Stream_BrokenSHA", "OpenSSL_SHA1"},
    {"Stream_LockdownSHA", "OpenSSL_SHA1"},
    {"Stream_MD5", "OpenSSL_MD5"},
    {"Export_StandardSHA", "OpenSSL_SHA1"},
    {"Export_BrokenSHA", "OpenSSL_SHA1"},
    {"Export_LockdownSHA", "OpenSSL_SHA1"},
    {"Export_MD5", "OpenSSL_MD5"},
    {"Export_DoubleHashPassword", "OpenSSL_TwoSHA1"},
    {"Many_StandardSHA", "OpenSSL_SHA1_Loop"},
    {"Many_BrokenSHA", "OpenSSL_SHA1_Loop"},
    {"Many_LockdownSHA", "OpenSSL_SHA1_Loop"},
    {"Many_MD5", "OpenSSL_MD5_Loop"},
    // A lone message of 1 MiB through the batch call, beside the one-shot call.
    {"Many_StandardSHA", "Api_StandardSHA"},
    {"Many_BrokenSHA", "Api_BrokenSHA"},
    {"Many_LockdownSHA", "Api_LockdownSHA"},
    {"Many_MD5", "Api_MD5"},
};

// Benchmarks that must not be slower than another (a block function than
// the portable one, a batch kernel than one message at a time).
std::vector<std::pair<std::string, std::string>> kNoSlowerThan;

// Keeps the best (lowest) time of each benchmark and size across repetitions.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      // Each repetition, or only their median when that is all that is
      // reported (--benchmark_report_aggregates_only).
      const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
      if ((run.run_type != Run::RT_Iteration && !median) || run.error_occurred) continue;
      const std::string name = run.run_name.function_name;
      const std::string size = run.run_name.args;
      const auto messages = run.counters.find("messages");
      const double ns = run.GetAdjustedRealTime() /
                        (messages == run.counters.end() ? 1.0 : messages->second.value);
      auto& best = best_[name][size];
      if (best == 0 || ns < best) best = ns;
    }
  }

  // `without_sha`: each SHA-1 peer replaced by OpenSSL without SHA
  // extensions.
  void PrintRatios(bool without_sha) const {
    std::printf("\nRatio against the peer in this run (peer time / Quillet time; >1 is faster)%s\n",
                without_sha ? ", OpenSSL without SHA extensions" : "");
    std::printf("%-40s %-22s", "benchmark", "peer");
    for (const auto size : kSizes) std::printf(" %9lld", static_cast<long long>(size));
    std::printf("\n");
    for (const auto& [name, listed_peer] : kPeers) {
      std::string peer = listed_peer;
      if (without_sha) {
        if (peer.find("SHA1") == std::string::npos || peer.rfind("OpenSSL", 0) != 0) continue;
        peer.replace(0, std::string("OpenSSL").size(), "OpenSSLNoSha");
      }
      const auto mine = best_.find(name);
      const auto theirs = best_.find(peer);
      if (mine == best_.end() || theirs == best_.end()) continue;
      std::printf("%-40s %-22s", name.c_str(), peer.c_str());
      for (const auto size : kSizes) {
        const std::string key = std::to_string(size);
        const auto a = mine->second.find(key);
        const auto b = theirs->second.find(key);
        if (a == mine->second.end() || b == theirs->second.end()) {
          std::printf(" %9s", "-");
        } else {
          std::printf(" %8.2fx", b->second / a->second);
        }
      }
      std::printf("\n");
    }
  }

  // Each benchmark slower than the one it must not be slower than, by size.
  void PrintSlower() const {
    std::printf(
        "\nSlower (by over 5%%) than the portable block function or one message at a time:\n");
    int found = 0;
    for (const auto& [name, floor] : kNoSlowerThan) {
      const auto mine = best_.find(name);
      const auto theirs = best_.find(floor);
      if (mine == best_.end() || theirs == best_.end()) continue;
      for (const auto& [size, ns] : mine->second) {
        const auto other = theirs->second.find(size);
        // Differences within the noise of a shared machine (5%) are not named.
        if (other == theirs->second.end() || ns <= other->second * 1.05) continue;
        std::printf("  SLOWER %s at %s: %.2fx of %s\n", name.c_str(), size.c_str(),
                    other->second / ns, floor.c_str());
        ++found;
      }
    }
    if (found == 0) std::printf("  none\n");
  }

 private:
  std::map<std::string, std::map<std::string, double>> best_;
};

}  // namespace

#define QUILLET_BENCH(fn, name) BENCHMARK(fn)->Name(name)->ArgsProduct({kSizes})

QUILLET_BENCH(OpenSSL_SHA1, "OpenSSL_SHA1");
QUILLET_BENCH(OpenSSL_MD5, "OpenSSL_MD5");
QUILLET_BENCH(OpenSSL_TwoSHA1, "OpenSSL_TwoSHA1");
QUILLET_BENCH(OpenSSLNoSha_SHA1, "OpenSSLNoSha_SHA1");
QUILLET_BENCH(OpenSSLNoSha_TwoSHA1, "OpenSSLNoSha_TwoSHA1");
QUILLET_BENCH(Api<&quillet::StandardSHA>, "Api_StandardSHA");
QUILLET_BENCH(Api<&quillet::BrokenSHA>, "Api_BrokenSHA");
QUILLET_BENCH(Api<&quillet::LockdownSHA>, "Api_LockdownSHA");
QUILLET_BENCH(Api_MD5, "Api_MD5");
QUILLET_BENCH(Api_DoubleHashPassword, "Api_DoubleHashPassword");
QUILLET_BENCH(Stream<quillet::StandardShaHasher>, "Stream_StandardSHA");
QUILLET_BENCH(Stream<quillet::BrokenShaHasher>, "Stream_BrokenSHA");
QUILLET_BENCH(Stream<quillet::LockdownShaHasher>, "Stream_LockdownSHA");
QUILLET_BENCH(Stream<quillet::Md5Hasher>, "Stream_MD5");
QUILLET_BENCH(Export<&Exports::standard>, "Export_StandardSHA");
QUILLET_BENCH(Export<&Exports::broken>, "Export_BrokenSHA");
QUILLET_BENCH(Export<&Exports::lockdown>, "Export_LockdownSHA");
QUILLET_BENCH(Export<&Exports::md5>, "Export_MD5");
QUILLET_BENCH(Export_DoubleHashPassword, "Export_DoubleHashPassword");

std::string NameOf(std::string_view prefix, std::string_view digest, std::string_view backend) {
  std::string name = std::string(prefix) + std::string(digest) + "_" + std::string(backend);
  for (char& c : name) c = c == ' ' ? '_' : c;
  return name;
}

// Every block function and batch kernel of every variant that this CPU can
// run.
template <typename Variant>
void RegisterShaFunctions() {
  using namespace quillet::sha1;
  const auto cpu = quillet::DetectCpu();
  // Those listed after the portable one are tested but never chosen: only
  // those before it must be faster.
  bool chosen_before_portable = true;
  for (const auto& backend : Backends<Variant>(cpu)) {
    if (backend.function == nullptr) continue;
    const std::string name = NameOf("Block_", Variant::kName, backend.name);
    benchmark::RegisterBenchmark(name.c_str(), Block, backend.function)->ArgsProduct({kSizes});
    kPeers.emplace_back(name, "OpenSSL_SHA1");
    if (std::string_view(backend.name) == "portable") chosen_before_portable = false;
    if (chosen_before_portable) {
      kNoSlowerThan.emplace_back(name, NameOf("Block_", Variant::kName, "portable"));
    }
  }
  for (const auto& kernel : ManyKernelsFor<Variant>(cpu)) {
    const std::string name = NameOf("ManyKernel_", Variant::kName, kernel.name);
    const quillet::ManyKernel chosen = kernel.function;
    benchmark::RegisterBenchmark(name.c_str(), [chosen](benchmark::State& state) {
      BatchKernel<Digest>(state,
                          [chosen](const quillet::ByteView* batch, std::size_t n, Digest* out) {
                            DigestManyWith<Variant>(chosen, batch, &MessageOf, n, out);
                          });
    })->ArgsProduct({kSizes});
    kPeers.emplace_back(name, "OpenSSL_SHA1_Loop");
    kNoSlowerThan.emplace_back(name, NameOf("ManyKernel_", Variant::kName, "one at a time"));
  }
}

void RegisterMd5Functions() {
  using namespace quillet::md5;
  const auto cpu = quillet::DetectCpu();
  bool chosen_before_portable = true;
  for (const auto& backend : Backends(cpu)) {
    const std::string name = NameOf("Block_", "MD5", backend.name);
    benchmark::RegisterBenchmark(name.c_str(), Md5Block, backend.function)->ArgsProduct({kSizes});
    kPeers.emplace_back(name, "OpenSSL_MD5");
    if (std::string_view(backend.name) == "portable") chosen_before_portable = false;
    if (chosen_before_portable) {
      kNoSlowerThan.emplace_back(name, NameOf("Block_", "MD5", "portable"));
    }
  }
  for (const auto& kernel : ManyKernelsFor(cpu)) {
    const std::string name = NameOf("ManyKernel_", "MD5", kernel.name);
    const quillet::ManyKernel chosen = kernel.function;
    benchmark::RegisterBenchmark(name.c_str(), [chosen](benchmark::State& state) {
      BatchKernel<Digest>(state,
                          [chosen](const quillet::ByteView* batch, std::size_t n, Digest* out) {
                            DigestManyWith(chosen, batch, &MessageOf, n, out);
                          });
    })->ArgsProduct({kSizes});
    kPeers.emplace_back(name, "OpenSSL_MD5_Loop");
    kNoSlowerThan.emplace_back(name, NameOf("ManyKernel_", "MD5", "one at a time"));
  }
}

int main(int argc, char** argv) {
  RegisterShaFunctions<quillet::sha1::StandardSha>();
  RegisterShaFunctions<quillet::sha1::LockdownSha>();
  RegisterShaFunctions<quillet::sha1::BrokenSha>();
  RegisterMd5Functions();
  benchmark::RegisterBenchmark("OpenSSL_SHA1_Loop", OpenSSLLoop, &SHA1)->ArgsProduct({kSizes});
  benchmark::RegisterBenchmark("OpenSSL_MD5_Loop", OpenSSLLoop, &MD5)->ArgsProduct({kSizes});
  benchmark::RegisterBenchmark("OpenSSLNoSha_SHA1_Loop", [](benchmark::State& state) {
    OpenSSLLoop(state, OpenSslWithoutSha::Get().sha1);
  })->ArgsProduct({kSizes});
  for (const auto& info : quillet::Algorithms()) {
    const std::string name = "Many_" + std::string(info.export_name);
    benchmark::RegisterBenchmark(name.c_str(), Many, info.algorithm)->ArgsProduct({kSizes});
  }
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatios(false);
  reporter.PrintRatios(true);
  reporter.PrintSlower();
  benchmark::Shutdown();
  return 0;
}
