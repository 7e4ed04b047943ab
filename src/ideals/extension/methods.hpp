// The ways to count linear extensions exactly in 128 bits.
#pragma once

#include <cstdint>
#include <optional>

#include "../ideals.hpp"
#include "../order_masks.hpp"

namespace quorvane::ideals {

// Count(R) = sum over the minimal elements i of R of Count(R ∖ i), depth
// first from the full set, each finished nonempty R memoised; entering a new
// state while the memo holds `max_states` entries fails. The order of its
// steps decides which of the two errors comes first.
[[nodiscard]] KernelResult<Count> count_by_recursion(const OrderMasks& order, std::uint64_t max_states,
                                                     InterruptPoll interrupt);

struct SweepLimits {
    std::uint64_t max_ideals;  // ideals to visit before giving up
    double known_factor;       // at most the product of the count's other factors, for deciding overflow early
    bool count_fits;           // the whole count is known to fit: no overflow to decide, no bounds to keep
};

// A sweep over the ideals of a connected poset without its minimal elements,
// layer by layer; nullopt when it would visit more than `max_ideals`. An
// overflow of the count times `known_factor` is decided as soon as the ideals
// swept so far prove it. A layer too large for the memory ends the sweep with
// std::bad_alloc, unless what it can still keep decides an overflow.
[[nodiscard]] KernelResult<std::optional<Count>> count_by_sweep(const OrderMasks& order, SweepLimits limits,
                                                                InterruptPoll interrupt);

// The count by a table over the ideals' chain coordinates; nullopt when the
// poset is too wide for such a table, or has too many ideals. `fits` as for
// the sweep.
[[nodiscard]] KernelResult<std::optional<Count>> count_by_coordinates(const OrderMasks& order, bool fits,
                                                                      InterruptPoll interrupt);

// The product of the counts along the modular decomposition, each prime part
// counted by a table or a sweep; `fits` as for the sweep.
[[nodiscard]] KernelResult<Count> count_by_decomposition(const OrderMasks& order, bool fits, InterruptPoll interrupt);

}  // namespace quorvane::ideals
