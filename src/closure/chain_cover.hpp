// The width of orders too large for their reachability rows, from the cover
// edges alone.
#pragma once

#include <cstdint>
#include <optional>

#include "successor_lists.hpp"

namespace quorvane::closure {

// The fewest chains that cover the order, which is its width (Dilworth). A
// chain may pass through elements that other chains cover, so chains are
// walks along the edges, and the fewest of them is a minimum flow. `order`
// must have listed its entering edges. Nothing once the work passes
// `max_work` units of the WorkBudget's measure.
[[nodiscard]] KernelResult<std::optional<std::uint64_t>> width_by_chain_cover(const SuccessorLists& order,
                                                                              std::uint64_t max_work,
                                                                              InterruptPoll interrupt);

// Where the rows fit, the work the chains along the edges may take before the
// rows are built instead, in the same units: 0 where the rows are built at
// once. Once rows outgrow the caches, from about 2^14 elements, building them
// and matching on them takes 10 to 40 ns a row word, while narrow orders such
// as commit histories take their chains in a small fraction of that; a
// sixteenth of a unit a row word bounds what a wide order's trial wastes.
inline constexpr std::size_t kChainTrialElements = std::size_t{1} << 14;
constexpr std::uint64_t chain_trial_work(std::size_t n) noexcept {
    return n < kChainTrialElements ? 0 : std::uint64_t{n} * row_words(n) / 16;
}

}  // namespace quorvane::closure
