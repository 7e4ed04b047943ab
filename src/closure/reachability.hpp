// Validation of the caller's order relation and its transitive closure into
// reachability rows, the picture every order kernel reads.
#pragma once

#include <cstddef>
#include <optional>
#include <utility>
#include <vector>

#include "../common/kernel_types.hpp"

namespace quorvane::closure {

using CoverEdge = std::pair<std::size_t, std::size_t>;
using CoverEdgeList = std::vector<CoverEdge>;

inline constexpr KernelError kIndexOutOfRange{"cover edge index is outside the element range"};
inline constexpr KernelError kNotTopological{"cover edge indices must follow topological order"};

// The error of the first edge that is out of range or not ascending, if any.
[[nodiscard]] std::optional<KernelError> first_edge_error(std::size_t n, const CoverEdgeList& edges) noexcept;

// The first edge that is out of range or not ascending decides the error.
[[nodiscard]] KernelResult<ReachabilityRows> build_reachability(std::size_t n, const CoverEdgeList& edges,
                                                                InterruptPoll interrupt);

// Closes rows that hold only bits above their own element and below n
// (successor_row_error found nothing).
[[nodiscard]] KernelResult<ReachabilityRows> close_checked_rows(SuccessorRows rows, InterruptPoll interrupt);

// Row y: every element strictly below y (all of them smaller than y).
[[nodiscard]] BitMatrix transpose(const ReachabilityRows& rows);

}  // namespace quorvane::closure
