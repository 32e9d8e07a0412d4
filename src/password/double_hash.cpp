#include "password/double_hash.hpp"

#include <cstring>

namespace quillet::password {

sha1::Digest SecondStageSHA(std::uint32_t first_token, std::uint32_t second_token,
                            const sha1::Digest& inner) noexcept {
  SecondStageInput joined;
  const auto first = sha1::WordToBytes(first_token);
  const auto second = sha1::WordToBytes(second_token);
  std::memcpy(joined.data(), first.data(), first.size());
  std::memcpy(joined.data() + 4, second.data(), second.size());
  std::memcpy(joined.data() + 8, inner.data(), inner.size());
  return sha1::ComputeVariant<sha1::BrokenSha>(joined);
}

}  // namespace quillet::password
