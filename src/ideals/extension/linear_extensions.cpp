// Without a state limit nothing depends on the recursion's order, so the
// fastest exact method counts; with one, the recursion itself runs.
#include "../ideals.hpp"

#include "bounds.hpp"
#include "methods.hpp"

namespace quorvane::ideals {
namespace {

// Small connected inputs mostly finish within a few ideals, sooner than the
// decomposition is built; larger ones would only sweep twice.
constexpr std::size_t kPlainSweepElements = 24;
constexpr std::uint64_t kPlainSweepIdeals = 256;

KernelResult<Count> count_without_limit(const OrderMasks& order, InterruptPoll interrupt) {
    // The minimal elements can come first in any order: more than 34 of them
    // decide the most common overflows at the cost of counting them.
    if (element_count(order.minimal) > kLargestFittingFactorial) return std::unexpected(kCountOverflow);
    // The height levels decide most other overflows, of wide and of long
    // posets alike, in one pass over the covers and before a single ideal is
    // visited; a count that the chain bound shows to fit never reaches them.
    if (level_bound_exceeds_u128(order, Levels::height)) return std::unexpected(kCountOverflow);
    // Narrow posets, whose count surely fits, need no further bound.
    const bool fits = chain_bound_fits_u128(order);
    if (!fits && (level_bound_exceeds_u128(order, Levels::depth) || hook_bound(order) >= kCountOverflowBound)) {
        return std::unexpected(kCountOverflow);
    }
    // Disconnected ones, though, have a product of the parts' ideals.
    if (order.n == 0 || (order.n <= kPlainSweepElements && order.component_of(0, order.all) == order.all)) {
        const KernelResult<std::optional<Count>> plain =
            count_by_sweep(order, {kPlainSweepIdeals, 1, fits}, interrupt);
        if (!plain) return std::unexpected(plain.error());
        if (*plain) return **plain;
    }
    return count_by_decomposition(order, fits, interrupt);
}

}  // namespace

KernelResult<Count> linear_extension_count(std::size_t n, const closure::CoverEdgeList& edges,
                                           std::optional<std::uint64_t> max_states, InterruptPoll interrupt) {
    if (n > kMaxElements) return std::unexpected(kExtensionSizeLimit);
    const auto order = build_order_masks(n, edges);
    if (!order) return std::unexpected(order.error());
    if (max_states) return count_by_recursion(**order, *max_states, interrupt);
    return count_without_limit(**order, interrupt);
}

}  // namespace quorvane::ideals
