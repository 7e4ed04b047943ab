// Convolutions of two functions on the intervals of the order (two elements of
// its incidence algebra) in four semirings: for x <= y the result holds the
// semiring sum over z in [x, y] of left[x][z] * right[z][y], every other entry
// the semiring's zero.
#pragma once

#include <vector>

#include "../common/kernel_types.hpp"

namespace quorvane::incidence {

// Row index first: entry [x][y] is the function's value at the pair (x, y).
using IncidenceMatrix = std::vector<std::vector<double>>;

inline constexpr KernelError kShapeMismatch{"incidence convolution matrices must match the element count"};
inline constexpr KernelError kInvalidValue{"incidence convolution values must be valid f64 numbers"};

// Each checks both operands (n rows of n entries, no NaN, left before right)
// before it allocates, then folds every interval in ascending z.
[[nodiscard]] KernelResult<IncidenceMatrix> max_min_convolution(const ReachabilityRows& rows, const IncidenceMatrix& left,
                                                                const IncidenceMatrix& right, InterruptPoll interrupt);
[[nodiscard]] KernelResult<IncidenceMatrix> max_plus_convolution(const ReachabilityRows& rows, const IncidenceMatrix& left,
                                                                 const IncidenceMatrix& right, InterruptPoll interrupt);
[[nodiscard]] KernelResult<IncidenceMatrix> min_plus_convolution(const ReachabilityRows& rows, const IncidenceMatrix& left,
                                                                 const IncidenceMatrix& right, InterruptPoll interrupt);
[[nodiscard]] KernelResult<IncidenceMatrix> sum_product_convolution(const ReachabilityRows& rows,
                                                                    const IncidenceMatrix& left,
                                                                    const IncidenceMatrix& right, InterruptPoll interrupt);

}  // namespace quorvane::incidence
