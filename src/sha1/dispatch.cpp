#include "sha1/dispatch.hpp"

namespace quillet::sha1 {

template <bool kStandard, bool kBroken>
BlockFunction SelectBlockFunction(std::size_t /*length*/) {
  return &TransformBlocksPortable<kStandard, kBroken>;
}

template BlockFunction SelectBlockFunction<true, false>(std::size_t);
template BlockFunction SelectBlockFunction<false, true>(std::size_t);
template BlockFunction SelectBlockFunction<false, false>(std::size_t);
template BlockFunction SelectBlockFunction<true, true>(std::size_t);

}  // namespace quillet::sha1
