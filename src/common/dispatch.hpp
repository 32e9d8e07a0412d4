// What the dispatch of every digest's block functions shares: a table of the
// block functions a CPU can run, fastest first and ending with the portable
// one, and when the CPU is asked at all.
#pragma once

#include <array>
#include <cstddef>

#include "common/cpu_features.hpp"

namespace quillet {

// A block function with its name, for the table.
template <typename Function>
struct Backend {
  const char* name;
  Function function;
};

// Up to kMax block functions, filled fastest first; the rest null. Tests and
// benchmarks read the table rather than naming block functions themselves.
template <typename Function, std::size_t kMax>
struct BackendTable {
  std::array<Backend<Function>, kMax> entries{};
  std::size_t count = 0;

  // Field by field: an aggregate of addresses would be built from a constant
  // that some compilers (GCC for s390x) put in writable data, which the
  // library has none of.
  // A table too small keeps its first kMax entries; the tests see the
  // missing last one.
  void Add(const char* name, Function function) noexcept {
    if (count == kMax) return;
    entries[count].name = name;
    entries[count].function = function;
    ++count;
  }
  const Backend<Function>& fastest() const noexcept { return entries[0]; }
  auto begin() const noexcept { return entries.begin(); }
  auto end() const noexcept { return entries.begin() + static_cast<std::ptrdiff_t>(count); }
  const Backend<Function>& operator[](std::size_t i) const noexcept { return entries[i]; }
};

// Where the library must run CPUID itself (Windows, C libraries that do not
// answer), shorter messages are hashed by the default block function without
// asking. One CPUID leaf costs 5.6 microseconds in the AMD EPYC virtual
// machine we measure on and 6.8 in an Intel Xeon one (1.4 on another AMD
// one); the SHA extensions save about 0.5 ns a byte against the SSE2 block
// function there, so the question pays for itself only from about 12 KiB on.
// Where the C library or the system answers from memory, every message takes
// the fastest path.
inline constexpr std::size_t kFastPathThreshold = kCpuQueryIsCheap ? 0 : 16 * 1024;

}  // namespace quillet
