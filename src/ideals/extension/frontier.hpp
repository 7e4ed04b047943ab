// The frontier of an ideal, read off the ideal itself: a layer of ideals then
// stores no more than each ideal's mask and its values.
#pragma once

#include <cstddef>
#include <vector>

#include "../order_masks.hpp"

namespace quorvane::ideals {

// For an ideal I of Q = P ∖ N, N the minimal elements of P, keyed by I ∪ N.
struct IdealFrontier {
    Mask128 addable;   // the minimal elements of Q ∖ I
    Mask128 absorbed;  // the elements of N with a successor in I
};

class FrontierTable {
public:
    explicit FrontierTable(const OrderMasks& order);

    // An element of Q ∖ I is minimal there unless it succeeds another one, and
    // both unions are table lookups, one per group of elements.
    IdealFrontier of(Mask128 key) const noexcept {
        const Mask128 outside = all_ & ~key;
        Mask128 covered = 0;
        Mask128 absorbed = 0;
        const Group* group = groups_.data();
        for (std::size_t shift = 0; shift < n_; shift += group_bits_, group += group_size_) {
            const Group& part = group[static_cast<std::size_t>(outside >> shift) & (group_size_ - 1)];
            covered |= part.above_outside;
            absorbed |= part.below_inside;
        }
        return {outside & ~covered, absorbed};
    }

private:
    struct Group {
        Mask128 above_outside;  // the successors of the group's elements outside the ideal
        Mask128 below_inside;   // the predecessors in N of its elements inside
    };

    std::size_t n_;
    Mask128 all_;
    std::size_t group_bits_;
    std::size_t group_size_;
    std::vector<Group> groups_;  // group_size_ entries per group, one for each subset outside
};

}  // namespace quorvane::ideals
