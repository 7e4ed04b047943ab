// The number of ways to place the elements of an ideal I first is the sum of
// those of I without one of its maximal elements; the sweep carries these
// numbers from each layer of ideals to the next, with memory for two layers.
// Every number met is at most the final count (an ideal's count times that of
// the rest is at most the whole), so an overflow anywhere proves overflow.
//
// Each layer also bounds the whole count from below: the count is the sum
// over the ideals I of one size of e(I)·e(P∖I), and the rest P∖I, an up-set,
// has at least |P∖I|!/∏_{x∉I}|↑x| extensions. With H(S) = ∏_{x∈S}|↑x| that
// is (n−k)!/H(P) times the sum of e(I)·H(I), and e(I)·H(I), the ideal's
// weight, follows the same sum rule as e(I) with each term times |↑x| of the
// element added. Once the bound passes 2^128 the count overflows, which
// usually shows long before the last layer.
#include "extension_methods.hpp"

#include <array>
#include <new>
#include <utility>

#include "extension_bounds.hpp"
#include "mask_map.hpp"

namespace quorvane::ideals {
namespace {

constexpr std::uint64_t kPollInterval = std::uint64_t{1} << 20;
// Lookups in a layer far larger than the caches wait on memory: each key's
// slot is fetched this many insertions ahead.
constexpr std::size_t kPrefetchDistance = 16;
// Layers below this size stay in the caches, where fetching ahead only costs.
constexpr std::size_t kFetchAheadIdeals = std::size_t{1} << 13;
// About 0.5 GB for the layer being built, whose table is at most 5/8 full;
// beyond that the call ends with MemoryError rather than exhaust the machine.
constexpr std::size_t kMaxLayerIdeals = std::size_t{1} << 22;

template <class Ways>
struct Ideal {
    Mask128 addable;  // elements outside whose predecessors are all inside
    Ways ways;        // orderings of the ideal's elements that respect the order
    double weight;    // at most ways·H(ideal)
};

template <class Ways>
using Layer = MaskMap<Ideal<Ways>>;

enum class StepEnd { done, widen };

class Sweep {
public:
    Sweep(const OrderMasks& order, SweepLimits limits, InterruptPoll interrupt)
        : order_(order), limits_(limits), interrupt_(interrupt) {
        double whole_hook = 1;
        for (std::size_t x = 0; x < order.n; ++x) {
            up_size_[x] = static_cast<double>(element_count(order.at_or_above[x]));
            whole_hook = times_up(whole_hook, up_size_[x]);
        }
        // rest_factor_[k] <= (n−k)!/H(P), the factor of the bound at layer k.
        double factorial = 1;
        for (std::size_t rest = 0; rest <= order.n; ++rest) {
            if (rest > 1) factorial = times_down(factorial, static_cast<double>(rest));
            rest_factor_[order.n - rest] = divided_down(factorial, whole_hook);
        }
    }

    KernelResult<std::optional<Count>> run() {
        if (order_.n == 0) return Count{1};
        Layer<std::uint64_t> narrow;
        for_each_element(order_.minimal, [&](std::size_t x) {
            *narrow.insert(element_bit(x)).first = {(order_.minimal ^ element_bit(x)) | order_.completed_by(x, element_bit(x)),
                                                   1, up_size_[x]};
        });
        visited_ = narrow.size();
        const KernelResult<std::optional<StepEnd>> narrow_end = run_layers(narrow);
        if (!narrow_end || !*narrow_end) return unfinished(narrow_end);
        if (**narrow_end == StepEnd::done) return Count{narrow.find(order_.all)->ways};
        // Some count needs more than 64 bits: the same layer again, with wide counts.
        Layer<Count> wide;
        wide.reserve(narrow.size());
        narrow.for_each([&](Mask128 ideal, const Ideal<std::uint64_t>& entry) {
            *wide.insert(ideal).first = {entry.addable, entry.ways, entry.weight};
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
        for (; size_ < order_.n; ++size_) {
            double weight_sum = 0;
            KernelResult<bool> stepped = step(layer, next, weight_sum);
            if (!stepped) return std::unexpected(stepped.error());
            if (!*stepped) return StepEnd::widen;
            const double bound = times_down(limits_.known_factor, times_down(rest_factor_[size_], weight_sum));
            if (bound >= kCountOverflowBound) return std::unexpected(kCountOverflow);
            std::swap(layer, next);
            next.clear();
            visited_ += layer.size();
            if (visited_ > limits_.max_ideals) return std::nullopt;
        }
        return StepEnd::done;
    }

    // Builds the next layer and sums the weights of this one; false when a
    // count does not fit in Ways.
    template <class Ways>
    KernelResult<bool> step(const Layer<Ways>& layer, Layer<Ways>& next, double& weight_sum) {
        struct Pending {
            Mask128 larger;
            const Ideal<Ways>* from;
            std::size_t added;
        };
        std::array<Pending, kPrefetchDistance> pending;
        std::size_t pending_count = 0;
        std::size_t oldest = 0;
        bool fits = true;
        const auto settle = [&](const Pending& p) {
            const double weight = times_down(p.from->weight, up_size_[p.added]);
            const auto [slot, inserted] = next.insert(p.larger);
            if (inserted) {
                if (next.size() > kMaxLayerIdeals) throw std::bad_alloc();
                *slot = {(p.from->addable ^ element_bit(p.added)) | order_.completed_by(p.added, p.larger), p.from->ways,
                         weight};
            } else {
                fits = fits && !__builtin_add_overflow(slot->ways, p.from->ways, &slot->ways);
                slot->weight = plus_down(slot->weight, weight);
            }
        };
        const bool fetch_ahead = layer.size() >= kFetchAheadIdeals;
        KernelError stop{};
        const bool swept = layer.for_each([&](Mask128 ideal, const Ideal<Ways>& entry) {
            weight_sum = plus_down(weight_sum, entry.weight);
            for (Mask128 addable = entry.addable; addable != 0; addable &= addable - 1) {
                const Pending child{ideal | (addable & -addable), &entry, lowest_element(addable)};
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
            work_ += 1 + element_count(entry.addable);
            if (work_ < kPollInterval) return true;
            work_ = 0;
            if (!interrupt_()) return true;
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
    InterruptPoll interrupt_;
    std::array<double, kMaxElements> up_size_{};
    std::array<double, kMaxElements + 1> rest_factor_{};
    std::size_t size_ = 1;  // elements in each ideal of the current layer
    std::uint64_t visited_ = 0;
    std::uint64_t work_ = 0;
};

}  // namespace

KernelResult<std::optional<Count>> count_by_sweep(const OrderMasks& order, SweepLimits limits, InterruptPoll interrupt) {
    return Sweep(order, limits, interrupt).run();
}

}  // namespace quorvane::ideals
