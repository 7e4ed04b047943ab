// Because the numbering is a linear extension, the highest element of an
// ideal is maximal in it. Extending an ideal with highest element h only by
// addable elements above h therefore reaches every ideal exactly once, from
// the ideal without its highest element.
#include "methods.hpp"

#include "../../common/work_budget.hpp"

namespace quorvane::ideals {
namespace {

// A step of the walk: a few mask operations per element completed.
constexpr std::uint64_t kUnitsPerIdeal = 8;

struct WalkFrame {
    Mask128 ideal;
    Mask128 addable;  // elements outside the ideal whose predecessors are all in it
    Mask128 untried;  // addable elements above the highest one, not yet taken
};

}  // namespace

KernelResult<std::optional<LayerSizes>> layer_sizes_by_walk(const OrderMasks& order, std::uint64_t max_ideals,
                                                            InterruptPoll interrupt) {
    // 2^64 ideals are out of reach of any walk, so 64-bit counters suffice.
    std::vector<std::uint64_t> counts(order.n + 1);
    counts[0] = 1;
    std::uint64_t visited = 1;
    WorkBudget budget(interrupt);
    std::vector<WalkFrame> stack;
    stack.reserve(order.n + 1);
    if (order.minimal != 0) stack.push_back({0, order.minimal, order.minimal});
    while (!stack.empty()) {
        WalkFrame& top = stack.back();
        if (top.untried == 0) {
            stack.pop_back();
            continue;
        }
        const std::size_t i = lowest_element(top.untried);
        top.untried &= top.untried - 1;
        const Mask128 ideal = top.ideal | element_bit(i);
        const Mask128 addable = (top.addable ^ element_bit(i)) | order.completed_by(i, ideal);
        ++counts[stack.size()];
        if (++visited > max_ideals) return std::nullopt;
        if (budget.charge(kUnitsPerIdeal)) return std::unexpected(kInterrupted);
        const Mask128 untried = addable & elements_after(i);
        if (untried != 0) stack.push_back({ideal, addable, untried});
    }
    return LayerSizes(counts.begin(), counts.end());
}

}  // namespace quorvane::ideals
