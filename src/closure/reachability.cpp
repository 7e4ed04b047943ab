#include "reachability.hpp"

#include <algorithm>
#include <array>
#include <bit>

#include "../common/cpu_dispatch.hpp"
#include "closure_sweep.hpp"

namespace quorvane::closure {
namespace {

// The sweep's view of a bit matrix closed in place: row i as given is read
// before its closed form replaces it.
class MatrixRows {
public:
    using Unit = Word;
    static constexpr std::size_t kUnitBits = kWordBits;

    explicit MatrixRows(ReachabilityRows& rows) noexcept : rows_(rows) {}

    std::span<const Word> given(std::size_t i) const noexcept { return rows_.row(i); }

    bool store(std::size_t i, std::span<const Word> closed) noexcept {
        // Below the row's first word both are zero. One loop rather than a
        // copy and a fill: rows are short, and library calls cost more.
        const std::span<Word> row = rows_.row(i);
        for (std::size_t k = word_of(i); k < row.size(); ++k) row[k] = k < closed.size() ? closed[k] : 0;
        return true;
    }

    const Word* closed(std::size_t j) const noexcept { return rows_.row(j).data(); }

private:
    ReachabilityRows& rows_;
};

// In place: bit c of word r moves to bit r of word c. Each round swaps the
// off-diagonal quarters of every square of the previous round's size.
void transpose_block(std::array<Word, kWordBits>& block) noexcept {
    Word mask = 0x00000000FFFFFFFFULL;
    for (std::size_t half = kWordBits / 2; half != 0; half >>= 1, mask ^= mask << half) {
        for (std::size_t k = 0; k < kWordBits; k = ((k | half) + 1) & ~half) {
            const Word swapped = ((block[k] >> half) ^ block[k | half]) & mask;
            block[k] ^= swapped << half;
            block[k | half] ^= swapped;
        }
    }
}

}  // namespace

std::optional<KernelError> first_edge_error(std::size_t n, const CoverEdgeList& edges) noexcept {
    for (const auto& [lower, upper] : edges) {
        if (lower >= n || upper >= n) return kIndexOutOfRange;
        if (lower >= upper) return kNotTopological;
    }
    return std::nullopt;
}

KernelResult<ReachabilityRows> build_reachability(std::size_t n, const CoverEdgeList& edges, InterruptPoll interrupt) {
    if (const std::optional<KernelError> error = first_edge_error(n, edges)) return std::unexpected(*error);
    ReachabilityRows rows(n);
    for (const auto& [lower, upper] : edges) rows.set(lower, upper);
    return close_checked_rows(std::move(rows), interrupt);
}

QUORVANE_DISPATCHED KernelResult<ReachabilityRows> close_checked_rows(SuccessorRows rows, InterruptPoll interrupt) {
    MatrixRows matrix(rows);
    if (!ClosureSweep(matrix, rows.size(), interrupt).run()) return std::unexpected(kInterrupted);
    return rows;
}

QUORVANE_DISPATCHED BitMatrix transpose(const ReachabilityRows& rows) {
    const std::size_t n = rows.size();
    const std::size_t words = rows.words();
    BitMatrix below(n);
    std::array<Word, kWordBits> block;
    // Block (a, b) is rows 64a.. at word b. Rows only reach upwards, so blocks
    // left of the diagonal are empty. Blocks go in tiles of a cache line of
    // words each way, so that every line read or written is used whole while
    // it is cached.
    constexpr std::size_t kTile = 8;
    for (std::size_t a0 = 0; a0 < words; a0 += kTile) {
        for (std::size_t b0 = a0; b0 < words; b0 += kTile) {
            for (std::size_t a = a0; a < std::min(a0 + kTile, words); ++a) {
                const std::size_t first_row = a * kWordBits;
                const std::size_t row_count = std::min(kWordBits, n - first_row);
                for (std::size_t b = std::max(a, b0); b < std::min(b0 + kTile, words); ++b) {
                    Word any = 0;
                    for (std::size_t r = 0; r < row_count; ++r) any |= block[r] = rows.row(first_row + r)[b];
                    if (any == 0) continue;
                    std::fill(block.begin() + static_cast<std::ptrdiff_t>(row_count), block.end(), Word{0});
                    transpose_block(block);
                    const std::size_t first_column = b * kWordBits;
                    const std::size_t column_count = std::min(kWordBits, n - first_column);
                    for (std::size_t c = 0; c < column_count; ++c) below.row(first_column + c)[a] = block[c];
                }
            }
        }
    }
    return below;
}

}  // namespace quorvane::closure
