#include "convolution.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>

#include "../common/bit_count.hpp"
#include "../common/cpu_dispatch.hpp"
#include "operand_check.hpp"
#include "row_folds.hpp"
#include "semirings.hpp"
#include "tile_folds.hpp"

namespace quorvane::incidence {
namespace {

// The tiles compute every term between a row's ends, the ones that are not in
// its intervals included, and those of the other rows of its tile; a row goes
// to them when at least three quarters of its own count, as on a chain, and is
// folded row by row otherwise.
constexpr std::uint64_t kTileShareParts = 4;
constexpr std::uint64_t kTileShareNeeded = 3;

// For each x: whether its terms go to the tiles.
std::vector<bool> rows_for_tiles(const ReachabilityRows& rows) {
    const std::size_t n = rows.size();
    std::vector<std::uint64_t> upper(n);  // y with z <= y, per z
    for (std::size_t z = 0; z < n; ++z) upper[z] = count_bits(rows.row(z)) + 1;
    std::vector<bool> in_tiles(n);
    for (std::size_t x = 0; x < n; ++x) {
        std::uint64_t terms = upper[x];
        std::uint64_t spanned = n - x;
        const std::span<const Word> row = rows.row(x);
        for_each_bit(row.subspan(word_of(x)), word_of(x) * kWordBits, [&](std::size_t z) {
            terms += upper[z];
            spanned += n - z;
        });
        in_tiles[x] = terms * kTileShareParts >= spanned * kTileShareNeeded;
    }
    return in_tiles;
}

// Whether some term adds +inf to -inf: a left entry x <= z and a right entry
// z <= y of opposite infinities meeting at the same z.
bool meets_opposite_infinities(const ReachabilityRows& rows, const IncidenceMatrix& left,
                               const IncidenceMatrix& right) {
    const std::size_t n = rows.size();
    struct Infinities {
        bool positive = false;
        bool negative = false;
    };
    std::vector<Infinities> into(n), out_of(n);
    // The infinities of a row at the elements it reaches, itself included.
    auto note = [&rows](std::size_t from, const std::vector<double>& row, auto&& at) {
        for (std::size_t to = from; to < row.size(); ++to) {
            if (std::isinf(row[to]) && (to == from || rows.test(from, to))) (row[to] > 0 ? at(to).positive : at(to).negative) = true;
        }
    };
    for (std::size_t x = 0; x < n; ++x) note(x, left[x], [&](std::size_t z) -> Infinities& { return into[z]; });
    for (std::size_t z = 0; z < n; ++z) note(z, right[z], [&](std::size_t) -> Infinities& { return out_of[z]; });
    for (std::size_t z = 0; z < n; ++z) {
        if ((into[z].positive && out_of[z].negative) || (into[z].negative && out_of[z].positive)) return true;
    }
    return false;
}

template <class Semiring>
bool rejects_sums(const IncidenceMatrix& result) noexcept {
    bool rejected = false;
    for (const std::vector<double>& row : result) {
        for (double acc : row) rejected |= Semiring::rejects_sum(acc);
    }
    return rejected;
}

// The tile shape follows the registers of the variant the loader chose.
// Refusals are found before (opposite infinities) or after the fold (sums),
// not during it: the refusal is the same whichever term is met first.
template <class Semiring>
QUORVANE_DISPATCHED_AVX512
KernelResult<IncidenceMatrix> convolve(const ReachabilityRows& rows, const IncidenceMatrix& left,
                                       const IncidenceMatrix& right, InterruptPoll interrupt) {
    const std::size_t n = rows.size();
    if (std::optional<KernelError> error = validate_incidence_matrices(n, left, right)) return std::unexpected(*error);
    if (Semiring::kRefusesOppositeInfinities && meets_opposite_infinities(rows, left, right)) {
        return std::unexpected(kInvalidValue);
    }
    IncidenceMatrix result(n, std::vector<double>(n, Semiring::kZero));
    const std::vector<bool> in_tiles = rows_for_tiles(rows);
    using namespace tile_folds;
    const int level = dispatch_level();
    const bool tiled = level >= 4   ? fold_tiles<Semiring, WideTile>(rows, left, right, result, in_tiles, interrupt)
                       : level >= 3 ? fold_tiles<Semiring, MediumTile>(rows, left, right, result, in_tiles, interrupt)
                                    : fold_tiles<Semiring, NarrowTile>(rows, left, right, result, in_tiles, interrupt);
    if (!tiled || !row_folds::fold_rows<Semiring>(rows, left, right, result, in_tiles, interrupt)) {
        return std::unexpected(kInterrupted);
    }
    if (rejects_sums<Semiring>(result)) return std::unexpected(kInvalidValue);
    return result;
}

}  // namespace

KernelResult<IncidenceMatrix> max_min_convolution(const ReachabilityRows& rows, const IncidenceMatrix& left,
                                                  const IncidenceMatrix& right, InterruptPoll interrupt) {
    return convolve<MaxMin>(rows, left, right, interrupt);
}

KernelResult<IncidenceMatrix> max_plus_convolution(const ReachabilityRows& rows, const IncidenceMatrix& left,
                                                   const IncidenceMatrix& right, InterruptPoll interrupt) {
    return convolve<MaxPlus>(rows, left, right, interrupt);
}

KernelResult<IncidenceMatrix> min_plus_convolution(const ReachabilityRows& rows, const IncidenceMatrix& left,
                                                   const IncidenceMatrix& right, InterruptPoll interrupt) {
    return convolve<MinPlus>(rows, left, right, interrupt);
}

KernelResult<IncidenceMatrix> sum_product_convolution(const ReachabilityRows& rows, const IncidenceMatrix& left,
                                                      const IncidenceMatrix& right, InterruptPoll interrupt) {
    return convolve<SumProduct>(rows, left, right, interrupt);
}

}  // namespace quorvane::incidence
