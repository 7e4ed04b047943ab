#include "zeta.hpp"

#include <bit>
#include <cmath>

#include "../common/cpu_dispatch.hpp"
#include "../common/work_budget.hpp"
#include "ordered_sum.hpp"

namespace quorvane::closure {
namespace {

// The fewest elements of a row word for which adding across all the sums it
// covers, one vector lane each, costs less than visiting its elements one by
// one (measured): 12 with eight lanes to a vector, 28 with four. Without wide
// vectors the word is walked bit by bit whatever its count.
int dense_word_bits(int level) noexcept { return level >= 4 ? 12 : level == 3 ? 28 : kWordBits + 1; }

// add_term(sums[b], term) for every bit b of `marks`, without a branch, so
// that it vectorises: every lane forms both candidate results, and the NaN
// test and the mark choose between them and the old sum by their bits. Lane
// by lane the result is add_term's to the bit.
void add_to_marked(double* sums, Word marks, double term) noexcept {
    constexpr Word kMagnitude = ~Word{0} >> 1;
    constexpr Word kInfinity = std::bit_cast<Word>(HUGE_VAL);
    for (std::size_t b = 0; b < kWordBits; ++b) {
        const double sum = sums[b];
        const Word old_bits = std::bit_cast<Word>(sum);
        const Word nan = (old_bits & kMagnitude) > kInfinity ? ~Word{0} : Word{0};
        const Word new_bits = (std::bit_cast<Word>(sum + sum) & nan) | (std::bit_cast<Word>(sum + term) & ~nan);
        const Word marked = Word{0} - ((marks >> b) & 1);
        sums[b] = std::bit_cast<double>((new_bits & marked) | (old_bits & ~marked));
    }
}

// Scatters each value upwards, lower elements first: every sum then receives
// its terms in ascending index order, exactly as a column walk would, without
// transposing the rows.
QUORVANE_DISPATCHED_AVX512
KernelResult<std::vector<double>> add_lower_values(const ReachabilityRows& rows, std::span<const double> values,
                                                   std::vector<double> sums, InterruptPoll interrupt) {
    WorkBudget budget(interrupt);
    const int dense_from = dense_word_bits(dispatch_level());
    // Words from this one on cover sums beyond the last: they take the bit walk.
    const std::size_t full_words = word_of(sums.size());
    for (std::size_t j = 0; j < rows.size(); ++j) {
        const double value = values[j];
        const std::span<const Word> row = rows.row(j);
        std::size_t added = 0;
        for (std::size_t k = word_of(j); k < row.size(); ++k) {
            const Word marks = row[k];
            if (marks == 0) continue;
            const int count = std::popcount(marks);
            added += static_cast<std::size_t>(count);
            double* const word_sums = sums.data() + k * kWordBits;
            if (count >= dense_from && k < full_words) {
                add_to_marked(word_sums, marks, value);
                continue;
            }
            for (Word w = marks; w != 0; w &= w - 1) {
                double& sum = word_sums[std::countr_zero(w)];
                sum = add_term(sum, value);
            }
        }
        if (budget.charge(rows.words() - word_of(j) + added)) return std::unexpected(kInterrupted);
    }
    return sums;
}

}  // namespace

KernelResult<std::vector<double>> zeta_transform(const ReachabilityRows& rows, std::span<const double> values,
                                                 InterruptPoll interrupt) {
    return add_lower_values(rows, values, std::vector<double>(values.begin(), values.end()), interrupt);
}

KernelResult<std::vector<double>> strict_zeta_transform(const ReachabilityRows& rows, std::span<const double> values,
                                                        InterruptPoll interrupt) {
    return add_lower_values(rows, values, std::vector<double>(values.size(), 0.0), interrupt);
}

}  // namespace quorvane::closure
