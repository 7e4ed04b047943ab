#include "bit_count.hpp"

#include <bit>

#include "cpu_dispatch.hpp"

namespace quorvane {

QUORVANE_DISPATCHED std::size_t count_bits(std::span<const Word> words) noexcept {
    std::size_t count = 0;
    for (const Word word : words) count += static_cast<std::size_t>(std::popcount(word));
    return count;
}

}  // namespace quorvane
