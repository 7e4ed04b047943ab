#include "module_split.hpp"

#include <array>
#include <cstdint>
#include <vector>

namespace quorvane::ideals {
namespace {

// The connected component of x within `set` in the graph of incomparable pairs.
Mask128 incomparable_component_of(const OrderMasks& order, std::size_t x, Mask128 set) noexcept {
    Mask128 component = element_bit(x);
    for (Mask128 frontier = component; frontier != 0;) {
        Mask128 reached = 0;
        for_each_element(frontier, [&](std::size_t y) { reached |= ~(order.at_or_below[y] | order.at_or_above[y]); });
        frontier = reached & set & ~component;
        component |= frontier;
    }
    return component;
}

// Whether the smallest module within `set` that contains `seed` is the whole
// set. An outside element sees every member alike exactly when it lies above
// all of them, below all of them, or is comparable to none; the others join
// until none is left, or until the module reaches an element of `forcing`,
// which no module within `set` holds along with the seed but the whole set.
bool module_is_whole(const OrderMasks& order, Mask128 set, Mask128 seed, Mask128 forcing) noexcept {
    Mask128 module = 0;
    Mask128 above_all = set;
    Mask128 below_all = set;
    Mask128 comparable_to_some = 0;
    for (Mask128 joining = seed; joining != 0;) {
        if ((module | joining) == set || (joining & forcing) != 0) return true;
        for_each_element(joining, [&](std::size_t m) {
            above_all &= order.at_or_above[m];
            below_all &= order.at_or_below[m];
            comparable_to_some |= order.at_or_above[m] | order.at_or_below[m];
        });
        module |= joining;
        joining = set & ~module & comparable_to_some & ~above_all & ~below_all;
    }
    return false;
}

template <class ComponentOf>
std::vector<Mask128> components(Mask128 set, ComponentOf&& component_of) {
    std::vector<Mask128> parts;
    for (Mask128 rest = set; rest != 0;) {
        parts.push_back(component_of(lowest_element(rest), rest));
        rest &= ~parts.back();
    }
    return parts;
}

// The maximal modules within `set` that leave out v: split the rest by the
// elements that see its members differently until none is left. A piece of
// a part is seen alike by every element that saw the part alike, the splitter
// included, so only the others are tried on it, in the same ascending order.
std::vector<Mask128> maximal_modules_without(const OrderMasks& order, Mask128 set, std::size_t v) {
    struct Pending {
        Mask128 part;
        Mask128 untried;  // the outside elements that may see its members differently
    };
    std::vector<Mask128> modules;
    for (std::vector<Pending> pending{{set & ~element_bit(v), element_bit(v)}}; !pending.empty();) {
        const auto [part, untried] = pending.back();
        pending.pop_back();
        // A single element is a module whatever the others.
        if ((part & (part - 1)) == 0) {
            modules.push_back(part);
            continue;
        }
        Mask128 outside = untried;
        for (; outside != 0; outside &= outside - 1) {
            const std::size_t z = lowest_element(outside);
            const Mask128 below = part & order.at_or_below[z];
            const Mask128 above = part & order.at_or_above[z];
            if (below == part || above == part || (below | above) == 0) continue;
            const Mask128 later = outside & (outside - 1);
            for (Mask128 piece : {below, above, part & ~(below | above)}) {
                if (piece != 0) pending.push_back({piece, later | (part & ~piece)});
            }
            break;
        }
        if (outside == 0) modules.push_back(part);
    }
    return modules;
}

// With the set connected both ways, the maximal modules other than the set
// partition it. Those that leave out v are its parts, except the ones inside
// v's own part: exactly those that v and they together do not force the whole set.
std::vector<Mask128> prime_parts(const OrderMasks& order, Mask128 set) {
    const std::size_t v = lowest_element(set);
    std::vector<Mask128> parts;
    Mask128 own = element_bit(v);
    // Every module with v but the whole set lies in v's own part: one that
    // reaches a part known to lie outside it is the whole set.
    Mask128 outside_own = 0;
    for (Mask128 part : maximal_modules_without(order, set, v)) {
        if (module_is_whole(order, set, part | element_bit(v), outside_own)) {
            parts.push_back(part);
            outside_own |= part;
        } else {
            own |= part;
        }
    }
    parts.push_back(own);
    return parts;
}

}  // namespace

ModuleSplit split_into_modules(const OrderMasks& order, Mask128 set) {
    std::vector<Mask128> parts =
        components(set, [&](std::size_t x, Mask128 rest) { return order.component_of(x, rest); });
    if (parts.size() > 1) return {ModuleNode::parallel, std::move(parts)};
    parts = components(set, [&](std::size_t x, Mask128 rest) { return incomparable_component_of(order, x, rest); });
    if (parts.size() > 1) return {ModuleNode::series, std::move(parts)};
    return {ModuleNode::prime, prime_parts(order, set)};
}

void chained_order(const OrderMasks& order, Mask128 set, std::span<const Mask128> chains, OrderMasks& chained) {
    std::array<std::uint8_t, kMaxElements> renumbered{};
    std::size_t m = 0;
    for_each_element(set, [&](std::size_t x) { renumbered[x] = static_cast<std::uint8_t>(m++); });
    // Each run of consecutive members moves down as one block; the sets met
    // here are mostly a few runs, so this beats moving bit by bit.
    struct Run {
        std::size_t from;
        Mask128 bits;  // the run's length in low bits
        std::size_t to;
    };
    std::vector<Run> runs;
    for (Mask128 rest = set; rest != 0;) {
        const std::size_t from = lowest_element(rest);
        const std::size_t length = lowest_element(~(rest >> from));  // 128 when the run fills the mask
        const Mask128 bits = length == kMaxElements ? ~Mask128{0} : element_bit(length) - 1;
        runs.push_back({from, bits, renumbered[from]});
        rest &= ~(bits << from);
    }
    const auto renumber = [&](Mask128 old) {
        Mask128 mask = 0;
        for (const Run& run : runs) mask |= ((old >> run.from) & run.bits) << run.to;
        return mask;
    };
    chained.n = m;
    chained.all = m == kMaxElements ? ~Mask128{0} : element_bit(m) - 1;
    // The set is a module, hence convex: the given edges within it generate
    // its order, as they do the whole order.
    for_each_element(set, [&](std::size_t x) {
        const std::size_t u = renumbered[x];
        chained.predecessors[u] = renumber(order.predecessors[x] & set);
        chained.at_or_below[u] = renumber(order.at_or_below[x] & set);
        chained.at_or_above[u] = renumber(order.at_or_above[x] & set);
    });
    // Everything else sees a chain's members alike, and ascending order is a
    // linear extension: linking them adds the order among them and no more.
    for (Mask128 chain : chains) {
        const Mask128 members = renumber(chain);
        Mask128 earlier = 0;
        std::size_t previous = 0;
        for_each_element(members, [&](std::size_t u) {
            if (earlier != 0) chained.predecessors[u] |= element_bit(previous);
            chained.at_or_below[u] |= earlier;
            chained.at_or_above[u] |= members & elements_after(u);
            earlier |= element_bit(u);
            previous = u;
        });
    }
    for (std::size_t u = 0; u < m; ++u) {
        if (chained.predecessors[u] == 0) chained.minimal |= element_bit(u);
        for_each_element(chained.predecessors[u], [&](std::size_t p) { chained.successors[p] |= element_bit(u); });
    }
}

}  // namespace quorvane::ideals
