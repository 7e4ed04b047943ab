// A sweep over the ideals of Q = P ∖ N, where N holds the minimal elements of
// P, layer by layer, with memory for two layers. The elements of N are not
// swept but inserted: in a linear extension each n ∈ N comes anywhere before
// its first successor. Going through a linear extension of Q, when x is the
// (k+1)-th element and the first successor of c elements of N, a of them
// placed before, these c elements go into the slots before x, one after
// another, in (k+a+1)···(k+a+c) ways. This depends on the ideal I of the k
// elements before x and on x only, so W(I ∪ x) = Σ_x W(I)·that product sums
// over the maximal elements x, and W(Q) = e(P). Q has fewer ideals than P,
// and far fewer on wide orders.
//
// W(I) = e(I ∪ A(I)), A(I) the elements of N with a successor in I, and
// the rest R = P ∖ (I ∪ A(I)) is an up-set. So every number met is at most
// the count, and an overflow anywhere proves overflow. Moreover e(P) is at
// least the sum over the ideals I of one size of W(I)·e(R), and e(R) is at
// least |R|!/H(R) with H(S) = ∏_{x∈S}|↑x|. With H(R) = H(P)/H(I ∪ A(I)), the
// weight W(I)·H(I ∪ A(I)) follows W's sum rule, each term times the |↑x| of
// the elements placed. Once the bound passes 2^128 the count overflows,
// which usually shows long before the last layer.
//
// Where the hook bounds fall short and the layers grow large, a sweep that
// keeps only the most promising ideals of each layer still decides many
// overflows: its W counts the maximal chains of ideals through kept ideals
// only, distinct linear extensions all the same, so every bound it yields
// is still a proof. Such a pruned sweep runs from a copy of the layer now
// and then; it never yields a count, only an overflow. Once a layer would
// outgrow the memory its weights take, a last pruned sweep runs, and the
// sweep goes on without the weights: its counts still decide an overflow,
// only later.
#include "methods.hpp"

#include <algorithm>
#include <array>
#include <functional>
#include <memory>
#include <new>
#include <type_traits>
#include <utility>
#include <vector>

#include "../../common/cpu_dispatch.hpp"
#include "../../common/work_budget.hpp"
#include "bounds.hpp"
#include "frontier.hpp"
#include "../mask_map.hpp"

namespace quorvane::ideals {
namespace {

// Work units (about a nanosecond each) per child of an ideal.
constexpr std::uint64_t kChildWork = 32;
// Lookups in a layer far larger than the caches wait on memory: each key's
// slot is fetched this many insertions ahead.
constexpr std::size_t kPrefetchDistance = 16;
// Layers below this size stay in the caches, where fetching ahead only costs.
constexpr std::size_t kFetchAheadIdeals = std::size_t{1} << 13;
// A layer of ideals with their weights, up to 48 bytes a slot at most 5/8
// full, takes about 0.4 GB at this size; beyond it the exact sweep drops the
// weights, after a last pruned sweep.
constexpr std::size_t kMaxWeightedIdeals = std::size_t{1} << 22;
// Without weights a slot takes 32 bytes: about 0.5 GB for a layer of this
// size, some 1.3 GB for two with the growth of the second. Beyond it the sweep
// ends with MemoryError rather than exhaust the machine.
constexpr std::size_t kMaxLayerIdeals = std::size_t{1} << 23;
// A pruned sweep prunes each layer it builds back to the ideals it keeps, and
// does so on the way too once the layer holds this many times as many (never
// more than kMaxPrunedIdeals): each pruning costs about as much as building
// the ideals it drops, so its share of the work stays small.
constexpr std::size_t kPrunedGrowth = 8;
constexpr std::size_t kMaxPrunedIdeals = std::size_t{1} << 21;
// Started from a copy of a layer, a pruned sweep keeps this share of the
// layer's size: on ladders even a small share decides an overflow, and an
// exact sweep whose count fits loses only a few per cent of its time.
constexpr std::size_t kPrunedShare = 16;
// The last pruned sweep, before the weights go, has no later chance: it keeps more.
constexpr std::size_t kLastPrunedKept = std::size_t{1} << 20;
// The first pruned sweep starts from a layer of this many ideals, each later
// one from a layer this much larger. Layers smaller than that take little time
// to sweep exactly.
constexpr std::size_t kFirstPrunedFrom = std::size_t{1} << 15;
constexpr std::size_t kPrunedFromGrowth = 8;

// The values of an ideal I of Q, keyed by I ∪ N, which is never empty.
template <class Ways, bool kWeighted>
struct Ideal {
    Ways ways;      // W(I)
    double weight;  // at most W(I)·H(I ∪ A(I))
};

template <class Ways>
struct Ideal<Ways, false> {
    Ways ways;
};

// a·b, false when it does not fit.
inline bool multiply(std::uint64_t& a, std::uint64_t b) noexcept { return !__builtin_mul_overflow(a, b, &a); }
inline bool multiply(Count& a, std::uint64_t b) noexcept {
    const Count low = static_cast<Count>(static_cast<std::uint64_t>(a)) * b;
    const Count high = (a >> kWordBits) * b;
    if ((high >> kWordBits) != 0) return false;
    return !__builtin_add_overflow(low, high << kWordBits, &a);
}

template <class Ways, bool kWeighted>
using Layer = MaskMap<Ideal<Ways, kWeighted>>;

// The same ideals with other value types, moved out of `layer`.
template <class ToWays, bool kToWeighted, class Ways, bool kWeighted>
Layer<ToWays, kToWeighted> converted(Layer<Ways, kWeighted>& layer, WorkBudget& budget) {
    Layer<ToWays, kToWeighted> result(budget);
    result.reserve(layer.size());
    layer.for_each([&](Mask128 key, const Ideal<Ways, kWeighted>& entry) {
        Ideal<ToWays, kToWeighted>& copy = *result.insert(key).first;
        copy.ways = entry.ways;
        if constexpr (kToWeighted) copy.weight = entry.weight;
        return true;
    });
    layer = Layer<Ways, kWeighted>(budget);
    return result;
}

// How a layer's step ended: the next layer built; a count outgrew Ways; the
// next layer outgrew the weighted entries.
enum class StepEnd { done, widen, unweigh };

// Bounded sweeps keep the weights and bounds that decide overflow while the
// layers are small enough; the others count a poset whose count is known to
// fit, and skip them. A pruned sweep, a copy, charges the same budget.
template <bool kBounded>
class Sweep {
public:
    Sweep(const OrderMasks& order, const FrontierTable& frontiers, SweepLimits limits, WorkBudget& budget)
        : order_(order), frontiers_(frontiers), limits_(limits), budget_(budget), inserted_(order.minimal) {
        for (std::size_t x = 0; x < order.n; ++x) inserted_below_[x] = order.predecessors[x] & inserted_;
        if (!kBounded) return;
        double whole_hook = 1;
        for (std::size_t x = 0; x < order.n; ++x) {
            up_size_[x] = static_cast<double>(element_count(order.at_or_above[x]));
            whole_hook = times_up(whole_hook, up_size_[x]);
        }
        double factorial = 1;
        for (std::size_t rest = 0; rest <= order.n; ++rest) {
            if (rest > 1) factorial = times_down(factorial, static_cast<double>(rest));
            rest_factor_[rest] = divided_down(factorial, whole_hook);
        }
    }

    // Requires a connected poset: then every element of N has a successor.
    KernelResult<std::optional<Count>> run() {
        if (order_.n < 2) return Count{1};
        Layer<std::uint64_t, kBounded> first(budget_);
        Ideal<std::uint64_t, kBounded>& empty = *first.insert(inserted_).first;
        empty.ways = 1;
        if constexpr (kBounded) empty.weight = 1;
        return finish(first);
    }

private:
    // Advances `layer` to the full set and returns the count there; nullopt
    // when the ideal budget is spent or the sweep was pruned.
    template <class Ways, bool kWeighted>
    KernelResult<std::optional<Count>> finish(Layer<Ways, kWeighted>& layer) {
        const KernelResult<std::optional<StepEnd>> end = run_layers(layer);
        if (!end) return std::unexpected(end.error());
        if (!*end) return std::nullopt;
        if (**end == StepEnd::widen) {
            if constexpr (std::is_same_v<Ways, Count>) {
                return std::unexpected(kCountOverflow);
            } else {
                // Some count needs more than 64 bits: the same layer again, with wide counts.
                Layer<Count, kWeighted> wide = converted<Count, kWeighted>(layer, budget_);
                return finish(wide);
            }
        }
        if constexpr (kWeighted) {
            if (**end == StepEnd::unweigh) {
                const KernelResult<void> probed = probe(layer, kLastPrunedKept);
                if (!probed) return std::unexpected(probed.error());
                Layer<Ways, false> light = converted<Ways, false>(layer, budget_);
                return finish(light);
            }
        }
        const Count ways = layer.find(order_.all)->ways;
        if (kept_ == 0) return ways;
        if (times_down(limits_.known_factor, count_down(ways)) >= kCountOverflowBound) {
            return std::unexpected(kCountOverflow);
        }
        return std::nullopt;
    }

    // Advances `layer` to the full set, or stops with it intact when the next
    // layer outgrows its entries; nullopt when the ideal budget is spent.
    template <class Ways, bool kWeighted>
    KernelResult<std::optional<StepEnd>> run_layers(Layer<Ways, kWeighted>& layer) {
        Layer<Ways, kWeighted> next(budget_);
        for (const std::size_t swept = order_.n - element_count(inserted_); size_ < swept; ++size_) {
            if constexpr (kWeighted) {
                if (kept_ == 0 && layer.size() >= pruned_from_) {
                    const KernelResult<void> probed = probe(layer, pruned_from_ / kPrunedShare);
                    if (!probed) return std::unexpected(probed.error());
                    pruned_from_ = checked_size(pruned_from_, kPrunedFromGrowth);
                }
            }
            double bound = 0;
            const KernelResult<StepEnd> stepped = step(layer, next, bound);
            if (!stepped) return std::unexpected(stepped.error());
            if (*stepped != StepEnd::done) return *stepped;
            if (times_down(limits_.known_factor, bound) >= kCountOverflowBound) return std::unexpected(kCountOverflow);
            if constexpr (kWeighted) prune(next, size_ + 1);
            std::swap(layer, next);
            next.clear();
            visited_ += layer.size();
            if (visited_ > limits_.max_ideals) return std::nullopt;
        }
        return StepEnd::done;
    }

    // Runs a pruned sweep from the `kept` most promising ideals of `layer`;
    // fails with the overflow it decides, or when interrupted.
    template <class Ways>
    KernelResult<void> probe(const Layer<Ways, true>& layer, std::size_t kept) {
        const auto pruned = std::make_unique<Sweep>(*this);
        pruned->kept_ = kept;
        pruned->limits_.max_ideals = ~std::uint64_t{0};
        // Only the ideals kept are copied: the layer may take hundreds of megabytes.
        Layer<Ways, true> start(budget_);
        start.reserve(std::min(kept, layer.size()));
        auto promising = pruned->most_promising(layer, size_);
        layer.for_each([&](Mask128 key, const Ideal<Ways, true>& entry) {
            if (promising(key, entry)) *start.insert(key).first = entry;
            return true;
        });
        const KernelResult<std::optional<Count>> end = pruned->finish(start);
        if (!end) return std::unexpected(end.error());
        return {};
    }

    // The most entries the next layer may take: beyond that a pruned sweep
    // prunes it, an exact one drops the weights or gives up.
    template <bool kWeighted>
    std::size_t layer_room() const noexcept {
        if (kept_ != 0) return std::min(kPrunedGrowth * kept_, kMaxPrunedIdeals) - 1;
        return kWeighted ? kMaxWeightedIdeals : kMaxLayerIdeals;
    }

    // Handles the layer being built outgrowing its room; true when the step must stop.
    template <class Ways, bool kWeighted>
    [[gnu::cold, gnu::noinline]] bool outgrown(Layer<Ways, kWeighted>& next) {
        if constexpr (!kWeighted) {
            throw std::bad_alloc();
        } else {
            if (kept_ == 0) return true;
            prune(next, size_ + 1);
            return false;
        }
    }

    // Keeps the kept_ ideals of `layer`, all of `size` elements, that promise
    // the most; keeps all in an exact sweep.
    template <class Ways>
    void prune(Layer<Ways, true>& layer, std::size_t size) const {
        if (kept_ == 0 || layer.size() <= kept_) return;
        auto promising = most_promising(layer, size);
        layer.retain_if(promising);
    }

    // A test that holds for the kept_ ideals of `layer`, all of `size`
    // elements, that promise the most extensions (for all of them if it holds
    // no more): W(I)·|R|!/H(R), the bound's term. Visiting the layer in slot
    // order, it holds for exactly that many.
    template <class Ways>
    auto most_promising(const Layer<Ways, true>& layer, std::size_t size) const {
        const auto promise = [this, size](Mask128 key, const Ideal<Ways, true>& entry) {
            return entry.weight * rest_factor_[order_.n - size - element_count(frontiers_.of(key).absorbed)];
        };
        double least = -1;
        std::size_t ties = 0;
        if (layer.size() > kept_) {
            std::vector<double> promises;
            promises.reserve(layer.size());
            layer.for_each([&](Mask128 key, const Ideal<Ways, true>& entry) {
                promises.push_back(promise(key, entry));
                return true;
            });
            const auto last_kept = promises.begin() + static_cast<std::ptrdiff_t>(kept_ - 1);
            std::ranges::nth_element(promises, last_kept, std::greater{});
            least = *last_kept;
            // Ideals that promise exactly the least kept amount fill what is left.
            ties = 1 + static_cast<std::size_t>(std::count(promises.begin(), last_kept, least));
        }
        return [promise, least, ties](Mask128 key, const Ideal<Ways, true>& entry) mutable {
            const double promised = promise(key, entry);
            if (promised > least) return true;
            if (promised < least || ties == 0) return false;
            --ties;
            return true;
        };
    }

    // Builds the next layer and bounds the count from this one.
    template <class Ways, bool kWeighted>
    KernelResult<StepEnd> step(const Layer<Ways, kWeighted>& layer, Layer<Ways, kWeighted>& next, double& bound) {
        struct Pending {
            Mask128 key;
            std::uint64_t hash;
            Ideal<Ways, kWeighted> values;
        };
        std::array<Pending, kPrefetchDistance> pending;
        std::size_t pending_count = 0;
        std::size_t oldest = 0;
        bool fits = true;
        bool unweigh = false;
        const std::size_t room = layer_room<kWeighted>();
        const auto settle = [&](const Pending& p) __attribute__((always_inline)) {
            if (!fits || unweigh) return;
            const auto [slot, inserted_new] = next.insert(p.key, p.hash);
            if (inserted_new) {
                *slot = p.values;
                if (next.size() > room) [[unlikely]] unweigh = outgrown(next);
            } else {
                fits = !__builtin_add_overflow(slot->ways, p.values.ways, &slot->ways);
                if constexpr (kWeighted) slot->weight = plus_down(slot->weight, p.values.weight);
            }
        };
        const bool fetch_ahead = layer.size() >= kFetchAheadIdeals;
        KernelError stop{};
        const bool swept = layer.for_each([&](Mask128 key, const Ideal<Ways, kWeighted>& entry) {
            const IdealFrontier frontier = frontiers_.of(key);
            const std::uint64_t placed = size_ + element_count(frontier.absorbed);
            if constexpr (kWeighted) {
                bound = plus_down(bound, times_down(entry.weight, rest_factor_[order_.n - placed]));
            }
            std::uint64_t work = kChildWork;
            for (Mask128 addable = frontier.addable; addable != 0 && fits; addable &= addable - 1) {
                work += kChildWork;
                const std::size_t added = lowest_element(addable);
                // The ring's oldest child makes way; without fetching ahead its slot is all there is.
                Pending& child = pending[oldest];
                if (fetch_ahead) {
                    if (pending_count == kPrefetchDistance) {
                        settle(child);
                    } else {
                        ++pending_count;
                    }
                }
                child = {key | (addable & -addable), 0, entry};
                if constexpr (kWeighted) child.values.weight = times_down(entry.weight, up_size_[added]);
                std::uint64_t slots = placed;
                for_each_element(inserted_below_[added] & ~frontier.absorbed, [&](std::size_t m) {
                    ++slots;
                    fits = fits && multiply(child.values.ways, slots);
                    if constexpr (kWeighted) {
                        child.values.weight =
                            times_down(times_down(child.values.weight, static_cast<double>(slots)), up_size_[m]);
                    }
                });
                child.hash = mask_hash(child.key);
                if (!fetch_ahead) {
                    settle(child);
                    continue;
                }
                next.prefetch_hashed(child.hash);
                oldest = (oldest + 1) % kPrefetchDistance;
            }
            if (!fits || unweigh) return false;
            if (!budget_.charge(work)) return true;
            stop = kInterrupted;
            return false;
        });
        if (!swept && fits && !unweigh) return std::unexpected(stop);
        for (std::size_t k = 0; k < pending_count; ++k) {
            settle(pending[(oldest + kPrefetchDistance - pending_count + k) % kPrefetchDistance]);
        }
        if (!fits) return StepEnd::widen;
        return unweigh ? StepEnd::unweigh : StepEnd::done;
    }

    const OrderMasks& order_;
    const FrontierTable& frontiers_;
    SweepLimits limits_;
    WorkBudget& budget_;
    Mask128 inserted_;  // N
    std::array<Mask128, kMaxElements> inserted_below_{};  // the predecessors of each element in N
    std::array<double, kMaxElements> up_size_{};
    std::array<double, kMaxElements + 1> rest_factor_{};  // at most r!/H(P)
    std::size_t size_ = 0;  // |I| for the ideals of the current layer
    std::uint64_t visited_ = 0;
    std::size_t kept_ = 0;  // ideals kept per layer by a pruned sweep; 0 while exact
    std::size_t pruned_from_ = kFirstPrunedFrom;  // the layer size at which the next pruned sweep starts
};

}  // namespace

QUORVANE_DISPATCHED KernelResult<std::optional<Count>> count_by_sweep(const OrderMasks& order, SweepLimits limits,
                                                                    InterruptPoll interrupt) {
    const FrontierTable frontiers(order);
    return interruptible(interrupt, [&](WorkBudget& budget) {
        // On the heap, as the pruned sweeps are: the per-element tables take 4 KB.
        if (limits.count_fits) return std::make_unique<Sweep<false>>(order, frontiers, limits, budget)->run();
        return std::make_unique<Sweep<true>>(order, frontiers, limits, budget)->run();
    });
}

}  // namespace quorvane::ideals
