// Ideals over chain coordinates (see chain_coordinates.hpp), counted by size
// without visiting them one by one. A run holds one ideal of each size from
// its smallest to its largest, so where runs are few the sizes are counted
// per run: as differences, summed once at the end.
//
// Where runs are many, the chains are taken one at a time instead. Once the
// coordinates of the first chains are chosen, which coordinates the later
// chains can take depends on those choices only through the bounds they set;
// so the choices that set the same bounds are merged, adding their size
// polynomials. On grid-like orders each chain's choice replaces the bounds of
// the ones before, and only a few bounds ever occur; elsewhere the merged
// choices soon grow too many, and the memo counts instead.
#include "methods.hpp"

#include <bit>
#include <limits>
#include <memory>

#include "../../common/cpu_dispatch.hpp"
#include "../../common/work_budget.hpp"
#include "../chain_coordinates.hpp"

namespace quorvane::ideals {
namespace {

// Work units (about a nanosecond each) per run, and per coefficient added.
constexpr std::uint64_t kRunWork = 16;
constexpr std::uint64_t kTermWork = 1;
// Merging choices pays over long chains, where each merged choice stands for
// many ideals; over chains shorter than this on average, the memo is faster.
constexpr std::size_t kMergedChainLength = 8;
// The merged choices give up at this many after one chain, or when the
// coefficients added reach this many: by then the memo is the faster way.
constexpr std::size_t kMaxMerged = std::size_t{1} << 6;
constexpr std::uint64_t kMaxTermsAdded = std::uint64_t{1} << 18;

using Bounds = ChainCoordinates::Bounds;

// Fewer ideals than coordinate tuples, which with at most kMaxChains chains
// of n ≤ 128 elements in all number below 2^57: 64 bits suffice.
using Terms = std::vector<std::uint64_t>;

KernelResult<std::optional<LayerSizes>> sizes_by_runs(const ChainCoordinates& coordinates, std::size_t n,
                                                      InterruptPoll interrupt) {
    Terms starting(n + 2);
    Terms ending(n + 2);
    WorkBudget budget(interrupt);
    const bool counted = coordinates.for_each_run([&](const CoordinateRun& run) {
        ++starting[run.size + run.low];
        ++ending[run.size + run.high + 1];
        return !budget.charge(kRunWork);
    });
    if (!counted) return std::unexpected(kInterrupted);
    LayerSizes sizes(n + 1);
    std::uint64_t open = 0;
    for (std::size_t k = 0; k <= n; ++k) {
        open += starting[k] - ending[k];
        sizes[k] = open;
    }
    return sizes;
}

// The choices for the chains so far that set the same bounds on the later
// chains, with the number of them that choose each number of elements.
struct Merged {
    Bounds low;
    Bounds high;
    std::size_t least;  // elements chosen, fewest and most
    std::size_t most;
};

// The merged choices after one more chain, found by their bounds.
class MergedLevel {
public:
    explicit MergedLevel(std::size_t n) : terms_per_(n + 1), slot_(kSlots, kEmpty) {}

    std::span<const Merged> merged() const noexcept { return merged_; }
    const std::uint64_t* terms(std::size_t index) const noexcept { return terms_.data() + index * terms_per_; }

    // The index of the merged choices with these bounds (zero for the chains
    // already chosen), added when new; nullopt when full.
    std::optional<std::size_t> find(const Bounds& low, const Bounds& high) {
        std::uint64_t hash = 0;
        for (std::size_t k = 0; k < low.size(); ++k) hash = (hash ^ (low[k] | std::uint64_t{high[k]} << 8)) * 0x9E3779B97F4A7C15;
        for (std::size_t at = hash >> (64 - kSlotBits);; at = (at + 1) % kSlots) {
            if (slot_[at] == kEmpty) {
                if (merged_.size() == kMaxMerged) return std::nullopt;
                slot_[at] = static_cast<std::uint32_t>(merged_.size());
                merged_.push_back({low, high, std::numeric_limits<std::size_t>::max(), 0});
                terms_.resize(terms_.size() + terms_per_);
                return slot_[at];
            }
            const Merged& other = merged_[slot_[at]];
            if (other.low == low && other.high == high) return slot_[at];
        }
    }

    // Adds the choices of `from`, each with `chosen` more elements.
    void add(std::size_t index, const Merged& from, const std::uint64_t* from_terms, std::size_t chosen) noexcept {
        Merged& to = merged_[index];
        std::uint64_t* to_terms = terms_.data() + index * terms_per_ + chosen;
        for (std::size_t k = from.least; k <= from.most; ++k) to_terms[k] += from_terms[k];
        to.least = std::min(to.least, from.least + chosen);
        to.most = std::max(to.most, from.most + chosen);
    }

private:
    static constexpr std::uint32_t kEmpty = std::numeric_limits<std::uint32_t>::max();
    // At most half full.
    static constexpr int kSlotBits = std::bit_width(2 * kMaxMerged - 1);
    static constexpr std::size_t kSlots = std::size_t{1} << kSlotBits;

    std::size_t terms_per_;
    std::vector<Merged> merged_;
    Terms terms_;
    std::vector<std::uint32_t> slot_;
};

KernelResult<std::optional<LayerSizes>> sizes_by_merged_choices(const ChainCoordinates& coordinates, std::size_t n,
                                                                InterruptPoll interrupt) {
    WorkBudget budget(interrupt);
    std::uint64_t terms_added = 0;
    MergedLevel level(n);
    Bounds low{};
    Bounds high{};
    for (std::size_t k = 0; k < coordinates.chains(); ++k) high[k] = static_cast<std::uint8_t>(coordinates.length(k));
    const std::size_t start = *level.find(low, high);
    const std::uint64_t one = 1;
    level.add(start, {low, high, 0, 0}, &one, 0);
    for (std::size_t chain = 0; chain < coordinates.chains(); ++chain) {
        MergedLevel next(n);
        for (std::size_t index = 0; index < level.merged().size(); ++index) {
            const Merged& from = level.merged()[index];
            Bounds next_low{};
            Bounds next_high{};
            for (std::size_t c = from.low[chain]; c <= from.high[chain]; ++c) {
                coordinates.narrow(chain, c, from.low, from.high, next_low, next_high);
                const std::optional<std::size_t> to = next.find(next_low, next_high);
                if (!to) return std::nullopt;
                next.add(*to, from, level.terms(index), c);
                const std::uint64_t added = from.most - from.least + 1;
                if ((terms_added += added) > kMaxTermsAdded) return std::nullopt;
                if (budget.charge(kTermWork * added)) return std::unexpected(kInterrupted);
            }
        }
        level = std::move(next);
    }
    // After the last chain no bounds are left: one merged choice, every ideal.
    const std::uint64_t* terms = level.terms(0);
    return LayerSizes(terms, terms + n + 1);
}

}  // namespace

QUORVANE_DISPATCHED KernelResult<std::optional<LayerSizes>> layer_sizes_by_coordinates(const OrderMasks& order,
                                                                                     std::size_t max_runs,
                                                                                     InterruptPoll interrupt) {
    const std::optional<ChainCover> cover =
        chain_cover(order, CoverKind::greedy, std::numeric_limits<std::size_t>::max());
    // Each component of a disconnected poset multiplies the runs of the others.
    if (!cover || order.component_of(0, order.all) != order.all) return std::nullopt;
    const bool by_runs = cover->runs <= max_runs;
    if (!by_runs && order.n < kMergedChainLength * cover->chains) return std::nullopt;
    const auto coordinates = std::make_unique<const ChainCoordinates>(order, *cover);
    return by_runs ? sizes_by_runs(*coordinates, order.n, interrupt)
                   : sizes_by_merged_choices(*coordinates, order.n, interrupt);
}

}  // namespace quorvane::ideals
