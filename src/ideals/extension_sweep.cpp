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
// and then, and the sweep itself goes on pruned once a layer would outgrow
// the memory; a pruned sweep never yields a count, only an overflow.
#include "extension_methods.hpp"

#include <algorithm>
#include <array>
#include <functional>
#include <new>
#include <type_traits>
#include <utility>
#include <vector>

#include "../common/cpu_dispatch.hpp"
#include "../common/work_budget.hpp"
#include "extension_bounds.hpp"
#include "mask_map.hpp"

namespace quorvane::ideals {
namespace {

// Work units (about a nanosecond each) per child of an ideal.
constexpr std::uint64_t kChildWork = 32;
// Lookups in a layer far larger than the caches wait on memory: each key's
// slot is fetched this many insertions ahead.
constexpr std::size_t kPrefetchDistance = 16;
// Layers below this size stay in the caches, where fetching ahead only costs.
constexpr std::size_t kFetchAheadIdeals = std::size_t{1} << 13;
// About 0.5 GB for the layer being built, whose table is at most 5/8 full;
// beyond that the sweep goes on pruned, and ends with MemoryError unless it
// decides an overflow, rather than exhaust the machine.
constexpr std::size_t kMaxLayerIdeals = std::size_t{1} << 22;
// A pruned sweep prunes each layer it builds back to the ideals it keeps, and
// does so on the way too once the layer holds this many times as many (never
// more than the cap): each pruning costs about as much as building the ideals
// it drops, so its share of the work stays small.
constexpr std::size_t kPrunedGrowth = 8;
// Started from a copy of a layer, a pruned sweep keeps this share of the
// layer's size: on ladders even a small share decides an overflow, and an
// exact sweep whose count fits loses only a few per cent of its time.
constexpr std::size_t kPrunedShare = 16;
// The sweep itself, pruned at the cap, has no later chance: it keeps more.
constexpr std::size_t kCappedKept = kMaxLayerIdeals / 4;
// The first pruned sweep starts from a layer of this many ideals, each later
// one from a layer this much larger. Layers smaller than that take little time
// to sweep exactly.
constexpr std::size_t kFirstPrunedFrom = std::size_t{1} << 15;
constexpr std::size_t kPrunedFromGrowth = 8;

// An ideal I of Q, keyed by I ∪ N, which is never empty.
template <class Ways>
struct Ideal {
    Mask128 frontier;  // A(I), and the elements of Q outside I whose predecessors in Q are all in I
    Ways ways;         // W(I)
    double weight;     // at most W(I)·H(I ∪ A(I))
    std::uint32_t inserted;  // |A(I)|, in what would be the slot's padding
};

// a·b, false when it does not fit.
inline bool multiply(std::uint64_t& a, std::uint64_t b) noexcept { return !__builtin_mul_overflow(a, b, &a); }
inline bool multiply(Count& a, std::uint64_t b) noexcept {
    const Count low = static_cast<Count>(static_cast<std::uint64_t>(a)) * b;
    const Count high = (a >> kWordBits) * b;
    if ((high >> kWordBits) != 0) return false;
    return !__builtin_add_overflow(low, high << kWordBits, &a);
}

template <class Ways>
using Layer = MaskMap<Ideal<Ways>>;

enum class StepEnd { done, widen };

// Bounded sweeps keep the weights and bounds that decide overflow; the others
// count a poset whose count is known to fit, and skip them.
template <bool kBounded>
class Sweep {
public:
    Sweep(const OrderMasks& order, SweepLimits limits, InterruptPoll interrupt)
        : order_(order), limits_(limits), budget_(interrupt), inserted_(order.minimal) {
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
        Layer<std::uint64_t> narrow;
        Mask128 first = 0;
        for_each_element(order_.all & ~inserted_, [&](std::size_t x) {
            if ((order_.predecessors[x] & ~inserted_) == 0) first |= element_bit(x);
        });
        *narrow.insert(inserted_).first = {first, 1, 1, 0};
        KernelResult<std::optional<Count>> count = finish(narrow);
        if (count && !*count && kept_ != 0) throw std::bad_alloc();
        return count;
    }

private:
    // Advances `layer` to the full set and returns the count there; nullopt
    // when the ideal budget is spent or the sweep was pruned.
    template <class Ways>
    KernelResult<std::optional<Count>> finish(Layer<Ways>& layer) {
        const KernelResult<std::optional<StepEnd>> end = run_layers(layer);
        if (!end) return std::unexpected(end.error());
        if (!*end) return std::nullopt;
        if (**end == StepEnd::widen) {
            if constexpr (std::is_same_v<Ways, Count>) {
                return std::unexpected(kCountOverflow);
            } else {
                // Some count needs more than 64 bits: the same layer again, with wide counts.
                Layer<Count> wide;
                wide.reserve(layer.size());
                layer.for_each([&](Mask128 key, const Ideal<std::uint64_t>& entry) {
                    *wide.insert(key).first = {entry.frontier, entry.ways, entry.weight, entry.inserted};
                    return true;
                });
                layer = {};
                return finish(wide);
            }
        }
        const Count ways = layer.find(order_.all)->ways;
        if (kept_ == 0) return ways;
        if (times_down(limits_.known_factor, count_down(ways)) >= kCountOverflowBound) {
            return std::unexpected(kCountOverflow);
        }
        return std::nullopt;
    }

    // Advances `layer` to the full set, or stops with it intact when a count
    // outgrows Ways; nullopt when the ideal budget is spent.
    template <class Ways>
    KernelResult<std::optional<StepEnd>> run_layers(Layer<Ways>& layer) {
        Layer<Ways> next;
        for (const std::size_t swept = order_.n - element_count(inserted_); size_ < swept; ++size_) {
            if (kept_ == 0 && kBounded && layer.size() >= pruned_from_) {
                const KernelResult<void> probed = probe(layer);
                if (!probed) return std::unexpected(probed.error());
            }
            double bound = 0;
            KernelResult<bool> stepped = step(layer, next, bound);
            if (!stepped) return std::unexpected(stepped.error());
            if (!*stepped) return StepEnd::widen;
            if (times_down(limits_.known_factor, bound) >= kCountOverflowBound) return std::unexpected(kCountOverflow);
            if (kept_ != 0) prune(next, size_ + 1);
            std::swap(layer, next);
            next.clear();
            visited_ += layer.size();
            if (visited_ > limits_.max_ideals) return std::nullopt;
        }
        return StepEnd::done;
    }

    // Runs a pruned sweep from the most promising ideals of `layer`, which
    // holds more than it keeps; fails with the overflow it decides, or when
    // interrupted.
    template <class Ways>
    KernelResult<void> probe(const Layer<Ways>& layer) {
        Sweep pruned(*this);
        pruned.keep(pruned_from_ / kPrunedShare);
        pruned.limits_.max_ideals = ~std::uint64_t{0};
        pruned_from_ = checked_size(pruned_from_, kPrunedFromGrowth);
        // Only the ideals kept are copied: the layer may take half a gigabyte.
        Layer<Ways> start;
        start.reserve(pruned.kept_);
        auto promising = pruned.most_promising(layer, size_);
        layer.for_each([&](Mask128 key, const Ideal<Ways>& entry) {
            if (promising(entry)) *start.insert(key).first = entry;
            return true;
        });
        const KernelResult<std::optional<Count>> end = pruned.finish(start);
        budget_ = pruned.budget_;
        if (!end) return std::unexpected(end.error());
        return {};
    }

    void keep(std::size_t kept) noexcept {
        kept_ = kept;
        full_layer_ = std::min(kPrunedGrowth * kept, kMaxLayerIdeals);
    }

    // Prunes the layer being built, and from now on every layer if the sweep
    // was exact. A count known to fit gives a pruned sweep nothing to decide.
    template <class Ways>
    [[gnu::cold, gnu::noinline]] void prune_full(Layer<Ways>& next) {
        if (!kBounded) throw std::bad_alloc();
        if (kept_ == 0) keep(kCappedKept);
        prune(next, size_ + 1);
    }

    // Keeps the kept_ ideals of `layer`, all of `size` elements, that promise the most.
    template <class Ways>
    void prune(Layer<Ways>& layer, std::size_t size) const {
        if (layer.size() <= kept_) return;
        auto promising = most_promising(layer, size);
        layer.retain_if([&](Mask128, const Ideal<Ways>& entry) { return promising(entry); });
    }

    // A test that holds for the kept_ ideals of `layer`, which holds more, all
    // of `size` elements, that promise the most extensions: W(I)·|R|!/H(R),
    // the bound's term. Visiting the layer in slot order, it holds for exactly
    // kept_ of them.
    template <class Ways>
    auto most_promising(const Layer<Ways>& layer, std::size_t size) const {
        const auto promise = [this, size](const Ideal<Ways>& entry) {
            return entry.weight * rest_factor_[order_.n - size - entry.inserted];
        };
        std::vector<double> promises;
        promises.reserve(layer.size());
        layer.for_each([&](Mask128, const Ideal<Ways>& entry) {
            promises.push_back(promise(entry));
            return true;
        });
        const auto last_kept = promises.begin() + static_cast<std::ptrdiff_t>(kept_ - 1);
        std::ranges::nth_element(promises, last_kept, std::greater{});
        const double least = *last_kept;
        // Ideals that promise exactly the least kept amount fill what is left.
        std::size_t ties = 1 + static_cast<std::size_t>(std::count(promises.begin(), last_kept, least));
        return [promise, least, ties](const Ideal<Ways>& entry) mutable {
            const double promised = promise(entry);
            if (promised > least) return true;
            if (promised < least || ties == 0) return false;
            --ties;
            return true;
        };
    }

    // Builds the next layer and bounds the count from this one; false when a
    // count does not fit in Ways.
    template <class Ways>
    KernelResult<bool> step(const Layer<Ways>& layer, Layer<Ways>& next, double& bound) {
        struct Pending {
            Mask128 larger;
            const Ideal<Ways>* from;
            std::size_t added;
        };
        std::array<Pending, kPrefetchDistance> pending;
        std::size_t pending_count = 0;
        std::size_t oldest = 0;
        bool fits = true;
        const auto settle = [&](const Pending& p) __attribute__((always_inline)) {
            const Mask128 newly = inserted_below_[p.added] & ~p.from->frontier;
            Ways ways = p.from->ways;
            double weight = 0;
            if (kBounded) weight = times_down(p.from->weight, up_size_[p.added]);
            std::uint64_t slots = size_ + p.from->inserted;
            for_each_element(newly, [&](std::size_t m) {
                ++slots;
                fits = fits && multiply(ways, slots);
                if (kBounded) weight = times_down(times_down(weight, static_cast<double>(slots)), up_size_[m]);
            });
            if (!fits) return;
            const auto [slot, inserted_new] = next.insert(p.larger);
            if (inserted_new) {
                *slot = {((p.from->frontier ^ element_bit(p.added)) | newly) | order_.completed_by(p.added, p.larger), ways,
                         weight, static_cast<std::uint32_t>(slots - size_)};
                if (next.size() >= full_layer_) prune_full(next);
            } else {
                fits = !__builtin_add_overflow(slot->ways, ways, &slot->ways);
                if (kBounded) slot->weight = plus_down(slot->weight, weight);
            }
        };
        const bool fetch_ahead = layer.size() >= kFetchAheadIdeals;
        KernelError stop{};
        const bool swept = layer.for_each([&](Mask128 key, const Ideal<Ways>& entry) {
            if (kBounded) {
                bound = plus_down(bound, times_down(entry.weight, rest_factor_[order_.n - size_ - entry.inserted]));
            }
            std::uint64_t work = kChildWork;
            for (Mask128 addable = entry.frontier & ~inserted_; addable != 0; addable &= addable - 1) {
                work += kChildWork;
                const Pending child{key | (addable & -addable), &entry, lowest_element(addable)};
                if (!fetch_ahead) {
                    settle(child);
                    continue;
                }
                next.prefetch(child.larger);
                if (pending_count == kPrefetchDistance) {
                    settle(pending[oldest]);
                } else {
                    ++pending_count;
                }
                pending[oldest] = child;
                oldest = (oldest + 1) % kPrefetchDistance;
            }
            if (!fits) return false;
            if (!budget_.charge(work)) return true;
            stop = kInterrupted;
            return false;
        });
        if (!swept && fits) return std::unexpected(stop);
        for (std::size_t k = 0; k < pending_count && fits; ++k) {
            settle(pending[(oldest + kPrefetchDistance - pending_count + k) % kPrefetchDistance]);
        }
        if (!fits) next.clear();
        return fits;
    }

    const OrderMasks& order_;
    SweepLimits limits_;
    WorkBudget budget_;
    Mask128 inserted_;  // N
    std::array<Mask128, kMaxElements> inserted_below_{};  // the predecessors of each element in N
    std::array<double, kMaxElements> up_size_{};
    std::array<double, kMaxElements + 1> rest_factor_{};  // at most r!/H(P)
    std::size_t size_ = 0;  // |I| for the ideals of the current layer
    std::uint64_t visited_ = 0;
    std::size_t kept_ = 0;  // ideals kept per layer once pruned; 0 while exact
    std::size_t full_layer_ = kMaxLayerIdeals + 1;  // the size at which a layer being built is pruned
    std::size_t pruned_from_ = kFirstPrunedFrom;  // the layer size at which the next pruned sweep starts
};

}  // namespace

QUORVANE_DISPATCHED KernelResult<std::optional<Count>> count_by_sweep(const OrderMasks& order, SweepLimits limits,
                                                                    InterruptPoll interrupt) {
    if (limits.count_fits) return Sweep<false>(order, limits, interrupt).run();
    return Sweep<true>(order, limits, interrupt).run();
}

}  // namespace quorvane::ideals
