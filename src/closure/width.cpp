#include "width.hpp"

#include <bit>
#include <limits>
#include <optional>
#include <utility>
#include <vector>

#include "../common/cpu_dispatch.hpp"
#include "../common/work_budget.hpp"

namespace quorvane::closure {
namespace {

constexpr std::size_t kFree = std::numeric_limits<std::size_t>::max();

// The first k from `from` on with a[k] & b[k] nonzero, or `end` if none. The
// searches spend most of their time here: a row meets the vertices still open
// in few of its words. Four words are tested at a time, in one vector
// operation where the CPU has one, with every value in registers.
[[gnu::always_inline]] inline std::size_t first_common_word(const Word* a, const Word* b, std::size_t from,
                                                            std::size_t end) noexcept {
    constexpr std::size_t kBlock = 4;
    std::size_t k = from;
    for (; k + kBlock <= end; k += kBlock) {
        unsigned found = 0;
        for (std::size_t i = 0; i < kBlock; ++i) found |= static_cast<unsigned>((a[k + i] & b[k + i]) != 0) << i;
        if (found != 0) return k + static_cast<std::size_t>(std::countr_zero(found));
    }
    while (k < end && (a[k] & b[k]) == 0) ++k;
    return k;
}

// Hopcroft-Karp over the bit rows: left x is joined to right y when y lies
// strictly above x. Sets of right vertices are bit rows too, so scanning a
// left vertex's neighbours among the unvisited ones is one AND per word.
class ChainMatching {
public:
    ChainMatching(const ReachabilityRows& rows, InterruptPoll interrupt)
        : rows_(rows), words_(rows.words()), budget_(interrupt), left_(rows.size(), kFree), right_(rows.size(), kFree) {}

    enum class Progress { augmented, maximum, interrupted };

    // Lowest free upper element for each element in turn, once from the bottom
    // and once from the top, keeping the larger matching: each pair more is
    // an augmenting path fewer to search for, and neither direction wins on
    // every order (from the top suits random orders, from the bottom the
    // lattices). False when the budget's poll asks to stop.
    bool match_greedily() {
        if (!greedy_pass(false, 0, left_, right_, size_)) return false;
        // Some element is maximal and unmatched in every matching.
        if (size_ + 1 >= rows_.size()) return true;
        std::vector<std::size_t> left(rows_.size(), kFree);
        std::vector<std::size_t> right(rows_.size(), kFree);
        std::size_t size = 0;
        if (!greedy_pass(true, size_, left, right, size)) return false;
        if (size > size_) {
            left_.swap(left);
            right_.swap(right);
            size_ = size;
        }
        return true;
    }

    // One phase: the shortest augmenting paths, as many vertex-disjoint ones
    // as a layered search finds; `maximum` when there are none left.
    Progress augment_shortest_paths() {
        const Progress layered = build_layers();
        if (layered != Progress::augmented) return layered;
        for (std::size_t x : layer_members_[0]) {
            const std::optional<bool> found = augment_from(x);
            if (!found) return Progress::interrupted;
            size_ += *found;
        }
        return Progress::augmented;
    }

    std::size_t size() const noexcept { return size_; }

private:
    void match(std::size_t x, std::size_t y) noexcept {
        left_[x] = y;
        right_[y] = x;
    }

    // One pass, into fresh partner vectors. It stops early, its size then no
    // larger than `to_beat`, once the elements left cannot take it past that.
    bool greedy_pass(bool from_top, std::size_t to_beat, std::vector<std::size_t>& left,
                     std::vector<std::size_t>& right, std::size_t& size) {
        std::vector<Word> taken(words_);
        for (std::size_t i = 0; i < rows_.size(); ++i) {
            if (size + (rows_.size() - i) <= to_beat) return true;
            const std::size_t x = from_top ? rows_.size() - 1 - i : i;
            const std::span<const Word> above = rows_.row(x);
            std::size_t k = word_of(x);
            for (; k < words_; ++k) {
                const Word open = above[k] & ~taken[k];
                if (open == 0) continue;
                const std::size_t y = k * kWordBits + static_cast<std::size_t>(std::countr_zero(open));
                taken[k] |= bit_of(y);
                left[x] = y;
                right[y] = x;
                ++size;
                break;
            }
            if (budget_.charge(k - word_of(x) + 1)) return false;
        }
        return true;
    }

    std::span<Word> layer(std::size_t depth) noexcept { return {layers_.data() + depth * words_, words_}; }

    // Breadth-first from all free left vertices along alternating paths. Layer
    // d (a bit row) holds the right vertices first reached from left vertices
    // at depth d; their partners form depth d + 1. Stops after the first layer
    // that reaches a free right vertex (`augmented`), or when no layer does.
    Progress build_layers() {
        std::vector<Word> unseen(words_, ~Word{0});
        if (rows_.size() % kWordBits != 0) unseen.back() = bit_of(rows_.size()) - 1;
        layers_.clear();
        // The free left vertices, gathered without a branch or a call in the
        // loop, so that its counters stay in registers.
        layer_members_.assign(1, std::vector<std::size_t>(rows_.size()));
        std::size_t free_count = 0;
        for (std::size_t x = 0; x < rows_.size(); ++x) {
            layer_members_[0][free_count] = x;
            free_count += left_[x] == kFree;
        }
        layer_members_[0].resize(free_count);
        for (std::size_t depth = 0;; ++depth) {
            layers_.resize(checked_size(depth + 1, words_));
            std::vector<std::size_t> next;
            bool reached_free = false;
            for (std::size_t x : layer_members_[depth]) {
                if (budget_.charge(words_ - word_of(x))) return Progress::interrupted;
                const Word* above = rows_.row(x).data();
                for (std::size_t k = word_of(x); (k = first_common_word(above, unseen.data(), k, words_)) < words_;
                     ++k) {
                    const Word found = above[k] & unseen[k];
                    unseen[k] &= ~found;
                    layer(depth)[k] |= found;
                    for_each_bit(std::span<const Word>(&found, 1), k * kWordBits, [&](std::size_t y) {
                        if (right_[y] == kFree) {
                            reached_free = true;
                        } else {
                            next.push_back(right_[y]);
                        }
                    });
                }
            }
            if (reached_free) {
                last_layer_ = depth;
                return Progress::augmented;
            }
            if (next.empty()) return Progress::maximum;
            layer_members_.push_back(std::move(next));
        }
    }

    struct Frame {
        std::size_t x;     // left vertex at this depth
        std::size_t word;  // word of its row being scanned
        Word pending;      // unexplored candidates in that word
        std::size_t y;     // right vertex taken towards the next depth
    };

    Frame enter(std::size_t x, std::size_t depth) noexcept {
        const std::size_t k = word_of(x);
        return {x, k, rows_.row(x)[k] & layer(depth)[k], kFree};
    }

    // Depth-first along the layers, on an explicit stack. Each right vertex is
    // tried once per phase (taken out of its layer when tried), so each left
    // vertex is entered at most once and the paths found are disjoint.
    // Whether a path was found; nothing when the budget's poll asks to stop.
    std::optional<bool> augment_from(std::size_t start) {
        stack_.clear();
        stack_.push_back(enter(start, 0));
        while (!stack_.empty()) {
            const std::size_t depth = stack_.size() - 1;
            Frame& top = stack_.back();
            const std::size_t first_word = top.word;
            if (top.pending == 0) {
                const Word* row = rows_.row(top.x).data();
                const Word* open = layer(depth).data();
                top.word = first_common_word(row, open, top.word + 1, words_);
                if (top.word < words_) top.pending = row[top.word] & open[top.word];
            }
            if (budget_.charge(top.word - first_word + 1)) return std::nullopt;
            if (top.pending == 0) {
                stack_.pop_back();
                continue;
            }
            const std::size_t y = top.word * kWordBits + static_cast<std::size_t>(std::countr_zero(top.pending));
            top.pending &= top.pending - 1;
            layer(depth)[top.word] &= ~bit_of(y);
            top.y = y;
            if (depth < last_layer_) {
                stack_.push_back(enter(right_[y], depth + 1));
            } else if (right_[y] == kFree) {
                for (const Frame& frame : stack_) match(frame.x, frame.y);
                return true;
            }
        }
        return false;
    }

    const ReachabilityRows& rows_;
    std::size_t words_;
    WorkBudget budget_;
    std::vector<std::size_t> left_;   // right partner of each left vertex
    std::vector<std::size_t> right_;  // left partner of each right vertex
    std::size_t size_ = 0;
    std::vector<Word> layers_;
    std::vector<std::vector<std::size_t>> layer_members_;
    std::size_t last_layer_ = 0;
    std::vector<Frame> stack_;
};

}  // namespace

// Flattened, so that the searches' loops are compiled for each variant's CPU
// level rather than called at the baseline's.
QUORVANE_DISPATCHED [[gnu::flatten]]
KernelResult<std::uint64_t> width(const ReachabilityRows& rows, InterruptPoll interrupt) {
    ChainMatching matching(rows, interrupt);
    if (!matching.match_greedily()) return std::unexpected(kInterrupted);
    for (;;) {
        const ChainMatching::Progress progress = matching.augment_shortest_paths();
        if (progress == ChainMatching::Progress::interrupted) return std::unexpected(kInterrupted);
        if (progress == ChainMatching::Progress::maximum) return rows.size() - matching.size();
    }
}

}  // namespace quorvane::closure
