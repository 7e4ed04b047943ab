// Which method counts the ideals: a walk costs a few nanoseconds per ideal
// and nothing else, the polynomial memo costs little per distinct set but
// needs memory. Posets with few ideals are walked outright; otherwise the memo
// counts them, and where its memory would run out, the walk counts them after
// all, however long that takes (the call stays interruptible).
#include "ideals.hpp"

#include "layer_methods.hpp"

namespace quorvane::ideals {
namespace {

constexpr std::uint64_t kQuickWalkIdeals = std::uint64_t{1} << 13;
constexpr std::size_t kMemoCoefficients = std::size_t{1} << 25;  // 512 MiB of counts
constexpr std::uint64_t kUnbounded = ~std::uint64_t{0};

}  // namespace

KernelResult<std::vector<Count>> lattice_layer_sizes(std::size_t n, const closure::CoverEdgeList& edges,
                                                     InterruptPoll interrupt) {
    if (n > kMaxElements) return std::unexpected(kLayerSizeLimit);
    const KernelResult<OrderMasks> order = build_order_masks(n, edges);
    if (!order) return std::unexpected(order.error());
    KernelResult<std::optional<LayerSizes>> sizes = layer_sizes_by_walk(*order, kQuickWalkIdeals, interrupt);
    if (sizes && !*sizes) sizes = layer_sizes_by_polynomial(*order, kMemoCoefficients, interrupt);
    if (sizes && !*sizes) sizes = layer_sizes_by_walk(*order, kUnbounded, interrupt);
    if (!sizes) return std::unexpected(sizes.error());
    return std::move(**sizes);
}

}  // namespace quorvane::ideals
