#include "frontier.hpp"

#include <bit>

namespace quorvane::ideals {
namespace {

// Wider groups take fewer lookups per ideal and longer to tabulate: small
// orders, mostly counted within a few hundred ideals, take narrow ones.
constexpr std::size_t kNarrowGroupBits = 4;
constexpr std::size_t kWideGroupBits = 8;
constexpr std::size_t kNarrowGroupsUpTo = 32;

}  // namespace

FrontierTable::FrontierTable(const OrderMasks& order)
    : n_(order.n),
      all_(order.all),
      group_bits_(order.n <= kNarrowGroupsUpTo ? kNarrowGroupBits : kWideGroupBits),
      group_size_(std::size_t{1} << group_bits_) {
    groups_.resize((order.n + group_bits_ - 1) / group_bits_ * group_size_);
    // Each subset's unions extend those of the subset without its lowest
    // element. Elements beyond n, up to the group's end, have neither
    // successors nor predecessors.
    for (std::size_t first = 0; first < order.n; first += group_bits_) {
        Group* group = &groups_[first / group_bits_ * group_size_];
        const std::size_t inside_all = group_size_ - 1;
        for (std::size_t subset = 1; subset < group_size_; ++subset) {
            const std::size_t lowest = first + static_cast<std::size_t>(std::countr_zero(subset));
            const std::size_t rest = subset & (subset - 1);
            group[subset].above_outside = group[rest].above_outside | order.successors[lowest];
            // The same subset taken as the elements inside.
            group[inside_all ^ subset].below_inside =
                group[inside_all ^ rest].below_inside | (order.predecessors[lowest] & order.minimal);
        }
    }
}

}  // namespace quorvane::ideals
