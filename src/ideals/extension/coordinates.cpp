// The number of ways to place an ideal's elements first is the sum of those of
// the ideal without one of its maximal elements, which is one lower in a
// single chain coordinate. Ideals are stored in the order they are met, run
// by run, and a table over run numbers finds where each run begins; within a
// run the last coordinate is the offset. The top of the last chain can go
// while its coordinate stays above its lower bound, the top of another chain
// while it is maximal among the other chains' elements and the last
// coordinate has not reached an element above it.
#include "methods.hpp"

#include <memory>

#include "../../common/cpu_dispatch.hpp"
#include "../../common/work_budget.hpp"
#include "../chain_coordinates.hpp"
#include "bounds.hpp"

namespace quorvane::ideals {
namespace {

// Posets with more ideals are left to the sweep: it needs less memory.
constexpr std::size_t kMaxIdeals = std::size_t{1} << 21;
// Work units (about a nanosecond each) per run and per ideal and term.
constexpr std::uint64_t kRunWork = 16;
constexpr std::uint64_t kTermWork = 2;

// At least the number of ideals, or more than kMaxIdeals when they are: the
// product of the radices where that is small enough, else counted run by run.
std::size_t ideals_bound(const ChainCoordinates& coordinates) {
    std::size_t product = 1;
    for (std::size_t chain = 0; chain < coordinates.chains() && product <= kMaxIdeals; ++chain) {
        product *= coordinates.length(chain) + std::size_t{1};
    }
    if (product <= kMaxIdeals) return product;
    std::size_t ideals = 0;
    coordinates.for_each_run([&](const CoordinateRun& run) {
        ideals += run.high - run.low + 1;
        return ideals <= kMaxIdeals;
    });
    return ideals;
}

// Every number stored is at most the count: with `kChecked`, an overflow
// anywhere proves that the count overflows.
template <bool kChecked>
KernelResult<Count> count_over_runs(const OrderMasks& order, const ChainCoordinates& coordinates, std::size_t room,
                                    InterruptPoll interrupt) {
    // In the order met; read only where written.
    const std::unique_ptr<Count[]> ways(new Count[room]);
    std::size_t stored = 0;
    // Where each run's ideal with last coordinate 0 would be stored, modulo
    // 2^64; written as the runs are met, read only for runs met before.
    const std::unique_ptr<std::size_t[]> run_base(new std::size_t[coordinates.runs()]);
    struct Removable {
        std::size_t base;   // of the run without the top
        std::size_t until;  // the last coordinate up to which the top stays maximal
    };
    std::array<Removable, ChainCover::kMaxChains> removable;
    WorkBudget budget(interrupt);
    KernelError stop = kInterrupted;
    const bool counted = coordinates.for_each_run([&](const CoordinateRun& run) {
        std::size_t tops = 0;
        for (std::size_t chain = 0; chain < run.coordinate.size(); ++chain) {
            const std::size_t c = run.coordinate[chain];
            if (c == 0) continue;
            const std::size_t top = coordinates.element(chain, c - 1);
            if ((order.at_or_above[top] & run.elements) != element_bit(top)) continue;
            removable[tops++] = {run_base[run.number - coordinates.stride(chain)], coordinates.last_free(chain, c - 1)};
        }
        const std::size_t base = stored - run.low;
        run_base[run.number] = base;
        std::size_t c = run.low;
        if (base + c == 0) {  // the empty ideal
            ways[stored++] = 1;
            ++c;
        }
        for (; c <= run.high; ++c) {
            Count sum = c > run.low ? ways[base + c - 1] : 0;
            for (std::size_t t = 0; t < tops; ++t) {
                if (c > removable[t].until) continue;
                const Count term = ways[removable[t].base + c];
                if constexpr (kChecked) {
                    if (__builtin_add_overflow(sum, term, &sum)) {
                        stop = kCountOverflow;
                        return false;
                    }
                } else {
                    sum += term;
                }
            }
            ways[stored++] = sum;
        }
        return !budget.charge(kRunWork + kTermWork * (run.high - run.low + 1) * (tops + 1));
    });
    if (!counted) return std::unexpected(stop);
    return ways[stored - 1];  // the whole poset comes last
}

}  // namespace

QUORVANE_DISPATCHED KernelResult<std::optional<Count>> count_by_coordinates(const OrderMasks& order, bool fits,
                                                                            InterruptPoll interrupt) {
    const std::optional<ChainCover> cover = chain_cover(order, CoverKind::fewest, ChainCover::kMaxRuns);
    if (!cover) return std::nullopt;
    const auto coordinates = std::make_unique<const ChainCoordinates>(order, *cover);
    const std::size_t room = ideals_bound(*coordinates);
    if (room > kMaxIdeals) return std::nullopt;
    // The fewest chains may prove what the caller's cover could not.
    std::array<std::size_t, ChainCover::kMaxChains> lengths;
    for (std::size_t chain = 0; chain < cover->chains; ++chain) lengths[chain] = cover->length[chain];
    fits = fits || chain_lengths_fit_u128(order.n, std::span(lengths).first(cover->chains));
    const KernelResult<Count> count = fits ? count_over_runs<false>(order, *coordinates, room, interrupt)
                                           : count_over_runs<true>(order, *coordinates, room, interrupt);
    if (!count) return std::unexpected(count.error());
    return *count;
}

}  // namespace quorvane::ideals
