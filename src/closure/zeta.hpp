// Sums of a per-element value vector over the principal ideals of the order.
#pragma once

#include <span>
#include <vector>

#include "../common/kernel_types.hpp"

namespace quorvane::closure {

// Checked before the cover edges, so that a wrong count wins over bad edges.
inline constexpr KernelError kValueCountMismatch{"value vector length must match the element count"};

// Entry i: values[i], then plus the value of each element strictly below i,
// one addition at a time in ascending index order. `values` has one entry
// per row. Stops early only when `interrupt` says so.
[[nodiscard]] KernelResult<std::vector<double>> zeta_transform(const ReachabilityRows& rows,
                                                               std::span<const double> values, InterruptPoll interrupt);

// As zeta_transform, but starting from +0.0 instead of values[i].
[[nodiscard]] KernelResult<std::vector<double>> strict_zeta_transform(const ReachabilityRows& rows,
                                                                      std::span<const double> values,
                                                                      InterruptPoll interrupt);

}  // namespace quorvane::closure
