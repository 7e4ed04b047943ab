// The largest total score of an antichain, each element counting only where
// its score is positive.
#pragma once

#include <span>

#include "../common/kernel_types.hpp"

namespace quorvane::weighted {

// Checked by the caller before the cover edges are validated.
inline constexpr KernelError kScoreCountMismatch{"score vector length must match the element count"};
inline constexpr KernelError kNonFiniteScore{"element scores must be finite numbers"};

// `scores` holds one score per row. The result is the total positive score
// minus the maximum flow of the order's split network, rounded as that one
// subtraction, and +0.0 where the difference is not positive.
[[nodiscard]] KernelResult<double> max_antichain_score(const ReachabilityRows& rows, std::span<const double> scores,
                                                        InterruptPoll interrupt);

}  // namespace quorvane::weighted
