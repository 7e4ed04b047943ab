#include "successor_lists.hpp"

#include <algorithm>

namespace quorvane::closure {
namespace {

// Offsets of the groups of a counting sort: counts[x] items of key x start at
// the x-th offset, the last offset one past them all.
std::vector<std::size_t> group_offsets(std::vector<std::size_t> counts) {
    std::size_t total = 0;
    for (std::size_t& count : counts) total += std::exchange(count, total);
    counts.push_back(total);
    return counts;
}

}  // namespace

SuccessorLists::SuccessorLists(std::size_t n, const CoverEdgeList& edges) : upper_(edges.size()) {
    std::vector<std::size_t> counts(n);
    for (const auto& [lower, upper] : edges) ++counts[lower];
    first_ = group_offsets(std::move(counts));
    std::vector<std::size_t> next(first_.begin(), first_.end() - 1);
    for (const auto& [lower, upper] : edges) upper_[next[lower]++] = upper;
    for (std::size_t x = 0; x < n; ++x) {
        std::sort(upper_.begin() + static_cast<std::ptrdiff_t>(first_[x]),
                  upper_.begin() + static_cast<std::ptrdiff_t>(first_[x + 1]));
    }
}

void SuccessorLists::list_entering_edges() {
    const std::size_t n = size();
    std::vector<std::size_t> counts(n);
    for (std::size_t y : upper_) ++counts[y];
    first_entering_ = group_offsets(std::move(counts));
    std::vector<std::size_t> next(first_entering_.begin(), first_entering_.end() - 1);
    entering_.resize(upper_.size());
    lower_.resize(upper_.size());
    // Lower ends ascending, so each list comes out ascending by them.
    for (std::size_t x = 0; x < n; ++x) {
        for (std::size_t e = first_[x]; e < first_[x + 1]; ++e) {
            lower_[e] = x;
            entering_[next[upper_[e]]++] = e;
        }
    }
}

}  // namespace quorvane::closure
