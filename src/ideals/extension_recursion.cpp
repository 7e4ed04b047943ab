#include "extension_methods.hpp"

#include <vector>

#include "mask_map.hpp"

namespace quorvane::ideals {
namespace {

constexpr std::uint64_t kPollInterval = std::uint64_t{1} << 20;

// One open call Count(rest) of the recursion.
struct Frame {
    Mask128 rest;     // elements still to place, an up-set
    Mask128 minimal;  // the minimal elements of rest
    Mask128 untried;  // minimal elements whose subcount is not yet added
    Count total;
};

}  // namespace

KernelResult<Count> count_by_recursion(const OrderMasks& order, std::uint64_t max_states, InterruptPoll interrupt) {
    if (order.all == 0) return Count{1};
    MaskMap<Count> memo;
    std::vector<Frame> stack;
    stack.reserve(order.n);
    std::uint64_t entered = 0;
    // The children's slots are fetched ahead: most of them are looked up
    // only after deep descents, and misses in a large table dominate.
    auto enter = [&](Mask128 rest, Mask128 minimal) -> KernelResult<void> {
        if (memo.size() >= max_states) return std::unexpected(kStateLimit);
        if (++entered % kPollInterval == 0 && interrupt()) return std::unexpected(kInterrupted);
        for_each_element(minimal, [&](std::size_t i) { memo.prefetch(rest ^ element_bit(i)); });
        stack.push_back({rest, minimal, minimal, 0});
        return {};
    };
    if (KernelResult<void> entry = enter(order.all, order.minimal); !entry) return std::unexpected(entry.error());
    for (;;) {
        Frame& top = stack.back();
        Count value = 1;  // Count(∅)
        if (top.untried == 0) {
            value = top.total;
            *memo.insert(top.rest).first = value;
            stack.pop_back();
            if (stack.empty()) return value;
        } else {
            const std::size_t i = lowest_element(top.untried);
            top.untried &= top.untried - 1;
            const Mask128 child = top.rest ^ element_bit(i);
            if (child != 0) {
                const Count* known = memo.find(child);
                if (known == nullptr) {
                    // Removing i leaves minimal those of its successors with no other predecessor left.
                    const Mask128 minimal = (top.minimal ^ element_bit(i)) | order.completed_by(i, order.all ^ child);
                    if (KernelResult<void> entry = enter(child, minimal); !entry) return std::unexpected(entry.error());
                    continue;
                }
                value = *known;
            }
        }
        Count& total = stack.back().total;
        if (__builtin_add_overflow(total, value, &total)) return std::unexpected(kCountOverflow);
    }
}

}  // namespace quorvane::ideals
