#include "split_network.hpp"

namespace quorvane::weighted {

SplitNetwork::SplitNetwork(const ReachabilityRows& rows, std::span<const double> weights, double large)
    : rows_(rows),
      rank_(checked_size(rows.size(), rows.words())),
      source_(weights.begin(), weights.end()),
      sink_(weights.begin(), weights.end()),
      large_(large),
      open_forward_(rows),  // every order edge starts with the large capacity
      open_backward_(rows.size()) {
    std::size_t pairs = 0;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        std::span<const Word> row = rows.row(i);
        for (std::size_t k = 0; k < row.size(); ++k) {
            rank_[i * row.size() + k] = pairs;
            pairs += static_cast<std::size_t>(std::popcount(row[k]));
        }
    }
    order_ = std::make_unique_for_overwrite<OrderResidual[]>(pairs);
    carried_.resize(row_words(pairs));
}

SplitNetwork::OrderResidual& SplitNetwork::carry(std::size_t slot) noexcept {
    if (!carried(slot)) {
        order_[slot] = OrderResidual{large_, 0.0};
        carried_[word_of(slot)] |= bit_of(slot);
    }
    return order_[slot];
}

void SplitNetwork::push_forward(std::size_t i, std::size_t j, std::size_t slot, double r) noexcept {
    OrderResidual& residual = carry(slot);
    residual.forward -= r;
    residual.backward += r;
    refresh(i, j, residual);
}

void SplitNetwork::push_backward(std::size_t j, std::size_t i, std::size_t slot, double r) noexcept {
    OrderResidual& residual = carry(slot);
    residual.backward -= r;
    residual.forward += r;
    refresh(i, j, residual);
}

void SplitNetwork::refresh(std::size_t i, std::size_t j, const OrderResidual& residual) noexcept {
    Word& forward = open_forward_.row(i)[word_of(j)];
    Word& backward = open_backward_.row(j)[word_of(i)];
    forward = residual.forward > kTolerance ? forward | bit_of(j) : forward & ~bit_of(j);
    backward = residual.backward > kTolerance ? backward | bit_of(i) : backward & ~bit_of(i);
}

}  // namespace quorvane::weighted
