#include "principal_sizes.hpp"

#include <bit>

#include "../common/cpu_dispatch.hpp"
#include "../common/work_budget.hpp"

namespace quorvane::closure {
namespace {

// Column sums of the rows, kept bit-sliced: plane p of word column k holds bit
// p of the 64 running counts of that column, so adding a row word is a ripple
// of carries through the planes instead of 64 separate increments.
class ColumnCounter {
public:
    ColumnCounter(std::size_t words, std::size_t max_count)
        : planes_(static_cast<std::size_t>(std::bit_width(max_count))), counts_(checked_size(words, planes_)) {}

    void add(std::size_t column, Word bits) noexcept {
        Word* plane = counts_.data() + column * planes_;
        for (std::size_t p = 0; bits != 0 && p < planes_; ++p) {
            const Word carry = plane[p] & bits;
            plane[p] ^= bits;
            bits = carry;
        }
    }

    std::uint64_t count(std::size_t element) const noexcept {
        const Word* plane = counts_.data() + word_of(element) * planes_;
        const unsigned shift = static_cast<unsigned>(element % kWordBits);
        std::uint64_t total = 0;
        for (std::size_t p = 0; p < planes_; ++p) total |= ((plane[p] >> shift) & 1U) << p;
        return total;
    }

private:
    std::size_t planes_;
    std::vector<Word> counts_;
};

}  // namespace

QUORVANE_DISPATCHED
KernelResult<PrincipalSizes> principal_sizes(const ReachabilityRows& rows, InterruptPoll interrupt) {
    const std::size_t n = rows.size();
    PrincipalSizes sizes{std::vector<std::uint64_t>(n), std::vector<std::uint64_t>(n)};
    ColumnCounter below(rows.words(), n);
    WorkBudget budget(interrupt);
    for (std::size_t x = 0; x < n; ++x) {
        std::uint64_t above = 0;
        std::span<const Word> row = rows.row(x);
        for (std::size_t k = word_of(x); k < row.size(); ++k) {
            above += static_cast<std::uint64_t>(std::popcount(row[k]));
            below.add(k, row[k]);
        }
        sizes.filter[x] = above + 1;
        if (budget.charge(row.size() - word_of(x))) return std::unexpected(kInterrupted);
    }
    for (std::size_t y = 0; y < n; ++y) sizes.ideal[y] = below.count(y) + 1;
    return sizes;
}

QUORVANE_DISPATCHED
KernelResult<std::uint64_t> comparable_pairs(const ReachabilityRows& rows, InterruptPoll interrupt) {
    std::uint64_t total = 0;
    WorkBudget budget(interrupt);
    for (std::size_t x = 0; x < rows.size(); ++x) {
        const std::span<const Word> above = rows.row(x).subspan(word_of(x));
        for (Word w : above) total += static_cast<std::uint64_t>(std::popcount(w));
        if (budget.charge(above.size())) return std::unexpected(kInterrupted);
    }
    return total;
}

}  // namespace quorvane::closure
