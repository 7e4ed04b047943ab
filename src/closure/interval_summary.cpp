#include "interval_summary.hpp"

#include <algorithm>
#include <array>
#include <bit>

#include "../common/cpu_dispatch.hpp"
#include "../common/work_budget.hpp"
#include "reachability.hpp"

namespace quorvane::closure {
namespace {

// Elements above x are counted below this many y of one word at once: one
// walk over the words between serves them all, each y with a running sum of
// its own, so that their counts do not wait for each other.
constexpr std::size_t kGroup = 4;

// Elements strictly between x and each y of `below` (their rows below y):
// (strictly above x) and (strictly below y), which can only meet in the words
// from x's to y's, here words [first, last].
std::array<std::uint64_t, kGroup> count_between(const Word* above_x, const std::array<const Word*, kGroup>& below,
                                                std::size_t first, std::size_t last) noexcept {
    std::array<std::uint64_t, kGroup> sums{};
    for (std::size_t k = first; k <= last; ++k) {
        const Word above = above_x[k];
        for (std::size_t lane = 0; lane < kGroup; ++lane) {
            sums[lane] += static_cast<std::uint64_t>(std::popcount(above & below[lane][k]));
        }
    }
    return sums;
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
            for (Word left = above; left != 0;) {
                // The next kGroup elements of the word; a short group repeats
                // its first, whose extra counts are not kept.
                std::array<const Word*, kGroup> below_y;
                std::size_t lanes = 0;
                for (; lanes < kGroup && left != 0; ++lanes, left &= left - 1) {
                    below_y[lanes] = below.row(k * kWordBits + static_cast<std::size_t>(std::countr_zero(left))).data();
                }
                std::fill(below_y.begin() + static_cast<std::ptrdiff_t>(lanes), below_y.end(), below_y[0]);
                const std::array<std::uint64_t, kGroup> between = count_between(above_x.data(), below_y, word_of(x), k);
                for (std::size_t lane = 0; lane < lanes; ++lane) {
                    const std::uint64_t size = between[lane] + 2;
                    ++by_size[size];
                    size_sum += size;
                }
            }
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
