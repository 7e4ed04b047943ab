// A run of ideals over chain coordinates (see chain_coordinates.hpp) holds
// one ideal of each size from its smallest to its largest, so the sizes are
// counted per run, not per ideal: as differences, summed once at the end.
#include "layer_methods.hpp"

#include "../common/cpu_dispatch.hpp"
#include "../common/work_budget.hpp"
#include "chain_coordinates.hpp"

namespace quorvane::ideals {
namespace {

// Work units (about a nanosecond each) per run.
constexpr std::uint64_t kRunWork = 16;

}  // namespace

QUORVANE_DISPATCHED KernelResult<std::optional<LayerSizes>> layer_sizes_by_coordinates(const OrderMasks& order,
                                                                                     std::size_t max_runs,
                                                                                     InterruptPoll interrupt) {
    const std::optional<ChainCover> cover = chain_cover(order, CoverKind::greedy, max_runs);
    // Each component of a disconnected poset multiplies the runs of the others.
    if (!cover || order.component_of(0, order.all) != order.all) return std::nullopt;
    const ChainCoordinates coordinates(order, *cover);
    // Fewer ideals than ideal numbers: 64 bits suffice.
    std::vector<std::uint64_t> starting(order.n + 2);
    std::vector<std::uint64_t> ending(order.n + 2);
    WorkBudget budget(interrupt);
    const bool counted = coordinates.for_each_run([&](const CoordinateRun& run) {
        ++starting[run.size + run.low];
        ++ending[run.size + run.high + 1];
        return !budget.charge(kRunWork);
    });
    if (!counted) return std::unexpected(kInterrupted);
    LayerSizes sizes(order.n + 1);
    std::uint64_t open = 0;
    for (std::size_t k = 0; k <= order.n; ++k) {
        open += starting[k] - ending[k];
        sizes[k] = open;
    }
    return sizes;
}

}  // namespace quorvane::ideals
