#include "successor_lists.hpp"

#include <utility>

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

// The edges are grouped by their upper ends first, then dealt to their lower
// ends' lists in ascending order of upper ends: every list comes out
// ascending, in time linear in the edges.
SuccessorLists::SuccessorLists(std::size_t n, const CoverEdgeList& edges) : upper_(edges.size()) {
    std::vector<std::size_t> lower_counts(n);
    std::vector<std::size_t> upper_counts(n);
    for (const auto& [lower, upper] : edges) {
        ++lower_counts[lower];
        ++upper_counts[upper];
    }
    first_ = group_offsets(std::move(lower_counts));
    const std::vector<std::size_t> first_by_upper = group_offsets(std::move(upper_counts));
    std::vector<std::size_t> next(first_by_upper.begin(), first_by_upper.end() - 1);
    std::vector<std::size_t> lowers(edges.size());
    for (const auto& [lower, upper] : edges) lowers[next[upper]++] = lower;
    next.assign(first_.begin(), first_.end() - 1);
    for (std::size_t y = 0; y < n; ++y) {
        for (std::size_t k = first_by_upper[y]; k < first_by_upper[y + 1]; ++k) upper_[next[lowers[k]]++] = y;
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
