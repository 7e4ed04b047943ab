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

[[nodiscard]] PrincipalSizes principal_sizes(const ReachabilityRows& rows);

// Ordered pairs (x, y) with x strictly below y.
[[nodiscard]] std::uint64_t comparable_pairs(const ReachabilityRows& rows) noexcept;

}  // namespace quorvane::closure
