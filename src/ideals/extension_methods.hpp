// Two ways to count linear extensions exactly in 128 bits.
#pragma once

#include <cstdint>

#include "ideals.hpp"
#include "order_masks.hpp"

namespace quorvane::ideals {

// Count(R) = sum over the minimal elements i of R of Count(R ∖ i), depth
// first from the full set, each finished nonempty R memoised; entering a new
// state while the memo holds `max_states` entries fails. The order of its
// steps decides which of the two errors comes first.
[[nodiscard]] KernelResult<Count> count_by_recursion(const OrderMasks& order, std::uint64_t max_states,
                                                     InterruptPoll interrupt);

// The multinomial coefficient of the component sizes times the counts of the
// components, each by a sweep over its ideals layer by layer.
[[nodiscard]] KernelResult<Count> count_by_components(const OrderMasks& order, InterruptPoll interrupt);

}  // namespace quorvane::ideals
