#include "dinic.hpp"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <limits>
#include <span>
#include <vector>

#include "../common/cpu_dispatch.hpp"
#include "../common/work_budget.hpp"

namespace quorvane::weighted {
namespace {

constexpr std::size_t kNone = std::numeric_limits<std::size_t>::max();

// The first position at or after `from` whose bit is set in `a` and, within
// the words that `b` covers from word `b_first` on, in `b`; or `limit` if
// there is none (bits at and above `limit` are zero).
std::size_t next_common_bit(std::span<const Word> a, std::span<const Word> b, std::size_t b_first,
                            std::size_t from, std::size_t limit) noexcept {
    const std::size_t end = b_first + b.size();
    std::size_t k = std::max(word_of(from), b_first);
    if (from >= limit || k >= end) return limit;
    Word bits = a[k] & b[k - b_first];
    if (k == word_of(from)) bits &= ~(bit_of(from) - 1);
    while (bits == 0) {
        if (++k == end) return limit;
        bits = a[k] & b[k - b_first];
    }
    return k * kWordBits + static_cast<std::size_t>(std::countr_zero(bits));
}

std::size_t next_set_bit(std::span<const Word> words, std::size_t from, std::size_t limit) noexcept {
    return next_common_bit(words, words, 0, from, limit);
}

void set_bit(std::span<Word> words, std::size_t i) noexcept { words[word_of(i)] |= bit_of(i); }
void clear_bit(std::span<Word> words, std::size_t i) noexcept { words[word_of(i)] &= ~bit_of(i); }
bool test_bit(std::span<const Word> words, std::size_t i) noexcept { return (words[word_of(i)] & bit_of(i)) != 0; }

// Nodes are numbered as in the network's definition: in-node i is i, out-node
// j is n + j, then the source and the sink.
//
// Each node's edges are tried in insertion order from its current edge. An
// edge is admissible when its residual exceeds the tolerance and it climbs
// exactly one level. In-nodes take the odd levels and out-nodes the even ones,
// so the out-nodes of one level form a bit row, and the admissible edges of an
// in-node are its reachability row masked by the next level's row: a scan
// skips a word of them at a time, and no per-edge structure is built. Within a
// phase an edge never becomes admissible again: only reverses of admissible
// edges gain residual, and they descend a level. So testing a residual when
// the scan reaches its edge, as the definition does, never admits an edge
// that the levelling did not.
//
// A node whose edges are exhausted leads nowhere for the rest of the phase:
// entering it again would only move the current edge of the node before it
// one step on. It leaves its level's row (or the source's row), so that
// scans step over it at once, with the same effect.
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
          words_(row_words(n_)),
          source_(2 * n_),
          sink_(2 * n_ + 1),
          level_(2 * n_ + 2),
          current_(2 * n_ + 2),
          source_row_(words_),
          reached_in_(words_),
          reached_out_(words_),
          layer_(words_),
          path_(2 * n_ + 2),
          amounts_(2 * n_ + 2) {}

    KernelResult<double> run(InterruptPoll interrupt) {
        WorkBudget budget(interrupt);
        double flow = 0.0;
        for (;;) {
            // A levelling may OR the reachability row of every in-node.
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
    // The out-nodes of one even level, as the words from the first to the last
    // that holds any: a level of a long chain spans few of the row's words.
    struct LevelRow {
        std::size_t offset;  // into out_levels_
        std::size_t first_word;
        std::size_t words;
    };

    LevelRow level_row(std::int32_t level) const noexcept { return level_rows_[static_cast<std::size_t>(level / 2 - 1)]; }

    std::span<Word> words_of(LevelRow row) noexcept { return {out_levels_.data() + row.offset, row.words}; }

    // Breadth-first levels, a layer at a time. Nodes at or beyond the sink's
    // level cannot lead to the sink in this phase, so the levelling stops
    // there and leaves them unreached: the search then skips the edges into
    // them instead of entering them and failing, which moves the same current
    // edges. Returns whether the sink was reached.
    bool level_graph() {
        std::fill(level_.begin(), level_.end(), -1);
        std::fill(reached_in_.begin(), reached_in_.end(), 0);
        std::fill(reached_out_.begin(), reached_out_.end(), 0);
        std::fill(source_row_.begin(), source_row_.end(), 0);
        out_levels_.clear();
        level_rows_.clear();
        level_[source_] = 0;
        std::vector<std::size_t> frontier;
        for (std::size_t i = 0; i < n_; ++i) {
            if (network_.source_residual(i) > kTolerance) {
                set_bit(source_row_, i);
                frontier.push_back(i);
            }
        }
        reached_in_ = source_row_;
        for (std::int32_t level = 1; !frontier.empty(); level += 2) {
            for (const std::size_t i : frontier) level_[i] = level;
            frontier = next_out_layer(frontier);
            bool sink_reached = false;
            for (const std::size_t j : frontier) {
                level_[n_ + j] = level + 1;
                sink_reached = sink_reached || network_.sink_residual(j) > kTolerance;
            }
            if (sink_reached) {
                level_[sink_] = level + 2;
                return true;
            }
            frontier = next_in_layer(frontier);
        }
        return false;
    }

    // The out-nodes first reached from the in-nodes of the frontier along open
    // order edges, kept as the row of their level.
    std::vector<std::size_t> next_out_layer(const std::vector<std::size_t>& frontier) {
        std::fill(layer_.begin(), layer_.end(), 0);
        for (const std::size_t i : frontier) {
            const std::span<const Word> row = network_.order().row(i);
            for (std::size_t k = word_of(i); k < words_; ++k) layer_[k] |= row[k];
        }
        for (std::size_t k = 0; k < words_; ++k) layer_[k] &= ~reached_out_[k];
        // A saturated edge reaches its out-node only if an open one does too.
        for (const std::size_t i : frontier) {
            for (const auto& [lower, j] : network_.saturated_from(i)) {
                if (test_bit(layer_, j) && !has_open_edge_into(frontier, j)) clear_bit(layer_, j);
            }
        }
        std::vector<std::size_t> next;
        for_each_bit(std::span<const Word>(layer_), 0, [&](std::size_t j) { next.push_back(j); });
        for (std::size_t k = 0; k < words_; ++k) reached_out_[k] |= layer_[k];
        const std::size_t first = next.empty() ? 0 : word_of(next.front());
        const std::size_t count = next.empty() ? 0 : word_of(next.back()) + 1 - first;
        const LevelRow row{out_levels_.size(), first, count};
        out_levels_.insert(out_levels_.end(), layer_.begin() + static_cast<std::ptrdiff_t>(first),
                           layer_.begin() + static_cast<std::ptrdiff_t>(first + count));
        level_rows_.push_back(row);
        return next;
    }

    bool has_open_edge_into(const std::vector<std::size_t>& frontier, std::size_t j) const noexcept {
        return std::ranges::any_of(frontier, [&](std::size_t i) {
            return network_.order().test(i, j) && network_.forward_residual(i, j) > kTolerance;
        });
    }

    // The in-nodes first reached from the out-nodes of the frontier along open
    // reverse edges, which only edges that carried flow have.
    std::vector<std::size_t> next_in_layer(const std::vector<std::size_t>& frontier) {
        std::vector<std::size_t> next;
        for (const std::size_t j : frontier) {
            for (const CarriedEdge& edge : network_.carried_into(j)) {
                if (edge.backward > kTolerance && !test_bit(reached_in_, edge.lower)) {
                    set_bit(reached_in_, edge.lower);
                    next.push_back(edge.lower);
                }
            }
        }
        return next;
    }

    // One blocking-flow search from the source, offered +inf, on an explicit
    // stack: path_[d] is the node at depth d, amounts_[d] the amount offered
    // to it.
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
            double residual = 0.0;
            const std::size_t v = next_edge(u, residual);
            if (v == kNone) {
                leave(u);
                if (depth == 0) return 0.0;
                ++current_[path_[--depth]];  // the edge into u led nowhere
                continue;
            }
            amounts_[depth + 1] = std::min(amounts_[depth], residual);
            path_[++depth] = v;
        }
    }

    // Moves current_[u] to u's first admissible edge at or after it and
    // returns that edge's target and residual, or kNone when u's edges are
    // exhausted.
    std::size_t next_edge(std::size_t u, double& residual) noexcept {
        std::size_t& position = current_[u];
        if (u == source_) {
            for (;; ++position) {
                position = next_set_bit(source_row_, position, n_);
                if (position == n_) return kNone;
                residual = network_.source_residual(position);
                if (residual > kTolerance) return position;
            }
        }
        if (u < n_) {
            const LevelRow layer = level_row(level_[u] + 1);
            for (;; ++position) {
                position = next_common_bit(network_.order().row(u), words_of(layer), layer.first_word, position, n_);
                if (position == n_) return kNone;
                residual = network_.forward_residual(u, position);
                if (residual > kTolerance) return n_ + position;
            }
        }
        const std::size_t j = u - n_;
        if (position < n_) {
            const std::span<const CarriedEdge> edges = network_.carried_into(j);
            auto edge = std::ranges::lower_bound(edges, position, {}, &CarriedEdge::lower);
            for (; edge != edges.end(); ++edge) {
                const std::size_t i = edge->lower;
                if (edge->backward > kTolerance && level_[i] == level_[u] + 1 && current_[i] < n_) {
                    position = i;
                    residual = edge->backward;
                    return i;
                }
            }
            position = n_;
        }
        if (position == n_ && network_.sink_residual(j) > kTolerance && level_[sink_] == level_[u] + 1) {
            residual = network_.sink_residual(j);
            return sink_;
        }
        position = n_ + 1;
        return kNone;
    }

    // Takes exhausted node u out of the rows that lead to it.
    void leave(std::size_t u) noexcept {
        if (u < n_) {
            clear_bit(source_row_, u);
        } else if (u != source_) {
            const LevelRow row = level_row(level_[u]);
            out_levels_[row.offset + word_of(u - n_) - row.first_word] &= ~bit_of(u - n_);
        }
    }

    // Pushes r along every edge of the path to the given depth.
    void augment(std::size_t depth, double r) {
        for (std::size_t d = 0; d < depth; ++d) {
            const std::size_t u = path_[d];
            const std::size_t v = path_[d + 1];
            if (u == source_) {
                network_.push_source(v, r);
            } else if (v == sink_) {
                network_.push_sink(u - n_, r);
            } else if (u < n_) {
                network_.push_forward(u, v - n_, r);
            } else {
                network_.push_backward(u - n_, v, r);
            }
        }
    }

    SplitNetwork& network_;
    const std::size_t n_;
    const std::size_t words_;
    const std::size_t source_;
    const std::size_t sink_;
    std::vector<std::int32_t> level_;  // per node; -1 unreached
    std::vector<std::size_t> current_;
    std::vector<Word> source_row_;  // in-nodes at level 1 that still lead somewhere
    std::vector<Word> reached_in_;
    std::vector<Word> reached_out_;
    std::vector<Word> layer_;
    std::vector<Word> out_levels_;  // the words of the level rows: out-nodes that still lead somewhere
    std::vector<LevelRow> level_rows_;  // per even level from 2
    std::vector<std::size_t> path_;
    std::vector<double> amounts_;
    std::size_t search_steps_ = 0;  // steps of the running search, for the work budget
};

}  // namespace

QUORVANE_DISPATCHED KernelResult<double> max_flow(SplitNetwork& network, InterruptPoll interrupt) {
    return Dinic(network).run(interrupt);
}

}  // namespace quorvane::weighted
