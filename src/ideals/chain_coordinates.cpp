// A chain cover is a matching of each element to the next one of its chain,
// and the cover with most links has fewest chains. Greedy links along the
// given edges come first; then, for the fewest chains, each chain end looks
// once for an augmenting path, which after a failure it would never find later.
#include "chain_coordinates.hpp"

#include <bit>

#include "../common/cpu_dispatch.hpp"

namespace quorvane::ideals {
namespace {

constexpr std::uint8_t kNone = 0xFF;  // no element has this number

using Links = std::array<std::uint8_t, kMaxElements>;

// Whether the antichain of the elements of some height alone needs more chains than fit.
bool too_wide(const OrderMasks& order) noexcept {
    std::array<std::uint8_t, kMaxElements> height{};
    std::array<std::uint8_t, kMaxElements + 1> level_size{};
    for (std::size_t x = 0; x < order.n; ++x) {
        for_each_element(order.predecessors[x],
                         [&](std::size_t p) { height[x] = std::max(height[x], static_cast<std::uint8_t>(height[p] + 1)); });
        if (++level_size[height[x]] > ChainCover::kMaxChains) return true;
    }
    return false;
}

// Links the chain ending at `end` to a chain start by an alternating path, breadth first.
bool link_chain_end(const OrderMasks& order, std::size_t end, Links& next, Links& previous) noexcept {
    Links reached_from;
    std::array<std::uint8_t, kMaxElements> queue;
    std::size_t head = 0;
    std::size_t tail = 0;
    queue[tail++] = static_cast<std::uint8_t>(end);
    Mask128 reached = 0;
    while (head < tail) {
        const std::size_t u = queue[head++];
        for (Mask128 fresh = order.at_or_above[u] & ~element_bit(u) & ~reached; fresh != 0; fresh &= fresh - 1) {
            const std::size_t y = lowest_element(fresh);
            reached |= element_bit(y);
            reached_from[y] = static_cast<std::uint8_t>(u);
            if (previous[y] != kNone) {
                queue[tail++] = previous[y];
                continue;
            }
            for (std::size_t link_to = y;;) {
                const std::size_t from = reached_from[link_to];
                const std::uint8_t unlinked = next[from];
                next[from] = static_cast<std::uint8_t>(link_to);
                previous[link_to] = static_cast<std::uint8_t>(from);
                if (unlinked == kNone) return true;
                link_to = unlinked;
            }
        }
    }
    return false;
}

}  // namespace

QUORVANE_DISPATCHED std::optional<ChainCover> chain_cover(const OrderMasks& order, CoverKind kind,
                                                          std::size_t max_runs) noexcept {
    if (order.n == 0 || (kind == CoverKind::fewest && too_wide(order))) return std::nullopt;
    Links next;
    Links previous;
    next.fill(kNone);
    previous.fill(kNone);
    // Each chain but the last at least doubles the run numbers; the greedy
    // cover is given up as soon as it has too many.
    const std::size_t most_greedy_chains =
        std::min(ChainCover::kMaxChains, static_cast<std::size_t>(std::bit_width(max_runs)));
    std::size_t started = 0;
    const std::optional<Mask128> ends = greedy_chains(
        order,
        [&](std::size_t p, std::size_t x) {
            next[p] = static_cast<std::uint8_t>(x);
            previous[x] = static_cast<std::uint8_t>(p);
        },
        [&](std::size_t) { return ++started <= most_greedy_chains || kind == CoverKind::fewest; });
    if (!ends) return std::nullopt;
    if (kind == CoverKind::fewest) {
        for_each_element(*ends, [&](std::size_t end) { link_chain_end(order, end, next, previous); });
    }

    std::array<std::uint8_t, ChainCover::kMaxChains> starts;
    std::array<std::uint8_t, ChainCover::kMaxChains> lengths;
    std::size_t chains = 0;
    for (std::size_t x = 0; x < order.n; ++x) {
        if (previous[x] != kNone) continue;
        if (chains == ChainCover::kMaxChains) return std::nullopt;
        std::size_t length = 1;
        for (std::size_t y = x; next[y] != kNone; y = next[y]) ++length;
        starts[chains] = static_cast<std::uint8_t>(x);
        lengths[chains++] = static_cast<std::uint8_t>(length);
    }
    std::array<std::uint8_t, ChainCover::kMaxChains> by_length;
    for (std::size_t c = 0; c < chains; ++c) by_length[c] = static_cast<std::uint8_t>(c);
    std::sort(by_length.begin(), by_length.begin() + static_cast<std::ptrdiff_t>(chains),
              [&](std::uint8_t a, std::uint8_t b) { return lengths[a] < lengths[b] || (lengths[a] == lengths[b] && a < b); });
    std::size_t runs = 1;
    for (std::size_t c = 0; c + 1 < chains; ++c) {
        if (__builtin_mul_overflow(runs, lengths[by_length[c]] + std::size_t{1}, &runs) || runs > max_runs) {
            return std::nullopt;
        }
    }

    std::optional<ChainCover> cover{std::in_place};
    cover->chains = chains;
    cover->runs = runs;
    std::size_t placed = 0;
    for (std::size_t c = 0; c < chains; ++c) {
        cover->length[c] = lengths[by_length[c]];
        cover->start[c] = static_cast<std::uint8_t>(placed);
        for (std::size_t y = starts[by_length[c]]; y != kNone; y = next[y]) {
            cover->element[placed++] = static_cast<std::uint8_t>(y);
        }
    }
    return cover;
}

}  // namespace quorvane::ideals
