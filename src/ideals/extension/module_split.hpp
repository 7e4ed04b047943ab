// Modules of a poset: sets whose members every outside element sees alike
// (below all, above all, or incomparable to all). A set of two or more
// elements splits into its maximal strong modules in one of three ways.
#pragma once

#include <span>
#include <vector>

#include "../order_masks.hpp"

namespace quorvane::ideals {

enum class ModuleNode {
    parallel,  // the parts are the connected components: pairwise incomparable
    series,    // every element of one part is below every element of the next
    prime,     // neither; no union of two or more parts but the whole is a module
};

struct ModuleSplit {
    ModuleNode node;
    std::vector<Mask128> parts;
};

[[nodiscard]] ModuleSplit split_into_modules(const OrderMasks& order, Mask128 set);

// The order on `set`, a module, renumbered in ascending order, with the
// elements of each of `chains` (disjoint modules) linked into a chain in
// ascending order. The predecessors are the given edges within the set and
// the links: they generate the order, as the given edges do. Written into
// `chained`, which must be all zero, so that it is built where it is kept.
void chained_order(const OrderMasks& order, Mask128 set, std::span<const Mask128> chains, OrderMasks& chained);

}  // namespace quorvane::ideals
