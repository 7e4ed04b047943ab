#include "bit_count.hpp"

#include <array>
#include <bit>

#include "cpu_dispatch.hpp"

namespace quorvane {

QUORVANE_DISPATCHED std::size_t count_bits(std::span<const Word> words) noexcept {
    // Four running sums, so that each word's count does not wait for the one before.
    constexpr std::size_t kSums = 4;
    std::array<std::size_t, kSums> sums{};
    std::size_t k = 0;
    for (; k + kSums <= words.size(); k += kSums) {
        for (std::size_t lane = 0; lane < kSums; ++lane) {
            sums[lane] += static_cast<std::size_t>(std::popcount(words[k + lane]));
        }
    }
    for (; k < words.size(); ++k) sums[0] += static_cast<std::size_t>(std::popcount(words[k]));
    return sums[0] + sums[1] + sums[2] + sums[3];
}

}  // namespace quorvane
