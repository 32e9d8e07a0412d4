// Words to and from bytes, in the one place where byte order is said: every
// conversion in the library goes through these, each naming its order, and
// none reads a word through a pointer cast (so the code means the same on
// hosts of either byte order). Compilers turn each into a single load or
// store, with a byte swap where the orders differ.
#pragma once

#include <cstdint>
#include <cstring>

namespace quillet {

constexpr std::uint32_t LoadLittleEndian32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

constexpr std::uint32_t LoadBigEndian32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) << 24 | static_cast<std::uint32_t>(p[1]) << 16 |
         static_cast<std::uint32_t>(p[2]) << 8 | static_cast<std::uint32_t>(p[3]);
}

constexpr void StoreLittleEndian32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

constexpr void StoreBigEndian32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (24 - 8 * i));
}

constexpr void StoreLittleEndian64(std::uint8_t* p, std::uint64_t v) {
  for (int i = 0; i < 8; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

constexpr void StoreBigEndian64(std::uint8_t* p, std::uint64_t v) {
  for (int i = 0; i < 8; ++i) p[i] = static_cast<std::uint8_t>(v >> (56 - 8 * i));
}

// A count in the platform's own byte order, as the OLE allocator stores the
// count before a string's first byte (and the library's own allocator does
// on every platform).
inline std::uint32_t LoadNative32(const std::uint8_t* p) {
  std::uint32_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

inline void StoreNative32(std::uint8_t* p, std::uint32_t v) { std::memcpy(p, &v, sizeof v); }

}  // namespace quillet
