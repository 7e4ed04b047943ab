// The zeta sums' inner step, shared by the whole rows and the column blocks:
// the sums of a tile of consecutive targets stay in registers while a block
// of rows below them passes, each row's word adding the row's value into the
// marked sums in one step, so that every sum still takes its terms in
// ascending row order.
#pragma once

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <span>
#include <utility>
#include <vector>

#include "../common/kernel_types.hpp"

namespace quorvane::closure::zeta_tiles {

// Four sums side by side: each variant of a kernel keeps them in the widest
// registers its level has.
using Lanes = double __attribute__((vector_size(32)));
inline constexpr std::size_t kLanes = 4;

inline constexpr std::size_t kTileVectors = 8;
inline constexpr std::size_t kTileTargets = kLanes * kTileVectors;
// A tile's worth of rows, whose terms stay in L1 while they pass the tiles.
inline constexpr std::size_t kBlockRows = kTileTargets;

// A row's terms for each pattern of marks on four lanes: the row's value in a
// marked lane, -0.0 in the others, so that one addition serves a whole
// vector. Adding -0.0 leaves a sum as it is, -0.0 included, but for quieting
// a signalling NaN: such a sum is quieted by its first addition of a term
// anyway, and sums that take no term are restored at the end (TileSums).
inline constexpr std::size_t kPatterns = std::size_t{1} << kLanes;
inline constexpr std::size_t kRowTerms = kPatterns * kLanes;

inline void write_terms(double value, double* terms) noexcept {
    for (std::size_t pattern = 0; pattern < kPatterns; ++pattern) {
        for (std::size_t lane = 0; lane < kLanes; ++lane) {
            terms[pattern * kLanes + lane] = ((pattern >> lane) & 1) != 0 ? value : -0.0;
        }
    }
}

// Sums and terms, one at a time or four at a time. Vectors go by reference:
// passed by value, they would take a different calling convention in each
// variant of a kernel.
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
inline constexpr int kFewTargets = 8;

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
    Word full = ~Word{0};
#pragma GCC unroll 8
    for (std::size_t r = 0; r < count; ++r) {
        words |= column[r * stride];
        full &= column[r * stride];
    }
    const auto any = static_cast<std::uint32_t>(words >> shift);
    if (any == 0) return;
    reached |= any;
    std::array<Lanes, kTileVectors> sums;
    if (static_cast<std::uint32_t>(full >> shift) == ~std::uint32_t{0}) {
        // Every row marks every target, as in chains and other long runs of
        // comparable elements: each row's value goes into all the sums as it
        // stands, with no pattern to look up.
        std::memcpy(sums.data(), tile, sizeof sums);
        for (std::size_t r = 0; r < count; ++r) {
            const double value = row_values[r];
            const Lanes term = {value, value, value, value};
            for (std::size_t v = 0; v < kTileVectors; ++v) Terms::add(sums[v], term);
        }
        std::memcpy(tile, sums.data(), sizeof sums);
        return;
    }
    if (std::popcount(any) <= kFewTargets) {
        for (std::size_t r = 0; r < count; ++r) {
            for (auto m = static_cast<std::uint32_t>(column[r * stride] >> shift); m != 0; m &= m - 1) {
                Terms::add(tile[std::countr_zero(m)], row_values[r]);
            }
        }
        return;
    }
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

// Every target's sum, from its start value, in whole tiles, with a mark for
// each target that took a term.
class TileSums {
public:
    // Starts at values[i], or at +0.0 where not `own_value`.
    TileSums(std::span<const double> values, bool own_value)
        : values_(values),
          own_value_(own_value),
          sums_(checked_size(tiles(values.size()), kTileTargets), 0.0),
          reached_(tiles(values.size())) {
        for (std::size_t i = 0; i < values.size(); ++i) sums_[i] = start(i);
    }

    static std::size_t tiles(std::size_t n) noexcept { return n / kTileTargets + (n % kTileTargets != 0); }

    std::size_t tile_count() const noexcept { return reached_.size(); }
    double* tile(std::size_t t) noexcept { return sums_.data() + t * kTileTargets; }
    std::uint32_t& reached(std::size_t t) noexcept { return reached_[t]; }

    // Whether a NaN is among the values, and so the sums need AnyTerms.
    bool any_nan() const noexcept {
        return std::any_of(values_.begin(), values_.end(), [](double v) { return std::isnan(v); });
    }

    // The sums of the targets, those that took no term as they started.
    std::vector<double> finish() && {
        sums_.resize(values_.size());
        for (std::size_t i = 0; i < sums_.size(); ++i) {
            if (((reached_[i / kTileTargets] >> (i % kTileTargets)) & 1) == 0) sums_[i] = start(i);
        }
        return std::move(sums_);
    }

private:
    double start(std::size_t i) const noexcept { return own_value_ ? values_[i] : 0.0; }

    std::span<const double> values_;
    bool own_value_;
    std::vector<double> sums_;
    std::vector<std::uint32_t> reached_;
};

}  // namespace quorvane::closure::zeta_tiles
