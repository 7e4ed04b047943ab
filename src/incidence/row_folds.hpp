// The convolutions' fold row by row: for each x and each z it reaches, the
// terms of z are added along the right row of z to the running values of x.
// Used for the rows whose intervals are too sparse for the dense tiles.
#pragma once

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <span>
#include <vector>

#include "../common/work_budget.hpp"
#include "convolution.hpp"

namespace quorvane::incidence::row_folds {

// The scan runs over blocks of rows x and, within a block, over tiles of
// words of y, so that each right row fetched from memory serves every x of
// the block and the block's running values for a tile stay in the L1 cache.
constexpr std::size_t kBlockRows = 16;
constexpr std::size_t kTileWords = 2;
// A word with at most this many lanes in use is folded lane by lane; above
// it, folding all 64 lanes and blending the unused ones away is cheaper.
constexpr int kSparseLanes = 16;

using Lanes = std::array<std::uint64_t, kWordBits>;

// One x's part in the terms of a z: its left entry and its running values.
struct Term {
    double left;
    double* acc;
};

// Highest element of x and its up-set: no interval from x reaches beyond it.
inline std::vector<std::size_t> interval_tops(const ReachabilityRows& rows) {
    std::vector<std::size_t> top(rows.size());
    for (std::size_t x = 0; x < rows.size(); ++x) {
        const std::span<const Word> row = rows.row(x);
        top[x] = x;
        for (std::size_t k = row.size(); k-- > word_of(x);) {
            if (row[k] != 0) {
                top[x] = k * kWordBits + kWordBits - 1 - static_cast<std::size_t>(std::countl_zero(row[k]));
                break;
            }
        }
    }
    return top;
}

// Lane mask all ones: taken, else kept. Bitwise, so that the compiler cannot
// turn it into a branch around the fold step; such a branch would not vectorise.
inline double select(std::uint64_t lane, double taken, double kept) noexcept {
    return std::bit_cast<double>((std::bit_cast<std::uint64_t>(taken) & lane) |
                                 (std::bit_cast<std::uint64_t>(kept) & ~lane));
}

// acc[j] = acc[j] (+) (a (x) b[j]) for the first `len` lanes, or for those of
// them whose mask is set. Masked lanes are computed too and blended away, so
// that the loop vectorises; their values are never kept or tested.
template <class Semiring, bool Masked>
void fold_lanes(double a, const double* b, double* acc, const Lanes& lanes, std::size_t len) noexcept {
    for (std::size_t j = 0; j < len; ++j) {
        double next = acc[j];
        Semiring::fold(next, a, b[j]);
        acc[j] = Masked ? select(lanes[j], next, acc[j]) : next;
    }
}

// For the set bits j of `word`, one at a time, and every x of `terms`:
// acc[j] = acc[j] (+) (a (x) b[j]).
template <class Semiring>
void fold_bits(std::span<const Term> terms, const double* b, std::size_t base, Word word) noexcept {
    for (; word != 0; word &= word - 1) {
        const std::size_t j = base + static_cast<std::size_t>(std::countr_zero(word));
        for (const Term& term : terms) Semiring::fold(term.acc[j], term.left, b[j]);
    }
}

// Adds the terms of one z to the pairs (x, y) of every x of `terms` and every
// y in z and its up-set within words [k0, k1). Such y lie in x's up-set too,
// by transitivity, so x's own row needs no test. A run of full words is
// folded in one sweep per x.
template <class Semiring>
void fold_row(std::span<const Word> up, std::size_t z, std::size_t top, std::size_t k0, std::size_t k1,
              const double* right_row, std::span<const Term> terms, Lanes& lanes) noexcept {
    const std::size_t k_end = std::min(k1, word_of(top) + 1);
    for (std::size_t k = std::max(k0, word_of(z)); k < k_end;) {
        const Word word = up[k] | (k == word_of(z) ? bit_of(z) : 0);
        const std::size_t base = k * kWordBits;
        if (word == ~Word{0}) {
            std::size_t run_end = k + 1;
            while (run_end < k_end && up[run_end] == ~Word{0}) ++run_end;
            const std::size_t len = (run_end - k) * kWordBits;
            for (const Term& term : terms) {
                fold_lanes<Semiring, false>(term.left, right_row + base, term.acc + base, lanes, len);
            }
            k = run_end;
            continue;
        }
        if (std::popcount(word) <= kSparseLanes) {
            fold_bits<Semiring>(terms, right_row, base, word);
        } else {
            const std::size_t len = std::min(kWordBits, top + 1 - base);
            for (std::size_t j = 0; j < kWordBits; ++j) lanes[j] = 0 - ((word >> j) & 1);
            for (const Term& term : terms) {
                fold_lanes<Semiring, true>(term.left, right_row + base, term.acc + base, lanes, len);
            }
        }
        ++k;
    }
}

// The z that take part for some x of a block (of those not folded by tiles), ascending, each with the terms
// of the x it takes part for (x <= z).
class BlockColumns {
public:
    explicit BlockColumns(std::size_t n) {
        columns_.reserve(n);
        terms_.reserve(checked_size(n, kBlockRows));
    }

    void gather(const ReachabilityRows& rows, const IncidenceMatrix& left, IncidenceMatrix& result,
                const std::vector<bool>& in_tiles, std::size_t x0, std::size_t x1, std::size_t z_end) {
        columns_.clear();
        terms_.clear();
        for (std::size_t z = x0; z < z_end; ++z) {
            const std::size_t first = terms_.size();
            for (std::size_t x = x0; x < x1 && x <= z; ++x) {
                if (!in_tiles[x] && (x == z || rows.test(x, z))) terms_.push_back({left[x][z], result[x].data()});
            }
            if (terms_.size() > first) columns_.push_back({z, first, terms_.size() - first});
        }
    }

    // Calls visit(z, terms) in ascending z, for every z below `z_stop`.
    template <class Visit>
    void for_each(std::size_t z_stop, Visit&& visit) const {
        for (const Column& column : columns_) {
            if (column.z >= z_stop) break;
            visit(column.z, std::span<const Term>(terms_.data() + column.first, column.count));
        }
    }

private:
    struct Column {
        std::size_t z;
        std::size_t first;
        std::size_t count;
    };
    std::vector<Column> columns_;
    std::vector<Term> terms_;
};

// x outer, z middle, y inner: every running value still receives its terms in
// ascending z, while the inner loop runs along a right row. Folds the rows x
// whose `in_tiles` is false; false when interrupted.
template <class Semiring>
[[gnu::always_inline]] inline bool fold_rows(const ReachabilityRows& rows, const IncidenceMatrix& left,
                                             const IncidenceMatrix& right, IncidenceMatrix& result,
                                             const std::vector<bool>& in_tiles, InterruptPoll interrupt) {
    const std::size_t n = rows.size();
    const std::vector<std::size_t> top = interval_tops(rows);
    BlockColumns columns(n);
    alignas(64) Lanes lanes;
    WorkBudget budget(interrupt);
    for (std::size_t x0 = 0; x0 < n; x0 += kBlockRows) {
        const std::size_t x1 = std::min(n, x0 + kBlockRows);
        const std::size_t z_end = *std::max_element(top.begin() + static_cast<std::ptrdiff_t>(x0),
                                                    top.begin() + static_cast<std::ptrdiff_t>(x1)) + 1;
        columns.gather(rows, left, result, in_tiles, x0, x1, z_end);
        if (budget.charge((z_end - x0) * (x1 - x0))) return false;
        for (std::size_t k0 = word_of(x0); k0 * kWordBits < z_end; k0 += kTileWords) {
            const std::size_t k1 = k0 + kTileWords;
            std::size_t terms_folded = 0;
            columns.for_each(k1 * kWordBits, [&](std::size_t z, std::span<const Term> terms) {
                fold_row<Semiring>(rows.row(z), z, top[z], k0, k1, right[z].data(), terms, lanes);
                terms_folded += terms.size();
            });
            // Each term is folded into at most a tile's lanes.
            if (budget.charge(terms_folded * kTileWords * kWordBits)) return false;
        }
    }
    return true;
}

}  // namespace quorvane::incidence::row_folds
