// Ideals of a narrow poset by their chain coordinates. With the elements
// split into chains, an ideal meets each chain in a prefix, so it is the tuple
// of the prefix lengths; a tuple is an ideal exactly when no pair of chains
// contradicts it. Going through the chains in turn, each earlier coordinate
// bounds each later one from below (its top element needs those below it)
// and from above (its first missing element excludes those above it), and no
// consistent choice of earlier coordinates leaves a later one without a
// value. So nested loops over these bounds meet every ideal once, with no
// dead ends, in lexicographic order: the ideal without one element always
// comes before the ideal itself.
//
// The ideals that share all coordinates but the last chain's form a run, and
// runs are numbered in mixed radix, (length + 1) values per chain, so that a
// dense table indexed by them needs no hashing; this pays where the product
// of the radices of all chains but the last stays small. Putting the longest
// chain last makes the runs fewest and longest.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "order_masks.hpp"

namespace quorvane::ideals {

// The ideals that share all coordinates but the last chain's, whose values
// go from `low` to `high`.
struct CoordinateRun {
    std::span<const std::uint8_t> coordinate;  // in the other chains
    Mask128 elements;                          // the ideals' elements in the other chains
    std::size_t number;  // the run's
    std::size_t size;    // the number of elements in the other chains
    std::size_t low;
    std::size_t high;
};

class ChainCoordinates {
public:
    // Tables are indexed by run numbers below this bound; each chain but the
    // last at least doubles the numbers, so no more chains fit.
    static constexpr std::size_t kMaxRuns = std::size_t{1} << 18;
    static constexpr std::size_t kMaxChains = 19;

    std::size_t chains() const noexcept { return chains_; }
    std::size_t length(std::size_t chain) const noexcept { return length_[chain]; }
    // Run numbers are below this.
    std::size_t runs() const noexcept { return runs_; }
    // The run number grows by this with one more element of a chain but the last.
    std::size_t stride(std::size_t chain) const noexcept { return stride_[chain]; }
    // The element at `position` of the chain, counted from its bottom.
    std::size_t element(std::size_t chain, std::size_t position) const noexcept {
        return element_[start_[chain] + position];
    }
    // The number of elements of the last chain not above that element: the
    // element stays maximal in an ideal only up to this last coordinate.
    std::size_t last_free(std::size_t chain, std::size_t position) const noexcept {
        return first_above_[start_[chain] + position][chains_ - 1];
    }

    // Calls visit(run) for every run of ideals in lexicographic order, while
    // it returns true; returns whether all were visited.
    template <class Visit>
    bool for_each_run(Visit&& visit) const;

    friend std::optional<ChainCoordinates> chain_coordinates(const OrderMasks& order) noexcept;

private:
    Mask128 prefix(std::size_t chain, std::size_t count) const noexcept {
        return count == 0 ? 0 : chain_mask_[chain] & ~elements_after(element(chain, count - 1));
    }

    std::size_t chains_ = 0;
    std::size_t runs_ = 1;
    std::array<std::uint8_t, kMaxChains> length_{};
    std::array<std::uint8_t, kMaxChains> start_{};  // where each chain begins in element_
    std::array<std::size_t, kMaxChains> stride_{};
    std::array<Mask128, kMaxChains> chain_mask_{};
    std::array<std::uint8_t, kMaxElements> element_{};  // chain by chain, each ascending
    // For the element at each place of element_ and each chain: the number of
    // the chain's elements below it, and the position of its first element above it.
    std::array<std::array<std::uint8_t, kMaxChains>, kMaxElements> below_{};
    std::array<std::array<std::uint8_t, kMaxChains>, kMaxElements> first_above_{};
};

// A cover by the fewest chains, the longest last, when its run numbers stay
// below kMaxRuns; nullopt otherwise.
[[nodiscard]] std::optional<ChainCoordinates> chain_coordinates(const OrderMasks& order) noexcept;

template <class Visit>
bool ChainCoordinates::for_each_run(Visit&& visit) const {
    const std::size_t last = chains_ - 1;
    // Per level j (the chains before j chosen): the bounds on every later
    // chain's coordinate, the elements chosen, the run number so far.
    std::array<std::array<std::uint8_t, kMaxChains>, kMaxChains> low;
    std::array<std::array<std::uint8_t, kMaxChains>, kMaxChains> high;
    std::array<std::uint8_t, kMaxChains> coordinate;
    std::array<Mask128, kMaxChains> elements;
    std::array<std::size_t, kMaxChains> number;
    std::array<std::size_t, kMaxChains> size;
    for (std::size_t k = 0; k < chains_; ++k) {
        low[0][k] = 0;
        high[0][k] = length_[k];
    }
    elements[0] = 0;
    number[0] = 0;
    size[0] = 0;
    std::size_t j = 0;
    coordinate[0] = 0;
    for (;;) {
        if (j == last) {
            const CoordinateRun run{std::span(coordinate).first(last), elements[j], number[j], size[j], low[j][j],
                                    high[j][j]};
            if (!visit(run)) return false;
            do {
                if (j == 0) return true;
                --j;
            } while (coordinate[j] == high[j][j]);
            ++coordinate[j];
        }
        const std::size_t c = coordinate[j];
        const std::size_t top = start_[j] + c - 1;      // read only when c > 0
        const std::size_t missing = start_[j] + c;      // read only when c < length
        elements[j + 1] = elements[j] | prefix(j, c);
        number[j + 1] = number[j] + c * stride_[j];
        size[j + 1] = size[j] + c;
        for (std::size_t k = j + 1; k < chains_; ++k) {
            low[j + 1][k] = c > 0 ? std::max(low[j][k], below_[top][k]) : low[j][k];
            high[j + 1][k] = c < length_[j] ? std::min(high[j][k], first_above_[missing][k]) : high[j][k];
        }
        ++j;
        coordinate[j] = low[j][j];
    }
}

}  // namespace quorvane::ideals
