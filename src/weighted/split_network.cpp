#include "split_network.hpp"

#include <algorithm>

namespace quorvane::weighted {
namespace {

// The first of the edges whose in-element is i or above.
template <class Edges>
auto find_lower(Edges& edges, std::size_t i) noexcept {
    return std::ranges::lower_bound(edges, i, {}, &CarriedEdge::lower);
}

}  // namespace

SplitNetwork::SplitNetwork(const ReachabilityRows& rows, std::span<const double> weights, double large)
    : rows_(rows),
      source_(weights.begin(), weights.end()),
      sink_(weights.begin(), weights.end()),
      large_(large),
      carried_(rows.size()) {}

double SplitNetwork::forward_residual(std::size_t i, std::size_t j) const noexcept {
    const std::vector<CarriedEdge>& edges = carried_[j];
    const auto edge = find_lower(edges, i);
    return edge != edges.end() && edge->lower == i ? edge->forward : large_;
}

std::span<const OrderEdge> SplitNetwork::saturated_from(std::size_t i) const noexcept {
    const auto [first, last] = std::ranges::equal_range(saturated_, i, {}, &OrderEdge::first);
    return {first, last};
}

CarriedEdge& SplitNetwork::carry(std::size_t i, std::size_t j) {
    std::vector<CarriedEdge>& edges = carried_[j];
    const auto edge = find_lower(edges, i);
    if (edge != edges.end() && edge->lower == i) return *edge;
    return *edges.insert(edge, CarriedEdge{i, large_, 0.0});
}

void SplitNetwork::note_saturation(std::size_t i, std::size_t j, bool was_open, bool is_open) {
    if (was_open == is_open) return;
    const OrderEdge edge{i, j};
    const auto position = std::ranges::lower_bound(saturated_, edge);
    if (is_open) {
        saturated_.erase(position);
    } else {
        saturated_.insert(position, edge);
    }
}

void SplitNetwork::push_forward(std::size_t i, std::size_t j, double r) {
    CarriedEdge& edge = carry(i, j);
    const bool was_open = edge.forward > kTolerance;
    edge.forward -= r;
    edge.backward += r;
    note_saturation(i, j, was_open, edge.forward > kTolerance);
}

// Subtracting -r is the same IEEE operation as adding r, so this is exactly
// the reverse push.
void SplitNetwork::push_backward(std::size_t j, std::size_t i, double r) { push_forward(i, j, -r); }

}  // namespace quorvane::weighted
