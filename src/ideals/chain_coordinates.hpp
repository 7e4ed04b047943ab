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

// A split of the elements into chains, each ascending, the longest last.
struct ChainCover {
    // Each chain but the last at least doubles the run numbers, whose tables
    // hold at most kMaxRuns entries.
    static constexpr std::size_t kMaxRuns = std::size_t{1} << 18;
    static constexpr std::size_t kMaxChains = 19;

    std::size_t chains;
    std::size_t runs;  // the product of (length + 1) over all chains but the last
    std::array<std::uint8_t, kMaxChains> length;
    std::array<std::uint8_t, kMaxChains> start;      // where each chain begins in `element`
    std::array<std::uint8_t, kMaxElements> element;  // chain by chain
};

// The greedy chain cover, in the numbering (a linear extension): each element
// extends the chain ending in its lowest predecessor that ends one, through
// extend(p, x), or else starts a chain, through start(x), which may give up
// by returning false. Returns the elements that end the chains, or nullopt
// when start gave up.
template <class Extend, class Start>
std::optional<Mask128> greedy_chains(const OrderMasks& order, Extend&& extend, Start&& start) {
    Mask128 ends = 0;
    for (std::size_t x = 0; x < order.n; ++x) {
        if (const Mask128 extended = order.predecessors[x] & ends; extended != 0) {
            const std::size_t p = lowest_element(extended);
            extend(p, x);
            ends ^= element_bit(p);
        } else if (!start(x)) {
            return std::nullopt;
        }
        ends |= element_bit(x);
    }
    return ends;
}

enum class CoverKind {
    greedy,  // each element, in the numbering, after a predecessor that ends a chain: cheap
    fewest,  // as few chains as possible, found by augmenting the greedy cover
};

// A cover of the given kind whose run numbers stay below `max_runs`; nullopt
// when there is none. Tables over run numbers hold at most kMaxRuns entries.
[[nodiscard]] std::optional<ChainCover> chain_cover(const OrderMasks& order, CoverKind kind,
                                                    std::size_t max_runs) noexcept;

// Its tables take 5 KB: callers keep it on the heap.
class ChainCoordinates {
public:
    // Inline: a few popcounts per element and chain, compiled for the CPU
    // level of the caller.
    ChainCoordinates(const OrderMasks& order, const ChainCover& cover) noexcept : cover_(cover) {
        for (std::size_t c = 0; c < cover.chains; ++c) {
            for (std::size_t p = 0; p < cover.length[c]; ++p) chain_mask_[c] |= element_bit(element(c, p));
        }
        for (std::size_t c = cover.chains - 1, stride = 1; c-- > 0;) {
            stride_[c] = stride;
            stride *= cover.length[c] + std::size_t{1};
        }
        for (std::size_t place = 0; place < order.n; ++place) {
            const std::size_t x = cover.element[place];
            const Mask128 below = order.at_or_below[x] & ~element_bit(x);
            const Mask128 above = order.at_or_above[x] & ~element_bit(x);
            for (std::size_t c = 0; c < cover.chains; ++c) {
                below_[place][c] = static_cast<std::uint8_t>(element_count(below & chain_mask_[c]));
                first_above_[place][c] =
                    static_cast<std::uint8_t>(cover.length[c] - element_count(above & chain_mask_[c]));
            }
        }
    }

    std::size_t chains() const noexcept { return cover_.chains; }
    std::size_t length(std::size_t chain) const noexcept { return cover_.length[chain]; }
    // Run numbers are below this.
    std::size_t runs() const noexcept { return cover_.runs; }
    // The run number grows by this with one more element of a chain but the last.
    std::size_t stride(std::size_t chain) const noexcept { return stride_[chain]; }
    // The element at `position` of the chain, counted from its bottom.
    std::size_t element(std::size_t chain, std::size_t position) const noexcept {
        return cover_.element[cover_.start[chain] + position];
    }
    // The number of elements of the last chain not above that element: the
    // element stays maximal in an ideal only up to this last coordinate.
    std::size_t last_free(std::size_t chain, std::size_t position) const noexcept {
        return first_above_[cover_.start[chain] + position][cover_.chains - 1];
    }

    using Bounds = std::array<std::uint8_t, ChainCover::kMaxChains>;  // one value per chain

    // The bounds on the coordinates of the chains after `chain` once that
    // chain's coordinate is chosen within its own bounds.
    void narrow(std::size_t chain, std::size_t coordinate, const Bounds& low, const Bounds& high, Bounds& next_low,
                Bounds& next_high) const noexcept {
        const std::size_t top = cover_.start[chain] + coordinate - 1;  // read only when coordinate > 0
        const std::size_t missing = cover_.start[chain] + coordinate;  // read only when coordinate < length
        for (std::size_t k = chain + 1; k < cover_.chains; ++k) {
            next_low[k] = coordinate > 0 ? std::max(low[k], below_[top][k]) : low[k];
            next_high[k] = coordinate < cover_.length[chain] ? std::min(high[k], first_above_[missing][k]) : high[k];
        }
    }

    // Calls visit(run) for every run of ideals in lexicographic order, while
    // it returns true; returns whether all were visited.
    template <class Visit>
    bool for_each_run(Visit&& visit) const;

private:
    static constexpr std::size_t kMaxChains = ChainCover::kMaxChains;

    Mask128 prefix(std::size_t chain, std::size_t count) const noexcept {
        return count == 0 ? 0 : chain_mask_[chain] & ~elements_after(element(chain, count - 1));
    }

    ChainCover cover_;
    std::array<std::size_t, kMaxChains> stride_{};
    std::array<Mask128, kMaxChains> chain_mask_{};
    // For the element at each place of the cover and each chain: the number
    // of the chain's elements below it, and the position of its first element
    // above it. Only the places and chains of the cover are written.
    std::array<std::array<std::uint8_t, kMaxChains>, kMaxElements> below_;
    std::array<std::array<std::uint8_t, kMaxChains>, kMaxElements> first_above_;
};

template <class Visit>
bool ChainCoordinates::for_each_run(Visit&& visit) const {
    const std::size_t last = cover_.chains - 1;
    // Per level j (the chains before j chosen): the bounds on every later
    // chain's coordinate, the elements chosen, the run number so far.
    std::array<Bounds, kMaxChains> low;
    std::array<Bounds, kMaxChains> high;
    std::array<std::uint8_t, kMaxChains> coordinate;
    std::array<Mask128, kMaxChains> elements;
    std::array<std::size_t, kMaxChains> number;
    std::array<std::size_t, kMaxChains> size;
    for (std::size_t k = 0; k < cover_.chains; ++k) {
        low[0][k] = 0;
        high[0][k] = cover_.length[k];
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
        elements[j + 1] = elements[j] | prefix(j, c);
        number[j + 1] = number[j] + c * stride_[j];
        size[j + 1] = size[j] + c;
        narrow(j, c, low[j], high[j], low[j + 1], high[j + 1]);
        ++j;
        coordinate[j] = low[j][j];
    }
}

}  // namespace quorvane::ideals
