// Two ways to count the order ideals by size. Each returns nullopt when it
// gives up at its bound, leaving the choice of another method to the caller.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "ideals.hpp"
#include "order_masks.hpp"

namespace quorvane::ideals {

using LayerSizes = std::vector<Count>;

// Visits every ideal once with memory for n frames; gives up after visiting
// more than `max_ideals` ideals.
[[nodiscard]] KernelResult<std::optional<LayerSizes>> layer_sizes_by_walk(const OrderMasks& order,
                                                                          std::uint64_t max_ideals,
                                                                          InterruptPoll interrupt);

// The ideal polynomial by chain separation and component products, memoised
// per element set; gives up when the memo would hold more than
// `max_coefficients` coefficients.
[[nodiscard]] KernelResult<std::optional<LayerSizes>> layer_sizes_by_polynomial(const OrderMasks& order,
                                                                                std::size_t max_coefficients,
                                                                                InterruptPoll interrupt);

}  // namespace quorvane::ideals
