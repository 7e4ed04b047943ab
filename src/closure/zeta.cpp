#include "zeta.hpp"

#include <algorithm>
#include <cstdint>

#include "../common/cpu_dispatch.hpp"
#include "../common/work_budget.hpp"
#include "zeta_tiles.hpp"

namespace quorvane::closure {
namespace {

using namespace zeta_tiles;

// A block of rows is a tile's worth, so that only the diagonal tile holds
// rows not below all of its targets.
template <class Terms>
[[gnu::always_inline]] inline bool add_blocks(const ReachabilityRows& rows, std::span<const double> values,
                                              TileSums& sums, WorkBudget& budget) {
    const std::size_t n = rows.size();
    const std::size_t tiles = TileSums::tiles(n);
    const std::size_t stride = rows.words();
    std::vector<double> terms(kBlockRows * kRowTerms);
    for (std::size_t first_row = 0; first_row < n; first_row += kBlockRows) {
        const std::size_t count = std::min(kBlockRows, n - first_row);
        for (std::size_t r = 0; r < count; ++r) write_terms(values[first_row + r], terms.data() + r * kRowTerms);
        const Word* block = rows.row(first_row).data();
        // Rows reach only targets above them: the tiles from the block's own on.
        for (std::size_t t = first_row / kTileTargets; t < tiles; ++t) {
            const std::size_t first_target = t * kTileTargets;
            const std::size_t word = word_of(first_target);
            add_block_to_tile<Terms>(block + word, stride, first_target - word * kWordBits, values.data() + first_row,
                                     terms.data(), count, sums.tile(t), sums.reached(t));
        }
        if (budget.charge(count * (tiles - first_row / kTileTargets))) return false;
    }
    return true;
}

QUORVANE_DISPATCHED_AVX512
KernelResult<std::vector<double>> add_lower_values(const ReachabilityRows& rows, std::span<const double> values,
                                                   bool own_value, InterruptPoll interrupt) {
    WorkBudget budget(interrupt);
    TileSums sums(values, own_value);
    const bool done = sums.any_nan() ? add_blocks<AnyTerms>(rows, values, sums, budget)
                                     : add_blocks<NoNaNTerms>(rows, values, sums, budget);
    if (!done) return std::unexpected(kInterrupted);
    return std::move(sums).finish();
}

}  // namespace

KernelResult<std::vector<double>> zeta_transform(const ReachabilityRows& rows, std::span<const double> values,
                                                 InterruptPoll interrupt) {
    return add_lower_values(rows, values, true, interrupt);
}

KernelResult<std::vector<double>> strict_zeta_transform(const ReachabilityRows& rows, std::span<const double> values,
                                                        InterruptPoll interrupt) {
    return add_lower_values(rows, values, false, interrupt);
}

}  // namespace quorvane::closure
