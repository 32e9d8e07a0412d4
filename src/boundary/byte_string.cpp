#include "boundary/byte_string.hpp"

#include <cstring>

namespace quillet::boundary {

namespace {
// What an empty argument points at: a readable address for zero bytes.
constexpr std::uint8_t kEmptyContent[1] = {0};
}  // namespace

std::span<const std::uint8_t> ReadArgument(const ByteString* reference) {
  if (reference == nullptr) return {kEmptyContent, 0};  // read as the null handle
  const ByteString handle = *reference;
  if (handle == nullptr) return {kEmptyContent, 0};
  const auto* content = reinterpret_cast<const std::uint8_t*>(handle);
  const std::uint32_t count = StoredCount(content);
  if (count == 0) return {kEmptyContent, 0};
  return {content, count};
}

ByteString MakeResult(std::span<const std::uint8_t> bytes) noexcept {
  const ByteString result = NewString(static_cast<std::uint32_t>(bytes.size()));
  if (result != nullptr) std::memcpy(Content(result), bytes.data(), bytes.size());
  return result;
}

}  // namespace quillet::boundary
