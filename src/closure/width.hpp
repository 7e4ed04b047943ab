// The width of the order: the size of a largest antichain.
#pragma once

#include <cstdint>

#include "../common/kernel_types.hpp"

namespace quorvane::closure {

// n minus a maximum matching between lower and upper copies of the strict
// order (Dilworth, Fulkerson).
[[nodiscard]] KernelResult<std::uint64_t> width(const ReachabilityRows& rows, InterruptPoll interrupt);

}  // namespace quorvane::closure
