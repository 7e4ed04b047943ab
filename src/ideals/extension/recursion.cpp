// The recursion runs as a walk over the removed ideals. Removing minimal
// elements in ascending order is the lexicographically first way to reach a
// state, and the depth-first search tries children in ascending order, so it
// first reaches the state with removed ideal I along sorted(I). Hence, at the
// state with removed ideal I whose highest element is h, a child that removes
// i > h is new, while one that removes i < h was finished earlier (it is not
// an ancestor): tree children need no lookup, and the others always hit.
//
// So a state with removed ideal J is looked up once from J ∖ i for each
// maximal element i of J below the highest, and last from the lowest such i,
// when the search is done with it. States with a single maximal element
// (principal ideals) are never stored, and the others are dropped after their
// last lookup. The memo then holds only the states still to be read, a small
// fraction of those finished; the limit test counts the finished ones, which
// are what the recursion's memo would hold.
#include "methods.hpp"

#include <vector>

#include "../../common/work_budget.hpp"
#include "../mask_map.hpp"

namespace quorvane::ideals {
namespace {

constexpr std::size_t kNothingRemoved = ~std::size_t{0};
// Work units (about a nanosecond each) per state entered and per child looked at.
constexpr std::uint64_t kStateWork = 32;

// One open call Count(rest) of the recursion.
struct Frame {
    Mask128 rest;             // elements still to place, an up-set
    Mask128 minimal;          // the minimal elements of rest
    Mask128 removed_maximal;  // the maximal elements of the removed ideal
    Mask128 untried;          // minimal elements above the highest removed one, not yet descended into
    Count total;
    std::size_t highest_removed;
};

class Recursion {
public:
    Recursion(const OrderMasks& order, std::uint64_t max_states, WorkBudget& budget)
        : order_(order), max_states_(max_states), budget_(budget), memo_(budget) {
        stack_.reserve(order.n);
    }

    KernelResult<Count> run() {
        if (order_.all == 0) return Count{1};
        if (KernelResult<void> entered = enter(order_.all, order_.minimal, 0, kNothingRemoved); !entered) {
            return std::unexpected(entered.error());
        }
        for (;;) {
            Frame& top = stack_.back();
            Count value = 1;  // Count(∅)
            if (top.untried == 0) {
                value = top.total;
                finish(top);
                stack_.pop_back();
                if (stack_.empty()) return value;
            } else {
                const std::size_t i = lowest_element(top.untried);
                top.untried &= top.untried - 1;
                const Mask128 child = top.rest ^ element_bit(i);
                if (child != 0) {
                    // Removing i leaves minimal those of its successors with no other predecessor left.
                    const Mask128 minimal = (top.minimal ^ element_bit(i)) | order_.completed_by(i, order_.all ^ child);
                    const Mask128 removed_maximal = removed_maximal_with(top.removed_maximal, i);
                    if (KernelResult<void> entered = enter(child, minimal, removed_maximal, i); !entered) {
                        return std::unexpected(entered.error());
                    }
                    continue;
                }
            }
            if (!add(stack_.back().total, value)) return std::unexpected(kCountOverflow);
        }
    }

private:
    // The elements of an ideal below an addable element i are exactly its
    // predecessors' ideals, so of the maximal ones only given predecessors stop being maximal.
    Mask128 removed_maximal_with(Mask128 removed_maximal, std::size_t i) const noexcept {
        return (removed_maximal & ~order_.predecessors[i]) | element_bit(i);
    }

    // Count(rest) for a state not yet met: the limit test, then the children
    // that were finished before, in ascending order as the recursion adds them.
    KernelResult<void> enter(Mask128 rest, Mask128 minimal, Mask128 removed_maximal, std::size_t highest_removed) {
        if (finished_ >= max_states_) return std::unexpected(kStateLimit);
        if (budget_.charge(kStateWork * (1 + element_count(minimal)))) return std::unexpected(kInterrupted);
        const Mask128 earlier =
            highest_removed == kNothingRemoved ? 0 : minimal & (element_bit(highest_removed) - 1);
        // Misses in a large memo dominate, so the slots that the tree children
        // will read on entry, and this state's own for storing it, are fetched
        // ahead (this state's were fetched by its parent). The cross children
        // of a tree child removing t are rest ∖ t ∖ u for the minimal u below t.
        memo_.prefetch(rest);
        for (Mask128 tree = minimal ^ earlier; tree != 0; tree &= tree - 1) {
            const Mask128 removed = tree & -tree;
            for (Mask128 cross = minimal & (removed - 1); cross != 0; cross &= cross - 1) {
                memo_.prefetch(rest ^ removed ^ (cross & -cross));
            }
        }
        Count total = 0;
        bool overflow = false;
        for (Mask128 rest_of = earlier; rest_of != 0; rest_of &= rest_of - 1) {
            const Mask128 bit = rest_of & -rest_of;
            const Mask128 child = rest ^ bit;
            Count value = 1;
            if (child != 0) {
                // Looked up for the last time when i is the lowest maximal element of the child's removed ideal.
                const Mask128 lower_maximal = removed_maximal & ~order_.predecessors[lowest_element(bit)] & (bit - 1);
                value = lower_maximal == 0 ? memo_.take(child) : *memo_.find(child);
            }
            overflow = overflow || !add(total, value);
        }
        if (overflow) return std::unexpected(kCountOverflow);
        stack_.push_back({rest, minimal, removed_maximal, minimal ^ earlier, total, highest_removed});
        return {};
    }

    void finish(const Frame& frame) {
        ++finished_;
        const Mask128 removed = order_.all ^ frame.rest;
        if (frame.highest_removed != kNothingRemoved && removed != order_.at_or_below[frame.highest_removed]) {
            *memo_.insert(frame.rest).first = frame.total;
        }
    }

    static bool add(Count& total, Count value) noexcept { return !__builtin_add_overflow(total, value, &total); }

    const OrderMasks& order_;
    std::uint64_t max_states_;
    WorkBudget& budget_;
    MaskMap<Count> memo_;
    std::vector<Frame> stack_;
    std::uint64_t finished_ = 0;
};

}  // namespace

KernelResult<Count> count_by_recursion(const OrderMasks& order, std::uint64_t max_states, InterruptPoll interrupt) {
    return interruptible(interrupt, [&](WorkBudget& budget) { return Recursion(order, max_states, budget).run(); });
}

}  // namespace quorvane::ideals
