// The cover edges as lists, for the kernels that do without the reachability
// rows: the successors of every element in ascending order, and the edges that
// enter every element.
#pragma once

#include <cstddef>
#include <span>
#include <vector>

#include "reachability.hpp"

namespace quorvane::closure {

class SuccessorLists {
public:
    // From edges that first_edge_error accepted; repeated edges stay, as
    // repeated successors.
    SuccessorLists(std::size_t n, const CoverEdgeList& edges);

    std::size_t size() const noexcept { return first_.size() - 1; }
    std::size_t edge_count() const noexcept { return upper_.size(); }

    // Edges e from first_edge(x) to first_edge(x + 1) leave x, towards
    // upper(e), ascending.
    std::size_t first_edge(std::size_t x) const noexcept { return first_[x]; }
    std::size_t upper(std::size_t e) const noexcept { return upper_[e]; }

    // The edges that enter each element, as edge numbers above, each list
    // ascending by its lower end; built on first use.
    void list_entering_edges();
    std::span<const std::size_t> entering(std::size_t y) const noexcept {
        return std::span(entering_).subspan(first_entering_[y], first_entering_[y + 1] - first_entering_[y]);
    }
    std::size_t lower(std::size_t e) const noexcept { return lower_[e]; }

private:
    std::vector<std::size_t> first_;
    std::vector<std::size_t> upper_;
    std::vector<std::size_t> first_entering_;
    std::vector<std::size_t> entering_;
    std::vector<std::size_t> lower_;
};

}  // namespace quorvane::closure
