// The number of ways to place an ideal's elements first is the sum of those of
// the ideal without one of its maximal elements. Over chain coordinates that
// ideal is one number lower in a single chain, so the sum reads a dense table
// at fixed offsets: the top of the last chain can go while its coordinate
// stays above its lower bound, the top of another chain while it is maximal
// among the other chains' elements and the last coordinate has not reached
// an element above it.
#include "extension_methods.hpp"

#include <memory>

#include "../common/cpu_dispatch.hpp"
#include "../common/work_budget.hpp"
#include "chain_coordinates.hpp"
#include "extension_bounds.hpp"

namespace quorvane::ideals {
namespace {

// Work units (about a nanosecond each) per run and per ideal.
constexpr std::uint64_t kRunWork = 16;
constexpr std::uint64_t kIdealWork = 4;

// Every number in the table is at most the count: with `kChecked`, an
// overflow anywhere proves that the count overflows.
template <bool kChecked>
KernelResult<Count> count_over_table(const OrderMasks& order, const ChainCoordinates& coordinates, Count* ways,
                                     InterruptPoll interrupt) {
    struct Removable {
        std::size_t stride;
        std::size_t until;  // the last coordinate up to which the top stays maximal
    };
    std::array<Removable, ChainCoordinates::kMaxChains> removable;
    WorkBudget budget(interrupt);
    KernelError stop = kInterrupted;
    const bool counted = coordinates.for_each_run([&](const CoordinateRun& run) {
        std::size_t tops = 0;
        for (std::size_t chain = 0; chain < run.coordinate.size(); ++chain) {
            const std::size_t c = run.coordinate[chain];
            if (c == 0) continue;
            const std::size_t top = coordinates.element(chain, c - 1);
            if ((order.at_or_above[top] & run.elements) != element_bit(top)) continue;
            removable[tops++] = {coordinates.stride(chain), coordinates.last_free(chain, c - 1)};
        }
        std::size_t c = run.low;
        if (run.index + c == 0) ways[c++] = 1;  // the empty ideal
        for (; c <= run.high; ++c) {
            Count* here = ways + run.index + c;
            Count sum = c > run.low ? here[-1] : 0;
            for (std::size_t t = 0; t < tops; ++t) {
                if (c > removable[t].until) continue;
                const Count term = *(here - removable[t].stride);
                if constexpr (kChecked) {
                    if (__builtin_add_overflow(sum, term, &sum)) {
                        stop = kCountOverflow;
                        return false;
                    }
                } else {
                    sum += term;
                }
            }
            *here = sum;
        }
        return !budget.charge(kRunWork + kIdealWork * (run.high - run.low + 1) * (tops + 1));
    });
    if (!counted) return std::unexpected(stop);
    std::size_t full = 0;
    for (std::size_t chain = 0; chain < coordinates.chains(); ++chain) {
        full += coordinates.length(chain) * coordinates.stride(chain);
    }
    return ways[full];
}

}  // namespace

QUORVANE_DISPATCHED KernelResult<std::optional<Count>> count_by_coordinates(const OrderMasks& order, bool fits,
                                                                            InterruptPoll interrupt) {
    const std::optional<ChainCoordinates> coordinates = chain_coordinates(order);
    if (!coordinates) return std::nullopt;
    // The fewest chains may prove what the caller's cover could not.
    std::array<std::size_t, ChainCoordinates::kMaxChains> lengths;
    for (std::size_t chain = 0; chain < coordinates->chains(); ++chain) lengths[chain] = coordinates->length(chain);
    fits = fits || chain_lengths_fit_u128(order.n, std::span(lengths).first(coordinates->chains()));
    // Read only where written: ideals come before the ideals above them.
    const std::unique_ptr<Count[]> ways(new Count[coordinates->numbers()]);
    const KernelResult<Count> count = fits ? count_over_table<false>(order, *coordinates, ways.get(), interrupt)
                                           : count_over_table<true>(order, *coordinates, ways.get(), interrupt);
    if (!count) return std::unexpected(count.error());
    return *count;
}

}  // namespace quorvane::ideals
