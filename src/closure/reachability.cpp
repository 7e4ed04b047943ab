#include "reachability.hpp"

#include <algorithm>
#include <array>
#include <bit>

#include "../common/cpu_dispatch.hpp"
#include "../common/work_budget.hpp"

namespace quorvane::closure {
namespace {

// Closes the rows from the top down, so that a successor's row is final when
// it is read. Of the given successors only those not yet reached contribute
// (one reached through an earlier successor brings nothing new), and of those
// only the ones whose row is not empty; each contributes the words its row
// spans. Most words of most rows hold no such successor, so the scan over
// them stays free of everything else.
class Closure {
public:
    Closure(ReachabilityRows& rows, InterruptPoll interrupt)
        : rows_(rows), budget_(interrupt), reached_(rows.words()), nonempty_(rows.words()), span_end_(rows.size()) {}

    // False when the budget's poll asks to stop.
    QUORVANE_DISPATCHED bool run() noexcept {
        const std::size_t words = rows_.words();
        for (std::size_t i = rows_.size(); i-- > 0;) {
            const std::span<Word> row = rows_.row(i);
            const std::size_t first_word = word_of(i);
            std::fill(reached_.begin() + static_cast<std::ptrdiff_t>(first_word), reached_.end(), Word{0});
            if (budget_.charge(words - first_word)) return false;
            const Word* nonempty = nonempty_.data();
            const Word* reached = reached_.data();
            for (std::size_t k = first_word; k < words; ++k) {
                if (row[k] == 0) continue;  // most words: nothing more to load
                const Word candidates = row[k] & nonempty[k];
                if ((candidates & ~reached[k]) != 0 && !absorb(candidates, k)) return false;
            }
            for (std::size_t k = first_word; k < words; ++k) row[k] |= reached[k];
            std::size_t end = words;
            while (end > first_word && row[end - 1] == 0) --end;
            span_end_[i] = end;
            if (end > first_word) nonempty_[first_word] |= bit_of(i);
        }
        return true;
    }

private:
    // Ors into the reached set the rows of the candidates in word k that are
    // not reached yet, each after those before it. False when the budget's
    // poll asks to stop.
    QUORVANE_DISPATCHED bool absorb(Word candidates, std::size_t k) noexcept {
        for (Word open = candidates & ~reached_[k]; open != 0; open &= ~reached_[k]) {
            const std::size_t j = k * kWordBits + static_cast<std::size_t>(std::countr_zero(open));
            open &= open - 1;
            // Locals, so that the compiler need not reread them after each store.
            const Word* above = rows_.row(j).data();
            Word* reached = reached_.data();
            const std::size_t begin = word_of(j);
            const std::size_t end = span_end_[j];
            for (std::size_t m = begin; m < end; ++m) reached[m] |= above[m];
            if (budget_.charge(end - begin)) return false;
        }
        return true;
    }

    ReachabilityRows& rows_;
    WorkBudget budget_;
    std::vector<Word> reached_;
    std::vector<Word> nonempty_;         // closed rows with at least one element above
    std::vector<std::size_t> span_end_;  // one past the last nonzero word of each closed row
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

bool has_bits_from(std::span<const Word> row, std::size_t n) {
    if (n % kWordBits == 0) return false;
    return (row.back() >> (n % kWordBits)) != 0;
}

bool has_bits_up_to(std::span<const Word> row, std::size_t i) {
    for (std::size_t k = 0; k < word_of(i); ++k) {
        if (row[k] != 0) return true;
    }
    const Word through_i = bit_of(i) | (bit_of(i) - 1);
    return (row[word_of(i)] & through_i) != 0;
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
    if (!Closure(rows, interrupt).run()) return std::unexpected(kInterrupted);
    return rows;
}

KernelResult<ReachabilityRows> close_successor_rows(std::size_t n, SuccessorRows rows, InterruptPoll interrupt,
                                                    std::size_t first_misshapen_row) {
    if (rows.size() != n) return std::unexpected(kIndexOutOfRange);
    for (std::size_t i = 0; i < n; ++i) {
        if (i == first_misshapen_row) return std::unexpected(kIndexOutOfRange);
        std::span<const Word> row = rows.row(i);
        if (has_bits_from(row, n)) return std::unexpected(kIndexOutOfRange);
        if (has_bits_up_to(row, i)) return std::unexpected(kNotTopological);
    }
    if (!Closure(rows, interrupt).run()) return std::unexpected(kInterrupted);
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
