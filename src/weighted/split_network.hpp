// The flow network whose maximum flow, subtracted from the total weight, is
// the best antichain score: the source feeds in-node i with w_i, in-node i
// reaches out-node j with a large capacity whenever i < j in the order, and
// out-node j drains w_j into the sink.
#pragma once

#include <bit>
#include <cstddef>
#include <memory>
#include <span>
#include <vector>

#include "../common/kernel_types.hpp"

namespace quorvane::weighted {

// A residual at or below this counts as saturated.
inline constexpr double kTolerance = 1e-12;

// Holds only the residuals that the search reads: the reverse edges into the
// source and out of the sink are never followed (the source is reached first
// and the search ends at the sink), so they are not kept. The residuals of
// the order edges lie in CSR order (by in-node, then ascending j) but are
// written only when an edge first carries flow; until then they read as their
// initial (large, 0.0), so the untouched bulk of a dense order costs address
// space and no memory traffic. Two bit matrices mirror which order edges have
// a residual above the tolerance, so that scans skip a word of them at a time.
class SplitNetwork {
public:
    // `rows` must outlive the network; `large` must exceed the tolerance.
    SplitNetwork(const ReachabilityRows& rows, std::span<const double> weights, double large);

    std::size_t elements() const noexcept { return rows_.size(); }

    // Position of the order edge from in-node i to out-node j (i < j in the order).
    std::size_t order_slot(std::size_t i, std::size_t j) const noexcept {
        const std::size_t k = word_of(j);
        const Word below_j = rows_.row(i)[k] & (bit_of(j) - 1);
        return rank_[i * rows_.words() + k] + static_cast<std::size_t>(std::popcount(below_j));
    }

    double source_residual(std::size_t i) const noexcept { return source_[i]; }
    double sink_residual(std::size_t j) const noexcept { return sink_[j]; }
    double forward_residual(std::size_t slot) const noexcept { return carried(slot) ? order_[slot].forward : large_; }
    double backward_residual(std::size_t slot) const noexcept { return carried(slot) ? order_[slot].backward : 0.0; }

    // Row i: the out-elements j whose edge from in-node i is open.
    const BitMatrix& open_forward() const noexcept { return open_forward_; }
    // Row j: the in-elements i whose reverse edge from out-node j is open.
    const BitMatrix& open_backward() const noexcept { return open_backward_; }

    // Push r along one edge: its residual falls by r, and so does an order
    // edge's pair rise by r (the pairs of source and sink edges are not kept).
    void push_source(std::size_t i, double r) noexcept { source_[i] -= r; }
    void push_sink(std::size_t j, double r) noexcept { sink_[j] -= r; }
    void push_forward(std::size_t i, std::size_t j, std::size_t slot, double r) noexcept;
    void push_backward(std::size_t j, std::size_t i, std::size_t slot, double r) noexcept;

private:
    struct OrderResidual {
        double forward;
        double backward;
    };

    bool carried(std::size_t slot) const noexcept { return (carried_[word_of(slot)] & bit_of(slot)) != 0; }
    OrderResidual& carry(std::size_t slot) noexcept;
    void refresh(std::size_t i, std::size_t j, const OrderResidual& residual) noexcept;

    const ReachabilityRows& rows_;
    std::vector<std::size_t> rank_;  // [i * words + k]: order edges before word k of row i
    std::vector<double> source_;
    std::vector<double> sink_;
    double large_;
    std::unique_ptr<OrderResidual[]> order_;  // valid where carried_ is set
    std::vector<Word> carried_;               // bit per slot: the edge has carried flow
    BitMatrix open_forward_;
    BitMatrix open_backward_;
};

}  // namespace quorvane::weighted
