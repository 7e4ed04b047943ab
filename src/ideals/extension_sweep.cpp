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
#include "extension_methods.hpp"

#include <array>
#include <new>
#include <utility>

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
// beyond that the call ends with MemoryError rather than exhaust the machine.
constexpr std::size_t kMaxLayerIdeals = std::size_t{1} << 22;

// An ideal I of Q, keyed by I ∪ N, which is never empty.
template <class Ways>
struct Ideal {
    Mask128 frontier;  // A(I), and the elements of Q outside I whose predecessors in Q are all in I
    Ways ways;         // W(I)
    double weight;     // at most W(I)·H(I ∪ A(I))
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

class Sweep {
public:
    Sweep(const OrderMasks& order, SweepLimits limits, InterruptPoll interrupt)
        : order_(order), limits_(limits), budget_(interrupt), inserted_(order.minimal) {
        double whole_hook = 1;
        for (std::size_t x = 0; x < order.n; ++x) {
            inserted_below_[x] = order.predecessors[x] & inserted_;
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
        *narrow.insert(inserted_).first = {first, 1, 1};
        const KernelResult<std::optional<StepEnd>> narrow_end = run_layers(narrow);
        if (!narrow_end || !*narrow_end) return unfinished(narrow_end);
        if (**narrow_end == StepEnd::done) return Count{narrow.find(order_.all)->ways};
        // Some count needs more than 64 bits: the same layer again, with wide counts.
        Layer<Count> wide;
        wide.reserve(narrow.size());
        narrow.for_each([&](Mask128 key, const Ideal<std::uint64_t>& entry) {
            *wide.insert(key).first = {entry.frontier, entry.ways, entry.weight};
            return true;
        });
        narrow = {};
        const KernelResult<std::optional<StepEnd>> wide_end = run_layers(wide);
        if (!wide_end || !*wide_end) return unfinished(wide_end);
        if (**wide_end == StepEnd::widen) return std::unexpected(kCountOverflow);
        return wide.find(order_.all)->ways;
    }

private:
    static KernelResult<std::optional<Count>> unfinished(const KernelResult<std::optional<StepEnd>>& end) {
        if (!end) return std::unexpected(end.error());
        return std::nullopt;
    }

    // Advances `layer` to the full set, or stops with it intact when a count
    // outgrows Ways; nullopt when the ideal budget is spent.
    template <class Ways>
    KernelResult<std::optional<StepEnd>> run_layers(Layer<Ways>& layer) {
        Layer<Ways> next;
        for (const std::size_t swept = order_.n - element_count(inserted_); size_ < swept; ++size_) {
            double bound = 0;
            KernelResult<bool> stepped = step(layer, next, bound);
            if (!stepped) return std::unexpected(stepped.error());
            if (!*stepped) return StepEnd::widen;
            if (times_down(limits_.known_factor, bound) >= kCountOverflowBound) return std::unexpected(kCountOverflow);
            std::swap(layer, next);
            next.clear();
            visited_ += layer.size();
            if (visited_ > limits_.max_ideals) return std::nullopt;
        }
        return StepEnd::done;
    }

    // Builds the next layer and bounds the count from this one; false when a
    // count does not fit in Ways.
    template <class Ways>
    KernelResult<bool> step(const Layer<Ways>& layer, Layer<Ways>& next, double& bound) {
        struct Pending {
            Mask128 larger;
            const Ideal<Ways>* from;
            std::size_t added;
            std::size_t inserted;  // |A(I)|
        };
        std::array<Pending, kPrefetchDistance> pending;
        std::size_t pending_count = 0;
        std::size_t oldest = 0;
        bool fits = true;
        const auto settle = [&](const Pending& p) {
            const Mask128 newly = inserted_below_[p.added] & ~p.from->frontier;
            Ways ways = p.from->ways;
            double weight = times_down(p.from->weight, up_size_[p.added]);
            std::uint64_t slots = size_ + p.inserted;
            for_each_element(newly, [&](std::size_t m) {
                ++slots;
                fits = fits && multiply(ways, slots);
                weight = times_down(times_down(weight, static_cast<double>(slots)), up_size_[m]);
            });
            if (!fits) return;
            const auto [slot, inserted_new] = next.insert(p.larger);
            if (inserted_new) {
                if (next.size() > kMaxLayerIdeals) throw std::bad_alloc();
                *slot = {((p.from->frontier ^ element_bit(p.added)) | newly) | order_.completed_by(p.added, p.larger), ways,
                         weight};
            } else {
                fits = !__builtin_add_overflow(slot->ways, ways, &slot->ways);
                slot->weight = plus_down(slot->weight, weight);
            }
        };
        const bool fetch_ahead = layer.size() >= kFetchAheadIdeals;
        KernelError stop{};
        const bool swept = layer.for_each([&](Mask128 key, const Ideal<Ways>& entry) {
            const std::size_t inserted = element_count(entry.frontier & inserted_);
            bound = plus_down(bound, times_down(entry.weight, rest_factor_[order_.n - size_ - inserted]));
            for (Mask128 addable = entry.frontier & ~inserted_; addable != 0; addable &= addable - 1) {
                const Pending child{key | (addable & -addable), &entry, lowest_element(addable), inserted};
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
            if (!budget_.charge(kChildWork * (1 + element_count(entry.frontier)))) return true;
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
};

}  // namespace

KernelResult<std::optional<Count>> count_by_sweep(const OrderMasks& order, SweepLimits limits, InterruptPoll interrupt) {
    return Sweep(order, limits, interrupt).run();
}

}  // namespace quorvane::ideals
