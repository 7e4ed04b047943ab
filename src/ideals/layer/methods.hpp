// The ways to count the order ideals by size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "../ideals.hpp"
#include "../order_masks.hpp"

namespace quorvane::ideals {

using LayerSizes = std::vector<Count>;

// Visits every ideal once with memory for n frames; gives up (nullopt) after
// visiting more than `max_ideals` ideals.
[[nodiscard]] KernelResult<std::optional<LayerSizes>> layer_sizes_by_walk(const OrderMasks& order,
                                                                          std::uint64_t max_ideals,
                                                                          InterruptPoll interrupt);

// Counts the ideals over the chain coordinates of a greedy chain cover: run
// by run where there are at most `max_runs`, else chain by chain; nullopt
// when the poset is disconnected or too wide, or when the chains' choices do
// not merge enough.
[[nodiscard]] KernelResult<std::optional<LayerSizes>> layer_sizes_by_coordinates(const OrderMasks& order,
                                                                                 std::size_t max_runs,
                                                                                 InterruptPoll interrupt);

// The ideal polynomial by pivots and component products, memoised per
// connected set. Throws std::bad_alloc when the memo would need more than
// `max_bytes`.
[[nodiscard]] KernelResult<LayerSizes> layer_sizes_by_polynomial(const OrderMasks& order, std::size_t max_bytes,
                                                                 InterruptPoll interrupt);

}  // namespace quorvane::ideals
