#include "bit_count.hpp"

#include "cpu_dispatch.hpp"

namespace quorvane {

QUORVANE_DISPATCHED std::size_t count_bits(std::span<const Word> words) noexcept {
    return count_common_bits(words.data(), words.data(), words.size());
}

}  // namespace quorvane
