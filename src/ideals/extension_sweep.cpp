// Linear extensions of disjoint parts interleave freely, so the count is the
// multinomial coefficient of the part sizes times the parts' counts. Within
// a connected part, the number of ways to place the elements of an ideal I
// first is the sum of those of I without one of its maximal elements; the
// sweep carries these numbers from each layer of ideals to the next, with
// memory for two layers.
//
// Every number met is at most the final count: an ideal's count times that
// of the rest of the poset is at most the whole count, a binomial factor is
// at most the multinomial, and every factor is at least 1. So an overflow
// anywhere happens exactly when the count needs more than 128 bits.
#include "extension_methods.hpp"

#include <algorithm>
#include <array>
#include <utility>

#include "mask_map.hpp"

namespace quorvane::ideals {
namespace {

constexpr std::uint64_t kPollInterval = std::uint64_t{1} << 20;

struct Ideal {
    Mask128 addable;  // elements outside whose predecessors are all inside
    Count ways;       // orderings of the ideal's elements that respect the order
};

// The empty ideal is never stored, so the sweep starts from the one-element ideals.
KernelResult<Count> count_component(const OrderMasks& order, Mask128 component, InterruptPoll interrupt,
                                    std::uint64_t& work) {
    const Mask128 minimal = order.minimal & component;
    MaskMap<Ideal> layer;
    MaskMap<Ideal> next;
    for_each_element(minimal, [&](std::size_t x) {
        *layer.insert(element_bit(x)).first = {(minimal ^ element_bit(x)) | order.completed_by(x, element_bit(x)), 1};
    });
    for (std::size_t size = 1; size < element_count(component); ++size) {
        KernelError stop{};
        const bool swept = layer.for_each([&](Mask128 ideal, const Ideal& entry) {
            for (Mask128 addable = entry.addable; addable != 0; addable &= addable - 1) {
                const std::size_t i = lowest_element(addable);
                const Mask128 larger = ideal | element_bit(i);
                const auto [slot, inserted] = next.insert(larger);
                if (inserted) {
                    *slot = {(entry.addable ^ element_bit(i)) | order.completed_by(i, larger), entry.ways};
                } else if (__builtin_add_overflow(slot->ways, entry.ways, &slot->ways)) {
                    stop = kCountOverflow;
                    return false;
                }
            }
            work += element_count(entry.addable);
            if (work < kPollInterval) return true;
            work = 0;
            if (!interrupt()) return true;
            stop = kInterrupted;
            return false;
        });
        if (!swept) return std::unexpected(stop);
        layer.clear();
        std::swap(layer, next);
    }
    return layer.find(component)->ways;
}

// C(total, part) by Pascal's rule; below 129 rows every entry fits.
Count binomial(std::size_t total, std::size_t part) {
    std::array<Count, kMaxElements + 1> column{};
    column[0] = 1;
    for (std::size_t row = 1; row <= total; ++row) {
        for (std::size_t k = row < part ? row : part; k > 0; --k) column[k] += column[k - 1];
    }
    return column[part];
}

// Elements of equal height (longest chain below them) are pairwise
// incomparable, and placing the height levels one after another, each in any
// internal order, always gives a linear extension: so the count is at least
// the product of the factorials of the level sizes. The same holds for depth
// (longest chain above). When either bound passes 2^128 the answer is known
// without visiting a single ideal, which is what keeps wide posets with
// astronomically many ideals from exhausting memory.
bool factorial_product_exceeds_u128(const std::array<std::size_t, kMaxElements + 1>& level_size) {
    Count bound = 1;
    for (std::size_t size : level_size) {
        for (std::size_t factor = 2; factor <= size; ++factor) {
            if (__builtin_mul_overflow(bound, Count{factor}, &bound)) return true;
        }
    }
    return false;
}

bool level_bound_exceeds_u128(const OrderMasks& order) {
    std::array<std::size_t, kMaxElements> height{};
    std::array<std::size_t, kMaxElements> depth{};
    std::array<std::size_t, kMaxElements + 1> height_levels{};
    std::array<std::size_t, kMaxElements + 1> depth_levels{};
    for (std::size_t u = 0; u < order.n; ++u) {
        for_each_element(order.predecessors[u], [&](std::size_t l) { height[u] = std::max(height[u], height[l] + 1); });
        ++height_levels[height[u]];
    }
    for (std::size_t l = order.n; l-- > 0;) {
        for_each_element(order.successors[l], [&](std::size_t u) { depth[l] = std::max(depth[l], depth[u] + 1); });
        ++depth_levels[depth[l]];
    }
    return factorial_product_exceeds_u128(height_levels) || factorial_product_exceeds_u128(depth_levels);
}

}  // namespace

KernelResult<Count> count_by_components(const OrderMasks& order, InterruptPoll interrupt) {
    if (level_bound_exceeds_u128(order)) return std::unexpected(kCountOverflow);
    Count count = 1;
    std::size_t placed = 0;
    std::uint64_t work = 0;
    for (Mask128 rest = order.all; rest != 0;) {
        const Mask128 component = order.component_of(lowest_element(rest), rest);
        rest &= ~component;
        const std::size_t size = element_count(component);
        placed += size;
        if (__builtin_mul_overflow(count, binomial(placed, size), &count)) return std::unexpected(kCountOverflow);
        if (size == 1) continue;
        const KernelResult<Count> ways = count_component(order, component, interrupt, work);
        if (!ways) return ways;
        if (__builtin_mul_overflow(count, *ways, &count)) return std::unexpected(kCountOverflow);
    }
    return count;
}

}  // namespace quorvane::ideals
