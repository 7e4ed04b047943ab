#include "chain_cover.hpp"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <vector>

#include "../common/work_budget.hpp"

namespace quorvane::closure {
namespace {

// Chains as a flow: each element split into an entry and an exit node, joined
// by an arc that every chain through the element crosses (at least one chain
// does); the edges join one element's exit to the next's entry; chains start
// at entries and end at exits. A cover shrinks by one chain along a path from
// a start to an end that lowers the flow on arcs it follows forwards (one that
// carries more than its least) and raises it on arcs it follows backwards.
// With no such path left the cover is the smallest.
class ChainFlow {
public:
    // Thrown once the work done passes `max_work` units.
    struct OverLimit {};

    ChainFlow(const SuccessorLists& order, WorkBudget& budget, std::uint64_t max_work)
        : order_(order),
          budget_(budget),
          work_left_(max_work),
          through_(order.size()),
          starts_(order.size()),
          ends_(order.size()),
          flow_(order.edge_count()),
          seen_(checked_size(order.size(), 2)) {}

    // Each element not yet covered starts a chain that goes on through
    // elements not yet covered while it can.
    void cover_greedily() {
        for (std::size_t x = 0; x < order_.size(); ++x) {
            if (through_[x] != 0) continue;
            ++starts_[x];
            ++chains_;
            std::size_t at = x;
            for (;;) {
                ++through_[at];
                const std::size_t end = order_.first_edge(at + 1);
                std::size_t e = order_.first_edge(at);
                while (e < end && through_[order_.upper(e)] != 0) ++e;
                spend(e - order_.first_edge(at) + 1);
                if (e == end) break;
                ++flow_[e];
                at = order_.upper(e);
            }
            ++ends_[at];
        }
    }

    // One search over all nodes, taking every shrinking path it meets.
    // Whether it found one.
    bool shrink() {
        std::fill(seen_.begin(), seen_.end(), std::uint8_t{0});
        bool shrunk = false;
        for (std::size_t x = 0; x < order_.size(); ++x) {
            if (starts_[x] != 0 && seen_[entry(x)] == 0) shrunk |= search_from(x);
        }
        return shrunk;
    }

    std::uint64_t chains() const noexcept { return chains_; }

private:
    static std::size_t entry(std::size_t x) noexcept { return 2 * x; }
    static std::size_t exit(std::size_t x) noexcept { return 2 * x + 1; }

    // A node on the search's path and the move it takes next, or took last.
    // Entry of x: move 0 lowers x's own arc to its exit; move 1 + i raises
    // the i-th edge into x, back to its lower end's exit. Exit of x: move 0
    // ends there; move 1 raises x's own arc back to its entry; move 2 + i
    // lowers the i-th edge out of x, to its upper end's entry.
    struct Frame {
        std::size_t node;
        std::size_t move;
    };

    static constexpr std::size_t kNone = ~std::size_t{0};
    static constexpr std::size_t kEnd = kNone - 1;

    // The node the frame's move leads to, kEnd for the end of a chain, or
    // kNone where the move is closed.
    std::size_t follow(const Frame& frame) const noexcept {
        const std::size_t x = frame.node / 2;
        if (frame.node == entry(x)) {
            if (frame.move == 0) return through_[x] > 1 ? exit(x) : kNone;
            return exit(order_.lower(order_.entering(x)[frame.move - 1]));
        }
        if (frame.move == 0) return ends_[x] > 0 ? kEnd : kNone;
        if (frame.move == 1) return entry(x);
        const std::size_t e = order_.first_edge(x) + frame.move - 2;
        return flow_[e] > 0 ? entry(order_.upper(e)) : kNone;
    }

    std::size_t move_count(std::size_t node) const noexcept {
        const std::size_t x = node / 2;
        if (node == entry(x)) return 1 + order_.entering(x).size();
        return 2 + order_.first_edge(x + 1) - order_.first_edge(x);
    }

    void take(const Frame& frame) noexcept {
        const std::size_t x = frame.node / 2;
        if (frame.node == entry(x)) {
            if (frame.move == 0) {
                --through_[x];
            } else {
                ++flow_[order_.entering(x)[frame.move - 1]];
            }
        } else if (frame.move == 0) {
            --ends_[x];
        } else if (frame.move == 1) {
            ++through_[x];
        } else {
            --flow_[order_.first_edge(x) + frame.move - 2];
        }
    }

    // Depth-first from the start at x, on an explicit stack. Whether a
    // shrinking path was found and taken.
    bool search_from(std::size_t x) {
        stack_.assign(1, Frame{entry(x), 0});
        seen_[entry(x)] = 1;
        while (!stack_.empty()) {
            Frame& top = stack_.back();
            spend(1);
            if (top.move == move_count(top.node)) {
                stack_.pop_back();
                if (!stack_.empty()) ++stack_.back().move;
                continue;
            }
            const std::size_t next = follow(top);
            if (next == kEnd) {
                --starts_[x];
                --chains_;
                for (const Frame& frame : stack_) take(frame);
                return true;
            }
            if (next == kNone || seen_[next] != 0) {
                ++top.move;
                continue;
            }
            seen_[next] = 1;
            stack_.push_back(Frame{next, 0});
        }
        return false;
    }

    void spend(std::uint64_t units) {
        budget_.charge_or_unwind(units);
        if (units > work_left_) throw OverLimit{};
        work_left_ -= units;
    }

    const SuccessorLists& order_;
    WorkBudget& budget_;
    std::uint64_t work_left_;
    std::vector<std::size_t> through_;  // chains through each element
    std::vector<std::size_t> starts_;   // chains that start at each element
    std::vector<std::size_t> ends_;     // chains that end at each element
    std::vector<std::size_t> flow_;     // chains along each edge
    std::vector<std::uint8_t> seen_;    // nodes this search has reached
    std::vector<Frame> stack_;
    std::uint64_t chains_ = 0;
};

}  // namespace

KernelResult<std::optional<std::uint64_t>> width_by_chain_cover(const SuccessorLists& order, std::uint64_t max_work,
                                                                InterruptPoll interrupt) {
    return interruptible(interrupt, [&](WorkBudget& budget) -> KernelResult<std::optional<std::uint64_t>> {
        ChainFlow flow(order, budget, max_work);
        try {
            flow.cover_greedily();
            while (flow.shrink()) {
            }
        } catch (const ChainFlow::OverLimit&) {
            return std::nullopt;
        }
        return flow.chains();
    });
}

}  // namespace quorvane::closure
