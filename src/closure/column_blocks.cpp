#include "column_blocks.hpp"

#include <algorithm>
#include <bit>
#include <span>
#include <cstdint>

#include "../common/bit_count.hpp"
#include "../common/cpu_dispatch.hpp"
#include "../common/work_budget.hpp"
#include "zeta_tiles.hpp"

namespace quorvane::closure {
namespace {

using namespace zeta_tiles;

// Closes the reachability rows over one block of columns after another, in
// ascending order. Row x of a block holds the elements of the block strictly
// above x; only rows below the block's end can hold any, and of those only
// the words from the first to the last nonzero one are kept.
//
// Within a block the rows close from the top down, as the whole rows do: a
// successor's row is final when it is read, and a successor already reached
// through an earlier one brings nothing new. That is known for sure in the
// block that holds the successor, and blocks go upwards, so such an edge is
// struck off the lists there and never read again.
class ColumnBlocks {
public:
    ColumnBlocks(const SuccessorLists& order, std::size_t columns, InterruptPoll interrupt)
        : order_(order),
          columns_(columns),
          budget_(interrupt),
          live_end_(order.size()),
          upper_(order.edge_count()),
          rows_(order.size()),
          nonempty_(row_words(order.size())),
          reached_(row_words(columns)) {
        // Room for the largest block's rows: reserved, not touched, so the
        // memory taken follows the rows that hold anything.
        pool_.reserve(checked_size(order.size(), reached_.size()));
        for (std::size_t x = 0; x < order.size(); ++x) {
            live_end_[x] = order.first_edge(x + 1);
            if (live_end_[x] != order.first_edge(x)) sources_.push_back(x);
        }
        for (std::size_t e = 0; e < upper_.size(); ++e) upper_[e] = order.upper(e);
    }

    // Calls visit(first_column) after each block is closed,
    // blocks ascending; filled() then lists the rows that hold anything in
    // the block and row(x) reads the block's row x. False when the budget's
    // poll asks to stop.
    //
    // Only elements with successors can hold anything, and an element keeps
    // one edge at least, so a block reads those below its end and no other:
    // the work follows the edges, however many elements have none.
    template <class Visit>
    bool run(Visit&& visit) {
        const std::size_t n = order_.size();
        std::size_t below_end = 0;
        for (std::size_t first = 0; first < n; first += columns_) {
            const std::size_t end = std::min(n, first + columns_);
            pool_.clear();
            for (const std::size_t x : filled_) nonempty_[word_of(x)] = 0;
            filled_.clear();
            while (below_end < sources_.size() && sources_[below_end] < end) ++below_end;
            for (std::size_t i = below_end; i-- > 0;) {
                if (!close_row(sources_[i], first, end)) return false;
            }
            std::reverse(filled_.begin(), filled_.end());
            if (!visit(first)) return false;
            if (budget_.charge(1)) return false;
        }
        return true;
    }

    // The rows that hold anything in the block, ascending.
    std::span<const std::size_t> filled() const noexcept { return filled_; }

    // The block's row x as words from word first_word(x) of the block on.
    std::span<const Word> row(std::size_t x) const noexcept {
        const KeptRow& kept = rows_[x];
        return {pool_.data() + kept.offset, kept.words};
    }
    std::size_t first_word(std::size_t x) const noexcept { return rows_[x].first_word; }

    WorkBudget& budget() noexcept { return budget_; }

private:
    struct KeptRow {
        std::size_t offset = 0;
        std::uint32_t first_word = 0;
        std::uint32_t words = 0;
    };

    bool close_row(std::size_t x, std::size_t first, std::size_t end) {
        std::size_t low = reached_.size();
        std::size_t high = 0;
        auto touch = [&](std::size_t from, std::size_t to) {
            low = std::min(low, from);
            high = std::max(high, to);
        };
        const std::size_t begin = order_.first_edge(x);
        std::size_t kept = begin;
        std::size_t e = begin;
        std::size_t work = 1 + live_end_[x] - begin;
        // Successors at or past the block's end hold nothing in it; they are
        // kept for the blocks above.
        for (; e < live_end_[x] && upper_[e] < end; ++e) {
            const std::size_t y = upper_[e];
            if (y >= first) {
                const std::size_t column = y - first;
                Word& word = reached_[word_of(column)];
                if ((word & bit_of(column)) != 0) continue;  // implied: struck off
                word |= bit_of(column);
                touch(word_of(column), word_of(column) + 1);
            }
            upper_[kept++] = y;
            // Most rows hold nothing in a block: the bits say so without
            // loading their records.
            if ((nonempty_[word_of(y)] & bit_of(y)) == 0) continue;
            const KeptRow& above = rows_[y];
            const Word* words = pool_.data() + above.offset;
            for (std::size_t k = 0; k < above.words; ++k) reached_[above.first_word + k] |= words[k];
            touch(above.first_word, above.first_word + above.words);
            work += above.words;
        }
        const std::size_t moved = e - kept;
        if (moved != 0) {
            std::copy(upper_.begin() + static_cast<std::ptrdiff_t>(e),
                      upper_.begin() + static_cast<std::ptrdiff_t>(live_end_[x]),
                      upper_.begin() + static_cast<std::ptrdiff_t>(kept));
            live_end_[x] -= moved;
        }
        KeptRow& row = rows_[x];
        row = KeptRow{pool_.size(), 0, 0};
        if (high > low) {
            nonempty_[word_of(x)] |= bit_of(x);
            filled_.push_back(x);
            row.first_word = static_cast<std::uint32_t>(low);
            row.words = static_cast<std::uint32_t>(high - low);
            pool_.insert(pool_.end(), reached_.begin() + static_cast<std::ptrdiff_t>(low),
                         reached_.begin() + static_cast<std::ptrdiff_t>(high));
            std::fill(reached_.begin() + static_cast<std::ptrdiff_t>(low),
                      reached_.begin() + static_cast<std::ptrdiff_t>(high), Word{0});
            work += high - low;
        }
        return !budget_.charge(work);
    }

    const SuccessorLists& order_;
    std::size_t columns_;
    WorkBudget budget_;
    // Edges of x still read: upper_[first_edge(x) .. live_end_[x]), ascending.
    std::vector<std::size_t> live_end_;
    std::vector<std::size_t> upper_;
    std::vector<KeptRow> rows_;
    std::vector<std::size_t> sources_;  // elements with successors, ascending
    std::vector<Word> nonempty_;         // rows of the block that hold anything
    std::vector<std::size_t> filled_;    // the same rows as a list
    std::vector<Word> pool_;
    std::vector<Word> reached_;
};

// Up to a tile's worth of a block's rows that hold anything, ascending, with
// their values and terms: the rows the zeta sums take together.
class RowGroup {
public:
    RowGroup() : terms_(kBlockRows * kRowTerms), values_(kBlockRows), rows_(kBlockRows), column_(kBlockRows) {}

    // Takes the block's rows `xs`; returns the words they span together.
    std::size_t gather(const ColumnBlocks& blocks, std::span<const std::size_t> xs, std::span<const double> values) {
        count_ = xs.size();
        low_ = ~std::size_t{0};
        high_ = 0;
        for (std::size_t r = 0; r < count_; ++r) {
            const std::size_t x = xs[r];
            write_terms(values[x], terms_.data() + r * kRowTerms);
            values_[r] = values[x];
            const std::span<const Word> row = blocks.row(x);
            rows_[r] = KeptWords{row.data(), blocks.first_word(x), row.size()};
            low_ = std::min(low_, rows_[r].first_word);
            high_ = std::max(high_, rows_[r].first_word + row.size());
        }
        return count_ * (high_ - low_);
    }

    // Adds the rows' terms into the sums of the block starting at column
    // `first`, a word of targets at a time, the rows in ascending order.
    template <class Terms>
    [[gnu::always_inline]] void add_to(std::size_t first, TileSums& sums) noexcept {
        for (std::size_t w = low_; w < high_; ++w) {
            for (std::size_t r = 0; r < count_; ++r) {
                const KeptWords& row = rows_[r];
                const std::size_t k = w - row.first_word;  // wraps past the size below the row's first word
                column_[r] = k < row.size ? row.words[k] : 0;
            }
            const std::size_t tile = (first + w * kWordBits) / kTileTargets;
            for (std::size_t half = 0; half < kWordBits / kTileTargets && tile + half < sums.tile_count(); ++half) {
                add_block_to_tile<Terms>(column_.data(), 1, half * kTileTargets, values_.data(), terms_.data(), count_,
                                         sums.tile(tile + half), sums.reached(tile + half));
            }
        }
    }

private:
    struct KeptWords {
        const Word* words;
        std::size_t first_word;
        std::size_t size;
    };

    std::vector<double> terms_;
    std::vector<double> values_;
    std::vector<KeptWords> rows_;
    std::vector<Word> column_;  // the rows' words for one word of targets
    std::size_t count_ = 0;
    std::size_t low_ = 0;
    std::size_t high_ = 0;
};

// Compiled for AVX-512 too, as the whole rows' sums are, apart from the
// closing of the blocks, whose short scans measure slower in wider registers.
QUORVANE_DISPATCHED_AVX512
void add_row_group(RowGroup& group, std::size_t first, bool any_nan, TileSums& sums) noexcept {
    if (any_nan) {
        group.add_to<AnyTerms>(first, sums);
    } else {
        group.add_to<NoNaNTerms>(first, sums);
    }
}

}  // namespace

QUORVANE_DISPATCHED
KernelResult<PrincipalSizes> principal_sizes_by_blocks(const SuccessorLists& order, std::size_t columns,
                                                       InterruptPoll interrupt) {
    const std::size_t n = order.size();
    PrincipalSizes sizes{std::vector<std::uint64_t>(n, 1), std::vector<std::uint64_t>(n, 1)};
    ColumnBlocks blocks(order, columns, interrupt);
    const bool finished = blocks.run([&](std::size_t first) {
        for (const std::size_t x : blocks.filled()) {
            const std::span<const Word> row = blocks.row(x);
            sizes.filter[x] += count_common_bits(row.data(), row.data(), row.size());
            const std::size_t base = first + blocks.first_word(x) * kWordBits;
            for_each_bit(row, base, [&](std::size_t y) { ++sizes.ideal[y]; });
            if (blocks.budget().charge(row.size())) return false;
        }
        return true;
    });
    if (!finished) return std::unexpected(kInterrupted);
    return sizes;
}

QUORVANE_DISPATCHED
KernelResult<std::vector<double>> zeta_sums_by_blocks(const SuccessorLists& order, std::span<const double> values,
                                                      bool strict, std::size_t columns, InterruptPoll interrupt) {
    TileSums sums(values, !strict);
    const bool any_nan = sums.any_nan();
    RowGroup group;
    ColumnBlocks blocks(order, columns, interrupt);
    const bool finished = blocks.run([&](std::size_t first) {
        const std::span<const std::size_t> filled = blocks.filled();
        for (std::size_t g = 0; g < filled.size(); g += kBlockRows) {
            const std::size_t count = std::min(kBlockRows, filled.size() - g);
            const std::size_t words = group.gather(blocks, filled.subspan(g, count), values);
            add_row_group(group, first, any_nan, sums);
            if (blocks.budget().charge(words)) return false;
        }
        return true;
    });
    if (!finished) return std::unexpected(kInterrupted);
    return std::move(sums).finish();
}

}  // namespace quorvane::closure
