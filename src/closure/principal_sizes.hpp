// Sizes of the principal ideals and filters, and the number of comparable pairs.
#pragma once

#include <cstdint>
#include <vector>

#include "../common/kernel_types.hpp"

namespace quorvane::closure {

struct PrincipalSizes {
    std::vector<std::uint64_t> ideal;   // elements at or below x
    std::vector<std::uint64_t> filter;  // elements at or above x
};

[[nodiscard]] KernelResult<PrincipalSizes> principal_sizes(const ReachabilityRows& rows, InterruptPoll interrupt);

// Ordered pairs (x, y) with x strictly below y: each x lies below the rest of
// its filter.
[[nodiscard]] std::uint64_t comparable_pairs(const PrincipalSizes& sizes) noexcept;

}  // namespace quorvane::closure
