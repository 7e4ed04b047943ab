// The convolutions' fold in dense tiles, for orders whose intervals fill most
// of the index range between their ends, as a chain's do.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <span>
#include <vector>

#include "../common/work_budget.hpp"
#include "convolution.hpp"

namespace quorvane::incidence::tile_folds {

// The fold works as a dense matrix product does, on copies of the operands in
// which every entry that no term reads is the semiring's zero: such a term then
// changes nothing, so each tile of results takes the terms of every z in one
// sweep without asking the order which of them count. A band of result columns
// y and a slab of middles z are copied from the right matrix once; then, for
// every block of rows x, the left entries of the slab, and tile by tile the
// block's running values stay in registers while the terms are added. Slabs
// are taken in ascending z, and each tile adds its z in ascending order, so
// every running value still receives its terms one at a time in ascending z.
constexpr std::size_t kBandColumns = 256;
constexpr std::size_t kSlabDepth = 256;

// A tile of Rows x Vectors*Width results, Width the lanes of one register:
// registers enough to hold the tile and one row of right entries.
template <std::size_t Rows, std::size_t Vectors, std::size_t Width>
struct TileShape {
    static constexpr std::size_t kRows = Rows;
    static constexpr std::size_t kVectors = Vectors;
    static constexpr std::size_t kWidth = Width;
    static constexpr std::size_t kLanes = Vectors * Width;
    static_assert(kBandColumns % kLanes == 0 && kWordBits % kLanes == 0);
    typedef double Lanes __attribute__((vector_size(Width * sizeof(double))));
};

using WideTile = TileShape<8, 2, 8>;    // AVX-512
using MediumTile = TileShape<6, 2, 4>;  // AVX2
using NarrowTile = TileShape<4, 2, 2>;  // SSE2

// Right entries z <= y of a band's columns, for each z of a slab, tile by
// tile; the rest are the zero.
template <class Semiring, class Shape>
class RightSlab {
public:
    RightSlab() : entries_(kSlabDepth * kBandColumns), reaches_(kSlabDepth) {}

    // Copies rows [z0, z1) for columns [y0, y0 + kBandColumns).
    [[gnu::always_inline]] void fill(const ReachabilityRows& rows, const IncidenceMatrix& right, std::size_t y0,
                                     std::size_t z0, std::size_t z1) noexcept {
        const std::size_t n = rows.size();
        z0_ = z0;
        for (std::size_t z = z0; z < z1; ++z) {
            const std::span<const Word> up = rows.row(z);
            bool reaches = false;
            for (std::size_t k = word_of(y0); k * kWordBits < std::min(n, y0 + kBandColumns); ++k) {
                const Word word = up[k] | (k == word_of(z) ? bit_of(z) : 0);
                reaches |= word != 0;
                const std::size_t base = k * kWordBits;
                const std::size_t valid = std::min(kWordBits, n - base);
                const double* from = right[z].data() + base;
                for (std::size_t j = 0; j < kWordBits; j += Shape::kLanes) {
                    double* to = lanes(base + j - y0, z);
                    for (std::size_t lane = 0; lane < Shape::kLanes; ++lane) {
                        const bool read = j + lane < valid && ((word >> (j + lane)) & 1) != 0;
                        to[lane] = read ? from[j + lane] : Semiring::kZero;
                    }
                }
            }
            reaches_[z - z0] = reaches;
        }
    }

    // The tile starting at band column `column`, row z.
    const double* lanes(std::size_t column, std::size_t z) const noexcept {
        return entries_.data() + column * kSlabDepth + (z - z0_) * Shape::kLanes;
    }
    // Whether row z has any entry in the band.
    bool reaches(std::size_t z) const noexcept { return reaches_[z - z0_]; }

private:
    double* lanes(std::size_t column, std::size_t z) noexcept {
        return entries_.data() + column * kSlabDepth + (z - z0_) * Shape::kLanes;
    }

    std::vector<double> entries_;
    std::vector<bool> reaches_;
    std::size_t z0_ = 0;
};

// Left entries x <= z of the rows of a block folded here, for the z of a slab
// that some such x reaches and that reach the band: Rows values per z.
template <class Semiring, class Shape>
class LeftBlock {
public:
    LeftBlock() { entries_.reserve(kSlabDepth * Shape::kRows); middles_.reserve(kSlabDepth); }

    void fill(const ReachabilityRows& rows, const IncidenceMatrix& left, const std::vector<bool>& in_tiles,
              const RightSlab<Semiring, Shape>& slab, std::size_t x0, std::size_t z0, std::size_t z1) {
        const std::size_t x1 = std::min(rows.size(), x0 + Shape::kRows);
        entries_.clear();
        middles_.clear();
        for (std::size_t z = std::max(z0, x0); z < z1; ++z) {
            if (!slab.reaches(z)) continue;
            double values[Shape::kRows];
            bool reached = false;
            for (std::size_t r = 0; r < Shape::kRows; ++r) {
                const std::size_t x = x0 + r;
                const bool read = x < x1 && in_tiles[x] && x <= z && (x == z || rows.test(x, z));
                values[r] = read ? left[x][z] : Semiring::kZero;
                reached |= read;
            }
            if (!reached) continue;
            entries_.insert(entries_.end(), values, values + Shape::kRows);
            middles_.push_back(z);
        }
    }

    std::span<const std::size_t> middles() const noexcept { return middles_; }
    const double* entries() const noexcept { return entries_.data(); }

private:
    std::vector<double> entries_;
    std::vector<std::size_t> middles_;
};

// The tile's running values: rows [x0, x0 + Rows) and columns
// [y0, y0 + Lanes), all but those past n taken from and put back into the
// result.
template <class Shape>
struct TileValues {
    alignas(64) double values[Shape::kRows][Shape::kLanes];

    void load(const IncidenceMatrix& result, std::size_t x0, std::size_t y0, double zero) noexcept {
        const std::size_t n = result.size();
        for (std::size_t r = 0; r < Shape::kRows; ++r) {
            for (std::size_t j = 0; j < Shape::kLanes; ++j) {
                values[r][j] = x0 + r < n && y0 + j < n ? result[x0 + r][y0 + j] : zero;
            }
        }
    }

    void store(IncidenceMatrix& result, std::size_t x0, std::size_t y0) const noexcept {
        const std::size_t n = result.size();
        for (std::size_t r = 0; r < Shape::kRows && x0 + r < n; ++r) {
            std::memcpy(result[x0 + r].data() + y0, values[r], std::min(Shape::kLanes, n - y0) * sizeof(double));
        }
    }
};

// Adds the terms of the first `count` middles to the tile, in ascending z:
// the tile in registers, one row of right entries and one left entry at a time.
template <class Semiring, class Shape>
[[gnu::always_inline]] inline void fold_tile(TileValues<Shape>& tile, const double* left_entries,
                                             std::span<const std::size_t> middles, const RightSlab<Semiring, Shape>& slab,
                                             std::size_t column) noexcept {
    using Lanes = typename Shape::Lanes;
    constexpr std::size_t R = Shape::kRows, V = Shape::kVectors, W = Shape::kWidth;
    Lanes acc[R][V];
#pragma GCC unroll 16
    for (std::size_t r = 0; r < R; ++r) {
#pragma GCC unroll 16
        for (std::size_t v = 0; v < V; ++v) std::memcpy(&acc[r][v], &tile.values[r][v * W], sizeof(Lanes));
    }
    for (std::size_t i = 0; i < middles.size(); ++i) {
        const double* right_entries = slab.lanes(column, middles[i]);
        Lanes b[V];
#pragma GCC unroll 16
        for (std::size_t v = 0; v < V; ++v) std::memcpy(&b[v], right_entries + v * W, sizeof(Lanes));
#pragma GCC unroll 16
        for (std::size_t r = 0; r < R; ++r) {
            Lanes a;
#pragma GCC unroll 16
            for (std::size_t w = 0; w < W; ++w) a[w] = left_entries[i * R + r];
#pragma GCC unroll 16
            for (std::size_t v = 0; v < V; ++v) Semiring::fold(acc[r][v], a, b[v]);
        }
    }
#pragma GCC unroll 16
    for (std::size_t r = 0; r < R; ++r) {
#pragma GCC unroll 16
        for (std::size_t v = 0; v < V; ++v) std::memcpy(&tile.values[r][v * W], &acc[r][v], sizeof(Lanes));
    }
}

// Whether some x of rows [x0, x1) is at or below some of the `lanes` columns
// from y, which lie in one word.
inline bool block_reaches(const ReachabilityRows& rows, std::size_t x0, std::size_t x1, std::size_t y,
                   std::size_t lanes) noexcept {
    const Word last = bit_of(y + lanes - 1);
    const Word columns = (last - bit_of(y)) | last;
    Word reach = 0;
    for (std::size_t x = x0; x < x1; ++x) reach |= rows.row(x)[word_of(y)] | (word_of(x) == word_of(y) ? bit_of(x) : 0);
    return (reach & columns) != 0;
}

// Folds the rows x whose `in_tiles` is set; false when interrupted. Inlined
// into each CPU level's variant of the kernel, as is all it calls in its loops.
template <class Semiring, class Shape>
[[gnu::always_inline]] inline bool fold_tiles(const ReachabilityRows& rows, const IncidenceMatrix& left,
                                              const IncidenceMatrix& right, IncidenceMatrix& result,
                                              const std::vector<bool>& in_tiles, InterruptPoll interrupt) {
    const std::size_t n = rows.size();
    // Rows [first, last) hold all those folded here; their terms have z and y
    // from `first` on.
    const std::size_t first = static_cast<std::size_t>(std::find(in_tiles.begin(), in_tiles.end(), true) - in_tiles.begin());
    if (first == n) return true;
    const std::size_t last = static_cast<std::size_t>(in_tiles.rend() - std::find(in_tiles.rbegin(), in_tiles.rend(), true));
    RightSlab<Semiring, Shape> slab;
    LeftBlock<Semiring, Shape> block;
    // On the heap: a kilobyte, and the kernel's frame stays small.
    const std::unique_ptr<TileValues<Shape>> tile = std::make_unique<TileValues<Shape>>();
    WorkBudget budget(interrupt);
    for (std::size_t y0 = first / kBandColumns * kBandColumns; y0 < n; y0 += kBandColumns) {
        const std::size_t y1 = std::min(n, y0 + kBandColumns);
        for (std::size_t z0 = first / kSlabDepth * kSlabDepth; z0 < y1; z0 += kSlabDepth) {
            const std::size_t z1 = std::min(y1, z0 + kSlabDepth);
            slab.fill(rows, right, y0, z0, z1);
            if (budget.charge((z1 - z0) * kBandColumns)) return false;
            for (std::size_t x0 = first; x0 < std::min(z1, last); x0 += Shape::kRows) {
                const auto block_rows = in_tiles.begin() + static_cast<std::ptrdiff_t>(x0);
                if (std::none_of(block_rows, block_rows + static_cast<std::ptrdiff_t>(std::min(Shape::kRows, n - x0)),
                                 [](bool tiled) { return tiled; })) {
                    continue;
                }
                block.fill(rows, left, in_tiles, slab, x0, z0, z1);
                const std::span<const std::size_t> middles = block.middles();
                if (middles.empty()) continue;
                const std::size_t x1 = std::min(n, x0 + Shape::kRows);
                std::uint64_t folded = 0;
                for (std::size_t column = 0; y0 + column < y1; column += Shape::kLanes) {
                    const std::size_t y = y0 + column;
                    if (!block_reaches(rows, x0, x1, y, Shape::kLanes)) continue;
                    // Only z <= y for some y of the tile take part.
                    const std::size_t count = static_cast<std::size_t>(
                        std::lower_bound(middles.begin(), middles.end(), y + Shape::kLanes) - middles.begin());
                    if (count == 0) continue;
                    tile->load(result, x0, y, Semiring::kZero);
                    fold_tile<Semiring, Shape>(*tile, block.entries(), middles.first(count), slab, column);
                    tile->store(result, x0, y);
                    folded += count;
                }
                if (budget.charge(folded * Shape::kRows * Shape::kLanes / 8 + Shape::kRows)) return false;
            }
        }
    }
    return true;
}

}  // namespace quorvane::incidence::tile_folds
