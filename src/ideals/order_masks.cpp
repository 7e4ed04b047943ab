#include "order_masks.hpp"

#include "../common/cpu_dispatch.hpp"

namespace quorvane::ideals {

Mask128 OrderMasks::component_of(std::size_t x, Mask128 set) const noexcept {
    Mask128 component = element_bit(x);
    for (Mask128 frontier = component; frontier != 0;) {
        Mask128 reached = 0;
        for_each_element(frontier, [&](std::size_t y) { reached |= at_or_below[y] | at_or_above[y]; });
        frontier = reached & set & ~component;
        component |= frontier;
    }
    return component;
}

QUORVANE_DISPATCHED KernelResult<std::unique_ptr<const OrderMasks>> build_order_masks(
    std::size_t n, const closure::CoverEdgeList& edges) {
    if (const std::optional<KernelError> error = closure::first_edge_error(n, edges)) return std::unexpected(*error);
    auto masks = std::make_unique<OrderMasks>();
    OrderMasks& order = *masks;
    order.n = n;
    order.all = n == kMaxElements ? ~Mask128{0} : element_bit(n) - 1;
    for (const auto& [lower, upper] : edges) {
        order.predecessors[upper] |= element_bit(lower);
        order.successors[lower] |= element_bit(upper);
    }
    // Edges ascend, so every predecessor's ideal is complete before it is read.
    for (std::size_t i = 0; i < n; ++i) {
        if (order.predecessors[i] == 0) order.minimal |= element_bit(i);
        Mask128 below = element_bit(i);
        for_each_element(order.predecessors[i], [&](std::size_t p) { below |= order.at_or_below[p]; });
        order.at_or_below[i] = below;
    }
    for (std::size_t i = n; i-- > 0;) {
        Mask128 above = element_bit(i);
        for_each_element(order.successors[i], [&](std::size_t s) { above |= order.at_or_above[s]; });
        order.at_or_above[i] = above;
    }
    return masks;
}

}  // namespace quorvane::ideals
