// Counting the set bits of many words at once, for code that is not itself
// compiled per CPU level: the baseline has no population-count instruction.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <span>

#include "kernel_types.hpp"

namespace quorvane {

[[nodiscard]] std::size_t count_bits(std::span<const Word> words) noexcept;

// The set bits of a[k] & b[k] over the first `words` words. Inline, for the
// kernels compiled per CPU level: there it counts with their instructions.
// Four running sums, so that each word's count does not wait for the one
// before.
inline std::size_t count_common_bits(const Word* a, const Word* b, std::size_t words) noexcept {
    constexpr std::size_t kSums = 4;
    std::array<std::size_t, kSums> sums{};
    std::size_t k = 0;
    for (; k + kSums <= words; k += kSums) {
        for (std::size_t lane = 0; lane < kSums; ++lane) {
            sums[lane] += static_cast<std::size_t>(std::popcount(a[k + lane] & b[k + lane]));
        }
    }
    for (; k < words; ++k) sums[0] += static_cast<std::size_t>(std::popcount(a[k] & b[k]));
    return sums[0] + sums[1] + sums[2] + sums[3];
}

}  // namespace quorvane
