// Quillet beside OpenSSL, in one process: every SHA-1 block function this
// CPU can run, the C++ API's one-shot functions and streaming hashers, and
// the exports through the shared library, at 3 B, 64 B, 1 KiB, 16 KiB and
// 1 MiB. After the runs it prints each Quillet figure as a ratio against its
// OpenSSL peer measured in the same run (above 1 is faster than the peer),
// once against OpenSSL as it runs on this CPU and once against OpenSSL as it
// runs on a CPU without SHA extensions.
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
#include <unistd.h>
#include <openssl/md5.h>
#include <openssl/sha.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "quillet/digest.hpp"
#include "sha1/dispatch.hpp"

namespace {

// quillet.h declares an MD5 of its own, which OpenSSL's header also does; the
// exports are reached through dlsym here, so only the handle type is needed.
using ByteString = unsigned char*;

const std::vector<std::int64_t> kSizes = {3, 64, 1024, 16 * 1024, 1024 * 1024};

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
  ByteString input = e.alloc(reinterpret_cast<const char*>(data.data()),
                             static_cast<unsigned>(data.size()));
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
  ByteString input = e.alloc(reinterpret_cast<const char*>(data.data()),
                             static_cast<unsigned>(data.size()));
  const std::int32_t first = 1, second = 2;
  for (auto _ : state) {
    ByteString result = e.password(&input, &first, &second);
    benchmark::DoNotOptimize(result);
    e.free(result);
  }
  e.free(input);
  SetBytes(state);
}

// Each Quillet benchmark and the peer it is compared with.
std::map<std::string, std::string> kPeers = {
    {"Api_StandardSHA", "OpenSSL_SHA1"},       {"Api_BrokenSHA", "OpenSSL_SHA1"},
    {"Api_LockdownSHA", "OpenSSL_SHA1"},       {"Api_MD5", "OpenSSL_MD5"},
    {"Api_DoubleHashPassword", "OpenSSL_TwoSHA1"},
    {"Stream_StandardSHA", "OpenSSL_SHA1"},    {"Stream_BrokenSHA", "OpenSSL_SHA1"},
    {"Stream_LockdownSHA", "OpenSSL_SHA1"},    {"Stream_MD5", "OpenSSL_MD5"},
    {"Export_StandardSHA", "OpenSSL_SHA1"},    {"Export_BrokenSHA", "OpenSSL_SHA1"},
    {"Export_LockdownSHA", "OpenSSL_SHA1"},    {"Export_MD5", "OpenSSL_MD5"},
    {"Export_DoubleHashPassword", "OpenSSL_TwoSHA1"},
};

// Keeps the best (lowest) time of each benchmark and size across repetitions.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.run_type != Run::RT_Iteration || run.error_occurred) continue;
      const std::string name = run.run_name.function_name;
      const std::string size = run.run_name.args;
      const double ns = run.GetAdjustedRealTime();
      auto& best = best_[name][size];
      if (best == 0 || ns < best) best = ns;
    }
  }

  // `without_sha`: each SHA-1 peer replaced by OpenSSL without SHA
  // extensions.
  void PrintRatios(bool without_sha) const {
    std::printf("\nRatio against the peer in this run (peer time / Quillet time; >1 is faster)%s\n",
                without_sha ? ", OpenSSL without SHA extensions" : "");
    std::printf("%-40s %-20s", "benchmark", "peer");
    for (const auto size : kSizes) std::printf(" %9lld", static_cast<long long>(size));
    std::printf("\n");
    for (const auto& [name, listed_peer] : kPeers) {
      std::string peer = listed_peer;
      if (without_sha) {
        if (peer.find("SHA1") == std::string::npos) continue;
        peer.replace(0, std::string("OpenSSL").size(), "OpenSSLNoSha");
      }
      const auto mine = best_.find(name);
      const auto theirs = best_.find(peer);
      if (mine == best_.end() || theirs == best_.end()) continue;
      std::printf("%-40s %-20s", name.c_str(), peer.c_str());
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

// Every block function of every variant that this CPU can run.
template <typename Variant>
void RegisterBlockFunctions() {
  using namespace quillet::sha1;
  for (const Backend& backend : Backends<Variant>(quillet::DetectCpu())) {
    if (backend.function == nullptr) continue;
    const std::string name = "Block_" + std::string(Variant::kName) + "_" + backend.name;
    benchmark::RegisterBenchmark(name.c_str(), Block, backend.function)->ArgsProduct({kSizes});
    kPeers[name] = "OpenSSL_SHA1";
  }
}

int main(int argc, char** argv) {
  RegisterBlockFunctions<quillet::sha1::StandardSha>();
  RegisterBlockFunctions<quillet::sha1::LockdownSha>();
  RegisterBlockFunctions<quillet::sha1::BrokenSha>();
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatios(false);
  reporter.PrintRatios(true);
  benchmark::Shutdown();
  return 0;
}
