// Sizes of the principal ideals and filters of narrow orders, over chain
// coordinates: an ideal meets every chain of a chain partition in a prefix,
// and a filter in a suffix, so each is a tuple of lengths, one per chain.
#pragma once

#include <optional>

#include "principal_sizes.hpp"
#include "successor_lists.hpp"

namespace quorvane::closure {

// As principal_sizes, in time O((n + edges) · chains) and memory of a tuple
// for each element still to be read. Nothing when the chains taken one
// element at a time pass `max_chains`, or the tuples held at once pass
// `max_bytes`: the order is too wide for the method. `order` must have listed
// its entering edges.
[[nodiscard]] KernelResult<std::optional<PrincipalSizes>> principal_sizes_by_chains(const SuccessorLists& order,
                                                                                    std::size_t max_chains,
                                                                                    std::size_t max_bytes,
                                                                                    InterruptPoll interrupt);

}  // namespace quorvane::closure
