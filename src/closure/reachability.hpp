// Validation of the caller's order relation and its transitive closure into
// reachability rows, the picture every order kernel reads.
#pragma once

#include <cstddef>
#include <limits>
#include <optional>
#include <utility>
#include <vector>

#include "../common/kernel_types.hpp"

namespace quorvane::closure {

using CoverEdge = std::pair<std::size_t, std::size_t>;
using CoverEdgeList = std::vector<CoverEdge>;

inline constexpr KernelError kIndexOutOfRange{"cover edge index is outside the element range"};
inline constexpr KernelError kNotTopological{"cover edge indices must follow topological order"};

inline constexpr std::size_t kNoRow = std::numeric_limits<std::size_t>::max();

// The error of the first edge that is out of range or not ascending, if any.
[[nodiscard]] std::optional<KernelError> first_edge_error(std::size_t n, const CoverEdgeList& edges) noexcept;

// The first edge that is out of range or not ascending decides the error.
[[nodiscard]] KernelResult<ReachabilityRows> build_reachability(std::size_t n, const CoverEdgeList& edges,
                                                                InterruptPoll interrupt);

// `rows` must hold n rows of row_words(n) words; `first_misshapen_row` names the
// first row whose given word count was wrong (kNoRow if none), so that it is
// reported in row order among the other row checks.
[[nodiscard]] KernelResult<ReachabilityRows> close_successor_rows(std::size_t n, SuccessorRows rows,
                                                                  InterruptPoll interrupt,
                                                                  std::size_t first_misshapen_row = kNoRow);

// Row y: every element strictly below y (all of them smaller than y).
[[nodiscard]] BitMatrix transpose(const ReachabilityRows& rows);

}  // namespace quorvane::closure
