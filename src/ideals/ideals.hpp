// Counting over the order ideals of a poset of at most 128 elements: ideals
// by size, and linear extensions. Both kernels validate the cover edges
// themselves, after their own size limit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "../closure/reachability.hpp"
#include "../common/kernel_types.hpp"

namespace quorvane::ideals {

// Exact counts; none of the ideal counts of 128 elements exceeds C(128, 64) < 2^127.
using Count = unsigned __int128;

inline constexpr KernelError kLayerSizeLimit{"Rust ideal layer generation currently supports at most 128 elements"};
inline constexpr KernelError kExtensionSizeLimit{
    "Rust linear extension counting currently supports at most 128 elements"};
inline constexpr KernelError kStateLimit{"linear extension state limit was exceeded"};
inline constexpr KernelError kCountOverflow{"linear extension count exceeded u128"};

// Entry k: the number of order ideals with k elements, for k = 0..n.
[[nodiscard]] KernelResult<std::vector<Count>> lattice_layer_sizes(std::size_t n, const closure::CoverEdgeList& edges,
                                                                   InterruptPoll interrupt);

// With `max_states`, the count follows the memoised recursion over remaining
// up-sets step by step, since where the limit fires depends on its order.
[[nodiscard]] KernelResult<Count> linear_extension_count(std::size_t n, const closure::CoverEdgeList& edges,
                                                         std::optional<std::uint64_t> max_states,
                                                         InterruptPoll interrupt);

}  // namespace quorvane::ideals
