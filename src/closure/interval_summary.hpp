// Statistics over the sizes of all intervals [x, y] with x at or below y.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "../common/kernel_types.hpp"

namespace quorvane::closure {

struct IntervalSummary {
    std::uint64_t intervals = 0;
    std::uint64_t trivial = 0;      // size 1
    std::uint64_t proper = 0;       // size above 1
    std::uint64_t two_element = 0;  // the covering pairs
    std::uint64_t min_size = 0;
    std::uint64_t max_size = 0;
    double mean_size = 0.0;  // integer sum of sizes over the count, both as doubles
    std::vector<std::pair<std::uint64_t, std::uint64_t>> histogram;  // (size, intervals), ascending size
};

// All zero for the empty order.
[[nodiscard]] KernelResult<IntervalSummary> interval_summary(const ReachabilityRows& rows, InterruptPoll interrupt);

}  // namespace quorvane::closure
