// Sizes and zeta sums of orders too large for their reachability rows: the
// rows are closed a block of columns at a time, in memory of n rows of one
// block.
#pragma once

#include <span>
#include <vector>

#include "principal_sizes.hpp"
#include "successor_lists.hpp"

namespace quorvane::closure {

// As principal_sizes over the closed rows of `order`, blocks of `columns`
// columns (a multiple of the word size) at a time.
[[nodiscard]] KernelResult<PrincipalSizes> principal_sizes_by_blocks(const SuccessorLists& order, std::size_t columns,
                                                                     InterruptPoll interrupt);

// As zeta_transform (`strict` false) or strict_zeta_transform (`strict` true),
// blocks of `columns` columns at a time.
[[nodiscard]] KernelResult<std::vector<double>> zeta_sums_by_blocks(const SuccessorLists& order,
                                                                    std::span<const double> values, bool strict,
                                                                    std::size_t columns, InterruptPoll interrupt);

}  // namespace quorvane::closure
