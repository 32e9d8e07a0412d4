// Every algorithm once, with all its names: the enumerator of the public
// Algorithm, the engine behind it (an SHA-1 variant type, whose kSwitches
// the exports pass, or MD5), the name the API and the bindings use, the
// export's name and the digest's size. The table of algorithms
// (algorithms.cpp) and the hashers' engines (hashers.cpp) are generated from
// it; the enumeration and the variants' own names are checked against it
// here, and the Node.js package's tables by the API tests.
#pragma once

#include <cstddef>
#include <string_view>

#include "md5/md5.hpp"
#include "quillet/digest.hpp"
#include "sha1/sha1.hpp"

namespace quillet::table {

// The engine of the one MD5 row.
struct Md5Engine {};

// X(enumerator, engine, name, export name, digest size), in the order of the
// enumeration.
#define QUILLET_FOR_EACH_ALGORITHM(X)                                                      \
  X(kStandardSha, ::quillet::sha1::StandardSha, "sha1", "StandardSHA", sha1::kDigestSize)   \
  X(kBrokenSha, ::quillet::sha1::BrokenSha, "broken_sha", "BrokenSHA", sha1::kDigestSize)   \
  X(kLockdownSha, ::quillet::sha1::LockdownSha, "lockdown_sha", "LockdownSHA",              \
    sha1::kDigestSize)                                                                     \
  X(kMd5, ::quillet::table::Md5Engine, "md5", "MD5", md5::kDigestSize)

// The engine behind an algorithm.
template <Algorithm kAlgorithm>
struct EngineOf;
#define QUILLET_ENGINE_OF(value, engine, name, export_name, size) \
  template <>                                                     \
  struct EngineOf<Algorithm::value> {                             \
    using type = engine;                                          \
  };
QUILLET_FOR_EACH_ALGORITHM(QUILLET_ENGINE_OF)
#undef QUILLET_ENGINE_OF

namespace check {
// The rows stand in the order of the enumeration.
#define QUILLET_ENUMERATOR(value, engine, name, export_name, size) Algorithm::value,
inline constexpr Algorithm kOrder[] = {QUILLET_FOR_EACH_ALGORITHM(QUILLET_ENUMERATOR)};
#undef QUILLET_ENUMERATOR
constexpr bool InOrder() {
  for (std::size_t i = 0; i < std::size(kOrder); ++i) {
    if (static_cast<std::size_t>(kOrder[i]) != i) return false;
  }
  return true;
}
static_assert(InOrder());

// An SHA-1 variant's own name (in the engine's tests and messages) is its
// export's.
template <typename Engine>
constexpr bool NamedAs(std::string_view export_name) {
  if constexpr (requires { Engine::kName; }) return Engine::kName == export_name;
  return true;
}
#define QUILLET_NAMED_AS(value, engine, name, export_name, size) \
  static_assert(NamedAs<engine>(export_name));
QUILLET_FOR_EACH_ALGORITHM(QUILLET_NAMED_AS)
#undef QUILLET_NAMED_AS
}  // namespace check

}  // namespace quillet::table
