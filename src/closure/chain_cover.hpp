// The width of orders too large for their reachability rows, from the cover
// edges alone.
#pragma once

#include <cstdint>

#include "successor_lists.hpp"

namespace quorvane::closure {

// The fewest chains that cover the order, which is its width (Dilworth). A
// chain may pass through elements that other chains cover, so chains are
// walks along the edges, and the fewest of them is a minimum flow. `order`
// must have listed its entering edges.
[[nodiscard]] KernelResult<std::uint64_t> width_by_chain_cover(const SuccessorLists& order, InterruptPoll interrupt);

}  // namespace quorvane::closure
