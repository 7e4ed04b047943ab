// The flow network whose maximum flow, subtracted from the total weight, is
// the best antichain score: the source feeds in-node i with w_i, in-node i
// reaches out-node j with a large capacity whenever i < j in the order, and
// out-node j drains w_j into the sink.
#pragma once

#include <cstddef>
#include <span>
#include <utility>
#include <vector>

#include "../common/kernel_types.hpp"

namespace quorvane::weighted {

// A residual at or below this counts as saturated.
inline constexpr double kTolerance = 1e-12;

// An order edge (in-element, out-element).
using OrderEdge = std::pair<std::size_t, std::size_t>;

// An order edge from in-node `lower` that has carried flow, with its residual
// and that of its reverse edge.
struct CarriedEdge {
    std::size_t lower;
    double forward;
    double backward;
};

// The order edges are the bits of the reachability rows, read where they lie:
// an order as a whole needs one edge per comparable pair, which for a long
// history is most pairs. Only the edges that carry flow get a record, and
// until then they read as their initial residuals (large, 0.0). The reverse
// edges into the source and out of the sink are never followed (the source is
// reached first and the search ends at the sink), so they are not kept.
class SplitNetwork {
public:
    // `rows` must outlive the network; `large` must exceed the tolerance.
    SplitNetwork(const ReachabilityRows& rows, std::span<const double> weights, double large);

    std::size_t elements() const noexcept { return rows_.size(); }

    // Row i: the out-elements that in-node i has an order edge to.
    const ReachabilityRows& order() const noexcept { return rows_; }

    double source_residual(std::size_t i) const noexcept { return source_[i]; }
    double sink_residual(std::size_t j) const noexcept { return sink_[j]; }
    double forward_residual(std::size_t i, std::size_t j) const noexcept;

    // The edges into out-node j that have carried flow, by ascending in-element:
    // the only ones whose reverse edges can be open.
    std::span<const CarriedEdge> carried_into(std::size_t j) const noexcept { return carried_[j]; }

    // The saturated order edges of in-node i, by ascending out-element. Only
    // a total so large that the large capacity rounds to it lets an order edge
    // fill up; otherwise there are none.
    std::span<const OrderEdge> saturated_from(std::size_t i) const noexcept;

    // Push r along one edge: its residual falls by r, and an order edge's
    // pair rises by r (the pairs of source and sink edges are not kept).
    void push_source(std::size_t i, double r) noexcept { source_[i] -= r; }
    void push_sink(std::size_t j, double r) noexcept { sink_[j] -= r; }
    void push_forward(std::size_t i, std::size_t j, double r);
    void push_backward(std::size_t j, std::size_t i, double r);

private:
    CarriedEdge& carry(std::size_t i, std::size_t j);
    void note_saturation(std::size_t i, std::size_t j, bool was_open, bool is_open);

    const ReachabilityRows& rows_;
    std::vector<double> source_;
    std::vector<double> sink_;
    double large_;
    std::vector<std::vector<CarriedEdge>> carried_;  // [j]: by ascending lower
    std::vector<OrderEdge> saturated_;               // ascending
};

}  // namespace quorvane::weighted
