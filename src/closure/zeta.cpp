#include "zeta.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "../common/cpu_dispatch.hpp"
#include "../common/work_budget.hpp"

namespace quorvane::closure {
namespace {

// Four sums side by side: each variant of the kernel keeps them in the
// widest registers its level has.
using Lanes = double __attribute__((vector_size(32)));
constexpr std::size_t kLanes = 4;

// The sums of a tile of consecutive targets stay in registers while a block
// of the rows below them passes: each row's word adds the row's value into
// the marked sums in one step, and each sum still takes its terms in
// ascending row order. A block of rows is a tile's worth, so that only the
// diagonal tile holds rows not below all of its targets.
constexpr std::size_t kTileVectors = 8;
constexpr std::size_t kTileTargets = kLanes * kTileVectors;
constexpr std::size_t kBlockRows = kTileTargets;

// A row's terms for each pattern of marks on four lanes: the row's value in a
// marked lane, -0.0 in the others, so that one addition serves a whole
// vector. Adding -0.0 leaves a sum as it is, -0.0 included, but for quieting
// a signalling NaN: such a sum is quieted by its first addition of a term
// anyway, and sums that take no term are restored at the end.
constexpr std::size_t kPatterns = std::size_t{1} << kLanes;
constexpr std::size_t kRowTerms = kPatterns * kLanes;

void write_terms(double value, double* terms) noexcept {
    for (std::size_t pattern = 0; pattern < kPatterns; ++pattern) {
        for (std::size_t lane = 0; lane < kLanes; ++lane) {
            terms[pattern * kLanes + lane] = ((pattern >> lane) & 1) != 0 ? value : -0.0;
        }
    }
}

// Sums and terms, one at a time or four at a time. Vectors go by reference:
// passed by value, they would take a different calling convention in each
// variant of the kernel.
//
// With no NaN among the values, a sum's own included, which operand of an
// addition comes first does not show in its result.
struct NoNaNTerms {
    template <class Sum>
    [[gnu::always_inline]] static void add(Sum& sum, const Sum& term) noexcept {
        sum += term;
    }
};

// A NaN sum stays as it is (quieted) even when the term is another NaN, as
// the hardware keeps its first operand; the compiler takes addition for
// commutative and might swap the operands.
struct AnyTerms {
    template <class Sum>
    [[gnu::always_inline]] static void add(Sum& sum, const Sum& term) noexcept {
        sum = sum != sum ? sum + sum : sum + term;
    }
};

// A block that marks at most this many of a tile's targets has its marks
// visited one by one rather than added a vector at a time (measured).
constexpr int kFewTargets = 8;

// Adds the terms of `count` rows, whose words for the tile are `column[r *
// stride] >> shift` and whose values are `row_values`, into the tile's sums;
// ors the words into `reached`. A block that marks none of the tile's
// targets, as most do in sparse orders, is passed over after a first look at
// its words, and one that marks few of them is walked mark by mark.
template <class Terms>
[[gnu::always_inline]] inline void add_block_to_tile(const Word* column, std::size_t stride, std::size_t shift,
                                                     const double* row_values, const double* terms, std::size_t count,
                                                     double* tile, std::uint32_t& reached) noexcept {
    Word words = 0;
#pragma GCC unroll 8
    for (std::size_t r = 0; r < count; ++r) words |= column[r * stride];
    const auto any = static_cast<std::uint32_t>(words >> shift);
    if (any == 0) return;
    reached |= any;
    if (std::popcount(any) <= kFewTargets) {
        for (std::size_t r = 0; r < count; ++r) {
            for (auto m = static_cast<std::uint32_t>(column[r * stride] >> shift); m != 0; m &= m - 1) {
                Terms::add(tile[std::countr_zero(m)], row_values[r]);
            }
        }
        return;
    }
    std::array<Lanes, kTileVectors> sums;
    std::memcpy(sums.data(), tile, sizeof sums);
    // Pointers rather than indices, so that a term's address is two registers.
    const double* const end = terms + count * kRowTerms;
    for (const double* row_terms = terms; row_terms != end; row_terms += kRowTerms, column += stride) {
        const Word row_marks = *column >> shift;
        for (std::size_t v = 0; v < kTileVectors; ++v) {
            Lanes term;
            std::memcpy(&term, row_terms + ((row_marks >> (v * kLanes)) & (kPatterns - 1)) * kLanes, sizeof term);
            Terms::add(sums[v], term);
        }
    }
    std::memcpy(tile, sums.data(), sizeof sums);
}

// `sums` holds a start value for each tile's target; targets that take no
// term get `reached` bit clear.
template <class Terms>
[[gnu::always_inline]] inline bool add_blocks(const ReachabilityRows& rows, std::span<const double> values,
                                              double* sums, std::uint32_t* reached, WorkBudget& budget) {
    const std::size_t n = rows.size();
    const std::size_t tiles = (n + kTileTargets - 1) / kTileTargets;
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
                                     terms.data(), count, sums + first_target, reached[t]);
        }
        if (budget.charge(count * (tiles - first_row / kTileTargets))) return false;
    }
    return true;
}

QUORVANE_DISPATCHED_AVX512
KernelResult<std::vector<double>> add_lower_values(const ReachabilityRows& rows, std::span<const double> values,
                                                   bool own_value, InterruptPoll interrupt) {
    WorkBudget budget(interrupt);
    const std::size_t n = rows.size();
    const auto start = [&](std::size_t i) { return own_value ? values[i] : 0.0; };
    // Whole tiles: the targets past the last take no terms.
    const std::size_t tiles = (n + kTileTargets - 1) / kTileTargets;
    std::vector<double> sums(tiles * kTileTargets, 0.0);
    for (std::size_t i = 0; i < n; ++i) sums[i] = start(i);
    std::vector<std::uint32_t> reached(tiles);
    const bool any_nan = std::any_of(values.begin(), values.end(), [](double v) { return std::isnan(v); });
    const bool done = any_nan ? add_blocks<AnyTerms>(rows, values, sums.data(), reached.data(), budget)
                              : add_blocks<NoNaNTerms>(rows, values, sums.data(), reached.data(), budget);
    if (!done) return std::unexpected(kInterrupted);
    sums.resize(n);
    for (std::size_t i = 0; i < n; ++i) {
        if (((reached[i / kTileTargets] >> (i % kTileTargets)) & 1) == 0) sums[i] = start(i);
    }
    return sums;
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
