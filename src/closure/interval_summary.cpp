#include "interval_summary.hpp"

#include <algorithm>
#include <bit>

#include "../common/bit_count.hpp"
#include "../common/cpu_dispatch.hpp"
#include "../common/work_budget.hpp"
#include "reachability.hpp"

namespace quorvane::closure {
namespace {

// Elements strictly between x and y: (strictly above x) and (strictly below
// y), which can only meet in the words from x's to y's.
std::uint64_t count_between(std::span<const Word> above_x, std::span<const Word> below_y, std::size_t x,
                            std::size_t y) noexcept {
    const std::size_t first = word_of(x);
    return count_common_bits(above_x.data() + first, below_y.data() + first, word_of(y) + 1 - first);
}

IntervalSummary summarise(std::vector<std::uint64_t> by_size, std::uint64_t size_sum) {
    IntervalSummary summary;
    for (std::size_t size = 1; size < by_size.size(); ++size) {
        const std::uint64_t count = by_size[size];
        if (count == 0) continue;
        if (summary.histogram.empty()) summary.min_size = size;
        summary.max_size = size;
        summary.intervals += count;
        summary.histogram.emplace_back(size, count);
    }
    summary.trivial = by_size[1];
    summary.proper = summary.intervals - summary.trivial;
    summary.two_element = by_size[2];
    summary.mean_size = static_cast<double>(size_sum) / static_cast<double>(summary.intervals);
    return summary;
}

// `below` is the transpose of `rows`; n >= 1.
QUORVANE_DISPATCHED
KernelResult<IntervalSummary> summarise_intervals(const ReachabilityRows& rows, const BitMatrix& below,
                                                  InterruptPoll interrupt) {
    const std::size_t n = rows.size();
    // Indexed by size, 0..n; sizes 0 and, for n = 1, 2 stay empty.
    std::vector<std::uint64_t> by_size(std::max<std::size_t>(n + 1, 3));
    by_size[1] = n;
    std::uint64_t size_sum = n;
    WorkBudget budget(interrupt);
    for (std::size_t x = 0; x < n; ++x) {
        const std::span<const Word> above_x = rows.row(x);
        for (std::size_t k = word_of(x); k < above_x.size(); ++k) {
            const Word above = above_x[k];
            for_each_bit(std::span<const Word>(&above, 1), k * kWordBits, [&](std::size_t y) {
                const std::uint64_t size = count_between(above_x, below.row(y), x, y) + 2;
                ++by_size[size];
                size_sum += size;
            });
            // Charged a word at a time: each element in it cost a count over
            // the words from x's to this one.
            const auto elements = static_cast<std::uint64_t>(std::popcount(above));
            if (budget.charge(1 + elements * (k - word_of(x) + 1))) return std::unexpected(kInterrupted);
        }
    }
    return summarise(std::move(by_size), size_sum);
}

}  // namespace

KernelResult<IntervalSummary> interval_summary(const ReachabilityRows& rows, InterruptPoll interrupt) {
    if (rows.size() == 0) return IntervalSummary{};
    return summarise_intervals(rows, transpose(rows), interrupt);
}

}  // namespace quorvane::closure
