// The largest total score of an antichain, each element counting only where
// its score is positive.
#pragma once

#include <span>

#include "../common/kernel_types.hpp"

namespace quorvane::weighted {

inline constexpr KernelError kNonFiniteScore{"element scores must be finite numbers"};

// `scores` holds one score per row. The result is total weight minus the
// maximum flow of the order's split network, rounded exactly as that
// difference, and never negative or NaN.
[[nodiscard]] KernelResult<double> max_antichain_score(const ReachabilityRows& rows, std::span<const double> scores,
                                                        InterruptPoll interrupt);

}  // namespace quorvane::weighted
