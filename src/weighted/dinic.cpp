#include "dinic.hpp"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <limits>
#include <span>
#include <vector>

#include "../common/work_budget.hpp"

namespace quorvane::weighted {
namespace {

constexpr std::size_t kNone = std::numeric_limits<std::size_t>::max();

// The first set bit at or after `from`, or `limit` if there is none (bits at
// and above `limit` are zero).
std::size_t next_set_bit(std::span<const Word> words, std::size_t from, std::size_t limit) noexcept {
    if (from >= limit) return limit;
    std::size_t k = word_of(from);
    Word bits = words[k] & ~(bit_of(from) - 1);
    while (bits == 0) {
        if (++k == words.size()) return limit;
        bits = words[k];
    }
    return k * kWordBits + static_cast<std::size_t>(std::countr_zero(bits));
}

void clear_bit(std::span<Word> words, std::size_t i) noexcept { words[word_of(i)] &= ~bit_of(i); }

// Nodes are numbered as in the network's definition: in-node i is i, out-node
// j is n + j, then the source and the sink.
//
// Each node's edges are scanned in insertion order from its current edge, but
// as bits: an edge is admissible in a phase when its residual exceeds the
// tolerance and it climbs exactly one level, and the phase's admissible edges
// are kept as bit rows, so that a scan skips a word of inadmissible edges at a
// time. Within a phase an edge never becomes admissible again: only reverses
// of admissible edges gain residual, and they descend a level. So the rows are
// set by the levelling and only lose bits, exactly when an augmentation
// leaves an edge at or below the tolerance.
//
// The current edge of a node is held as the element its edge leads to, which
// is monotone in the edge's list position: for the source the in-element i;
// for in-node i the out-element j (its edge back to the source never climbs);
// for out-node j the in-element i of a reverse edge, then n for its sink edge
// and n + 1 past the end.
class Dinic {
public:
    explicit Dinic(SplitNetwork& network)
        : network_(network),
          n_(network.elements()),
          source_(2 * n_),
          sink_(2 * n_ + 1),
          level_(2 * n_ + 2),
          current_(2 * n_ + 2),
          admissible_source_(row_words(n_)),
          admissible_forward_(n_),
          admissible_backward_(n_),
          reached_in_(row_words(n_)),
          reached_out_(row_words(n_)),
          layer_(row_words(n_)),
          frontier_(n_),
          path_(2 * n_ + 2),
          slots_(2 * n_ + 2),
          amounts_(2 * n_ + 2) {}

    KernelResult<double> run(InterruptPoll interrupt) {
        WorkBudget budget(interrupt);
        double flow = 0.0;
        for (;;) {
            // A levelling scans every node's admissible bit row.
            if (budget.charge(checked_size(2 * n_ + 2, row_words(n_) + 1))) return std::unexpected(kInterrupted);
            if (!level_graph()) return flow;
            std::fill(current_.begin(), current_.end(), 0);
            for (;;) {
                search_steps_ = 0;
                const double r = search();
                if (budget.charge(search_steps_)) return std::unexpected(kInterrupted);
                if (!(r > kTolerance)) break;
                flow += r;
            }
        }
    }

private:
    // Breadth-first levels, a layer at a time: in-nodes take the odd levels
    // and out-nodes the even ones, since in-nodes lead only to out-nodes (and
    // back to the source) and out-nodes only to in-nodes and the sink. Nodes
    // at or beyond the sink's level cannot lead to the sink in this phase, so
    // the levelling stops there and leaves them unreached: the search then
    // skips the edges into them instead of entering them and failing, which
    // moves the same current edges. Returns whether the sink was reached.
    bool level_graph() {
        std::fill(level_.begin(), level_.end(), -1);
        std::fill(reached_in_.begin(), reached_in_.end(), 0);
        std::fill(reached_out_.begin(), reached_out_.end(), 0);
        level_[source_] = 0;
        std::size_t count = 0;
        for (std::size_t i = 0; i < n_; ++i) {
            Word& word = admissible_source_[word_of(i)];
            if (network_.source_residual(i) > kTolerance) {
                word |= bit_of(i);
                reached_in_[word_of(i)] |= bit_of(i);
                frontier_[count++] = i;
            } else {
                word &= ~bit_of(i);
            }
        }
        for (std::int32_t level = 1; count != 0; level += 2) {
            for (std::size_t f = 0; f < count; ++f) level_[frontier_[f]] = level;
            next_layer(count, network_.open_forward(), admissible_forward_, reached_out_);
            count = 0;
            bool sink_reached = false;
            for_each_bit(layer_, 0, [&](std::size_t j) {
                level_[n_ + j] = level + 1;
                frontier_[count++] = j;
                sink_reached = sink_reached || network_.sink_residual(j) > kTolerance;
            });
            if (sink_reached) {
                level_[sink_] = level + 2;
                // The in-nodes behind this layer would share the sink's level.
                for (std::size_t f = 0; f < count; ++f) {
                    std::span<Word> row = admissible_backward_.row(frontier_[f]);
                    std::fill(row.begin(), row.end(), 0);
                }
                return true;
            }
            next_layer(count, network_.open_backward(), admissible_backward_, reached_in_);
            count = 0;
            for_each_bit(layer_, 0, [&](std::size_t i) { frontier_[count++] = i; });
        }
        return false;
    }

    // The layer after the frontier: the unreached targets of the frontier's
    // open edges. The frontier's admissible rows are its open edges into it.
    void next_layer(std::size_t count, const BitMatrix& open, BitMatrix& admissible, std::vector<Word>& reached) {
        std::fill(layer_.begin(), layer_.end(), 0);
        for (std::size_t f = 0; f < count; ++f) {
            std::span<const Word> row = open.row(frontier_[f]);
            for (std::size_t k = 0; k < row.size(); ++k) layer_[k] |= row[k] & ~reached[k];
        }
        for (std::size_t f = 0; f < count; ++f) {
            std::span<const Word> row = open.row(frontier_[f]);
            std::span<Word> target = admissible.row(frontier_[f]);
            for (std::size_t k = 0; k < row.size(); ++k) target[k] = row[k] & layer_[k];
        }
        for (std::size_t k = 0; k < layer_.size(); ++k) reached[k] |= layer_[k];
    }

    // One blocking-flow search from the source, offered +inf, on an explicit
    // stack: path_[d] is the node at depth d, amounts_[d] the amount offered
    // to it, slots_[d] the order-edge slot of the edge leaving it.
    double search() {
        path_[0] = source_;
        amounts_[0] = std::numeric_limits<double>::infinity();
        std::size_t depth = 0;
        for (;; ++search_steps_) {
            const std::size_t u = path_[depth];
            if (u == sink_) {
                // The smaller of +inf and residuals above the tolerance is above
                // it too, so reaching the sink always augments.
                const double r = amounts_[depth];
                augment(depth, r);
                return r;
            }
            const std::size_t v = next_edge(u);
            if (v == kNone) {
                if (depth == 0) return 0.0;
                ++current_[path_[--depth]];  // the edge into u led nowhere
                continue;
            }
            amounts_[depth + 1] = std::min(amounts_[depth], residual(u, v, slots_[depth]));
            path_[++depth] = v;
        }
    }

    // Moves current_[u] to u's first admissible edge at or after it and
    // returns that edge's target, or kNone when u's edges are exhausted.
    std::size_t next_edge(std::size_t u) noexcept {
        std::size_t& position = current_[u];
        if (u == source_) {
            position = next_set_bit(admissible_source_, position, n_);
            return position < n_ ? position : kNone;
        }
        if (u < n_) {
            position = next_set_bit(admissible_forward_.row(u), position, n_);
            return position < n_ ? n_ + position : kNone;
        }
        const std::size_t j = u - n_;
        if (position < n_) {
            position = next_set_bit(admissible_backward_.row(j), position, n_);
            if (position < n_) return position;
        }
        if (position == n_ && network_.sink_residual(j) > kTolerance && level_[sink_] == level_[u] + 1) return sink_;
        position = n_ + 1;
        return kNone;
    }

    // The residual of the edge from u to v; `slot` receives its order-edge slot.
    double residual(std::size_t u, std::size_t v, std::size_t& slot) const noexcept {
        if (u == source_) return network_.source_residual(v);
        if (v == sink_) return network_.sink_residual(u - n_);
        if (u < n_) {
            slot = network_.order_slot(u, v - n_);
            return network_.forward_residual(slot);
        }
        slot = network_.order_slot(v, u - n_);
        return network_.backward_residual(slot);
    }

    // Pushes r along every edge of the path to the given depth.
    void augment(std::size_t depth, double r) noexcept {
        for (std::size_t d = 0; d < depth; ++d) {
            const std::size_t u = path_[d];
            const std::size_t v = path_[d + 1];
            if (u == source_) {
                network_.push_source(v, r);
                if (!(network_.source_residual(v) > kTolerance)) clear_bit(admissible_source_, v);
            } else if (v == sink_) {
                network_.push_sink(u - n_, r);  // next_edge reads its residual directly
            } else if (u < n_) {
                network_.push_forward(u, v - n_, slots_[d], r);
                if (!(network_.forward_residual(slots_[d]) > kTolerance)) {
                    clear_bit(admissible_forward_.row(u), v - n_);
                }
            } else {
                network_.push_backward(u - n_, v, slots_[d], r);
                if (!(network_.backward_residual(slots_[d]) > kTolerance)) {
                    clear_bit(admissible_backward_.row(u - n_), v);
                }
            }
        }
    }

    SplitNetwork& network_;
    const std::size_t n_;
    const std::size_t source_;
    const std::size_t sink_;
    std::vector<std::int32_t> level_;  // per node; -1 unreached
    std::vector<std::size_t> current_;
    std::vector<Word> admissible_source_;
    BitMatrix admissible_forward_;   // row i: admissible edges of in-node i
    BitMatrix admissible_backward_;  // row j: admissible reverse edges of out-node j
    std::vector<Word> reached_in_;
    std::vector<Word> reached_out_;
    std::vector<Word> layer_;
    std::vector<std::size_t> frontier_;
    std::vector<std::size_t> path_;
    std::vector<std::size_t> slots_;
    std::vector<double> amounts_;
    std::size_t search_steps_ = 0;  // steps of the running search, for the work budget
};

}  // namespace

KernelResult<double> max_flow(SplitNetwork& network, InterruptPoll interrupt) { return Dinic(network).run(interrupt); }

}  // namespace quorvane::weighted
