#include "zeta.hpp"

#include <cmath>

#include "../common/cpu_dispatch.hpp"
#include "../common/work_budget.hpp"

namespace quorvane::closure {
namespace {

// sum + term, keeping a NaN sum as it is (quieted) even when the term is
// another NaN, as the hardware does for its first operand. The compiler
// treats addition as commutative and may swap the operands, which would
// change which of two NaNs comes out.
double add_term(double sum, double term) noexcept { return std::isnan(sum) ? sum + sum : sum + term; }

// Scatters each value upwards, lower elements first: every sum then receives
// its terms in ascending index order, exactly as a column walk would, without
// transposing the rows.
QUORVANE_DISPATCHED
KernelResult<std::vector<double>> add_lower_values(const ReachabilityRows& rows, std::span<const double> values,
                                                   std::vector<double> sums, InterruptPoll interrupt) {
    WorkBudget budget(interrupt);
    for (std::size_t j = 0; j < rows.size(); ++j) {
        const double value = values[j];
        const std::size_t first_word = word_of(j);
        std::size_t added = 0;
        for_each_bit(rows.row(j).subspan(first_word), first_word * kWordBits, [&](std::size_t i) {
            sums[i] = add_term(sums[i], value);
            ++added;
        });
        if (budget.charge(rows.words() - first_word + added)) return std::unexpected(kInterrupted);
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
