// The poset as 128-bit element masks: the given cover relation in both
// directions and the principal ideals and filters it generates.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "../closure/reachability.hpp"
#include "../common/kernel_types.hpp"

namespace quorvane::ideals {

inline constexpr std::size_t kMaxElements = 128;

constexpr Mask128 element_bit(std::size_t i) noexcept { return Mask128{1} << i; }

// Elements strictly above i in the numbering.
constexpr Mask128 elements_after(std::size_t i) noexcept { return (~Mask128{0} << i) << 1; }

constexpr std::size_t element_count(Mask128 set) noexcept {
    return static_cast<std::size_t>(std::popcount(static_cast<Word>(set)) +
                                    std::popcount(static_cast<Word>(set >> kWordBits)));
}

constexpr std::size_t lowest_element(Mask128 set) noexcept {
    const Word low = static_cast<Word>(set);
    if (low != 0) return static_cast<std::size_t>(std::countr_zero(low));
    return kWordBits + static_cast<std::size_t>(std::countr_zero(static_cast<Word>(set >> kWordBits)));
}

// Calls visit(i, element_bit(i)) in ascending order of i; word by word,
// which costs less than stepping a 128-bit mask, and each bit isolated
// within its word, which costs less than shifting a 128-bit one.
template <class Visit>
inline void for_each_element_bit(Mask128 set, Visit&& visit) {
    for (Word low = static_cast<Word>(set); low != 0; low &= low - 1) {
        visit(static_cast<std::size_t>(std::countr_zero(low)), Mask128{low & -low});
    }
    for (Word high = static_cast<Word>(set >> kWordBits); high != 0; high &= high - 1) {
        visit(kWordBits + static_cast<std::size_t>(std::countr_zero(high)), Mask128{high & -high} << kWordBits);
    }
}

// In ascending order.
template <class Visit>
inline void for_each_element(Mask128 set, Visit&& visit) {
    for_each_element_bit(set, [&](std::size_t i, Mask128) { visit(i); });
}

// 8 KB: kept on the heap, or in place in a container, never as a local.
struct OrderMasks {
    std::size_t n = 0;
    Mask128 all = 0;      // every element
    Mask128 minimal = 0;  // elements without a given predecessor
    std::array<Mask128, kMaxElements> predecessors{};  // given edges (l, u): bit l of entry u
    std::array<Mask128, kMaxElements> successors{};    // and bit u of entry l
    std::array<Mask128, kMaxElements> at_or_below{};
    std::array<Mask128, kMaxElements> at_or_above{};

    // Elements outside `set` whose predecessors all lie in it, among the successors of i.
    Mask128 completed_by(std::size_t i, Mask128 set) const noexcept {
        Mask128 completed = 0;
        for_each_element(successors[i] & ~set, [&](std::size_t s) {
            if ((predecessors[s] & ~set) == 0) completed |= element_bit(s);
        });
        return completed;
    }

    // The connected component of x within `set`, which must be convex.
    Mask128 component_of(std::size_t x, Mask128 set) const noexcept;
};

// Requires n <= 128. The first edge out of range or not ascending decides the
// error. On the heap: the masks take 8 KB, and calls nest as deep as signal
// handlers that call the module let them.
[[nodiscard]] KernelResult<std::unique_ptr<const OrderMasks>> build_order_masks(std::size_t n,
                                                                              const closure::CoverEdgeList& edges);

}  // namespace quorvane::ideals
