// Without a state limit nothing depends on the recursion's order, so the
// fastest exact method counts; with one, the recursion itself runs.
#include "ideals.hpp"

#include "extension_methods.hpp"

namespace quorvane::ideals {

KernelResult<Count> linear_extension_count(std::size_t n, const closure::CoverEdgeList& edges,
                                           std::optional<std::uint64_t> max_states, InterruptPoll interrupt) {
    if (n > kMaxElements) return std::unexpected(kExtensionSizeLimit);
    const KernelResult<OrderMasks> order = build_order_masks(n, edges);
    if (!order) return std::unexpected(order.error());
    if (max_states) return count_by_recursion(*order, *max_states, interrupt);
    return count_by_components(*order, interrupt);
}

}  // namespace quorvane::ideals
