#include "convolution.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <optional>
#include <span>

#include "operand_check.hpp"
#include "semirings.hpp"

namespace quorvane::incidence {
namespace {

// The scan runs over blocks of rows x and, within a block, over tiles of
// words of y, so that each right row fetched from memory serves every x of
// the block and the block's running values for a tile stay in the L1 cache.
constexpr std::size_t kBlockRows = 8;
constexpr std::size_t kTileWords = 4;

using Lanes = std::array<std::uint64_t, kWordBits>;
using Members = std::uint32_t;  // bit i: row x0 + i of the block
static_assert(kBlockRows <= sizeof(Members) * 8);

// One x's part in the terms of a z: its left entry and its running values.
struct Term {
    double left;
    double* acc;
};

// Highest element of x and its up-set: no interval from x reaches beyond it.
std::vector<std::size_t> interval_tops(const ReachabilityRows& rows) {
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
bool fold_lanes(double a, const double* b, double* acc, const Lanes& lanes, std::size_t len) noexcept {
    std::uint64_t rejected = 0;
    for (std::size_t j = 0; j < len; ++j) {
        const double v = Semiring::product(a, b[j]);
        const std::uint64_t lane = Masked ? lanes[j] : ~std::uint64_t{0};
        acc[j] = select(lane, Semiring::sum(acc[j], v), acc[j]);
        rejected |= lane & (0 - static_cast<std::uint64_t>(Semiring::rejects_term(v)));
    }
    return rejected != 0;
}

// Adds the terms of one z to the pairs (x, y) of every x of `terms` and every
// y in z and its up-set within words [k0, k1). Such y lie in x's up-set too,
// by transitivity, so x's own row needs no test.
template <class Semiring>
bool fold_row(std::span<const Word> up, std::size_t z, std::size_t top, std::size_t k0, std::size_t k1,
              const double* right_row, std::span<const Term> terms, Lanes& lanes) noexcept {
    bool rejected = false;
    for (std::size_t k = std::max(k0, word_of(z)); k < k1 && k <= word_of(top); ++k) {
        const Word word = up[k] | (k == word_of(z) ? bit_of(z) : 0);
        const std::size_t base = k * kWordBits;
        if (word == ~Word{0}) {
            for (const Term& term : terms) {
                rejected |= fold_lanes<Semiring, false>(term.left, right_row + base, term.acc + base, lanes, kWordBits);
            }
        } else if (word != 0) {
            const std::size_t len = std::min(kWordBits, top + 1 - base);
            for (std::size_t j = 0; j < kWordBits; ++j) lanes[j] = 0 - ((word >> j) & 1);
            for (const Term& term : terms) {
                rejected |= fold_lanes<Semiring, true>(term.left, right_row + base, term.acc + base, lanes, len);
            }
        }
    }
    return rejected;
}

template <class Semiring>
bool rejects_sums(const IncidenceMatrix& result, std::size_t x0, std::size_t x1) noexcept {
    bool rejected = false;
    for (std::size_t x = x0; x < x1; ++x) {
        for (double acc : result[x]) rejected |= Semiring::rejects_sum(acc);
    }
    return rejected;
}

// x outer, z middle, y inner: every running value still receives its terms in
// ascending z, while the inner loop runs along a right row.
template <class Semiring>
KernelResult<IncidenceMatrix> convolve(const ReachabilityRows& rows, const IncidenceMatrix& left,
                                       const IncidenceMatrix& right, InterruptPoll interrupt) {
    const std::size_t n = rows.size();
    if (std::optional<KernelError> error = validate_incidence_matrices(n, left, right)) return std::unexpected(*error);
    IncidenceMatrix result(n, std::vector<double>(n, Semiring::kZero));
    const std::vector<std::size_t> top = interval_tops(rows);
    std::vector<Members> members(n);
    alignas(64) Lanes lanes;
    for (std::size_t x0 = 0; x0 < n; x0 += kBlockRows) {
        if (interrupt()) return std::unexpected(kInterrupted);
        const std::size_t x1 = std::min(n, x0 + kBlockRows);
        const std::size_t z_end = *std::max_element(top.begin() + static_cast<std::ptrdiff_t>(x0),
                                                    top.begin() + static_cast<std::ptrdiff_t>(x1)) + 1;
        // z takes part for x when x <= z.
        for (std::size_t z = x0; z < z_end; ++z) {
            members[z] = 0;
            for (std::size_t x = x0; x < x1 && x <= z; ++x) {
                members[z] |= static_cast<Members>(x == z || rows.test(x, z)) << (x - x0);
            }
        }
        bool rejected = false;
        for (std::size_t k0 = word_of(x0); k0 * kWordBits < z_end; k0 += kTileWords) {
            const std::size_t k1 = k0 + kTileWords;
            for (std::size_t z = x0; z < std::min(z_end, k1 * kWordBits); ++z) {
                std::array<Term, kBlockRows> terms;
                std::size_t count = 0;
                for (Members m = members[z]; m != 0; m &= m - 1) {
                    const std::size_t x = x0 + static_cast<std::size_t>(std::countr_zero(m));
                    terms[count++] = {left[x][z], result[x].data()};
                }
                if (count == 0) continue;
                rejected |= fold_row<Semiring>(rows.row(z), z, top[z], k0, k1, right[z].data(),
                                               std::span(terms.data(), count), lanes);
            }
        }
        if (rejected || rejects_sums<Semiring>(result, x0, x1)) return std::unexpected(kInvalidValue);
    }
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
