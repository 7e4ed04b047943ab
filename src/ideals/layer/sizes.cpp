// Which method counts the ideals: a walk costs a few nanoseconds per ideal
// and nothing else, so posets with few ideals are walked outright, and
// narrow ones have their ideals counted over chain coordinates. The
// polynomial memo counts all others; where even it would need more memory
// than its budget, the call fails with MemoryError rather than walk through
// more ideals than any call could visit.
#include "../ideals.hpp"

#include "methods.hpp"

namespace quorvane::ideals {
namespace {

constexpr std::uint64_t kQuickWalkIdeals = std::uint64_t{1} << 8;
// Runs of ideals cost a few nanoseconds each; with more runs than this, the
// chains are taken one by one, where they can be.
constexpr std::size_t kQuickRuns = std::size_t{1} << 14;
constexpr std::size_t kMemoBytes = std::size_t{1} << 29;

}  // namespace

KernelResult<std::vector<Count>> lattice_layer_sizes(std::size_t n, const closure::CoverEdgeList& edges,
                                                     InterruptPoll interrupt) {
    if (n > kMaxElements) return std::unexpected(kLayerSizeLimit);
    const auto order = build_order_masks(n, edges);
    if (!order) return std::unexpected(order.error());
    KernelResult<std::optional<LayerSizes>> walked = layer_sizes_by_walk(**order, kQuickWalkIdeals, interrupt);
    if (!walked) return std::unexpected(walked.error());
    if (*walked) return std::move(**walked);
    KernelResult<std::optional<LayerSizes>> by_runs = layer_sizes_by_coordinates(**order, kQuickRuns, interrupt);
    if (!by_runs) return std::unexpected(by_runs.error());
    if (*by_runs) return std::move(**by_runs);
    return layer_sizes_by_polynomial(**order, kMemoBytes, interrupt);
}

}  // namespace quorvane::ideals
